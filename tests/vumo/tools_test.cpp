// The song tools as programs: vumo-compile, vumo-decompile, vumo-trace, vumo-render and vumo-play
// from the build root (beside data/), with their outputs, their determinism, their answers to bad
// input and their exit statuses (0 done, 1 error, 2 bad usage).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

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

TEST(SongTools, HelpVersionAndExitStatuses) {
  const std::string dir = scratchDir();
  for (const std::string name :
       {"vumo-compile", "vumo-decompile", "vumo-trace", "vumo-render", "vumo-play"}) {
    SCOPED_TRACE(name);
    Result help = run(dir, tool(name) + " --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: " + name, 0), 0u) << help.out;
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
    EXPECT_EQ(help.err, "");
    Result version = run(dir, tool(name) + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, name + " 1.1\n");

    Result none = run(dir, tool(name));
    EXPECT_EQ(none.status, 2);
    expectOneErrorLine(none, "(usage: " + name);
    Result option = run(dir, tool(name) + " --frobnicate x y");
    EXPECT_EQ(option.status, 2);
    expectOneErrorLine(option, "unknown option --frobnicate");
  }
  // A file that is not there: status 1 and the file named.
  const std::vector<std::string> missing = {
      "vumo-compile missing.vumo out.dat", "vumo-decompile missing.dat out.vumo", "vumo-trace missing.dat",
      "vumo-render missing.dat out.wav", "vumo-play --no-sound missing.dat"};
  for (const std::string& line : missing) {
    Result r = run(dir, binaryDir() + "/" + line);
    EXPECT_EQ(r.status, 1) << line;
    expectOneErrorLine(r, "missing.");
  }
}

TEST(VumoCompile, WarnsWithFileAndLineAndWerrorRefuses) {
  const std::string dir = scratchDir();
  writeFile(dir + "/warn.vumo",
            "speed 4\ninstrument 1 quiet type=tri decay=0\norder 0\npattern 0\n  C-2 8 quiet | ... | ... | "
            "...\nend\n");
  Result warned = run(dir, tool("vumo-compile") + " warn.vumo warn.dat");
  EXPECT_EQ(warned.status, 0);
  EXPECT_EQ(warned.err,
            "warn.vumo:2: warning: instrument 'quiet' has decay=0: it is silent from its first tick [decay] "
            "(silence with \"# allow decay: why\")\n");
  EXPECT_EQ(readFile(dir + "/warn.dat").size(), 1163u + 512u);

  Result refused = run(dir, tool("vumo-compile") + " --Werror warn.vumo refused.dat");
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err,
            "warn.vumo:2: error: instrument 'quiet' has decay=0: it is silent from its first tick [decay] "
            "(silence with \"# allow decay: why\")\n");
  EXPECT_EQ(std::fopen((dir + "/refused.dat").c_str(), "rb"), nullptr) << "nothing written";

  // The twelve songs compile without a warning, even with --Werror, to the shipped bytes.
  const std::string root = sourceDir() + "/../..";
  for (const std::string name : {"brackenfold", "lowtide", "turbotape"}) {
    Result r = run(dir, tool("vumo-compile") + " --Werror " +
                            shellQuoted(root + "/data-src/songs/" + name + ".vumo") + " " + name + ".dat");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(readFile(dir + "/" + name + ".dat") == readFile(root + "/data/songs/" + name + ".dat"))
        << name;
  }
}

