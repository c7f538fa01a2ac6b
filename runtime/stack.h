// c_Stack<T>: a growable stack of T* over an object array (T is the element class, as with the
// maps: c_Stack<c_DisplayMode> holds c_DisplayMode*). The backing array grows to 2n + 10, so
// capacities run 10, 30, 70, 150, ...; every element store goes through the write barrier.
#pragma once

#include <algorithm>
#include <cstdint>

#include "runtime/array.h"
#include "runtime/collector.h"

template <class T>
class c_Stack : public Object {
 public:
  GcField<Array<T*>> data;  // the shared empty array until the first push
  int length = 0;           // used elements

  c_Stack() = default;
  // A copy of the whole array (the shared empty array stays shared).
  explicit c_Stack(const Array<T*>& array) {
    data = array.Slice(0);
    length = array.length();
  }

  int push(T* object) {
    if (length == data.length()) data = data.get().Resize(2 * length + 10);
    data[length] = object;
    ++length;
    return 0;
  }

  // Elements start .. start + count - 1; indexes outside the array are skipped rather than read.
  int pushAll(const Array<T*>& array, int start, int count) {
    if (count <= 0) return 0;
    pushRange(array, start, static_cast<int64_t>(start) + count);
    return 0;
  }
  // Elements start .. the end.
  int pushAll(const Array<T*>& array, int start) {
    pushRange(array, start, array.length());
    return 0;
  }

  // The last element taken off (null when the stack is empty). Its slot is cleared, so that the
  // stack no longer keeps it alive.
  T* pop() {
    if (length == 0) return nullptr;
    --length;
    T* top = data.get().get(length);
    data[length] = nullptr;
    return top;
  }
  // The last element, left in place (null when the stack is empty).
  T* top() const { return length > 0 ? data.get().get(length - 1) : nullptr; }
  // Element i from the bottom (null outside 0..length-1).
  T* get(int i) const { return i >= 0 && i < length ? data.get().get(i) : nullptr; }
  // Replaces element i through the barrier; an index outside 0..length-1 changes nothing.
  int set(int i, T* object) {
    if (i >= 0 && i < length) data[i] = object;
    return 0;
  }
  T* operator[](int i) const { return get(i); }
  // Range-for over the used elements, bottom first.
  T* const* begin() const { return data.get().data(); }
  T* const* end() const { return data.get().data() + length; }

  // The used elements in order (the shared empty array when there are none).
  Array<T*> toArray() {
    Array<T*> out(length);
    for (int i = 0; i < length; ++i) out[i] = data.get().get(i);
    return out;
  }

  void mark() override { data.mark(); }

 private:
  void pushRange(const Array<T*>& array, int64_t from, int64_t to) {
    from = std::max<int64_t>(from, 0);
    to = std::min<int64_t>(to, array.length());
    for (int64_t i = from; i < to; ++i) push(array.get(static_cast<int>(i)));
  }
};
