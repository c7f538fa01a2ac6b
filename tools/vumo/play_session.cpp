// vumo-play's model: the player, the muting driver, the keys and the reload.
#include "tools/vumo/play_session.h"

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "intro/intro_globals.h"
#include "vumo/song_compiler.h"
#include "vumo/song_runner.h"

namespace vumo {
namespace {

constexpr int kPlayerChannels = 8;

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string fileName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A .dat file by its name, or by the header the compiler writes (no source can start with it).
bool isSongFile(const std::string& path) {
  if (endsWith(path, ".dat")) return true;
  char head[4] = {};
  std::ifstream in(path, std::ios::binary);
  return in.read(head, sizeof head) && std::string(head, sizeof head) == "VUMO";
}

// The song's title: the file name, and the intro's title for its own songs.
std::string titleOf(const std::string& path) {
  const std::string name = fileName(path);
  std::string stem = name.substr(0, name.rfind('.'));
  for (const SongEntry& entry : kSongTable) {
    const std::string known = fileName(entry.path);
    if (known.substr(0, known.rfind('.')) == stem) return name + "  \"" + entry.title + "\"";
  }
  return name;
}

}  // namespace

MutingAudio::MutingAudio(gxtkAudio* inner) : gxtkAudio(kWithoutDevice) {
  inner_ = inner;
}

void MutingAudio::mark() {
  inner_.mark();
}

bool MutingAudio::mutedChannel(int channel) const {
  return channel >= 1 && channel <= kPlayerChannels && muted_[(channel - 1) % 4];
}

int MutingAudio::setVolume(int channel, float volume) {
  if (channel >= 0 && channel < kChannelCount) sent_[channel] = volume;
  return inner_->setVolume(channel, mutedChannel(channel) ? 0.0f : volume);
}

void MutingAudio::setMuted(int voice, bool muted) {
  if (voice < 0 || voice >= 4) return;
  muted_[voice] = muted;
  for (int channel : {voice + 1, voice + 5}) inner_->setVolume(channel, muted ? 0.0f : sent_[channel]);
}

bool prepareSong(const std::string& songPath, const std::string& datPath, std::string& error) {
  std::ifstream in(songPath, std::ios::binary);
  std::stringstream source;
  if (!in.is_open() || !readableFile(songPath)) {
    error = songPath + ": cannot read the song file";
    return false;
  }
  source << in.rdbuf();
  Song song;
  SourceError failure;
  if (!compileSource(source.str(), song, failure)) {
    error = songPath + (failure.line > 0 ? ":" + std::to_string(failure.line) : std::string()) + ": " +
            failure.reason;
    return false;
  }
  const std::vector<unsigned char> bytes = encodeSong(song);
  std::ofstream out(datPath, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) {
    error = songPath + ": cannot write the compiled song to " + datPath;
    return false;
  }
  return true;
}

PlaySession::PlaySession(MutingAudio* audio, std::string songPath)
    : audio_(audio), songPath_(std::move(songPath)), dat_(isSongFile(songPath_)) {
  if (!dat_) {
    std::string pattern = "/tmp/vumo-play-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd >= 0) {
      close(fd);
      datPath_ = pattern;
    }
  }
}

PlaySession::~PlaySession() {
  if (!datPath_.empty()) std::remove(datPath_.c_str());
}

bool PlaySession::load(std::string& error) {
  if (!readableFile(songPath_)) {
    error = songPath_ + ": cannot read the song file";
    return false;
  }
  std::string loadPath = songPath_;
  if (!dat_) {
    if (datPath_.empty()) {
      error = songPath_ + ": cannot make a temporary file for the compiled song";
      return false;
    }
    if (!prepareSong(songPath_, datPath_, error)) return false;
    loadPath = datPath_;
  }
  c_vumoPlay* fresh = new c_vumoPlay();
  player_ = fresh;
  if (fresh->loadSong(hostPathString(absolutePath(loadPath))) != String("File Loaded...")) {
    error = songPath_ + ": the player cannot load it (empty, or larger than 1 MiB)";
    return false;
  }
  return true;
}

void PlaySession::tick() {
  c_vumoPlay* player = player_.get();
  if (!paused_ && player != nullptr) {
    const bool rowDue = player->tickCounter == player->speed;
    if (rowDue) {
      shownPosition_ = player->position;
      shownPattern_ = player->rowBase / c_vumoPlay::kRowsPerPattern;
      shownRow_ = player->rowInPattern;
    }
    player->tick();
    rowPlayed_ = rowPlayed_ || rowDue;
  }
  collectStep();
}

bool PlaySession::takeRowPlayed() {
  const bool played = rowPlayed_;
  rowPlayed_ = false;
  return played;
}