TEST(VumoDecompile, WritesASourceThatCompilesToTheSameFile) {
  const std::string dir = scratchDir();
  const std::string song = compileTestSong("tune");
  Result r = run(dir, tool("vumo-decompile") + " " + shellQuoted(song) + " back.vumo");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  ASSERT_EQ(run(dir, tool("vumo-compile") + " back.vumo back.dat").status, 0);
  EXPECT_TRUE(readFile(dir + "/back.dat") == readFile(song));
  Result toStdout = run(dir, tool("vumo-decompile") + " " + shellQuoted(song) + " -");
  EXPECT_EQ(toStdout.out, readFile(dir + "/back.vumo"));

  // A hand-edited file: still a source, and every lost value said on standard error. Its header is
  // gone too, so only --force takes it.
  std::string bytes = readFile(song);
  bytes[0] = 'X';
  bytes[7] = 'Z';
  writeFile(dir + "/edited.dat", bytes);
  expectOneErrorLine(run(dir, tool("vumo-decompile") + " edited.dat edited.vumo"),
                     "edited.dat: not a song file (no VUMO header)");
  Result edited = run(dir, tool("vumo-decompile") + " --force edited.dat edited.vumo");
  EXPECT_EQ(edited.status, 0);
  EXPECT_EQ(lineCount(edited.err), 2) << edited.err;
  EXPECT_NE(edited.err.find("vumo-decompile: edited.dat: not kept: header characters"), std::string::npos);
  EXPECT_EQ(run(dir, tool("vumo-compile") + " edited.vumo edited2.dat").status, 0);

  writeFile(dir + "/empty.dat", "");
  expectOneErrorLine(run(dir, tool("vumo-decompile") + " empty.dat x.vumo"), "empty.dat");
}

TEST(VumoPlay, WithoutATerminalPrintsOneLinePerRowTimedByTheClock) {
  const std::string dir = scratchDir();
  compileTestSong("tune");
  Result r = run(dir, tool("vumo-play") + " --no-sound --seconds 1 tune.dat </dev/null");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "no sound (--no-sound): rows timed by the clock\n") << "not among the rows";
  std::istringstream lines(r.out);
  std::string line;
  std::vector<std::string> rows;
  while (std::getline(lines, line)) rows.push_back(line);
  // 51 ticks in a second at 4 ticks a row, the first row on tick 5: 12 rows (one either way for the
  // clock's start and end).
  EXPECT_GE(rows.size(), 11u) << r.out;
  EXPECT_LE(rows.size(), 13u) << r.out;
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0], "position 00 pattern 00 row 00 | C-2  c 1 | ...  . . | C-3  8 3 | G-3  6 4");
  EXPECT_EQ(rows[1].rfind("position 00 pattern 00 row 01 |", 0), 0u);

  // A source plays as it is; one that does not compile is refused with its line.
  Result source = run(dir, tool("vumo-play") + " --no-sound --seconds 0.2 " +
                               shellQuoted(sourceDir() + "/songs/tune.vumo") + " </dev/null");
  EXPECT_EQ(source.status, 0) << source.err;
  EXPECT_NE(source.out.find("position 00 pattern intro row 00 | C-2  c 1"), std::string::npos) << source.out;
  writeFile(dir + "/broken.vumo", "speed 4\norder 0\npattern 0\nC-3 | X-1 | ... | ...\nend\n");
  expectOneErrorLine(run(dir, tool("vumo-play") + " --no-sound broken.vumo"),
                     "broken.vumo:4: voice 2: 'X-1' is not a note");
}

