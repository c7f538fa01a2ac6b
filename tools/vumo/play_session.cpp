// vumo-play's model: the player, the muting driver, the keys and the reload.
#include "tools/vumo/play_session.h"

#include <stdlib.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <sstream>

#include "intro/intro_globals.h"
#include "vumo/song_compiler.h"
#include "vumo/song_file.h"
#include "vumo/song_runner.h"

namespace vumo {
namespace {

constexpr int kPlayerChannels = 8;

std::string fileName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
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

PlaySession::PlaySession(MutingAudio* audio, std::string songPath, bool force)
    : audio_(audio), songPath_(std::move(songPath)), force_(force) {}

PlaySession::~PlaySession() {
  if (!datPath_.empty()) std::remove(datPath_.c_str());
}

// The source into datPath_ (made on the first call), with its warnings.
bool PlaySession::compile(std::string& error) {
  if (datPath_.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] != 0 ? tmp : "/tmp") + "/vumo-play-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
      error = songPath_ + ": cannot make a temporary file for the compiled song";
      return false;
    }
    close(fd);
    datPath_ = pattern;
  }
  std::vector<SourceWarning> found;
  Song song;
  if (!compileSourceFile(songPath_, datPath_, error, &found, &song)) return false;
  patternNames_ = song.patternNames;
  warnings_.clear();
  for (const SourceWarning& warning : found) warnings_.push_back(warningLine(songPath_, warning));
  return true;
}

bool PlaySession::load(std::string& error) {
  std::string bytes;
  if (!readSongFile(songPath_, bytes, error)) return false;
  SongFileRules rules;
  rules.force = force_;
  const SongUse use = songUse(songPath_, bytes, rules, error);
  if (use == SongUse::kRefused) return false;
  dat_ = use == SongUse::kCompiled;
  std::string loadPath = songPath_;
  if (!dat_) {
    if (!compile(error)) return false;
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
  silence();
  player->position = ((player->position + delta) % positions + positions) % positions;
  player->rowInPattern = 0;
  player->rowBase = player->orderList.get().get(player->position) * c_vumoPlay::kRowsPerPattern;
  // The new position's first row is read on the next tick.
  player->tickCounter = player->speed;
  shownPosition_ = player->position;
  shownPattern_ = player->rowBase / c_vumoPlay::kRowsPerPattern;
  shownRow_ = -1;
}

// Stops both channels of every voice and drops the levels the old position left, so that nothing
// it started sounds again until a new note.
void PlaySession::silence() {
  c_vumoPlay* player = player_.get();
  player->stopVoices();
  for (int v = 0; v < c_vumoPlay::kVoices; ++v) {
    player->voiceLevels[v].volume = 0;
    player->voiceNotes[v].decay = 0;
    player->voiceNotes[v].slide = 0;
  }
}

void PlaySession::toggleMute(int voice) {
  if (voice >= 0 && voice < 4) audio_->setMuted(voice, !audio_->muted(voice));
}

void PlaySession::restart() {
  c_vumoPlay* player = player_.get();
  if (player == nullptr) return;
  // What ENTER does in the intro, and the voices' levels dropped.
  silence();
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
  if (!dat_ && !compile(error)) {
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
  const std::time_t now = std::time(nullptr);
  char clock[16] = "";
  std::strftime(clock, sizeof clock, "%H:%M:%S", std::localtime(&now));
  reloaded_ = std::string("reloaded ") + clock;
  return true;
}

PlayState PlaySession::snapshot() const {
  PlayState state;
  state.title = titleOf(songPath_);
  state.paused = paused_;
  state.watching = watching_;
  state.message = reloadError_.empty() ? status_ : reloadError_;
  state.warnings = warnings_;
  state.reloaded = reloaded_;
  state.patternNames = patternNames_;
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
