// A recording audio driver: takes the place of the OpenAL driver and keeps every channel call
// (play, stop, volume, rate) with the tick it happened in, so the song player can be traced and
// tested without a device. It opens no OpenAL device and makes no OpenAL call.
#pragma once

#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "audio/audio_driver.h"
#include "audio/sample.h"

class RecordingAudio : public gxtkAudio {
 public:
  enum class Op { Play, Stop, Volume, Rate };
  struct Call {
    int tick;
    Op op;
    int channel;
    std::string sample;  // Play: the sample's file name without its folder
    int flags;           // Play
    float value;         // Volume, Rate
  };

  // How loadSample treats a path.
  enum class SampleFiles {
    Assume,  // every path gives a sample (tests: no sample files needed)
    Decode,  // the host must decode the file, as the real driver needs (tools: real data/)
  };

  // Builds the driver and installs it as the framework's audio driver.
  explicit RecordingAudio(SampleFiles files = SampleFiles::Assume);

  void mark() override {}

  // Calls recorded from now on carry this tick number.
  void setTick(int tick) { tick_ = tick; }
  // Loads of a path whose file name (without folder) is listed here give null.
  void failSample(const std::string& fileName) { failing_.insert(fileName); }

  const std::vector<Call>& calls() const { return calls_; }
  void clearCalls() { calls_.clear(); }
  // "TICK OP CHANNEL ARG", one line per call, each ending in a line feed.
  std::string traceText() const;
  static std::string formatCall(const Call& call);
  // The file name a sample was loaded from, "?" for one this driver did not load.
  std::string sampleName(const gxtkSample* sample) const;

  // The channel operations the player uses are recorded; the others do nothing.
  int suspendAll() override { return 0; }
  int resumeAll() override { return 0; }
  gxtkSample* loadSample(const String& path) override;
  bool loadSampleInto(gxtkSample* sample, const String& path) override;
  int playSample(gxtkSample* sample, int channel, int flags) override;
  int stopChannel(int channel) override;
  int pauseChannel(int) override { return 0; }
  int resumeChannel(int) override { return 0; }
  int channelState(int) override { return 0; }
  int setVolume(int channel, float volume) override;
  int setPan(int, float) override { return 0; }
  int setRate(int channel, float rate) override;
  int playMusic(const String&, int) override { return -1; }
  int stopMusic() override { return 0; }
  int pauseMusic() override { return 0; }
  int resumeMusic() override { return 0; }
  int musicState() override { return 0; }
  int setMusicVolume(float) override { return 0; }

 private:
  SampleFiles files_;
  int tick_ = 0;
  std::vector<Call> calls_;
  std::unordered_map<const gxtkSample*, std::string> names_;
  std::set<std::string> failing_;
};