TEST(VumoPlay, WatchNoticesASaveAndShowsACompileErrorWhileTheOldSongPlaysOn) {
  const std::string dir = scratchDir();
  const std::string good =
      "speed 1\ninstrument 1 lead type=tri decay=8\norder 0\npattern 0\n  C-2 8 lead | ... | ... | "
      "...\nend\n";
  writeFile(dir + "/live.vumo", good);
  // Saved with an error after 0.6 s (mtime polling looks four times a second), then fixed at 1.2 s.
  Result r = run(dir, "(" + tool("vumo-play") + " --watch --no-sound --seconds 3.5 live.vumo </dev/null & " +
                          "sleep 0.6; printf 'speed 1\\norder 0\\npattern 0\\n  Q-2 | ... | ... | "
                          "...\\nend\\n' > live.vumo; " +
                          "sleep 0.6; printf 'speed 1\\norder 0\\npattern 0\\n  E-2 | ... | ... | "
                          "...\\nend\\n' > live.vumo; wait)");
  ASSERT_EQ(r.status, 0) << r.err;
  const size_t error = r.out.find("live.vumo:4: voice 1: 'Q-2' is not a note");
  ASSERT_NE(error, std::string::npos) << r.out;
  const size_t before = r.out.rfind("position 00 pattern 00 row", error);
  const size_t after = r.out.find("position 00 pattern 00 row", error);
  EXPECT_NE(before, std::string::npos);
  ASSERT_NE(after, std::string::npos) << "the old song plays on";
  // The fixed source is playing by the end: its row 0 has E-2 in voice 1, where the first had C-2.
  EXPECT_NE(r.out.find("row 00 | E-2  . ."), std::string::npos) << r.out;
  EXPECT_LT(r.out.find("row 00 | C-2  8 1"), error);
  // The good save is confirmed, after the error.
  const size_t reloaded = r.out.find("reloaded ", error);
  ASSERT_NE(reloaded, std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\n', reloaded) - reloaded, std::string("reloaded 12:34:56").size());
}

// Without a sound device: the rows still go to standard output, and the device's own lines to
// standard error, after a bad song's one line (reported before the device is opened).
TEST(VumoPlay, SoundDeviceMessagesGoToStandardErrorAfterTheSongsOwnError) {
  const std::string dir = scratchDir();
  compileTestSong("tune");
  Result r =
      run(dir, "ALSOFT_DRIVERS=no-such-driver " + tool("vumo-play") + " --seconds 0.3 tune.dat </dev/null");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("position 00 pattern 00 row 00", 0), 0u) << r.out;
  EXPECT_EQ(
      r.err,
      "OpenAl error: alcOpenDevice failed\nno sound device: playing silently, rows timed by the clock\n");
  writeFile(dir + "/bad.vumo", "speed 4\ninstrument 1 lead type=sine decay=3\norder 0\n");
  expectOneErrorLine(run(dir, "ALSOFT_DRIVERS=no-such-driver " + tool("vumo-play") + " bad.vumo </dev/null"),
                     "vumo-play: bad.vumo:2: type 'sine' is not a type");
}

}  // namespace

