// The song tools as programs: vumo-compile, vumo-trace and vumo-render from the build root (beside
// data/), with their outputs, their determinism and their answers to bad input.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vumo_test_support.h"

namespace {

using namespace vumotest;

struct Result {
  int status = -1;
  std::string out, err;
};

std::string tool(const std::string& name) {
  return binaryDir() + "/" + name;
}

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs a command line in `dir` with its output streams captured.
Result run(const std::string& dir, const std::string& command) {
  static int serial = 0;
  const std::string base = scratchDir() + "/run" + std::to_string(++serial);
  const std::string line = "cd " + shellQuoted(dir) + " && " + command + " >" + shellQuoted(base + ".out") +
                           " 2>" + shellQuoted(base + ".err");
  int raw = std::system(line.c_str());
  Result r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = readFile(base + ".out");
  r.err = readFile(base + ".err");
  return r;
}

int lineCount(const std::string& text) {
  int n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

void expectOneErrorLine(const Result& r, const std::string& part) {
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(lineCount(r.err), 1) << r.err;
  EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
}

TEST(VumoCompile, WritesTheSongAndRefusesAMalformedSourceWithItsLine) {
  const std::string dir = scratchDir();
  Result ok =
      run(dir, tool("vumo-compile") + " " + shellQuoted(sourceDir() + "/songs/tune.vumo") + " tune.dat");
  ASSERT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.err, "");
  EXPECT_EQ(readFile(dir + "/tune.dat").size(), 1163u + 2 * 512u);

  writeFile(dir + "/bad.vumo", "speed 4\norder 0\npattern 0\nC-3 | X-1 | ... | ...\nend\n");
  Result bad = run(dir, tool("vumo-compile") + " bad.vumo bad.dat");
  expectOneErrorLine(bad, "bad.vumo:4: voice 2: 'X-1' is not a note");
  EXPECT_EQ(std::fopen((dir + "/bad.dat").c_str(), "rb"), nullptr) << "nothing written";
  EXPECT_EQ(std::fopen((dir + "/bad.dat.tmp").c_str(), "rb"), nullptr);

  expectOneErrorLine(run(dir, tool("vumo-compile") + " missing.vumo x.dat"),
                     "cannot read source file missing.vumo");
  expectOneErrorLine(run(dir, tool("vumo-compile") + " bad.vumo"), "usage");
  expectOneErrorLine(run(dir, tool("vumo-compile") + " " + shellQuoted(sourceDir() + "/songs/tune.vumo") +
                                  " no_such_dir/x.dat"),
                     "cannot write no_such_dir/x.dat");
}

TEST(VumoTrace, PrintsEveryCallOfTheRealPlayerWithTheRealSamples) {
  const std::string song = compileTestSong("types");
  Result r = run(scratchDir(), tool("vumo-trace") + " types.dat");  // relative to the working directory
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<TraceLine> lines = parseTrace(r.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front().tick, 1);
  EXPECT_EQ(lines.back().tick, 512) << "512 ticks by default";
  // The sample files beside the tool all load, so the trace is the one the tests' driver records.
  vumo::ensureHostGame();
  EXPECT_EQ(r.out, vumo::traceSong(song, 512, RecordingAudio::SampleFiles::Assume));

  Result shortRun = run("/", tool("vumo-trace") + " " + shellQuoted(song) + " --ticks 4");
  ASSERT_EQ(shortRun.status, 0) << shortRun.err;
  EXPECT_EQ(shortRun.out, vumo::traceSong(song, 4, RecordingAudio::SampleFiles::Assume));
  EXPECT_NE(shortRun.out.find("4 play 1 tri_64.wav 1\n"), std::string::npos);
}

TEST(VumoTrace, AnswersBadInputWithOneLine) {
  const std::string dir = scratchDir();
  compileTestSong("speed1");
  expectOneErrorLine(run(dir, tool("vumo-trace")), "no song given");
  expectOneErrorLine(run(dir, tool("vumo-trace") + " nothing_here.dat"),
                     "cannot read song file nothing_here.dat");
  expectOneErrorLine(run(dir, tool("vumo-trace") + " ."), "cannot read song file .");
  expectOneErrorLine(run(dir, tool("vumo-trace") + " speed1.dat --ticks"), "--ticks needs a whole number");
  expectOneErrorLine(run(dir, tool("vumo-trace") + " speed1.dat --ticks -3"), "--ticks needs a whole number");
  expectOneErrorLine(run(dir, tool("vumo-trace") + " speed1.dat --ticks 12x"),
                     "--ticks needs a whole number");
  expectOneErrorLine(run(dir, tool("vumo-trace") + " speed1.dat --tick 3"), "unknown option --tick");
  expectOneErrorLine(run(dir, tool("vumo-trace") + " speed1.dat speed1.dat"), "more than one song");
}

struct Wav {
  uint32_t rate = 0;
  uint16_t channels = 0, bits = 0;
  std::vector<int16_t> samples;
};

bool parseWav(const std::string& bytes, Wav& wav) {
  if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 8, "WAVEfmt ") != 0 ||
      bytes.compare(36, 4, "data") != 0) {
    return false;
  }
  auto u16 = [&](size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
  };
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(u16(at)) | static_cast<uint32_t>(u16(at + 2)) << 16;
  };
  wav.channels = u16(22);
  wav.rate = u32(24);
  wav.bits = u16(34);
  const uint32_t size = u32(40);
  if (size != bytes.size() - 44) return false;
  wav.samples.resize(size / 2);
  std::memcpy(wav.samples.data(), bytes.data() + 44, size);
  return true;
}

