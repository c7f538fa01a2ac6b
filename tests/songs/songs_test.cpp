// The intro's songs as shipped: data/songs holds exactly what data-src/songs compiles to, every
// entry of the song table loads and plays at least thirty seconds before it loops with all four
// voices, the rendered sound (a minute of each song) never clips or falls silent for two seconds
// and is about as loud as chip music is expected to be, and the twelve together use every effect
// of the player.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "intro/intro_globals.h"
#include "runtime/collector.h"
#include "vumo/player.h"
#include "vumo/song_runner.h"

namespace {

namespace fs = std::filesystem;

constexpr double kTicksPerSecond = 51.0;
constexpr double kShortestLoopSeconds = 30.0;
constexpr int kFewestPositions = 8;
constexpr double kRenderSeconds = 60.0;
constexpr double kLongestSilenceSeconds = 2.0;
constexpr double kSilentRms = 1e-3;
// The loudness of a whole render, in dBFS RMS of both channels: the twelve songs' mean, and each.
constexpr double kTargetRmsDb = -16.0;
constexpr double kMeanToleranceDb = 1.0;
constexpr double kSongToleranceDb = 3.0;

std::string sourceRoot() {
  const char* root = std::getenv("CORVANE_SOURCE_DIR");
  return root != nullptr ? root : ".";
}

std::string binaryRoot() {
  const char* root = std::getenv("CORVANE_BINARY_DIR");
  return root != nullptr ? root : ".";
}

std::string scratchDir() {
  static std::string dir = [] {
    std::string pattern = (fs::temp_directory_path() / "songs-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    return std::string(made != nullptr ? made : "/tmp");
  }();
  return dir;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// "songs/NAME.dat" -> "NAME".
std::string songName(const SongEntry& entry) {
  return fs::path(entry.path).stem().string();
}

// The stems of the files in `dir` with `extension`.
std::set<std::string> stemsIn(const std::string& dir, const std::string& extension) {
  std::set<std::string> stems;
  for (const auto& file : fs::directory_iterator(dir)) {
    if (file.path().extension() == extension) stems.insert(file.path().stem().string());
  }
  return stems;
}

int runQuietly(const std::string& command) {
  int raw = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// A song as the player holds it after loadSong, read through its own columns and tables so that
// the checks see what plays, not what the source meant.
struct LoadedSong {
  std::string name;
  int speed = 0;
  int positions = 0;
  std::vector<int> order;
  std::vector<std::string> columns;  // 16 columns of 8192 characters
  std::vector<int> params;

  char at(int column, int pattern, int row) const {
    return columns[column][32 * static_cast<size_t>(pattern) + static_cast<size_t>(row)];
  }
  // Rows a pattern plays: up to and including its first break in any voice.
  int rowsPlayed(int pattern) const {
    for (int r = 0; r < c_vumoPlay::kRowsPerPattern; ++r) {
      for (int v = 0; v < c_vumoPlay::kVoices; ++v) {
        if (at(v, pattern, r) == '-') return r + 1;
      }
    }
    return c_vumoPlay::kRowsPerPattern;
  }
  double loopSeconds() const {
    int ticks = 0;
    for (int p = 0; p < positions; ++p) ticks += rowsPlayed(order[p]) * speed;
    return ticks / kTicksPerSecond;
  }
  int param(int instrument, int j) const {
    return params[8 * static_cast<size_t>(instrument) + static_cast<size_t>(j)];
  }
};

GcRoot<c_vumoPlay*> player;

LoadedSong loadThroughPlayer(const SongEntry& entry, std::string& result) {
  vumo::ensureHostGame();
  player = new c_vumoPlay();
  result = player->loadSong(String(entry.path)).ToUtf8();
  LoadedSong song;
  song.name = songName(entry);
  song.speed = player->speed;
  song.positions = player->playedPositions();
  const Array<int>& order = player->orderList;
  for (int k = 0; k < c_vumoPlay::kOrderLength; ++k) song.order.push_back(order.get(k));
  for (const String& column : player->columns) song.columns.push_back(column.ToUtf8());
  const Array<int>& params = player->instrumentParams;
  for (int k = 0; k < c_vumoPlay::kInstrumentParamCount; ++k) song.params.push_back(params.get(k));
  player = nullptr;
  return song;
}

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

constexpr const char* kNoteKeys = "ysxdcvgbhnjmq2w3er5t6z7ui9o0p";
bool isNote(char c) {
  return std::string(kNoteKeys).find(c) != std::string::npos;
}

// What one pass through a song's positions does, voice by voice in play order.
struct Usage {
  int positionsSounding[c_vumoPlay::kVoices] = {};  // positions in which the voice starts a note
  std::map<std::string, int> effects;
};

Usage usageOf(const LoadedSong& song) {
  Usage use;
  int instrument[c_vumoPlay::kVoices] = {};
  bool sounding[c_vumoPlay::kVoices] = {};
  for (int p = 0; p < song.positions; ++p) {
    const int pattern = song.order[p];
    bool started[c_vumoPlay::kVoices] = {};
    for (int r = 0; r < song.rowsPlayed(pattern); ++r) {
      for (int v = 0; v < c_vumoPlay::kVoices; ++v) {
        const char note = song.at(v, pattern, r);
        const int volume = digitValue(song.at(4 + v, pattern, r));
        const int digit = digitValue(song.at(8 + v, pattern, r));
        if (note == '<') {
          ++use.effects["note off"];
          sounding[v] = false;
        }
        if (note == '+') ++use.effects["slide down"];
        if (note == '#') ++use.effects["slide up"];
        if (note == '-') ++use.effects["pattern break"];
        if (!isNote(note)) continue;
        if (digit != 0) instrument[v] = digit;
        if (volume == 0) {
          if (sounding[v]) ++use.effects["legato"];
          continue;
        }
        started[v] = true;
        sounding[v] = true;
        const int k = instrument[v];
        const int interval = song.param(k, 3) % 16;
        if (interval > 0 && song.param(k, 5) > 0 && (song.param(k, 6) > 0 || song.param(k, 7) > 0)) {
          ++use.effects["arpeggio"];
        }
        if (song.param(k, 1) > 0 && song.param(k, 3) / 16 > 0) ++use.effects["detune oscillator"];
        if (song.param(k, 2) > 0) ++use.effects["pitch drop"];
      }
    }
    for (int v = 0; v < c_vumoPlay::kVoices; ++v) use.positionsSounding[v] += started[v] ? 1 : 0;
  }
  return use;
}

TEST(Songs, TheSongTableSourcesAndCompiledFilesNameTheSameTwelveSongs) {
  std::set<std::string> table;
  for (const SongEntry& entry : kSongTable) table.insert(songName(entry));
  ASSERT_EQ(table.size(), static_cast<size_t>(kSongCount));
  EXPECT_EQ(stemsIn(sourceRoot() + "/data-src/songs", ".vumo"), table);
  EXPECT_EQ(stemsIn(sourceRoot() + "/data/songs", ".dat"), table);
}

TEST(Songs, RecompilingEverySourceGivesTheCommittedFile) {
  const std::string compiler = binaryRoot() + "/vumo-compile";
  for (const SongEntry& entry : kSongTable) {
    const std::string name = songName(entry);
    const std::string out = scratchDir() + "/" + name + ".dat";
    ASSERT_EQ(runQuietly(compiler + " '" + sourceRoot() + "/data-src/songs/" + name + ".vumo' '" + out + "'"),
              0)
        << name;
    const std::string committed = readFile(sourceRoot() + "/data/songs/" + name + ".dat");
    EXPECT_FALSE(committed.empty()) << name;
    EXPECT_TRUE(readFile(out) == committed) << name << ": data/songs is stale; run scripts/make-songs";
  }
}

TEST(Songs, EverySongLoadsAndPlaysThirtySecondsOnAllFourVoicesBeforeItLoops) {
  for (const SongEntry& entry : kSongTable) {
    std::string result;
    const LoadedSong song = loadThroughPlayer(entry, result);
    EXPECT_EQ(result, "File Loaded...") << entry.path;
    EXPECT_GE(song.positions, kFewestPositions) << song.name;
    EXPECT_GE(song.loopSeconds(), kShortestLoopSeconds) << song.name;
    // The first pass plays pattern 0 at position 0 whatever the order names; the loop plays
    // order[0] there. They must agree or the song sounds different the second time.
    EXPECT_EQ(song.order[0], 0) << song.name;
    const Usage use = usageOf(song);
    for (int v = 0; v < c_vumoPlay::kVoices; ++v) {
      EXPECT_GE(2 * use.positionsSounding[v], song.positions)
          << song.name << " voice " << v + 1 << " starts notes in only " << use.positionsSounding[v] << " of "
          << song.positions << " positions";
    }
  }
}

TEST(Songs, TogetherTheSongsUseEveryEffectOfThePlayer) {
  std::map<std::string, std::vector<std::string>> usedBy;
  for (const SongEntry& entry : kSongTable) {
    std::string result;
    const LoadedSong song = loadThroughPlayer(entry, result);
    for (const auto& [effect, count] : usageOf(song).effects) {
      if (count > 0) usedBy[effect].push_back(song.name);
    }
  }
  for (const char* effect : {"arpeggio", "detune oscillator", "slide up", "slide down", "note off",
                             "pattern break", "pitch drop", "legato"}) {
    EXPECT_FALSE(usedBy[effect].empty()) << "no song uses " << effect;
  }
}

// 16-bit stereo frames of a WAV file as vumo-render writes it (a 44-byte header).
std::vector<int16_t> wavSamples(const std::string& path) {
  const std::string bytes = readFile(path);
  std::vector<int16_t> samples;
  for (size_t i = 44; i + 1 < bytes.size(); i += 2) {
    samples.push_back(
        static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
  }
  return samples;
}

// What the checks of the rendered sound need of one song, measured over its whole render.
struct RenderedSong {
  std::string name;
  bool rendered = false;
  int peak = 0;            // largest magnitude of any sample, either channel
  double rmsDb = 0;        // dBFS
  double silentFrom = -1;  // seconds: the start of the first silent two seconds, or -1
  double silentRms = 0;
};

// Every song of the table rendered once for the tests below (the renders take about a second
// each, so the tests share them).
const std::vector<RenderedSong>& renderedSongs() {
  static const std::vector<RenderedSong> songs = [] {
    const std::string renderer = binaryRoot() + "/vumo-render";
    const int blockFrames = vumo::kRenderRate / 10;
    const int windowBlocks = static_cast<int>(kLongestSilenceSeconds * 10);
    std::vector<RenderedSong> out;
    for (const SongEntry& entry : kSongTable) {
      RenderedSong song;
      song.name = songName(entry);
      const std::string wav = scratchDir() + "/" + song.name + ".wav";
      const int status = runQuietly(renderer + " '" + sourceRoot() + "/data/songs/" + song.name + ".dat' '" +
                                    wav + "' --seconds " + std::to_string(static_cast<int>(kRenderSeconds)));
      const std::vector<int16_t> samples = wavSamples(wav);
      std::filesystem::remove(wav);
      song.rendered =
          status == 0 && samples.size() == static_cast<size_t>(2 * kRenderSeconds * vumo::kRenderRate);
      if (!song.rendered) {
        out.push_back(song);
        continue;
      }
      double total = 0;
      std::vector<double> blockSquares;  // mean square of each tenth of a second, both channels
      for (size_t start = 0; start + 2 * blockFrames <= samples.size(); start += 2 * blockFrames) {
        double sum = 0;
        for (size_t i = start; i < start + 2 * blockFrames; ++i) {
          song.peak = std::max(song.peak, std::abs(static_cast<int>(samples[i])));
          double x = samples[i] / 32768.0;
          sum += x * x;
        }
        total += sum;
        blockSquares.push_back(sum / (2 * blockFrames));
      }
      song.rmsDb = 10 * std::log10(std::max(total / samples.size(), 1e-20));
      for (size_t b = 0; b + windowBlocks <= blockSquares.size(); ++b) {
        double sum = 0;
        for (int i = 0; i < windowBlocks; ++i) sum += blockSquares[b + i];
        const double rms = std::sqrt(sum / windowBlocks);
        if (rms < kSilentRms) {
          song.silentFrom = b / 10.0;
          song.silentRms = rms;
          break;
        }
      }
      out.push_back(song);
    }
    return out;
  }();
  return songs;
}

TEST(Songs, RenderedSongsNeverClipAndNeverFallSilentForTwoSeconds) {
  for (const RenderedSong& song : renderedSongs()) {
    ASSERT_TRUE(song.rendered) << song.name << ": vumo-render failed or wrote the wrong length";
    // The renderer clamps to full scale, so a clipped mix shows up as samples at +-32767.
    EXPECT_LT(song.peak, 32767) << song.name << " clips";
    EXPECT_GT(song.peak, 32767 / 20) << song.name << " is barely audible";
    EXPECT_EQ(song.silentFrom, -1) << song.name << " is silent from " << song.silentFrom
                                   << " s for two seconds (rms " << song.silentRms << ")";
  }
}

// Chip music is mixed loud: a song that plays much quieter than what the listener heard before
// gets the volume turned up, and the next program is a shock. The twelve are about as loud as
// each other, too, so that switching songs needs no hand on the volume.
TEST(Songs, RenderedSongsAreAboutMinus16DbfsEachWithin3Db) {
  double sumDb = 0;
  std::ostringstream table;
  for (const RenderedSong& song : renderedSongs()) {
    ASSERT_TRUE(song.rendered) << song.name << ": vumo-render failed or wrote the wrong length";
    sumDb += song.rmsDb;
    table << song.name << " " << song.rmsDb << " dBFS rms, peak " << song.peak << "\n";
  }
  const double meanDb = sumDb / static_cast<double>(renderedSongs().size());
  EXPECT_NEAR(meanDb, kTargetRmsDb, kMeanToleranceDb) << table.str();
  for (const RenderedSong& song : renderedSongs()) {
    EXPECT_NEAR(song.rmsDb, kTargetRmsDb, kSongToleranceDb) << song.name << "\n" << table.str();
  }
}

}  // namespace