void PlaySession::togglePause() {
  paused_ = !paused_;
  for (int channel = 1; channel <= kPlayerChannels; ++channel) {
    if (paused_) {
      audio_->pauseChannel(channel);
    } else {
      audio_->resumeChannel(channel);
    }
  }
}

void PlaySession::jump(int delta) {
  c_vumoPlay* player = player_.get();
  if (player == nullptr) return;
  const int positions = player->playedPositions();
  player->position = ((player->position + delta) % positions + positions) % positions;
  player->rowInPattern = 0;
  player->rowBase = player->orderList.get().get(player->position) * c_vumoPlay::kRowsPerPattern;
  // The new position's first row is read on the next tick.
  player->tickCounter = player->speed;
  shownPosition_ = player->position;
  shownPattern_ = player->rowBase / c_vumoPlay::kRowsPerPattern;
  shownRow_ = -1;
}

void PlaySession::toggleMute(int voice) {
  if (voice >= 0 && voice < 4) audio_->setMuted(voice, !audio_->muted(voice));
}

void PlaySession::restart() {
  c_vumoPlay* player = player_.get();
  if (player == nullptr) return;
  // What ENTER does in the intro: only the song position restarts.
  player->stopVoices();
  player->tickCounter = 0;
  player->position = 0;
  player->rowBase = 0;
  player->rowInPattern = 0;
  shownPosition_ = 0;
  shownPattern_ = 0;
  shownRow_ = -1;
}

bool PlaySession::reload() {
  c_vumoPlay* player = player_.get();
  std::string error;
  const std::string loadPath = dat_ ? songPath_ : datPath_;
  if (!dat_ && !prepareSong(songPath_, datPath_, error)) {
    reloadError_ = error;
    return false;
  }
  if (player == nullptr) {
    if (!load(error)) {
      reloadError_ = error;
      return false;
    }
    reloadError_.clear();
    return true;
  }
  // The same player takes the new song: its playback state (position, row, tick, voices) stays.
  // Only the pattern of the current position is looked up again, unless the song is still in its
  // first pattern, which is pattern 0 whatever the order list says.
  const bool firstPattern = player->position == 0 && player->rowBase == 0;
  if (player->loadSong(hostPathString(absolutePath(loadPath))) != String("File Loaded...")) {
    reloadError_ = songPath_ + ": the player cannot load it";
    return false;
  }
  if (player->position >= player->playedPositions()) {
    player->position = 0;
    player->rowInPattern = 0;
    player->tickCounter = player->speed;
  }
  if (player->tickCounter > player->speed) player->tickCounter = player->speed;
  if (!firstPattern) {
    player->rowBase = player->orderList.get().get(player->position) * c_vumoPlay::kRowsPerPattern;
  }
  reloadError_.clear();
  return true;
}

PlayState PlaySession::snapshot() const {
  PlayState state;
  state.title = titleOf(songPath_);
  state.paused = paused_;
  state.watching = watching_;
  state.message = reloadError_.empty() ? status_ : reloadError_;
  const c_vumoPlay* player = player_.get();
  if (player == nullptr) return state;
  state.position = shownPosition_;
  state.pattern = shownPattern_;
  state.row = shownRow_;
  state.speed = player->speed;
  state.positions = player->playedPositions();
  const Array<int>& order = player->orderList;
  for (int p = 0; p < state.positions; ++p) state.order.push_back(order.get(p));
  const Array<String>& names = player->instrumentNames;
  for (int v = 0; v < 4; ++v) {
    VoiceState& voice = state.voices[v];
    voice.note = static_cast<int>(player->voiceNotes[v].note);
    voice.octave = player->octave[v];
    voice.instrument = player->instrument[v];
    voice.type = player->currentParam(v, 0);
    if (voice.instrument > 0 && voice.instrument < c_vumoPlay::kInstrumentNameCount) {
      std::string name = names.get(voice.instrument).ToUtf8();
      while (!name.empty() && name.back() == ' ') name.pop_back();
      voice.instrumentName = name;
    }
    voice.volume = player->voiceLevels[v].volume;
    voice.level = audio_->sentLevel(v + 1);
    voice.muted = audio_->muted(v);
  }
  const int base = shownPattern_ * c_vumoPlay::kRowsPerPattern;
  for (int r = 0; r < c_vumoPlay::kRowsPerPattern; ++r) {
    StoredRow row;
    for (int v = 0; v < 4; ++v) {
      for (int part = 0; part < 4; ++part) {
        const String& column = player->columns[4 * part + v];
        const int at = base + r;
        const int code = at >= 0 && at < column.length() ? column[at] : 0;
        // Past the column's end the player reads an empty string: note value 0 ("y") and digits 0.
        row[v][part] = code > 0 && code < 0x7F ? static_cast<char>(code) : (part == 0 ? 'y' : '0');
      }
    }
    state.rows.push_back(row);
  }
  return state;
}

}  // namespace vumo
