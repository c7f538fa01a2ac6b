// The capture's command line: help, refusals, the missing display, and the hand-over to ffmpeg
// (a stand-in script on PATH that records how it was called, and the real one when installed).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "tests/capture/capture_test_support.h"
#include "tools/capture/capture_output.h"

namespace capturetest {
namespace {

int lineCount(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// The value after `option` in an argument list, or "" when absent.
std::string after(const std::vector<std::string>& args, const std::string& option) {
  auto it = std::find(args.begin(), args.end(), option);
  return it != args.end() && it + 1 != args.end() ? *(it + 1) : "";
}

TEST(CommandLine, HelpDescribesEveryOption) {
  const ChildRun run = runProgram(captureProgram().program, {"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  for (const char* option : {"--frames", "--every", "--out", "--keys", "--video", "--help"}) {
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  }
}

TEST(CommandLine, BadArgumentsGiveOneLineAndAFailingStatus) {
  const std::string out = scratchDir("refused") + "/never";
  const std::vector<std::vector<std::string>> refused = {
      {"--frames", "0"},    {"--frames", "12x"},  {"--frames", "999999999"},
      {"--frames"},         {"--every", "-1"},    {"--every"},
      {"--out", ""},        {"--keys", "120F3"},  {"--keys", "0:F3"},
      {"--keys", "10:F13"}, {"--keys", "10:F3,"}, {"--keys", "61:F2"},  // after the last of the 60 updates
      {"--video"},          {"--bogus"},          {"stray"},
  };
  for (std::vector<std::string> args : refused) {
    std::string shown;
    for (const std::string& a : args) shown += "'" + a + "' ";
    args.insert(args.begin(), {"--frames", "60", "--out", out});
    // --frames comes first so that a later --frames is what is refused.
    const ChildRun run = runProgram(captureProgram().program, args);
    EXPECT_NE(run.status, 0) << shown;
    EXPECT_EQ(lineCount(run.err), 1) << shown << "gave: " << run.err;
    EXPECT_EQ(run.err.rfind("brackenfold-capture: ", 0), 0u) << shown << "gave: " << run.err;
    EXPECT_EQ(run.out, "") << shown;
  }
  EXPECT_FALSE(std::filesystem::exists(out)) << "a refused command wrote files";
}

TEST(CommandLine, WithoutADisplayTheCaptureSaysWhatIsMissing) {
  const std::string out = scratchDir("no-display");
  const ChildRun run = runProgram(captureProgram().program, {"--frames", "2", "--out", out},
                                  {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
  EXPECT_NE(run.status, 0);
  const std::vector<std::string> said = lines(run.err);
  ASSERT_FALSE(said.empty());
  EXPECT_NE(said.back().find("display"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(out + "/frame_00001.png"));
}

class Video : public ::testing::Test {
 protected:
  void SetUp() override {
    tools_ = scratchDir("fake-ffmpeg");
    // Records its arguments, one per line, and "exists" after each -i whose file is there when
    // it runs; then makes the output file and exits with FAKE_STATUS.
    writeFile(tools_ + "/ffmpeg",
              "#!/bin/sh\n"
              "log=\"$(dirname \"$0\")/args\"\n"
              ": > \"$log\"\n"
              "prev=\n"
              "for a in \"$@\"; do\n"
              "  printf '%s\\n' \"$a\" >> \"$log\"\n"
              "  if [ \"$prev\" = -i ] && [ -s \"$a\" ]; then printf 'exists\\n' >> \"$log\"; fi\n"
              "  prev=$a\n"
              "done\n"
              "printf 'video' > \"$prev\"\n"
              "exit ${FAKE_STATUS:-0}\n");
    chmod((tools_ + "/ffmpeg").c_str(), 0755);
  }

  ChildRun capture(const std::string& out, const std::string& video, const std::string& status) {
    return runProgram(captureProgram().program,
                      {"--frames", "5", "--every", "2", "--out", out, "--video", video},
                      {{"PATH", tools_ + ":/usr/bin:/bin"}, {"FAKE_STATUS", status}});
  }

  std::string tools_;
};

TEST_F(Video, FfmpegGetsThePicturesAtTheirRateAndTheFinishedSound) {
  const std::string out = scratchDir("video"), video = out + "/intro.mp4";
  const ChildRun run = capture(out, video, "0");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> args = lines(fileBytes(tools_ + "/args"));
  ASSERT_FALSE(args.empty());
  EXPECT_NE(std::find(args.begin(), args.end(), "-nostdin"), args.end()) << "ffmpeg would read the terminal";
  // Frames 1, 3 and 5: three pictures at 51/2 per second.
  EXPECT_EQ(after(args, "-framerate"), "51/2");
  EXPECT_EQ(after(args, "-start_number"), "1");
  EXPECT_EQ(after(args, "-frames:v"), "3");
  auto input = std::find(args.begin(), args.end(), "-i");
  ASSERT_NE(input, args.end());
  EXPECT_EQ(*(input + 1), out + "/frame_%05d.png");
  input = std::find(input + 1, args.end(), "-i");
  ASSERT_NE(input, args.end());
  EXPECT_EQ(*(input + 1), out + "/audio.wav");
  EXPECT_EQ(after(args, out + "/audio.wav"), "exists") << "the sound was not written before ffmpeg ran";
  EXPECT_EQ(args.back(), video);
  for (int picture = 1; picture <= 3; ++picture) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%05d.png", picture);
    EXPECT_TRUE(std::filesystem::exists(out + name)) << name;
  }
}

TEST_F(Video, FfmpegFailureFailsTheCapture) {
  const std::string out = scratchDir("video-fails");
  const ChildRun run = capture(out, out + "/intro.mp4", "3");
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(lineCount(run.err), 1) << run.err;
  EXPECT_NE(run.err.find("exit status 3"), std::string::npos) << run.err;
}

TEST_F(Video, WithoutFfmpegNothingIsRecorded) {
  const std::string out = scratchDir("no-ffmpeg") + "/out";
  const std::string empty = scratchDir("empty-path");
  const ChildRun run = runProgram(
      captureProgram().program, {"--frames", "5", "--out", out, "--video", out + ".mp4"}, {{"PATH", empty}});
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(lineCount(run.err), 1) << run.err;
  EXPECT_NE(run.err.find("ffmpeg"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(RealVideo, FfmpegMakesAVideoFile) {
  std::string ffmpeg;
  if (!capture::findProgram("ffmpeg", ffmpeg)) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string out = scratchDir("real-video"), video = out + "/intro.mp4";
  const ChildRun run =
      runProgram(captureProgram().program, {"--frames", "26", "--out", out, "--video", video});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_GT(std::filesystem::file_size(video), 1000u);
}

}  // namespace
}  // namespace capturetest
