// Reference-counted 16-bit strings: construction, conversions and the text operations.
#include "runtime/string.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>

#include "runtime/array.h"
#include "runtime/collector.h"

namespace {

// The shared empty string: counted like any other block but never freed.
StringRep emptyRep = {1, 0};

bool isShared(const StringRep* rep) {
  return rep == &emptyRep;
}

}  // namespace

StringRep* String::allocRep(int length) {
  if (length <= 0) {
    ++emptyRep.refs;
    return &emptyRep;
  }
  std::size_t bytes = sizeof(StringRep) + sizeof(Char) * static_cast<std::size_t>(length);
  auto* rep = static_cast<StringRep*>(std::malloc(bytes));
  if (rep == nullptr) gcOutOfMemory();
  rep->refs = 1;
  rep->length = length;
  gcCounters.allocBytes += static_cast<int64_t>(bytes);
  return rep;
}

void String::release(StringRep* rep) {
  if (--rep->refs == 0 && !isShared(rep)) {
    // A string made before the last full collection was never counted since; taking it off the
    // count anyway drove it far below zero and put off the next collection by as much.
    int64_t bytes = static_cast<int64_t>(sizeof(StringRep) + sizeof(Char) * rep->length);
    gcCounters.allocBytes = gcCounters.allocBytes > bytes ? gcCounters.allocBytes - bytes : 0;
    std::free(rep);
  }
}

String::String() : rep_(&emptyRep) {
  ++emptyRep.refs;
}

String::String(const char* text) : String(text, text ? static_cast<int>(std::strlen(text)) : 0) {}

String::String(const char* text, int length) : rep_(allocRep(length)) {
  Char* out = rep_->units();
  // Sign extension on purpose: bytes 0x80-0xFF become units 0xFF80-0xFFFF.
  for (int i = 0; i < length; ++i)
    out[i] = static_cast<Char>(static_cast<int16_t>(static_cast<signed char>(text[i])));
}

String::String(const Char* units, int length) : rep_(allocRep(length)) {
  if (length > 0) std::memcpy(rep_->units(), units, sizeof(Char) * length);
}

String::String(const char16_t* units) : rep_(nullptr) {
  int length = 0;
  if (units != nullptr) {
    while (units[length] != 0) ++length;
  }
  rep_ = allocRep(length);
  if (length > 0) std::memcpy(rep_->units(), units, sizeof(Char) * length);
}

String::String(const String& other) : rep_(other.rep_) {
  ++rep_->refs;
}

String::String(String&& other) noexcept : rep_(other.rep_) {
  other.rep_ = &emptyRep;
  ++emptyRep.refs;
}

String::~String() {
  release(rep_);
}

String& String::operator=(const String& other) {
  ++other.rep_->refs;
  release(rep_);
  rep_ = other.rep_;
  return *this;
}

String& String::operator=(String&& other) noexcept {
  if (this != &other) std::swap(rep_, other.rep_);
  return *this;
}

String String::fromBool(bool value) {
  return String(value ? "True" : "False");
}

String String::fromInt(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%i", value);
  return String(buffer);
}

String String::fromFloat(float value) {
  return fromDouble(static_cast<double>(value));
}

String String::fromDouble(double value) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.17lg", value);
  if (std::strchr(buffer, '.') == nullptr && std::strchr(buffer, 'e') == nullptr) {
    std::strncat(buffer, ".0", sizeof buffer - std::strlen(buffer) - 1);
  }
  return String(buffer);
}

String String::fromPointer(const void* p) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%p", p);
  return String(buffer);
}

String String::fromChar(int unit) {
  Char c = static_cast<Char>(unit);
  return String(&c, 1);
}

String operator+(const String& a, const String& b) {
  if (a.rep_->length == 0) return b;
  if (b.rep_->length == 0) return a;
  int64_t length = static_cast<int64_t>(a.rep_->length) + b.rep_->length;
  if (length > INT32_MAX) gcOutOfMemory();
  StringRep* rep = String::allocRep(static_cast<int>(length));
  std::memcpy(rep->units(), a.rep_->units(), sizeof(Char) * a.rep_->length);
  std::memcpy(rep->units() + a.rep_->length, b.rep_->units(), sizeof(Char) * b.rep_->length);
  return String(rep);
}