namespace {

// Every tool refuses what it cannot play with one line naming the file and status 1: an empty file,
// random bytes, a text file given where a compiled song is needed (or named .dat); a missing file
// with the system's reason. --force takes a headerless file as a song; -- ends the options.
TEST(SongTools, RefuseWhatTheyCannotPlayWithOneLine) {
  const std::string dir = scratchDir();
  writeFile(dir + "/empty.dat", "");
  std::string noise;
  for (int i = 0; i < 3000; ++i) noise.push_back(static_cast<char>((i * 7919 + 13) % 256));
  writeFile(dir + "/noise.dat", noise);
  writeFile(dir + "/words.dat", "root:x:0:0:root:/root:/bin/bash\n");
  writeFile(dir + "/tune.vumo", readFile(sourceDir() + "/songs/tune.vumo"));
  const std::vector<std::pair<std::string, std::string>> tools = {{"vumo-render", " x.wav"},
                                                                  {"vumo-trace", ""},
                                                                  {"vumo-decompile", " x.vumo"},
                                                                  {"vumo-play --no-sound", ""}};
  for (const auto& [name, after] : tools) {
    SCOPED_TRACE(name);
    const std::string command = tool(name) + " ";
    for (const auto& [file, reason] : std::vector<std::pair<std::string, std::string>>{
             {"empty.dat", "empty.dat: empty file"},
             {"noise.dat", "noise.dat: not a song file (no VUMO header)"},
             {"words.dat", "words.dat: not a song file (no VUMO header)"},
             {"missing.dat", "cannot read song file missing.dat: No such file or directory"}}) {
      Result r = run(dir, command + file + after + " </dev/null");
      EXPECT_EQ(r.status, 1) << file << ": " << r.err;
      expectOneErrorLine(r, reason);
    }
  }
  expectOneErrorLine(
      run(dir, tool("vumo-decompile") + " tune.vumo x.vumo"),
      "tune.vumo: a song source, not a compiled song (vumo-compile tune.vumo OUT.dat compiles it)");
  // Render and trace take a source as vumo-play does.
  Result traced = run(dir, tool("vumo-trace") + " --ticks 8 tune.vumo");
  EXPECT_EQ(traced.status, 0) << traced.err;
  EXPECT_EQ(traced.out, run(dir, tool("vumo-compile") + " tune.vumo tune.dat && " + tool("vumo-trace") +
                                     " --ticks 8 tune.dat")
                            .out);
  EXPECT_EQ(run(dir, tool("vumo-render") + " --seconds 0.2 tune.vumo tune.wav").status, 0);
  // --force takes a file without the header as a song; the player plays it.
  EXPECT_EQ(run(dir, tool("vumo-trace") + " --force --ticks 2 noise.dat").status, 0);
  EXPECT_EQ(run(dir, tool("vumo-decompile") + " --force noise.dat noise.vumo").status, 0);
  // -- ends the options in every tool: a file whose name starts with "-".
  writeFile(dir + "/-tune.vumo", readFile(sourceDir() + "/songs/tune.vumo"));
  EXPECT_EQ(run(dir, tool("vumo-compile") + " -- -tune.vumo -tune.dat").status, 0);
  EXPECT_EQ(run(dir, tool("vumo-trace") + " --ticks 2 -- -tune.dat").status, 0);
  EXPECT_EQ(run(dir, tool("vumo-render") + " --seconds 0.1 -- -tune.dat -x.wav").status, 0);
  EXPECT_EQ(run(dir, tool("vumo-decompile") + " -- -tune.dat -back.vumo").status, 0);
  EXPECT_EQ(run(dir, tool("vumo-play") + " --no-sound --seconds 0.1 -- -tune.dat </dev/null").status, 0);
  // The compiler refuses what is no source.
  expectOneErrorLine(run(dir, tool("vumo-compile") + " empty.dat x.dat"), "empty.dat: empty file");
  expectOneErrorLine(run(dir, tool("vumo-compile") + " noise.dat x.dat"), "noise.dat: not a song source");
  expectOneErrorLine(run(dir, tool("vumo-compile") + " tune.dat x.dat"), "tune.dat: a compiled song");
  // The decompiler never writes over the song it reads.
  expectOneErrorLine(run(dir, tool("vumo-decompile") + " tune.dat ./tune.dat"), "is the song itself");
  EXPECT_EQ(readFile(dir + "/tune.dat").substr(0, 4), "VUMO");
}

}  // namespace

namespace {

// In a terminal (a pseudo-terminal from script(1)), vumo-play takes the screen and gives it back
// however it ends: its time limit, SIGTERM, the q key.
TEST(VumoPlay, GivesTheTerminalBackHoweverItEnds) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "script(1) is not installed";
  const std::string dir = scratchDir();
  compileTestSong("tune");
  const std::string play = tool("vumo-play") + " --no-sound ";
  for (const std::string& how : std::vector<std::string>{
           play + "--seconds 0.4 tune.dat",
           "timeout --foreground -s TERM 0.4 " + play + "--seconds 30 tune.dat; true", play + "tune.dat"}) {
    SCOPED_TRACE(how);
    const std::string input = how == play + "tune.dat" ? "(sleep 0.4; printf q)" : "(sleep 1)";
    Result r = run(dir, input + " | TERM=xterm script -qec " + shellQuoted(how) + " /dev/null");
    EXPECT_EQ(r.status, 0) << r.err;
    const size_t taken = r.out.find("\x1b[?1049h");
    ASSERT_NE(taken, std::string::npos) << "the screen was never taken";
    EXPECT_NE(r.out.find("\x1b[?1049l", taken), std::string::npos) << "the screen was not given back";
  }
}

}  // namespace
