// sprite_bench: N 32 x 32 images moving, turning and scaling with alpha, one drawImage each, at 51
// updates a second, natively and as a page in the browser (driven by bench/sprites/sprites.py).
//
//   SPRITES=N            how many sprites (default 1000)
//   SPRITE_SECONDS=S     quits after S seconds (default: runs until ESCAPE)
//   SPRITE_COST=FRAMES   instead of running for pacing: FRAMES frames drawn through the framework
//                        and FRAMES drawing the same quads with raw OpenGL from one buffer, in
//                        alternate frames; prints the render time per sprite of each as FIGURE lines
//                        and quits.
// Pacing comes from the frame loop's own trace (CORVANE_FRAME_TRACE).
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "corvane.h"
#include "graphics/render_device.h"
#include "graphics/surface.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kSize = 32;
constexpr float kDegrees = 57.29578f;

struct Sprite {
  float x, y, vx, vy;
  float angle, spin;  // degrees, degrees per update
  float phase;        // of the size and alpha waves
};

int environmentNumber(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

double threadMillis() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double wallMillis() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void figure(const char* name, double value, const char* unit, const char* note) {
  std::printf("FIGURE\tsprites\t%s\t%.4g\t%s\t%s\n", name, value, unit, note);
  std::fflush(stdout);
}

}  // namespace

class SpriteApp : public c_App {
 public:
  GcField<c_Image*> image;
  std::vector<Sprite> sprites;
  int seconds = 0;
  int costFrames = 0;
  int rendered = 0;
  float time = 0;  // updates / 51
  std::vector<double> frameworkCpu, floorCpu, frameworkWall, floorWall, frameworkCalls, floorCalls;
  std::vector<BatchVertex> floorVertices;
  std::vector<uint16_t> floorIndices;

  void mark() override { image.mark(); }

  int appStart() override {
    setUpdateRate(51);
    int count = environmentNumber("SPRITES", 1000);
    seconds = environmentNumber("SPRITE_SECONDS", 0);
    costFrames = environmentNumber("SPRITE_COST", 0);
    // A soft disc: opaque in the middle, fading out to the edge, coloured across.
    image = createImage(kSize, kSize, 1, c_Image::kMidHandle);
    Array<int> pixels(kSize * kSize);
    for (int y = 0; y < kSize; ++y) {
      for (int x = 0; x < kSize; ++x) {
        float dx = (static_cast<float>(x) - 15.5f) / 16, dy = (static_cast<float>(y) - 15.5f) / 16;
        float edge = 1 - std::sqrt(dx * dx + dy * dy);
        int alpha = std::clamp(static_cast<int>(edge * 4 * 255), 0, 255);
        pixels[y * kSize + x] = static_cast<int>(static_cast<uint32_t>(alpha) << 24 | (128 + x * 4) << 16 |
                                                 (255 - y * 6) << 8 | 96);
      }
    }
    writePixels(image, pixels, 0, 0, kSize, kSize);
    // The same start every run.
    uint32_t seed = 12345;
    auto next = [&seed]() {
      seed = seed * 1664525u + 1013904223u;
      return static_cast<float>(seed >> 8) / 16777216.0f;
    };
    sprites.resize(static_cast<size_t>(count));
    for (Sprite& s : sprites) {
      s = {next() * kWidth, next() * kHeight, next() * 4 - 2,     next() * 4 - 2,
           next() * 360,    next() * 6 - 3,   next() * 6.2831855f};
    }
    floorVertices.resize(sprites.size() * 4);
    floorIndices.resize(sprites.size() * 6);
    for (size_t q = 0; q < sprites.size(); ++q) {
      uint16_t first = static_cast<uint16_t>(q * 4);
      uint16_t* entry = floorIndices.data() + q * 6;
      entry[0] = first, entry[1] = first + 1, entry[2] = first + 2;
      entry[3] = first, entry[4] = first + 2, entry[5] = first + 3;
    }
    return 0;
  }

  int appUpdate() override {
    if (keyHit(KEY_ESCAPE)) quitApp();
    if (seconds > 0 && millisecs() > seconds * 1000) quitApp();
    time += 1.0f / 51;
    for (Sprite& s : sprites) {
      s.x += s.vx;
      s.y += s.vy;
      if (s.x < 0 || s.x > kWidth) s.vx = -s.vx;
      if (s.y < 0 || s.y > kHeight) s.vy = -s.vy;
      s.angle += s.spin;
    }
    return 0;
  }

  float sizeOf(const Sprite& s) const { return 0.75f + 0.5f * std::sin(time * 2 + s.phase); }
  float alphaOf(const Sprite& s) const { return 0.6f + 0.4f * std::sin(time * 3 + s.phase); }