String& String::operator+=(const String& other) {
  *this = *this + other;
  return *this;
}

bool String::operator==(const String& other) const {
  if (rep_ == other.rep_) return true;
  return rep_->length == other.rep_->length &&
         std::memcmp(rep_->units(), other.rep_->units(), sizeof(Char) * rep_->length) == 0;
}

int String::Compare(const String& other) const {
  int n = std::min(rep_->length, other.rep_->length);
  for (int i = 0; i < n; ++i) {
    int d = static_cast<int>(rep_->units()[i]) - static_cast<int>(other.rep_->units()[i]);
    if (d != 0) return d;
  }
  return rep_->length - other.rep_->length;
}

String String::Slice(int from) const {
  return Slice(from, rep_->length);
}

String String::Slice(int from, int to) const {
  int len = rep_->length;
  if (!clampSliceRange(from, to, len)) return String();
  if (from == 0 && to == len) return *this;
  return String(rep_->units() + from, to - from);
}

bool String::StartsWith(const String& prefix) const {
  if (prefix.length() > length()) return false;
  return std::memcmp(data(), prefix.data(), sizeof(Char) * prefix.length()) == 0;
}

bool String::EndsWith(const String& suffix) const {
  if (suffix.length() > length()) return false;
  return std::memcmp(data() + length() - suffix.length(), suffix.data(), sizeof(Char) * suffix.length()) == 0;
}

int String::Find(const String& what, int start) const {
  if (start < 0) start = 0;
  int n = length(), m = what.length();
  for (int i = start; i + m <= n; ++i) {
    if (std::memcmp(data() + i, what.data(), sizeof(Char) * m) == 0) return i;
  }
  return -1;
}

int String::FindLast(const String& what) const {
  int n = length(), m = what.length();
  for (int i = n - m; i >= 0; --i) {
    if (std::memcmp(data() + i, what.data(), sizeof(Char) * m) == 0) return i;
  }
  return -1;
}

String String::Trim() const {
  int from = 0, to = length();
  while (from < to && data()[from] <= 32) ++from;
  while (to > from && data()[to - 1] <= 32) --to;
  return Slice(from, to);
}

String String::ToLower() const {
  for (int i = 0; i < length(); ++i) {
    Char c = data()[i];
    Char lower = static_cast<Char>(std::towlower(c));
    if (lower != c) {
      // A new block only from the first unit that changes.
      StringRep* rep = allocRep(length());
      std::memcpy(rep->units(), data(), sizeof(Char) * i);
      for (int j = i; j < length(); ++j) rep->units()[j] = static_cast<Char>(std::towlower(data()[j]));
      return String(rep);
    }
  }
  return *this;
}

String String::ToUpper() const {
  for (int i = 0; i < length(); ++i) {
    Char c = data()[i];
    Char upper = static_cast<Char>(std::towupper(c));
    if (upper != c) {
      StringRep* rep = allocRep(length());
      std::memcpy(rep->units(), data(), sizeof(Char) * i);
      for (int j = i; j < length(); ++j) rep->units()[j] = static_cast<Char>(std::towupper(data()[j]));
      return String(rep);
    }
  }
  return *this;
}

Array<String> String::Split(const String& separator) const {
  if (separator.empty()) {
    Array<String> units(length());
    for (int i = 0; i < length(); ++i) units[i] = String(data() + i, 1);
    return units;
  }
  int count = 0;
  for (int at = Find(separator); at != -1; at = Find(separator, at + separator.length())) ++count;
  Array<String> pieces(count + 1);
  if (count == 0) {
    pieces[0] = *this;
    return pieces;
  }
  int start = 0, k = 0;
  for (int at = Find(separator); at != -1; at = Find(separator, at + separator.length())) {
    pieces[k++] = Slice(start, at);
    start = at + separator.length();
  }
  pieces[k] = Slice(start);
  return pieces;
}

