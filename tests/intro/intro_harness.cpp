#include "tests/intro/intro_harness.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "audio/audio.h"
#include "graphics/font.h"
#include "graphics/graphics_context.h"
#include "host/delegate.h"
#include "host/game.h"
#include "intro/intro_globals.h"
#include "runtime/collector.h"
#include "vumo/song_compiler.h"

namespace introtest {

gxtkSurface* RecordingGraphics::loadSurface(const String& path) {
  gxtkSurface* surface = new gxtkSurface();
  // The base decoder alone: binding would need a context.
  if (!gxtkGraphics::loadSurfaceData(surface, path)) return nullptr;
  return surface;
}

gxtkSurface* RecordingGraphics::createSurface(int width, int height) {
  gxtkSurface* surface = new gxtkSurface();
  surface->width_ = width;
  surface->height_ = height;
  surface->depth = 4;
  return surface;
}

int RecordingGraphics::setScissor(int x, int y, int w, int h) {
  return record({Op::Scissor, static_cast<float>(x), static_cast<float>(y), static_cast<float>(w),
                 static_cast<float>(h)});
}

int RecordingGraphics::drawSurface(gxtkSurface* surface, float x, float y) {
  Call call{Op::Surface, x, y};
  call.surface = surface;
  return record(call);
}

int RecordingGraphics::drawSurfaceRegion(gxtkSurface* surface, float x, float y, int srcX, int srcY,
                                         int srcWidth, int srcHeight) {
  Call call{Op::Region, x, y};
  call.surface = surface;
  call.srcX = srcX, call.srcY = srcY, call.srcWidth = srcWidth, call.srcHeight = srcHeight;
  return record(call);
}

std::string sourceDir() {
  const char* dir = std::getenv("CORVANE_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

std::string binaryDir() {
  const char* dir = std::getenv("CORVANE_BINARY_DIR");
  return dir != nullptr ? dir : ".";
}

std::string scratchDir(const std::string& name) {
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("intro-test-" + std::to_string(getpid()) + "-" + name);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "could not write " << path;
}

void compileSong(const std::string& sourceRelative, const std::string& target) {
  std::ifstream in(sourceDir() + "/" + sourceRelative, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  vumo::Song song;
  vumo::SourceError error;
  ASSERT_TRUE(vumo::compileSource(text.str(), song, error))
      << sourceRelative << ":" << error.line << ": " << error.reason;
  std::vector<unsigned char> bytes = vumo::encodeSong(song);
  writeFile(target, std::string(bytes.begin(), bytes.end()));
}

std::string testSongSource(int index) {
  // Twelve songs that sound different from their first ticks on, so a trace tells them apart.
  static const char* const kSources[kSongCount] = {
      "tune", "arpeggio", "breaks", "high_octave", "keep_instrument", "legato",
      "loop", "note_off", "slide",  "speed1",      "speed5",          "types"};
  return "tests/vumo/songs/" + std::string(kSources[index]) + ".vumo";
}

void installTestSongs(const std::string& appDirectory) {
  for (int i = 0; i < kSongCount; ++i) {
    compileSong(testSongSource(i), appDirectory + "/data/" + kSongTable[i].path);
  }
}

IntroHarness::IntroHarness(const std::string& appDirectory, RecordingGraphics* device) : graphics(device) {
  initCollector();
  if (currentGame == nullptr) currentGame = new VxCorvaneGame();
  auto* game = static_cast<VxGlfwGame*>(currentGame);
  game->appDirectory = String(appDirectory.c_str());
  game->windowWidth_ = 640;
  game->windowHeight_ = 480;

  initGraphicsContext();
  resetIntroGlobals();
  // One application per process in the program; the tests make one per harness.
  currentApp = nullptr;
  new c_MyApp();
  c_GameDelegate* delegate = currentDelegate;

  if (graphics != nullptr) {
    delegate->graphics = graphics;
    registerGraphicsDevice(graphics);
  }
  setFont(nullptr);
  audio = new RecordingAudio();
  delegate->audio = audio;
  input = new c_InputDevice();
  delegate->input = input;
  inputDevice = input;
}

IntroHarness::~IntroHarness() {
  resetIntroGlobals();
  registerGraphicsDevice(nullptr);
  inputDevice = nullptr;
  audioDriver = nullptr;
  currentApp = nullptr;
  currentDelegate = nullptr;
  currentGame->attachDelegate(nullptr);
}

void IntroHarness::start() {
  audio->setTick(0);
  currentApp->appStart();
  currentGame->collectStep();
}

void IntroHarness::update() {
  ++updates_;
  audio->setTick(updates_);
  currentDelegate->handleUpdate();
  currentGame->collectStep();
}

void IntroHarness::updates(int count) {
  for (int i = 0; i < count; ++i) update();
}

void IntroHarness::press(int keyCode) {
  currentDelegate->keyEvent(1, keyCode);
  currentGame->collectStep();
}

void IntroHarness::release(int keyCode) {
  currentDelegate->keyEvent(2, keyCode);
  currentGame->collectStep();
}

void IntroHarness::render() {
  renderStep();
  currentGame->collectStep();
}

std::string traceAfter(const RecordingAudio& audio, int after, int lastUpdate) {
  std::string text;
  for (const RecordingAudio::Call& call : audio.calls()) {
    if (call.tick <= after || call.tick > lastUpdate) continue;
    RecordingAudio::Call renumbered = call;
    renumbered.tick = call.tick - after;
    text += RecordingAudio::formatCall(renumbered) + "\n";
  }
  return text;
}

}  // namespace introtest
