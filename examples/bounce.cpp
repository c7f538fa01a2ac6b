// bounce: balls that bounce off the window's edges, turning and growing and shrinking as they go,
// with a sound on every bounce. SPACE adds a ball, ESCAPE quits.
#include <cmath>

#include "corvane.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr float kRadius = 32;  // ball.png is 64 x 64

}  // namespace

// [guide:ball]
// A collected class of our own: numbers only, so nothing to mark.
class c_Ball : public Object {
 public:
  c_Ball(float x, float y, float vx, float vy) : x(x), y(y), vx(vx), vy(vy) {}
  float x, y, vx, vy;
  float angle = 0;
};
// [/guide:ball]

class BounceApp : public c_App {
 public:
  // [guide:window]
  // The window is read once, as it opens: set it up in the constructor.
  BounceApp() {
    windowTitle = String("Bounce - a Corvane example");
    windowWidth = kWidth;
    windowHeight = kHeight;
  }
  // [/guide:window]

  // [guide:fields]
  GcField<c_Image*> ballImage;
  GcField<Array<c_Ball*>> balls;  // an Array, never new[]: the collector must see every element

  void mark() override {
    ballImage.mark();
    balls.mark();
  }
  // [/guide:fields]

  int appStart() override {
    setUpdateRate(60);
    // Flag 1: the handle is the image's centre, so it turns and scales about its middle.
    ballImage = loadImage(String("ball.png"), c_Image::kMidHandle);
    addBall();
    addBall();
    return 0;
  }

  int appUpdate() override {
    if (keyHit(KEY_ESCAPE)) quitApp();
    if (keyHit(KEY_SPACE)) addBall();
    for (c_Ball* ball : balls) move(ball);
    return 0;
  }

  int appRender() override {
    clear(0, 0, 32);
    // [guide:draw-balls]
    float seconds = static_cast<float>(millisecs()) / 1000.0f;
    for (int i = 0; i < balls.length(); ++i) {
      c_Ball* ball = balls[i];
      float size = 1.0f + 0.25f * std::sin(seconds * 3 + static_cast<float>(i));
      drawImage(ballImage, ball->x, ball->y, ball->angle, size, size, 0);
    }
    // [/guide:draw-balls]
    setColor(255, 255, 0);
    drawText(String("SPACE: one more ball   balls: ") + balls.length(), 8, 8);
    return 0;
  }

 private:
  void addBall() {
    // [guide:grow-array]
    int n = balls.length();
    // The field takes a new array one longer; the store goes through the write barrier.
    balls.append(new c_Ball(kWidth / 2, kHeight / 3, 2.0f + n % 5, 1.5f + n % 3));
    // [/guide:grow-array]
    printLine(String("balls: ") + balls.length());
  }

  void move(c_Ball* ball) {
    ball->x += ball->vx;
    ball->y += ball->vy;
    ball->angle += ball->vx;
    bool bounced = false;
    if (ball->x < kRadius || ball->x > kWidth - kRadius) ball->vx = -ball->vx, bounced = true;
    if (ball->y < kRadius || ball->y > kHeight - kRadius) ball->vy = -ball->vy, bounced = true;
    // [guide:bounce-sound]
    if (bounced) audioPlaySoundFile(String("wav/fx2b.wav"));
    // [/guide:bounce-sound]
  }
};

c_App* createApplication() {
  return new BounceApp();
}

int main(int argc, char** argv) {
  return startHost(argc, argv);
}