  void drawFramework() {
    for (const Sprite& s : sprites) {
      float size = sizeOf(s);
      setAlpha(alphaOf(s));
      drawImage(image, s.x, s.y, s.angle, size, size, 0);
    }
    renderDevice->flush();
  }

  // The same quads written straight into one array and drawn with one call.
  void drawFloor() {
    gxtkSurface* surface = image.get()->surface;
    float u1 = kSize * surface->uScale, v1 = kSize * surface->vScale;
    BatchVertex* v = floorVertices.data();
    for (const Sprite& s : sprites) {
      float size = sizeOf(s), alpha = alphaOf(s);
      float radians = s.angle / kDegrees;
      float c = std::cos(radians) * size, n = std::sin(radians) * size;
      // Rotated so that positive angles turn anticlockwise on the screen, as drawImage does.
      float ix = c, iy = -n, jx = n, jy = c;
      uint32_t a = static_cast<uint32_t>(alpha * 255);
      uint32_t colour = a << 24 | a << 16 | a << 8 | a;
      const float cx[4] = {-16, 16, 16, -16}, cy[4] = {-16, -16, 16, 16};
      const float tu[4] = {0, u1, u1, 0}, tv[4] = {0, 0, v1, v1};
      for (int i = 0; i < 4; ++i, ++v) {
        v->x = cx[i] * ix + cy[i] * jx + s.x;
        v->y = cx[i] * iy + cy[i] * jy + s.y;
        v->u = tu[i];
        v->v = tv[i];
        v->colour = colour;
      }
    }
    glEnable(GL_TEXTURE_2D);
    surface->bind();
    glVertexPointer(2, GL_FLOAT, sizeof(BatchVertex), &floorVertices[0].x);
    glTexCoordPointer(2, GL_FLOAT, sizeof(BatchVertex), &floorVertices[0].u);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(BatchVertex), &floorVertices[0].colour);
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(floorIndices.size()), GL_UNSIGNED_SHORT,
                   floorIndices.data());
    glDisable(GL_TEXTURE_2D);
  }

  int appRender() override {
    clear(0, 0, 32);
    if (costFrames == 0) {
      drawFramework();
      return 0;
    }
    // Pixels from the clear and the earlier frame are done before the clock starts.
    renderDevice->flush();
    glFinish();
    bool floor = rendered % 2 == 1;
    double cpu = threadMillis(), wall = wallMillis();
    if (floor) {
      drawFloor();
    } else {
      drawFramework();
    }
    double calls = threadMillis() - cpu;  // until the last call returns, without waiting for the pixels
    glFinish();
    cpu = threadMillis() - cpu;
    wall = wallMillis() - wall;
    // The first frames warm the caches and the driver.
    if (rendered >= 10) {
      (floor ? floorCpu : frameworkCpu).push_back(cpu);
      (floor ? floorWall : frameworkWall).push_back(wall);
      (floor ? floorCalls : frameworkCalls).push_back(calls);
    }
    rendered += 1;
    if (rendered >= 10 + 2 * costFrames) report();
    return 0;
  }

  void report() {
    double n = static_cast<double>(sprites.size());
    char note[200];
    std::snprintf(note, sizeof note,
                  "%zu sprites, median of %d frames each, main thread CPU time, OpenGL finished inside",
                  sprites.size(), costFrames);
    double framework = median(frameworkCpu), floor = median(floorCpu);
    figure("drawImage per sprite (framework)", framework * 1e6 / n, "ns", note);
    figure("raw OpenGL floor per sprite (one buffer)", floor * 1e6 / n, "ns", note);
    figure("framework / floor (CPU)", framework / floor, "ratio", "goal <= 1.3");
    std::snprintf(note, sizeof note,
                  "main thread CPU time until the last call returns: framework %.0f ns, floor %.0f ns",
                  median(frameworkCalls) * 1e6 / n, median(floorCalls) * 1e6 / n);
    figure("framework / floor (CPU, without glFinish)", median(frameworkCalls) / median(floorCalls), "ratio",
           note);
    std::snprintf(note, sizeof note,
                  "wall clock, rasterizer included: framework %.2f ms, floor %.2f ms a frame",
                  median(frameworkWall), median(floorWall));
    figure("framework / floor (wall clock)", median(frameworkWall) / median(floorWall), "ratio", note);
    quitApp();
  }
};

c_App* createApplication() {
  return new SpriteApp();
}

int main(int argc, char** argv) {
  return startHost(argc, argv);
}
