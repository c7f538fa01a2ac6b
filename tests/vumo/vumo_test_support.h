// Shared pieces of the song player's tests: files under tests/vumo and a scratch directory, the
// compiled test songs, and a parsed form of trace text for checks on single calls.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "vumo/song_compiler.h"
#include "vumo/song_runner.h"

namespace vumotest {

inline std::string sourceDir() {
  const char* root = std::getenv("CORVANE_SOURCE_DIR");
  return std::string(root != nullptr ? root : ".") + "/tests/vumo";
}

inline std::string binaryDir() {
  const char* root = std::getenv("CORVANE_BINARY_DIR");
  return root != nullptr ? root : ".";
}

// One scratch directory per test executable.
inline std::string scratchDir() {
  static std::string dir = [] {
    std::string pattern = "/tmp/vumo-test-XXXXXX";
    char* made = mkdtemp(pattern.data());
    return std::string(made != nullptr ? made : "/tmp");
  }();
  return dir;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Compiles tests/vumo/songs/NAME.vumo into the scratch directory; the path of the .dat.
inline std::string compileTestSong(const std::string& name) {
  vumo::Song song;
  vumo::SourceError error;
  std::string source = readFile(sourceDir() + "/songs/" + name + ".vumo");
  EXPECT_TRUE(vumo::compileSource(source, song, error)) << name << ":" << error.line << ": " << error.reason;
  std::vector<unsigned char> bytes = vumo::encodeSong(song);
  std::string path = scratchDir() + "/" + name + ".dat";
  writeFile(path, std::string(bytes.begin(), bytes.end()));
  return path;
}

struct TraceLine {
  int tick = 0;
  std::string op;
  int channel = 0;
  std::string arg;  // the sample and flags of a play, the value of volume and rate
  double value() const { return std::stod(arg); }
};

inline std::vector<TraceLine> parseTrace(const std::string& text) {
  std::vector<TraceLine> lines;
  std::istringstream in(text);
  std::string row;
  while (std::getline(in, row)) {
    std::istringstream fields(row);
    TraceLine line;
    fields >> line.tick >> line.op >> line.channel;
    std::getline(fields >> std::ws, line.arg);
    lines.push_back(line);
  }
  return lines;
}

// The calls of one tick, or of one operation on one channel.
inline std::vector<TraceLine> callsAt(const std::vector<TraceLine>& lines, int tick) {
  std::vector<TraceLine> out;
  for (const TraceLine& line : lines) {
    if (line.tick == tick) out.push_back(line);
  }
  return out;
}

inline std::vector<TraceLine> callsOf(const std::vector<TraceLine>& lines, const std::string& op,
                                      int channel) {
  std::vector<TraceLine> out;
  for (const TraceLine& line : lines) {
    if (line.op == op && line.channel == channel) out.push_back(line);
  }
  return out;
}

// The ticks in which `op` was called on `channel`.
inline std::vector<int> ticksOf(const std::vector<TraceLine>& lines, const std::string& op, int channel) {
  std::vector<int> ticks;
  for (const TraceLine& line : callsOf(lines, op, channel)) ticks.push_back(line.tick);
  return ticks;
}

// The last value `op` set on `channel` during `tick` (the per-tick one, for rates); NaN if none.
inline double lastValue(const std::vector<TraceLine>& lines, const std::string& op, int channel, int tick) {
  double value = std::nan("");
  for (const TraceLine& line : lines) {
    if (line.tick == tick && line.op == op && line.channel == channel) value = line.value();
  }
  return value;
}

// The plays of one tick as "CHANNEL SAMPLE" words.
inline std::vector<std::string> playsAt(const std::vector<TraceLine>& lines, int tick) {
  std::vector<std::string> plays;
  for (const TraceLine& line : callsAt(lines, tick)) {
    if (line.op == "play") plays.push_back(std::to_string(line.channel) + " " + line.arg);
  }
  return plays;
}

}  // namespace vumotest
