// vumo-play without the terminal: the real player over an audio driver, the muting driver between
// them, the keys' actions and the reload of a watched source. snapshot() gives the PlayState that
// the screen is drawn from.
#pragma once

#include <string>
#include <vector>

#include "audio/audio_driver.h"
#include "runtime/collector.h"
#include "tools/vumo/play_view.h"
#include "vumo/player.h"

namespace vumo {

// Sits between the player and the real driver (or the recording one): passes every call on, but
// a muted voice's two channels get volume 0, and it keeps the level the player last sent to each
// channel for the meters. Installs itself as the framework's audio driver.
class MutingAudio : public gxtkAudio {
 public:
  explicit MutingAudio(gxtkAudio* inner);
  void mark() override;

  // Voice 0-3: channels v + 1 and v + 5. Muting takes effect at once; unmuting restores the level
  // the player sent last.
  void setMuted(int voice, bool muted);
  bool muted(int voice) const { return muted_[voice]; }
  float sentLevel(int channel) const { return channel >= 0 && channel < kChannelCount ? sent_[channel] : 0; }
  gxtkAudio* inner() const { return inner_.get(); }

  int suspendAll() override { return inner_->suspendAll(); }
  int resumeAll() override { return inner_->resumeAll(); }
  gxtkSample* loadSample(const String& path) override { return inner_->loadSample(path); }
  bool loadSampleInto(gxtkSample* sample, const String& path) override {
    return inner_->loadSampleInto(sample, path);
  }
  int playSample(gxtkSample* sample, int channel, int flags) override {
    return inner_->playSample(sample, channel, flags);
  }
  int stopChannel(int channel) override { return inner_->stopChannel(channel); }
  int pauseChannel(int channel) override { return inner_->pauseChannel(channel); }
  int resumeChannel(int channel) override { return inner_->resumeChannel(channel); }
  int channelState(int channel) override { return inner_->channelState(channel); }
  int setVolume(int channel, float volume) override;
  int setPan(int channel, float pan) override { return inner_->setPan(channel, pan); }
  int setRate(int channel, float rate) override { return inner_->setRate(channel, rate); }
  int playMusic(const String& path, int flags) override { return inner_->playMusic(path, flags); }
  int stopMusic() override { return inner_->stopMusic(); }
  int pauseMusic() override { return inner_->pauseMusic(); }
  int resumeMusic() override { return inner_->resumeMusic(); }
  int musicState() override { return inner_->musicState(); }
  int setMusicVolume(float volume) override { return inner_->setMusicVolume(volume); }

 private:
  bool mutedChannel(int channel) const;

  GcField<gxtkAudio*> inner_;
  bool muted_[4] = {false, false, false, false};
  float sent_[kChannelCount] = {};
};

class PlaySession {
 public:
  // The driver must be installed already (a MutingAudio over the real or the recording driver).
  // `songPath` is a compiled song (it starts with "VUMO"; with `force`, any file) or a song source;
  // false from load() with the error.
  PlaySession(MutingAudio* audio, std::string songPath, bool force = false);
  ~PlaySession();
  bool load(std::string& error);

  // One update at 51 a second: the player's tick unless paused, then a collector step.
  void tick();

  // The keys.
  void togglePause();
  // Previous (-1) / next (+1) position, from its first row, on the next tick; what the old position
  // left sounding stops.
  void jump(int delta);
  void toggleMute(int voice);
  // As ENTER in the intro: voices stopped and silent, position 0, first row after `speed`+1 ticks.
  void restart();

  // The watched source changed: compiled and loaded into the same player, which goes on at the same
  // position and row; on a compile error the old song keeps playing and the error is the message.
  bool reload();

  PlayState snapshot() const;
  c_vumoPlay* player() const { return player_.get(); }
  // A standing message (the sound device); a compile error of the watched source shows instead
  // until the next good reload.
  void setMessage(const std::string& message) { status_ = message; }
  const std::string& reloadError() const { return reloadError_; }
  void setWatching(bool watching) { watching_ = watching; }
  const std::string& songPath() const { return songPath_; }
  // The source's warnings at the last good compile, one line each.
  const std::vector<std::string>& warnings() const { return warnings_; }
  // True once per row played, for the plain output.
  bool takeRowPlayed();

 private:
  MutingAudio* audio_;
  std::string songPath_;
  bool compile(std::string& error);
  void silence();

  bool force_;
  bool dat_ = true;  // a compiled song, else a source compiled into datPath_
  std::string datPath_;
  std::vector<std::string> warnings_;
  std::vector<std::string> patternNames_;
  std::string reloaded_;
  GcRoot<c_vumoPlay*> player_;
  bool paused_ = false;
  bool watching_ = false;
  bool rowPlayed_ = false;
  std::string status_;
  std::string reloadError_;
  // The row last played, for the display (the player's own fields already point past it).
  int shownPosition_ = 0;
  int shownPattern_ = 0;
  int shownRow_ = -1;
};

}  // namespace vumo
