// String: the runtime's immutable text value, a handle to a reference-counted block of 16-bit code
// units. Strings are not collected, but their blocks count in the collector's allocBytes so that
// string work paces the collector too. Results that equal an operand share its block.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

template <class T>
class Array;

using Char = char16_t;

struct StringRep {
  int32_t refs;
  int32_t length;
  Char* units() { return reinterpret_cast<Char*>(this + 1); }
  const Char* units() const { return reinterpret_cast<const Char*>(this + 1); }
};

template <class N>
concept NumberForText = (std::integral<N> || std::floating_point<N>)&&!std::same_as<N, bool> &&
                        !std::same_as<N, char> && !std::same_as<N, signed char> &&
                        !std::same_as<N, unsigned char> && !std::same_as<N, char8_t> &&
                        !std::same_as<N, char16_t> && !std::same_as<N, char32_t> && !std::same_as<N, wchar_t>;

class String {
 public:
  String();
  // From 8-bit text (every literal of the program): each byte widened with sign extension.
  String(const char* text);
  String(const char* text, int length);
  // From UTF-16 units (a length of 0 or less gives the shared empty string).
  String(const Char* units, int length);
  // From zero-terminated UTF-16 text (u"...").
  String(const char16_t* units);
  // From UTF-8 (std::string converts too): a four-byte sequence becomes a surrogate pair, and a
  // byte that starts no valid sequence becomes U+FFFD.
  explicit String(std::string_view utf8);
  String(const String& other);
  String(String&& other) noexcept;
  ~String();
  String& operator=(const String& other);
  String& operator=(String&& other) noexcept;

  static String fromBool(bool value);        // "True" / "False"
  static String fromInt(int value);          // "%i"
  static String fromFloat(float value);      // "%.17lg", plus ".0" without a point or an e
  static String fromDouble(double value);    // the same rule, without rounding to float first
  static String fromPointer(const void* p);  // "%p"
  static String fromChar(int unit);          // a one-unit string

  int length() const { return rep_->length; }
  bool empty() const { return rep_->length == 0; }
  Char operator[](int index) const { return rep_->units()[index]; }
  const Char* data() const { return rep_->units(); }
  // The block itself, to let tests see sharing.
  const StringRep* rep() const { return rep_; }

  // A free function so that a literal may stand on the left: "x=" + String::fromInt(x).
  friend String operator+(const String& a, const String& b);
  String& operator+=(const String& other);
  // Numbers join text as fromInt and fromFloat write them: String("SCORE ") + score. A float
  // gives the same text as fromFloat; characters and bools are left out, as they are no numbers.
  template <class N>
  requires NumberForText<N>
  friend String operator+(const String& a, N n) { return a + numberText(n); }
  template <class N>
  requires NumberForText<N>
  friend String operator+(N n, const String& b) { return numberText(n) + b; }
  template <class N>
  requires NumberForText<N> String& operator+=(N n) { return *this += numberText(n); }
  bool operator==(const String& other) const;
  bool operator!=(const String& other) const { return !(*this == other); }
  int Compare(const String& other) const;

  String Slice(int from) const;
  String Slice(int from, int to) const;
  bool StartsWith(const String& prefix) const;
  bool EndsWith(const String& suffix) const;
  int Find(const String& what, int start = 0) const;
  int FindLast(const String& what) const;
  bool Contains(const String& what) const { return Find(what) != -1; }
  String Trim() const;
  String ToLower() const;
  String ToUpper() const;
  Array<String> Split(const String& separator) const;
  String Replace(const String& find, const String& with) const;
  int ToInt() const;
  float ToFloat() const;

  // 8-bit copy for the C library: each unit truncated to its low 8 bits, zero-terminated.
  class CString {
   public:
    explicit CString(const String& text);
    CString(const CString& other);
    CString& operator=(const CString&) = delete;
    ~CString();
    const char* c_str() const { return reinterpret_cast<const char*>(block_ + 1); }

   private:
    int32_t* block_;  // reference count, then the bytes and a zero byte
  };
  CString ToCString() const { return CString(*this); }

  // UTF-8, one to three bytes per code unit (surrogates are encoded one by one).
  std::string ToUtf8() const;
  // The same bytes, appended to `out` (for callers that keep a reusable buffer).
  void AppendUtf8(std::string& out) const;

 private:
  template <class N>
  static String numberText(N n) {
    if constexpr (std::floating_point<N>) {
      return fromDouble(static_cast<double>(n));
    } else if constexpr (std::is_signed_v<N> && sizeof(N) <= sizeof(int)) {
      return fromInt(n);
    } else {
      return fromInteger64(n);
    }
  }
  template <class N>
  static String fromInteger64(N n) {
    return String(std::string_view(std::to_string(n)));
  }
  explicit String(StringRep* rep) : rep_(rep) {}
  static StringRep* allocRep(int length);
  static void release(StringRep* rep);
  StringRep* rep_;
};

// The slice rule shared by strings, arrays and the song player: negative indexes count from the end,
// both ends are clamped to the length. False when the range is empty.
inline bool clampSliceRange(int& from, int& to, int length) {
  if (from < 0) {
    from += length;
    if (from < 0) from = 0;
  } else if (from > length) {
    from = length;
  }
  if (to < 0) {
    to += length;
  } else if (to > length) {
    to = length;
  }
  return to > from;
}

// Text for tests and messages.
std::string toStdString(const String& text);
