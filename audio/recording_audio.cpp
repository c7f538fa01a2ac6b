// RecordingAudio: the call log and its text form.
#include "audio/recording_audio.h"

#include <cstdio>
#include <cstdlib>

#include "host/game.h"

namespace {

// The part of a path after its last "/".
std::string fileNameOf(const String& path) {
  std::string text = path.ToUtf8();
  size_t slash = text.rfind('/');
  return slash == std::string::npos ? text : text.substr(slash + 1);
}

}  // namespace

RecordingAudio::RecordingAudio(SampleFiles files) : gxtkAudio(kWithoutDevice), files_(files) {}

gxtkSample* RecordingAudio::loadSample(const String& path) {
  gxtkSample* sample = new gxtkSample();
  if (!loadSampleInto(sample, path)) return nullptr;
  names_[sample] = fileNameOf(path);
  return sample;
}

bool RecordingAudio::loadSampleInto(gxtkSample*, const String& path) {
  if (failing_.count(fileNameOf(path)) != 0) return false;
  if (files_ == SampleFiles::Assume) return true;
  // Decode the file as the real driver would, so a missing or broken sample is null here too; the
  // samples stay without a buffer since nothing is ever mixed.
  if (currentGame == nullptr) return false;
  int length = 0, channels = 0, bytesPerSample = 0, rate = 0;
  unsigned char* pcm = currentGame->loadAudioData(path, length, channels, bytesPerSample, rate);
  if (pcm == nullptr) return false;
  std::free(pcm);
  return true;
}

std::string RecordingAudio::sampleName(const gxtkSample* sample) const {
  auto found = names_.find(sample);
  return found == names_.end() ? "?" : found->second;
}

int RecordingAudio::playSample(gxtkSample* sample, int channel, int flags) {
  calls_.push_back(Call{tick_, Op::Play, channel, sampleName(sample), flags, 0});
  return 0;
}

int RecordingAudio::stopChannel(int channel) {
  calls_.push_back(Call{tick_, Op::Stop, channel, std::string(), 0, 0});
  return 0;
}

int RecordingAudio::setVolume(int channel, float volume) {
  calls_.push_back(Call{tick_, Op::Volume, channel, std::string(), 0, volume});
  return 0;
}

int RecordingAudio::setRate(int channel, float rate) {
  calls_.push_back(Call{tick_, Op::Rate, channel, std::string(), 0, rate});
  return 0;
}

std::string RecordingAudio::formatCall(const Call& call) {
  char line[160];
  switch (call.op) {
    case Op::Play:
      // Sample names have no length limit: built as a string rather than into the line buffer.
      return std::to_string(call.tick) + " play " + std::to_string(call.channel) + " " + call.sample + " " +
             std::to_string(call.flags);
    case Op::Stop:
      std::snprintf(line, sizeof line, "%d stop %d", call.tick, call.channel);
      break;
    case Op::Volume:
      std::snprintf(line, sizeof line, "%d volume %d %.9g", call.tick, call.channel, call.value);
      break;
    case Op::Rate:
      std::snprintf(line, sizeof line, "%d rate %d %.9g", call.tick, call.channel, call.value);
      break;
  }
  return line;
}

std::string RecordingAudio::traceText() const {
  std::string text;
  for (const Call& call : calls_) text += formatCall(call) + "\n";
  return text;
}
