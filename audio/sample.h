// Samples: a collected wrapper of one OpenAL buffer (gxtkSample) and the framework's sound
// object that holds one (c_Sound). Buffers are never deleted here: they go to the driver's
// discarded-buffer list and are deleted once no source plays them.
#pragma once

#include <AL/al.h>

#include "runtime/collector.h"

class gxtkSample : public Object {
 public:
  ALuint buffer = 0;  // 0 = none

  ~gxtkSample() override;
  // Hands the buffer to the discarded-buffer list at once instead of at destruction.
  virtual int discard();
};

class c_Sound : public Object {
 public:
  GcField<gxtkSample*> sample;

  void mark() override;
  c_Sound* setSample(gxtkSample* newSample);
};
