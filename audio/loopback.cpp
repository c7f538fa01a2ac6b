// AlLoopback: opens, renders from and closes an ALC_SOFT_loopback device.
#include "audio/loopback.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

AlLoopback::AlLoopback(int frequency, int channels) : frequency_(frequency), channels_(channels) {
  device_ = alcLoopbackOpenDeviceSOFT(nullptr);
  if (device_ == nullptr) return;
  const ALCenum layout = channels == 1 ? ALC_MONO_SOFT : ALC_STEREO_SOFT;
  if (!alcIsRenderFormatSupportedSOFT(device_, frequency, layout, ALC_FLOAT_SOFT)) return;
  const ALCint attributes[] = {
      ALC_FORMAT_CHANNELS_SOFT, layout, ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT, ALC_FREQUENCY, frequency, 0};
  context_ = alcCreateContext(device_, attributes);
  if (context_ != nullptr && !alcMakeContextCurrent(context_)) {
    alcDestroyContext(context_);
    context_ = nullptr;
  }
}

AlLoopback::~AlLoopback() {
  if (context_ != nullptr) {
    if (alcGetCurrentContext() == context_) alcMakeContextCurrent(nullptr);
    alcDestroyContext(context_);
  }
  if (device_ != nullptr) alcCloseDevice(device_);
}

void AlLoopback::render(float* out, int frames) {
  if (device_ != nullptr && context_ != nullptr) alcRenderSamplesSOFT(device_, out, frames);
}
