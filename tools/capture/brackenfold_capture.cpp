// brackenfold-capture: runs the intro's own application on a capture host and writes what a viewer
// would see and hear: PNG pictures, one WAV file and, with ffmpeg, a video. Lives beside data/ in
// the build root, where the intro finds its assets.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>

#include "audio/loopback.h"
#include "host/delegate.h"
#include "intro/my_app.h"
#include "tools/capture/capture_host.h"
#include "tools/capture/capture_options.h"
#include "tools/capture/capture_output.h"
#include "tools/vumo/tool_args.h"
#include "vumo/song_runner.h"

// The same construction as the intro's program.
c_App* createApplication() {
  return new c_MyApp();
}

namespace {

constexpr const char* kTool = "brackenfold-capture";

int run(int argc, char** argv) {
  capture::Options options;
  std::string error;
  if (!capture::parseOptions(argc, argv, options, error)) return vumo::failWith(kTool, error);
  if (options.help) {
    std::fputs(capture::helpText().c_str(), stdout);
    return 0;
  }

  // Checked before anything is recorded: a capture that cannot become the asked-for video is a
  // wasted run.
  std::string ffmpeg;
  if (!options.video.empty() && !capture::findProgram("ffmpeg", ffmpeg)) {
    return vumo::failWith(kTool,
                          "--video needs ffmpeg, and there is none on PATH (install the ffmpeg package)");
  }

  std::error_code failure;
  std::filesystem::create_directories(options.outDir, failure);
  if (failure || !std::filesystem::is_directory(options.outDir)) {
    return vumo::failWith(kTool, "cannot make the output directory " + options.outDir +
                                     (failure ? ": " + failure.message() : ""));
  }

  // Current from here on, so the driver that the game start creates adopts it.
  AlLoopback sound(vumo::kRenderRate, 2);
  if (!sound.isOpen())
    return vumo::failWith(kTool, "cannot open an OpenAL Soft loopback device for 44100 Hz stereo");

  capture::CaptureGame* game = capture::startCaptureHost(error);
  if (game == nullptr) return vumo::failWith(kTool, error);

  std::vector<int16_t> samples;
  int pictures = 0;
  // GLFW stays up until the process ends, as in the intro (which ends inside a key event): taking
  // the context down first leaves blocks behind in the software renderer that the sanitizer's leak
  // check cannot attribute to the driver.
  if (!game->record(options, sound, samples, pictures, error)) return vumo::failWith(kTool, error);

  const std::string soundPath = options.outDir + "/" + capture::kSoundName;
  if (!vumo::writeWav(soundPath, samples)) return vumo::failWith(kTool, "cannot write " + soundPath);

  if (!options.video.empty() &&
      !capture::runProgram(capture::videoCommand(ffmpeg, options, pictures), error)) {
    return vumo::failWith(kTool, "making " + options.video + ": " + error);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return vumo::runTool(kTool, run, argc, argv);
}
