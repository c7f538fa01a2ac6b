// The intro's render step. Angles go through the single-precision degree factor and double sin/cos
// rounded back to float, so the positions come out exactly as the effect was designed. The only
// allocations of a frame are the scroller's one-character strings.
#include "intro/intro_render.h"

#include <cmath>

#include "graphics/font.h"
#include "graphics/graphics_context.h"
#include "graphics/image.h"
#include "intro/intro_globals.h"

namespace {

constexpr float kRadiansPerDegree = 0.017453292f;

constexpr int kScreenWidth = 640;
constexpr int kStarsY = 136;
constexpr int kStarsHeight = 160;
constexpr int kStarsStep = 4;
constexpr int kStarsWrap = 1280;

constexpr int kScrollerY = 240;
constexpr int kMirrorY = 380;
constexpr float kMirrorAlpha = 0.2f;
constexpr int kWaveDegreesPerChar = 40;
constexpr float kWaveAmplitude = 8;

constexpr int kHorizonY = 300;
constexpr int kScreenBottom = 480;
constexpr int kFloorLineCount = 32;
constexpr int kFloorLineStep = 32;
constexpr int kFloorScrollWrap = 32;

constexpr int kBallGridSize = 6;
constexpr int kBallCellsPerPage = kBallGridSize * kBallGridSize;
constexpr int kBallPages = 3;
constexpr int kBallAngleStep = 4;
constexpr int kHalfTurn = 180;
constexpr float kBallAlpha = 0.4f;
constexpr int kBallTiltDegrees = 32;
constexpr float kBallSpacing = 64;
constexpr float kBallGridLeft = 256;
constexpr float kBallTopY = 112;
constexpr float kShadowTopY = 496;  // the shadow rows mirror the ball rows about y = 304

constexpr float kHalfTextAlpha = 0.5f;

float sinDegrees(float degrees) {
  return static_cast<float>(std::sin(static_cast<double>(degrees * kRadiansPerDegree)));
}
float cosDegrees(float degrees) {
  return static_cast<float>(std::cos(static_cast<double>(degrees * kRadiansPerDegree)));
}

// " now playing... " + songTitle, rebuilt only when the title changes, so that a frame does not
// allocate for it.
const String& nowPlayingText() {
  static String builtFor;
  static String text;
  static bool built = false;
  if (!built || builtFor.rep() != songTitle.rep()) {
    builtFor = songTitle;
    text = String(" now playing... ") + songTitle;
    built = true;
  }
  return text;
}

void drawStarFields() {
  starsX += kStarsStep;
  if (starsX == kStarsWrap) starsX = 0;
  const float y = kStarsY;
  drawImageRect(starsImage, static_cast<float>(-starsX), y, 0, 0, kScreenWidth, kStarsHeight);
  drawImageRect(starsImage, static_cast<float>(kScreenWidth - starsX), y, 0, 0, kScreenWidth, kStarsHeight);
  drawImageRect(starsImage, static_cast<float>(2 * kScreenWidth - starsX), y, 0, 0, kScreenWidth,
                kStarsHeight);
  // Half speed: the second field is a layer further away.
  drawImageRect(stars2Image, static_cast<float>(-(starsX / 2)), y, 0, 0, kScreenWidth, kStarsHeight);
  drawImageRect(stars2Image, static_cast<float>(kScreenWidth - starsX / 2), y, 0, 0, kScreenWidth,
                kStarsHeight);
}

void drawScroller() {
  const int length = scrollText.length();
  // One pass more than there are characters: the last one draws the empty slice.
  for (int i = 0; i <= length; ++i) {
    const String character = scrollText.Slice(i, i + 1);
    const int base = kScrollerPitch * i + scrollX;

    setColor(255, 255, 255);
    setFont(scrollerFont);
    setAlpha(1.0f);
    drawText(character, static_cast<int>(static_cast<float>(base) + waveX),
             static_cast<int>(static_cast<float>(kScrollerY) + 2 * waveX));

    setColor(255, 255, 255);
    setAlpha(kMirrorAlpha);
    setFont(mirrorFont);
    drawText(character, static_cast<int>(static_cast<float>(base) + waveX),
             static_cast<int>(static_cast<float>(kMirrorY) + 2 * waveY));

    // Computed after the draws on purpose: each character rides on the wave of the one before,
    // and the first on the wave the previous frame left.
    const float theta = static_cast<float>(kWaveDegreesPerChar * i + scrollX);
    waveX = kWaveAmplitude * sinDegrees(theta);
    waveY = kWaveAmplitude * cosDegrees(theta);
  }
}

void drawFloor() {
  floorScroll += 1;
  if (floorScroll > kFloorScrollWrap) floorScroll = 0;
  // The ball grid turns in step with the floor; its angle advances here, before the grid is drawn.
  ballAngle += kBallAngleStep;
  if (ballAngle > kHalfTurn) ballAngle = 0;

  for (int n = 0; n < kFloorLineCount; ++n) {
    const int k = 1 + kFloorLineStep * n;
    setColor(0, static_cast<float>(k / 16 + 128), static_cast<float>(255 - k / 32));
    drawLine(static_cast<float>(320 - k / 2), kHorizonY, static_cast<float>(320 - k), kScreenBottom);
    drawLine(static_cast<float>(320 + k / 2), kHorizonY, static_cast<float>(320 + k), kScreenBottom);
    const float y = static_cast<float>(kHorizonY + k / 2 + floorScroll);
    drawLine(0, y, kScreenWidth, y);
  }
  setColor(255, 255, 255);
}

void drawBalls() {
  if (ballMode == 2) ballMode = 0;
  const float s = sinDegrees(static_cast<float>(ballAngle));
  const float c = cosDegrees(static_cast<float>(ballAngle));
  const float tilt = sinDegrees(static_cast<float>(kBallTiltDegrees));
  const bool mirrored = ballMode != 0;

  for (int r = 0; r < kBallGridSize; ++r) {
    for (int n = 0; n < kBallGridSize; ++n) {
      // The second half-turn walks the columns backwards, so the nearer balls still come last.
      const int j = mirrored ? kBallGridSize - 1 - n : n;
      const int cell = j + kBallGridSize * r + kBallCellsPerPage * ballPage;
      if (cell >= 0 && cell < ballPattern.length()) {
        // A "0" ball is still drawn, invisibly.
        if (ballPattern[cell] == u'1') setAlpha(kBallAlpha);
        if (ballPattern[cell] == u'0') setAlpha(0);
      }
      const float x = mirrored ? kBallGridLeft + kBallGridLeft * s - kBallSpacing * j * c - 16 * r * s
                               : kBallGridLeft - kBallGridLeft * s + kBallSpacing * j * c + 16 * r * s;
      drawImage(ballImage, x, kBallTopY + kBallSpacing * tilt * r);
      drawImage(ballShadowImage, x, kShadowTopY - kBallSpacing * tilt * r);
    }
  }

  if (ballAngle == kHalfTurn) {
    ballMode += 1;
    ballPage += 1;
  }
  if (ballPage == kBallPages) ballPage = 0;
}

void drawTexts() {
  static const String keyHelp("   press f1-f12 to select a song !");
  static const String enterHelp("     ENTER = for reset current !");
  setFont(scrollerFont);
  setAlpha(1.0f);
  drawText(keyHelp, 0, 20);
  drawText(enterHelp, 0, 40);
  setAlpha(kHalfTextAlpha);
  drawText(nowPlayingText(), 0, 420);
  setAlpha(1.0f);
}

}  // namespace

void renderIntroFrame() {
  clear(0, 0, 0);
  drawImage(backImage, 0, 0);
  drawStarFields();
  drawScroller();
  drawFloor();
  drawBalls();
  drawTexts();
  // Last, over everything.
  drawImage(scanlinesImage, 0, 0);
}
