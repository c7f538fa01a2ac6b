// Array<T>: a collected, fixed-length block of elements of one type, zero-filled, with one shared
// empty array per element type. Object arrays mark their elements at once (blackenNow); String
// arrays release their elements when destroyed. Element access is unchecked (inRange tests an
// index for callers that take indexes from outside data). Append, Insert and Remove give a new array
// (an array never changes length); a GcField holding one does the same in place.
#pragma once

#include <cstring>
#include <new>
#include <type_traits>

#include "runtime/collector.h"
#include "runtime/string.h"

template <class T>
class Array {
  static constexpr bool kObjects = std::is_pointer_v<T>;
  static constexpr bool kStrings = std::is_same_v<T, String>;

 public:
  class Rep : public gc_object {
   public:
    int32_t length = 0;
    T* elements() { return reinterpret_cast<T*>(reinterpret_cast<char*>(this) + kElementOffset); }
    void mark() override {
      if constexpr (kObjects) {
        T* e = elements();
        for (int i = 0; i < length; ++i) {
          if (e[i] != nullptr) blackenNow(e[i]);
        }
      }
    }
    ~Rep() override {
      if constexpr (kStrings) {
        T* e = elements();
        for (int i = 0; i < length; ++i) e[i].~String();
      }
    }
  };
  static constexpr std::size_t kElementOffset = (sizeof(Rep) + alignof(T) - 1) / alignof(T) * alignof(T);

  // Stores into object arrays go through the barrier.
  class ElementRef {
   public:
    ElementRef(T* slot) : slot_(slot) {}
    ElementRef& operator=(T value) {
      greyObject(value);
      *slot_ = value;
      return *this;
    }
    ElementRef& operator=(const ElementRef& other) { return *this = static_cast<T>(other); }
    operator T() const { return *slot_; }
    T operator->() const { return *slot_; }

   private:
    T* slot_;
  };
  using Reference = std::conditional_t<kObjects, ElementRef, T&>;

  Array() : rep_(emptyRep()) {}
  explicit Array(int n) : rep_(n > 0 ? allocRep(n) : emptyRep()) {}
  explicit Array(Rep* rep) : rep_(rep ? rep : emptyRep()) {}

  static Array create(int n) { return Array(n); }

  int length() const { return rep_->length; }
  Reference operator[](int i) const {
    if constexpr (kObjects) {
      return ElementRef(rep_->elements() + i);
    } else {
      return rep_->elements()[i];
    }
  }
  T get(int i) const { return rep_->elements()[i]; }
  void set(int i, T value) const { (*this)[i] = value; }
  // Checked access for callers that take indexes from outside data.
  bool inRange(int i) const { return i >= 0 && i < rep_->length; }
  T* data() const { return rep_->elements(); }
  Rep* rep() const { return rep_; }
  bool isSharedEmpty() const { return rep_ == emptyRep(); }
  bool operator==(const Array& other) const { return rep_ == other.rep_; }

  Array Slice(int from) const { return Slice(from, length()); }
  Array Slice(int from, int to) const {
    if (!clampSliceRange(from, to, length())) return Array();
    Array out(to - from);
    for (int i = from; i < to; ++i) out[i - from] = get(i);
    return out;
  }

  Array Resize(int n) const {
    if (n <= 0) return Array();
    Array out(n);
    int keep = n < length() ? n : length();
    for (int i = 0; i < keep; ++i) out[i] = get(i);
    return out;
  }

  // A new array with the value after the last element.
  Array Append(T value) const { return Insert(length(), value); }
  // A new array with the value at index (clamped to 0..length), the elements from there one later.
  Array Insert(int index, T value) const {
    int n = length();
    index = index < 0 ? 0 : (index > n ? n : index);
    Array out(n + 1);
    for (int i = 0; i < index; ++i) out[i] = get(i);
    out[index] = value;
    for (int i = index; i < n; ++i) out[i + 1] = get(i);
    return out;
  }
  // A new array without the element at index; an index outside the array gives the array itself.
  Array Remove(int index) const {
    int n = length();
    if (index < 0 || index >= n) return *this;
    Array out(n - 1);
    for (int i = 0; i < index; ++i) out[i] = get(i);
    for (int i = index + 1; i < n; ++i) out[i - 1] = get(i);
    return out;
  }

  // Range-for. Object elements are read-only here: a store must go through the barrier
  // (array[i] = value).
  using Iterator = std::conditional_t<kObjects, const T*, T*>;
  Iterator begin() const { return rep_->elements(); }
  Iterator end() const { return rep_->elements() + rep_->length; }

  static Rep* emptyRep() {
    // Lives in static storage: colour 2 keeps it out of every collector list for good.
    static Rep* shared = ::new (emptyStorage()) Rep;
    return shared;
  }

 private:
  static void* emptyStorage() {
    alignas(Rep) static unsigned char storage[sizeof(Rep) + sizeof(T)];
    return storage;
  }

  static Rep* allocRep(int n) {
    std::size_t bytes = kElementOffset + sizeof(T) * static_cast<std::size_t>(n);
    if (bytes > UINT32_MAX - 8) gcOutOfMemory();
    void* block = gc_object::operator new(bytes);
    Rep* rep = ::new (block) Rep;
    rep->length = n;
    T* e = rep->elements();
    if constexpr (kStrings) {
      for (int i = 0; i < n; ++i) ::new (e + i) String();
    } else {
      std::memset(static_cast<void*>(e), 0, sizeof(T) * n);
    }
    return rep;
  }

  Rep* rep_;
};

// An array held in a field or a global: storing it marks it at once (and, through its mark, its
// elements), which is the barrier for array stores.
template <class U>
class GcField<Array<U>> {
 public:
  GcField() = default;
  GcField(const GcField&) = delete;
  GcField& operator=(const Array<U>& value) {
    if (!value.isSharedEmpty()) blackenNow(value.rep());
    array_ = value;
    return *this;
  }
  GcField& operator=(const GcField& other) { return *this = other.array_; }
  operator const Array<U>&() const { return array_; }
  const Array<U>& get() const { return array_; }
  const Array<U>* operator->() const { return &array_; }
  typename Array<U>::Reference operator[](int i) const { return array_[i]; }
  int length() const { return array_.length(); }
  void mark() const { greyObject(array_.rep()); }

  // In place: the field takes the new array, with the barrier of every array store.
  int append(U value) {
    *this = array_.Append(value);
    return 0;
  }
  int insert(int index, U value) {
    *this = array_.Insert(index, value);
    return 0;
  }
  // The element taken out (zero, null or empty when the index is outside the array).
  U remove(int index) {
    if (!array_.inRange(index)) return U();
    U removed = array_.get(index);
    *this = array_.Remove(index);
    return removed;
  }
  typename Array<U>::Iterator begin() const { return array_.begin(); }
  typename Array<U>::Iterator end() const { return array_.end(); }

 private:
  Array<U> array_;
};