String String::Replace(const String& find, const String& with) const {
  if (find.empty()) return *this;
  int count = 0;
  for (int at = Find(find); at != -1; at = Find(find, at + find.length())) ++count;
  if (count == 0) return *this;
  int64_t newLength = length() + static_cast<int64_t>(count) * (with.length() - find.length());
  if (newLength > INT32_MAX) gcOutOfMemory();
  if (newLength == 0) return String();
  StringRep* rep = allocRep(static_cast<int>(newLength));
  Char* out = rep->units();
  int start = 0;
  for (int at = Find(find); at != -1; at = Find(find, at + find.length())) {
    std::memcpy(out, data() + start, sizeof(Char) * (at - start));
    out += at - start;
    std::memcpy(out, with.data(), sizeof(Char) * with.length());
    out += with.length();
    start = at + find.length();
  }
  std::memcpy(out, data() + start, sizeof(Char) * (length() - start));
  return String(rep);
}

int String::ToInt() const {
  char buffer[64];
  int n = std::min(length(), 63);
  for (int i = 0; i < n; ++i) buffer[i] = static_cast<char>(data()[i] & 0xFF);
  buffer[n] = 0;
  return std::atoi(buffer);
}

float String::ToFloat() const {
  char buffer[64];
  int n = std::min(length(), 63);
  for (int i = 0; i < n; ++i) buffer[i] = static_cast<char>(data()[i] & 0xFF);
  buffer[n] = 0;
  return static_cast<float>(std::atof(buffer));
}

String::CString::CString(const String& text) {
  block_ = static_cast<int32_t*>(std::malloc(sizeof(int32_t) + text.length() + 1));
  if (block_ == nullptr) gcOutOfMemory();
  *block_ = 1;
  char* bytes = reinterpret_cast<char*>(block_ + 1);
  for (int i = 0; i < text.length(); ++i) bytes[i] = static_cast<char>(text[i] & 0xFF);
  bytes[text.length()] = 0;
}

String::CString::CString(const CString& other) : block_(other.block_) {
  ++*block_;
}

String::CString::~CString() {
  if (*block_ == 1) {
    std::free(block_);
  } else {
    --*block_;
  }
}

String::String(std::string_view utf8) : rep_(nullptr) {
  std::u16string units;
  units.reserve(utf8.size());
  auto byte = [&](size_t i) { return static_cast<unsigned char>(utf8[i]); };
  auto continuation = [&](size_t i) { return i < utf8.size() && (byte(i) & 0xC0) == 0x80; };
  size_t i = 0;
  while (i < utf8.size()) {
    unsigned c = byte(i);
    if (c < 0x80) {
      units.push_back(static_cast<Char>(c));
      i += 1;
    } else if (c >= 0xC2 && c <= 0xDF && continuation(i + 1)) {
      units.push_back(static_cast<Char>(((c & 0x1F) << 6) | (byte(i + 1) & 0x3F)));
      i += 2;
    } else if (c >= 0xE0 && c <= 0xEF && continuation(i + 1) && continuation(i + 2) &&
               (c != 0xE0 || byte(i + 1) >= 0xA0)) {
      // Surrogates written one by one (as ToUtf8 writes them) come back as the same units.
      units.push_back(
          static_cast<Char>(((c & 0x0F) << 12) | ((byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F)));
      i += 3;
    } else if (c >= 0xF0 && c <= 0xF4 && continuation(i + 1) && continuation(i + 2) && continuation(i + 3) &&
               (c != 0xF0 || byte(i + 1) >= 0x90) && (c != 0xF4 || byte(i + 1) < 0x90)) {
      uint32_t point = ((c & 0x07) << 18) | ((byte(i + 1) & 0x3F) << 12) | ((byte(i + 2) & 0x3F) << 6) |
                       (byte(i + 3) & 0x3F);
      point -= 0x10000;
      units.push_back(static_cast<Char>(0xD800 + (point >> 10)));
      units.push_back(static_cast<Char>(0xDC00 + (point & 0x3FF)));
      i += 4;
    } else {
      units.push_back(0xFFFD);
      i += 1;
    }
  }
  String decoded(units.data(), static_cast<int>(units.size()));
  rep_ = decoded.rep_;
  ++rep_->refs;
}

std::string String::ToUtf8() const {
  std::string out;
  out.reserve(length());
  AppendUtf8(out);
  return out;
}

void String::AppendUtf8(std::string& out) const {
  for (int i = 0; i < length(); ++i) {
    unsigned c = data()[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
}

std::string toStdString(const String& text) {
  return text.ToUtf8();
}
