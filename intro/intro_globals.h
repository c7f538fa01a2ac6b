// The intro's state: module globals rather than fields of c_MyApp, so the create, update and render
// steps share them and tests can look at them. Object references are collector roots. Also the
// fixed song table that the function keys select from.
#pragma once

#include "graphics/font.h"
#include "graphics/image.h"
#include "runtime/collector.h"
#include "runtime/string.h"
#include "vumo/player.h"

// --- set up by the create step ---
extern String ballPattern;
extern GcRoot<c_Image*> ballImage;
extern GcRoot<c_Image*> ballShadowImage;
extern GcRoot<c_Image*> scanlinesImage;
extern GcRoot<c_Image*> cubeImage;  // loaded but never drawn
extern GcRoot<c_Image*> starsImage;
extern GcRoot<c_Image*> stars2Image;
extern GcRoot<c_Image*> backImage;
extern GcRoot<c_Font*> scrollerFont;
extern GcRoot<c_Font*> mirrorFont;
extern GcRoot<c_Font*> bigFont;  // built but never drawn
extern String scrollText;

// --- changed by the create and update steps ---
extern GcRoot<c_vumoPlay*> player;
extern String songTitle;
extern int scrollX;

// --- owned by the render step ---
extern int starsX;
extern int floorScroll;
extern int ballAngle;
extern int ballMode;
extern int ballPage;
extern float waveX;
extern float waveY;

// Back to the program's initial state (zero, null, empty), as before the create step.
void resetIntroGlobals();

// One function key's song.
struct SongEntry {
  int keyCode;
  const char* path;  // a data path
  const char* title;
};

constexpr int kSongCount = 12;
constexpr int kKeyEnter = 13;
constexpr int kKeyF1 = 112;

// In key order F1 to F12; entry 1 (F1) also plays at start-up.
inline constexpr SongEntry kSongTable[kSongCount] = {
    {kKeyF1 + 0, "songs/brackenfold.dat", "Brackenfold"}, {kKeyF1 + 1, "songs/nightdrive.dat", "Night Drive"},
    {kKeyF1 + 2, "songs/coppersky.dat", "Copper Sky"},    {kKeyF1 + 3, "songs/pixelrain.dat", "Pixel Rain"},
    {kKeyF1 + 4, "songs/glasswing.dat", "Glass Wing"},    {kKeyF1 + 5, "songs/turbotape.dat", "Turbo Tape"},
    {kKeyF1 + 6, "songs/lowtide.dat", "Low Tide"},        {kKeyF1 + 7, "songs/starfold.dat", "Starfold"},
    {kKeyF1 + 8, "songs/ironbloom.dat", "Iron Bloom"},    {kKeyF1 + 9, "songs/lastcall.dat", "Last Call"},
    {kKeyF1 + 10, "songs/moonbase.dat", "Moonbase"},      {kKeyF1 + 11, "songs/endscroll.dat", "End Scroll"},
};
