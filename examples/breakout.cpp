// breakout: knock out the bricks with the ball, keep it off the floor with the paddle (LEFT and
// RIGHT, or the mouse). SPACE or a click serves; three balls a game; the best score is saved.
#include "corvane.h"

namespace {

constexpr float kWidth = 640;
constexpr float kHeight = 480;
constexpr int kColumns = 10;
constexpr int kRows = 5;
constexpr float kBrickWidth = 56, kBrickHeight = 18;
constexpr float kPaddleWidth = 80, kPaddleHeight = 12, kPaddleY = 440;
constexpr float kBallSize = 10;
constexpr int kBalls = 3;
constexpr int kRowColours[kRows] = {0xE04040, 0xE09040, 0xE0E040, 0x40C040, 0x4080E0};

}  // namespace

class c_Brick : public Object {
 public:
  c_Brick(float x, float y, int row) : x(x), y(y), row(row) {}
  float x, y;
  int row;
};

class c_Ball : public Object {
 public:
  float x = 0, y = 0, vx = 0, vy = 0;
  bool served = false;
};

class BreakoutApp : public c_App {
 public:
  BreakoutApp() { windowTitle = String("Breakout - a Corvane example"); }

  // [guide:breakout-fields]
  GcField<Array<c_Brick*>> bricks;
  GcField<c_Ball*> ball;
  GcField<c_Sound*> blip;
  float paddleX = (kWidth - kPaddleWidth) / 2;
  float lastMouseX = 0;
  int score = 0, best = 0, lives = 0, level = 0;
  bool paused = false;

  void mark() override {
    bricks.mark();
    ball.mark();
    blip.mark();
  }
  // [/guide:breakout-fields]

  int appStart() override {
    setUpdateRate(60);
    hidePointer();
    seedRnd(realMillisecs());
    blip = audioLoadSound(String("wav/fx2b.wav"));
    ball = new c_Ball();
    // [guide:load-state]
    best = loadState().ToInt();  // the empty string (nothing saved yet) reads as 0
    // [/guide:load-state]
    newGame();
    return 0;
  }

  int appUpdate() override {
    if (keyHit(KEY_ESCAPE)) quitApp();
    if (keyReleased(KEY_P)) paused = !paused;
    if (paused) return 0;
    bool serve = keyHit(KEY_SPACE) || keyHit(MOUSE_LEFT);
    if (lives == 0) {
      if (serve) newGame();
      return 0;
    }
    movePaddle();
    c_Ball* b = ball;
    if (!b->served) {
      b->x = paddleX + (kPaddleWidth - kBallSize) / 2;
      b->y = kPaddleY - kBallSize;
      if (serve) {
        // Up, at a random angle, a little faster each level.
        float speed = 5 + level;
        b->vx = rnd(-0.6f, 0.6f) * speed;
        b->vy = -speed;
        b->served = true;
      }
      return 0;
    }
    moveBall(b);
    return 0;
  }

  int appRender() override {
    clear(8, 8, 24);
    // [guide:draw-bricks]
    for (c_Brick* brick : bricks) {
      setColor(static_cast<float>(kRowColours[brick->row]));
      drawRect(brick->x, brick->y, kBrickWidth, kBrickHeight);
      setColor(255, 255, 255);
      drawRectOutline(brick->x, brick->y, kBrickWidth, kBrickHeight);
    }
    // [/guide:draw-bricks]
    setColor(200, 200, 220);
    drawRect(paddleX, kPaddleY, kPaddleWidth, kPaddleHeight);
    setColor(255, 255, 255);
    drawOval(ball->x, ball->y, kBallSize, kBallSize);
    // [guide:score-text]
    drawText(String("SCORE ") + score + String("   BEST ") + best, 8, 8);
    // [/guide:score-text]
    drawText(String("BALLS ") + lives, kWidth - 8, 8, 1, 0);
    if (lives == 0) drawText(String("GAME OVER - SPACE TO PLAY AGAIN"), kWidth / 2, kHeight / 2, 0.5f, 0.5f);
    if (paused) drawText(String("PAUSED - P TO GO ON"), kWidth / 2, kHeight / 2, 0.5f, 0.5f);
    return 0;
  }

 private:
  void newGame() {
    score = 0;
    lives = kBalls;
    level = 0;
    fillBricks();
    ball->served = false;
    printLine(String("new game, best ") + best);
  }

  // [guide:fill-bricks]
  void fillBricks() {
    bricks = Array<c_Brick*>();
    for (int row = 0; row < kRows; ++row) {
      for (int column = 0; column < kColumns; ++column) {
        bricks.append(new c_Brick(20 + column * 60.0f, 60 + row * 24.0f, row));
      }
    }
  }
  // [/guide:fill-bricks]

  void movePaddle() {
    if (keyDown(KEY_LEFT)) paddleX -= 8;
    if (keyDown(KEY_RIGHT)) paddleX += 8;
    if (mouseX() != lastMouseX) paddleX = mouseX() - kPaddleWidth / 2;
    lastMouseX = mouseX();
    if (paddleX < 0) paddleX = 0;
    if (paddleX > kWidth - kPaddleWidth) paddleX = kWidth - kPaddleWidth;
  }

  void moveBall(c_Ball* b) {
    b->x += b->vx;
    b->y += b->vy;
    if (b->x < 0 || b->x > kWidth - kBallSize) {
      b->vx = -b->vx;
      b->x = b->x < 0 ? 0 : kWidth - kBallSize;
      sound(0.3f, 0.8f);
    }
    if (b->y < 0) {
      b->vy = -b->vy;
      b->y = 0;
      sound(0.3f, 0.8f);
    }
    if (b->vy > 0 &&
        rectsOverlap(b->x, b->y, kBallSize, kBallSize, paddleX, kPaddleY, kPaddleWidth, kPaddleHeight)) {
      // Where it lands on the paddle sets the new direction: the ends send it off to the side.
      float offset = (b->x + kBallSize / 2 - paddleX) / kPaddleWidth - 0.5f;
      b->vx = offset * 2 * -b->vy;
      b->vy = -b->vy;
      sound(0.5f, 1.0f);
    }
    // [guide:hit-brick]
    for (int i = 0; i < bricks.length(); ++i) {
      c_Brick* brick = bricks[i];
      if (!rectsOverlap(b->x, b->y, kBallSize, kBallSize, brick->x, brick->y, kBrickWidth, kBrickHeight))
        continue;
      b->vy = -b->vy;
      score += 10 * (kRows - brick->row);
      audioPlaySound(blip, 1, 0.8f, 1.0f + 0.15f * static_cast<float>(kRows - brick->row));
      bricks.remove(i);  // the brick is garbage now; the collector takes it
      break;
    }
    // [/guide:hit-brick]
    if (bricks.length() == 0) {
      level += 1;
      fillBricks();
      b->served = false;
    }
    if (b->y > kHeight) loseBall(b);
  }

  void loseBall(c_Ball* b) {
    b->served = false;
    lives -= 1;
    printLine(String("balls left ") + lives + String(", score ") + score);
    if (lives > 0) return;
    printLine(String("game over, score ") + score);
    if (score > best) {
      best = score;
      // [guide:save-state]
      if (saveState(String("") + best) != 0) printLine(String("the best score could not be saved"));
      // [/guide:save-state]
    }
  }

  void sound(float volume, float rate) { audioPlaySound(blip, 0, volume, rate); }
};

c_App* createApplication() {
  return new BreakoutApp();
}

int main(int argc, char** argv) {
  return startHost(argc, argv);
}
