// The intro's module globals.
#include "intro/intro_globals.h"

String ballPattern;
GcRoot<c_Image*> ballImage;
GcRoot<c_Image*> ballShadowImage;
GcRoot<c_Image*> scanlinesImage;
GcRoot<c_Image*> cubeImage;
GcRoot<c_Image*> starsImage;
GcRoot<c_Image*> stars2Image;
GcRoot<c_Image*> backImage;
GcRoot<c_Font*> scrollerFont;
GcRoot<c_Font*> mirrorFont;
GcRoot<c_Font*> bigFont;
String scrollText;

GcRoot<c_vumoPlay*> player;
String songTitle;
int scrollX = 0;

int starsX = 0;
int floorScroll = 0;
int ballAngle = 0;
int ballMode = 0;
int ballPage = 0;
float waveX = 0;
float waveY = 0;

void resetIntroGlobals() {
  ballPattern = String();
  ballImage = nullptr;
  ballShadowImage = nullptr;
  scanlinesImage = nullptr;
  cubeImage = nullptr;
  starsImage = nullptr;
  stars2Image = nullptr;
  backImage = nullptr;
  scrollerFont = nullptr;
  mirrorFont = nullptr;
  bigFont = nullptr;
  scrollText = String();
  player = nullptr;
  songTitle = String();
  scrollX = 0;
  starsX = 0;
  floorScroll = 0;
  ballAngle = 0;
  ballMode = 0;
  ballPage = 0;
  waveX = 0;
  waveY = 0;
}
