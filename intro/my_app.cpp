// The intro's create and update steps and the song switching.
#include "intro/my_app.h"

#include "graphics/font.h"
#include "graphics/graphics_context.h"
#include "graphics/image.h"
#include "input/input_device.h"
#include "intro/intro_globals.h"
#include "intro/intro_render.h"
#include "vumo/player.h"

namespace {

constexpr const char* kWindowTitle = "Brackenfold Intro 01 by Vendle/bkf";
constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;
constexpr int kUpdatesPerSecond = 51;
constexpr int kScrollStartX = 640;
constexpr int kScrollStep = 4;
constexpr int kFirstFontChar = 32;
constexpr int kBigFontGlyphs = 90;

// Three 6 x 6 pictures, one row of six balls after the other: the letters B, K and F.
constexpr const char* kBallPattern =
    "111110110011111110110011110011111110"
    "110011110110111100111100110110110011"
    "111111110000111110110000110000110000";

constexpr const char* kScrollText =
    "hi folks... this is a brackenfold intro for presenting a few demosongs for vumo-tracker ! YEAH... "
    "That is the REAL Replay ! i'm still here and doing my stuff, however. Greetings to the "
    "ZUVEVIRUZURARI and the rest of the WORLD !";

c_Image* loadIntroImage(const char* path) {
  return loadImage(String(path), defaultImageFlags);
}

// A fresh player for every song: the old one is dropped with its channels still running, and the
// new player's first tick silences them.
void startSong(const SongEntry& entry) {
  player = new c_vumoPlay();
  player->loadSong(String(entry.path));  // "Loading Failed!" leaves a silent player; nothing to report
  songTitle = String(entry.title);
  markKeyButton(entry.keyCode);
}

}  // namespace

c_MyApp::c_MyApp() {
  windowTitle = String(kWindowTitle);
  windowWidth = kScreenWidth;
  windowHeight = kScreenHeight;
  windowResizable = false;
}

int c_MyApp::appStart() {
  setUpdateRate(kUpdatesPerSecond);
  ballPattern = String(kBallPattern);

  ballImage = loadIntroImage("ball.png");
  ballShadowImage = loadIntroImage("ball_shadow.png");
  scanlinesImage = loadIntroImage("scanlines.png");
  cubeImage = loadIntroImage("cubetex.png");
  starsImage = loadIntroImage("stars.png");
  stars2Image = loadIntroImage("stars2.png");
  backImage = loadIntroImage("back.png");

  scrollerFont = fontFromImage(String("fonti.png"));
  mirrorFont = fontFromImage(String("fonti_mir.png"));
  // The big font has one cell fewer than the others; null for a missing picture or one narrower
  // than its 90 cells.
  bigFont = fontFromImageStrip(loadIntroImage("fonti_big.png"), kFirstFontChar, kBigFontGlyphs);

  // A phone has no F-keys: in the browser every song also gets a button under the screen.
  for (const SongEntry& entry : kSongTable) addKeyButton(String(entry.title), entry.keyCode);

  setFont(scrollerFont);
  scrollText = String(kScrollText);
  startSong(kSongTable[0]);
  scrollX = kScrollStartX;
  return 0;
}

int c_MyApp::appUpdate() {
  if (c_vumoPlay* current = player; current != nullptr) current->tick();

  scrollX -= kScrollStep;
  if (scrollX < -kScrollerPitch * scrollText.length()) scrollX = kScrollStartX;

  // Every key is tested: of several hit in one update, each loads in turn and the last one stays.
  for (const SongEntry& entry : kSongTable) {
    if (keyHitCount(entry.keyCode) != 0) startSong(entry);
  }

  if (keyHitCount(kKeyEnter) != 0) {
    if (c_vumoPlay* current = player; current != nullptr) {
      current->stopVoices();
      // Only the song position restarts; the voices keep the rest of their state.
      current->tickCounter = 0;
      current->position = 0;
      current->rowBase = 0;
      current->rowInPattern = 0;
    }
  }
  return 0;
}

int c_MyApp::appRender() {
  renderIntroFrame();
  return 0;
}