TEST(VumoRender, WritesTheSameAudibleMixOnEveryRun) {
  const std::string dir = scratchDir();
  ASSERT_EQ(run(dir, tool("vumo-compile") + " " + shellQuoted(sourceDir() + "/songs/tune.vumo") + " tune.dat")
                .status,
            0);
  Result first = run(dir, tool("vumo-render") + " tune.dat one.wav --seconds 3");
  ASSERT_EQ(first.status, 0) << first.err;
  Result second =
      run(dir, tool("vumo-render") + " " + shellQuoted(dir + "/tune.dat") + " two.wav --seconds 3");
  ASSERT_EQ(second.status, 0) << second.err;
  const std::string one = readFile(dir + "/one.wav"), two = readFile(dir + "/two.wav");
  EXPECT_TRUE(one == two) << "two renders of the same song differ";

  Wav wav;
  ASSERT_TRUE(parseWav(one, wav));
  EXPECT_EQ(wav.rate, 44100u);
  EXPECT_EQ(wav.channels, 2);
  EXPECT_EQ(wav.bits, 16);
  EXPECT_EQ(wav.samples.size(), 2u * static_cast<size_t>(vumo::framesBeforeTick(153))) << "3 s = 153 ticks";
  EXPECT_EQ(vumo::framesBeforeTick(51), 44100) << "the fraction is carried";
  // The first row plays on tick 5 (speed 4): silence before it, sound after.
  const size_t firstRow = 2 * static_cast<size_t>(vumo::framesBeforeTick(4));
  int quietPeak = 0, loudPeak = 0;
  for (size_t i = 0; i < wav.samples.size(); ++i) {
    int level = std::abs(static_cast<int>(wav.samples[i]));
    (i < firstRow ? quietPeak : loudPeak) = std::max(i < firstRow ? quietPeak : loudPeak, level);
  }
  EXPECT_EQ(quietPeak, 0);
  EXPECT_GT(loudPeak, 3000);
}

TEST(VumoRender, AnswersBadInputWithOneLine) {
  const std::string dir = scratchDir();
  compileTestSong("speed1");
  expectOneErrorLine(run(dir, tool("vumo-render") + " speed1.dat"), "a song and an output file are needed");
  expectOneErrorLine(run(dir, tool("vumo-render") + " nothing.dat out.wav"),
                     "cannot read song file nothing.dat");
  expectOneErrorLine(run(dir, tool("vumo-render") + " speed1.dat out.wav --seconds 0"), "--seconds needs");
  expectOneErrorLine(run(dir, tool("vumo-render") + " speed1.dat out.wav --seconds nan"), "--seconds needs");
  expectOneErrorLine(run(dir, tool("vumo-render") + " speed1.dat no_dir/out.wav --seconds 0.1"),
                     "cannot write no_dir/out.wav");
}

// --help answers on standard output with status 0 wherever it stands, and does nothing else.
TEST(VumoTools, HelpPrintsTheUsageAndDoesNothingElse) {
  const std::string dir = scratchDir();
  for (const char* name : {"vumo-compile", "vumo-trace", "vumo-render"}) {
    for (const std::string& args : {std::string(" --help"), std::string(" x.vumo out.dat -h")}) {
      Result r = run(dir, tool(name) + args);
      EXPECT_EQ(r.status, 0) << name << args << ": " << r.err;
      EXPECT_EQ(r.err, "") << name << args;
      EXPECT_EQ(r.out.rfind(std::string("usage: ") + name + " ", 0), 0u) << r.out;
      EXPECT_NE(r.out.find("--help"), std::string::npos) << r.out;
    }
  }
  EXPECT_EQ(std::fopen((dir + "/out.dat").c_str(), "rb"), nullptr) << "help writes nothing";
}

}  // namespace
