// An OpenAL Soft loopback device (ALC_SOFT_loopback): a device and a current context whose mixed
// output is pulled into memory on demand instead of going to hardware. Tests and the render tools
// open one, then build the driver with gxtkAudio(gxtkAudio::kOnCurrentContext).
#pragma once

#include <AL/alc.h>

class AlLoopback {
 public:
  // Interleaved 32-bit float frames of `channels` (1 or 2) at `frequency` Hz. On success the new
  // context is current; check isOpen().
  AlLoopback(int frequency, int channels);
  AlLoopback(const AlLoopback&) = delete;
  AlLoopback& operator=(const AlLoopback&) = delete;
  // Releases the context (making none current if it was) and closes the device.
  ~AlLoopback();

  bool isOpen() const { return context_ != nullptr; }
  int frequency() const { return frequency_; }
  int channels() const { return channels_; }
  // Mixes the next `frames` frames into `out` (frames x channels floats).
  void render(float* out, int frames);

  ALCdevice* device() const { return device_; }
  ALCcontext* context() const { return context_; }

 private:
  ALCdevice* device_ = nullptr;
  ALCcontext* context_ = nullptr;
  int frequency_;
  int channels_;
};
