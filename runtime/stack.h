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
