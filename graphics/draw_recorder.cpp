// Recorded draws, replayed from one vertex buffer object per frame through a shader that reads
// several textures.
#include "graphics/draw_recorder.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "graphics/surface.h"
#include "host/game.h"

DrawRecorder* DrawRecorder::holder_ = nullptr;
bool DrawRecorder::shadersBroken_ = false;

namespace {

// Room reserved at once, about one busy frame, so that steady frames do not allocate.
constexpr size_t kInitialVertices = 16384;
constexpr size_t kInitialCommands = 1024;

// Attribute locations of the shader.
enum : GLuint { kCorner = 0, kTexel = 1, kTint = 2, kSlot = 3 };

// The fixed-function drawing the device does otherwise: the projection applied to (x, y, 0, 1), the
// vertex colour, modulated by the texture's colour when the vertex has a texture. (The names avoid
// those a GL emulation may rewrite.)
const char* const kVertexShader = R"(
uniform mat4 view;
attribute vec2 corner;
attribute vec2 texel;
attribute vec4 tint;
attribute float slot;
varying vec2 texelOut;
varying vec4 tintOut;
varying float slotOut;
void main() {
  gl_Position = view * vec4(corner, 0.0, 1.0);
  gl_PointSize = 1.0;
  texelOut = texel;
  tintOut = tint;
  slotOut = slot;
}
)";

// Fragment shaders for a draw without textures, with one, and with two chosen per vertex (slot 0:
// none, 1: unit0, 2: unit1). Branch-free: a software rasterizer runs every branch of a shader for
// its whole block of pixels, and that costs more than reading both textures. The choice is
// a * (1 - w) + b * w with w 0 or 1, which gives a or b exactly (mix() may compute
// a + (b - a) * w, which is off by a rounding).
const char* const kFragmentShaders[3] = {
    R"(
#ifdef GL_ES
precision mediump float;
#endif
varying vec4 tintOut;
void main() {
  gl_FragColor = tintOut;
}
)",
    R"(
#ifdef GL_ES
precision mediump float;
#endif
uniform sampler2D unit0;
varying vec2 texelOut;
varying vec4 tintOut;
void main() {
  gl_FragColor = tintOut * texture2D(unit0, texelOut);
}
)",
    R"(
#ifdef GL_ES
precision mediump float;
#endif
uniform sampler2D unit0;
uniform sampler2D unit1;
varying vec2 texelOut;
varying vec4 tintOut;
varying float slotOut;
void main() {
  float second = step(1.5, slotOut);
  float textured = step(0.5, slotOut);
  vec4 texel = texture2D(unit0, texelOut) * (1.0 - second) + texture2D(unit1, texelOut) * second;
  gl_FragColor = tintOut * (vec4(1.0) * (1.0 - textured) + texel * textured);
}
)"};

// Byte offsets into the bound vertex buffer, as the pointer arguments of the array calls.
const void* bufferOffset(size_t bytes) {
  return reinterpret_cast<const void*>(static_cast<uintptr_t>(bytes));
}

GLuint compileShader(GLenum kind, const char* source) {
  GLuint shader = glCreateShader(kind);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (ok != GL_TRUE) {
    char log[512] = {};
    glGetShaderInfoLog(shader, sizeof(log), nullptr, log);
    std::fprintf(stderr, "corvane: the batch shader does not compile: %s\n", log);
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

GLuint linkBatchProgram(const char* fragmentSource) {
  GLuint vertex = compileShader(GL_VERTEX_SHADER, kVertexShader);
  GLuint fragment = compileShader(GL_FRAGMENT_SHADER, fragmentSource);
  if (vertex == 0 || fragment == 0) {
    if (vertex != 0) glDeleteShader(vertex);
    if (fragment != 0) glDeleteShader(fragment);
    return 0;
  }
  GLuint program = glCreateProgram();
  glAttachShader(program, vertex);
  glAttachShader(program, fragment);
  glBindAttribLocation(program, kCorner, "corner");
  glBindAttribLocation(program, kTexel, "texel");
  glBindAttribLocation(program, kTint, "tint");
  glBindAttribLocation(program, kSlot, "slot");
  glLinkProgram(program);
  glDeleteShader(vertex);
  glDeleteShader(fragment);
  GLint ok = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (ok != GL_TRUE) {
    char log[512] = {};
    glGetProgramInfoLog(program, sizeof(log), nullptr, log);
    std::fprintf(stderr, "corvane: the batch shader does not link: %s\n", log);
    glDeleteProgram(program);
    return 0;
  }
  return program;
}

}  // namespace

DrawRecorder::DrawRecorder() {
  vertices_.reserve(kInitialVertices);
  ordered_.reserve(kInitialVertices);
  commands_.reserve(kInitialCommands);
  runs_.reserve(kInitialCommands);
  nearestTextures_.reserve(kInitialCommands);
}

DrawRecorder::~DrawRecorder() {
  // What is still recorded has nowhere to go: the device that made it is gone.
  if (holder_ == this) holder_ = nullptr;
  if (resourceGeneration_ == contextGeneration && contextGeneration != 0) {
    glDeleteBuffers(1, &vertexBuffer_);
    for (unsigned program : programs_) {
      if (program != 0) glDeleteProgram(program);
    }
  }
}

void DrawRecorder::take() {
  if (holder_ == this) return;
  if (holder_ != nullptr) holder_->replay();
  holder_ = this;
}

namespace {

bool whole(float value) {
  return std::floor(value) == value;
}
// Close enough to a whole number that sampling lands within a thousandth of a texel centre.
bool nearlyWhole(float value) {
  return std::fabs(value - std::round(value)) < 1e-3f;
}

// Whether every quad of the batch is an axis-aligned rectangle at whole pixel coordinates that
// shows a rectangle of whole texels one to one, in the corner order the device writes.
bool quadsAreExact(const BatchVertex* vertices, int count, float texWidth, float texHeight) {
  if (!(texWidth > 0 && texHeight > 0)) return false;
  for (int q = 0; q + 4 <= count; q += 4) {
    const BatchVertex* v = vertices + q;
    if (v[1].y != v[0].y || v[2].x != v[1].x || v[3].y != v[2].y || v[3].x != v[0].x) return false;
    if (v[1].v != v[0].v || v[2].u != v[1].u || v[3].v != v[2].v || v[3].u != v[0].u) return false;
    if (!whole(v[0].x) || !whole(v[0].y) || !whole(v[2].x) || !whole(v[2].y)) return false;
    float u0 = v[0].u * texWidth, u1 = v[2].u * texWidth;
    float t0 = v[0].v * texHeight, t1 = v[2].v * texHeight;
    if (!nearlyWhole(u0) || !nearlyWhole(u1) || !nearlyWhole(t0) || !nearlyWhole(t1)) return false;
    // As many pixels as texels, in the same direction.
    if (std::fabs(v[2].x - v[0].x - (u1 - u0)) > 1e-3f || std::fabs(v[2].y - v[0].y - (t1 - t0)) > 1e-3f) {
      return false;
    }
    if (!(v[2].x > v[0].x) || !(v[2].y > v[0].y)) return false;
  }
  return true;
}

// Whether no quad of the batch covers more than kSmallQuadPixels of bounding box.
constexpr float kSmallQuadPixels = 64 * 64;
bool quadsAreSmall(const BatchVertex* vertices, int count) {
  for (int q = 0; q + 4 <= count; q += 4) {
    const BatchVertex* v = vertices + q;
    float x0 = std::fmin(std::fmin(v[0].x, v[1].x), std::fmin(v[2].x, v[3].x));
    float x1 = std::fmax(std::fmax(v[0].x, v[1].x), std::fmax(v[2].x, v[3].x));
    float y0 = std::fmin(std::fmin(v[0].y, v[1].y), std::fmin(v[2].y, v[3].y));
    float y1 = std::fmax(std::fmax(v[0].y, v[1].y), std::fmax(v[2].y, v[3].y));
    if (!((x1 - x0) * (y1 - y0) <= kSmallQuadPixels)) return false;
  }
  return true;
}

}  // namespace

void DrawRecorder::draw(const BatchVertex* vertices, int count, int primitiveSize, gxtkSurface* surface) {
  if (surface == nullptr) {
    record(vertices, count, primitiveSize, false, 0, 0, 0);
    return;
  }
  if (surface->textureGeneration != contextGeneration) surface->bind();
  float texWidth = surface->uScale > 0 ? 1.0f / surface->uScale : 0.0f;
  float texHeight = surface->vScale > 0 ? 1.0f / surface->vScale : 0.0f;
  record(vertices, count, primitiveSize, true, surface->texture, texWidth, texHeight);
}

void DrawRecorder::record(const BatchVertex* vertices, int count, int primitiveSize, bool textured,
                          unsigned texture, float texWidth, float texHeight) {
  if (count <= 0 || primitiveSize <= 0) return;
  take();
  Command command{};
  command.kind = Kind::kDraw;
  command.flag = textured;
  command.first = static_cast<int>(vertices_.size());
  command.value = texture;
  command.run = -1;
  command.exact = textured && primitiveSize == 4 && quadsAreExact(vertices, count, texWidth, texHeight);
  command.small = primitiveSize == 4 && quadsAreSmall(vertices, count);
  auto add = [this](const BatchVertex& v) { vertices_.push_back(Vertex{v, 0.0f}); };
  if (primitiveSize <= 3) {
    command.mode = primitiveSize == 1 ? GL_POINTS : primitiveSize == 2 ? GL_LINES : GL_TRIANGLES;
    for (int i = 0; i < count; ++i) add(vertices[i]);
  } else {
    // A quad is the two triangles its indices make (0 1 2, 0 2 3); a longer polygon the
    // triangles of its fan (0 1 2, 0 2 3, 0 3 4, ...): the same thing for four corners.
    command.mode = GL_TRIANGLES;
    for (int start = 0; start + primitiveSize <= count; start += primitiveSize) {
      const BatchVertex* polygon = vertices + start;
      for (int i = 1; i + 1 < primitiveSize; ++i) {
        add(polygon[0]);
        add(polygon[i]);
        add(polygon[i + 1]);
      }
    }
  }
  command.count = static_cast<int>(vertices_.size()) - command.first;
  if (command.count <= 0) return;
  // A pixel beyond the vertices on every side: what a rasterizer may touch at the edges.
  command.left = command.top = 3.0e38f;
  command.right = command.bottom = -3.0e38f;
  for (int i = 0; i < count; ++i) {
    command.left = std::fmin(command.left, vertices[i].x - 1);
    command.top = std::fmin(command.top, vertices[i].y - 1);
    command.right = std::fmax(command.right, vertices[i].x + 1);
    command.bottom = std::fmax(command.bottom, vertices[i].y + 1);
  }
  commands_.push_back(command);
}

void DrawRecorder::blend(unsigned destinationFactor) {
  take();
  Command command{};
  command.kind = Kind::kBlend;
  command.value = destinationFactor;
  commands_.push_back(command);
}

void DrawRecorder::scissor(bool enabled, int x, int y, int width, int height) {
  take();
  Command command{};
  command.kind = Kind::kScissor;
  command.flag = enabled;
  command.x = x;
  command.y = y;
  command.w = width;
  command.h = height;
  commands_.push_back(command);
}

void DrawRecorder::clear(float red, float green, float blue) {
  take();
  Command command{};
  command.kind = Kind::kClear;
  command.r = red;
  command.g = green;
  command.b = blue;
  commands_.push_back(command);
}

void DrawRecorder::replayPending() {
  if (holder_ != nullptr) holder_->replay();
}

void DrawRecorder::breakShadersForTests(bool broken) {
  shadersBroken_ = broken;
}

bool DrawRecorder::ensureResources() {
  if (resourceGeneration_ != contextGeneration) {
    resourceGeneration_ = contextGeneration;
    glGenBuffers(1, &vertexBuffer_);
    for (int i = 0; i < kPrograms; ++i) {
      GLuint program = linkBatchProgram(shadersBroken_ ? "void main() { broken" : kFragmentShaders[i]);
      programs_[i] = program;
      if (program == 0) continue;
      projectionLocations_[i] = glGetUniformLocation(program, "view");
      glUseProgram(program);
      const char* const units[kTextureUnits] = {"unit0", "unit1"};
      for (int unit = 0; unit < kTextureUnits; ++unit) {
        GLint location = glGetUniformLocation(program, units[unit]);
        if (location >= 0) glUniform1i(location, unit);
      }
      glUseProgram(0);
    }
  }
  bool failed = false;
  for (unsigned program : programs_) failed = failed || program == 0;
  if (failed && !shadersFailed_) std::fprintf(stderr, "corvane: drawing batch by batch instead\n");
  shadersFailed_ = failed;
  return !failed;
}

void DrawRecorder::formRuns() {
  runs_.clear();
  Run* run = nullptr;
  size_t firstRunAfterState = 0;
  for (Command& command : commands_) {
    if (command.kind != Kind::kDraw) {
      run = nullptr;  // a state change or a clear lies between
      firstRunAfterState = runs_.size();
      continue;
    }
    // Only the last run goes on with the next draw: one further back would be drawn before runs
    // it has not been checked against.
    if (run != nullptr && run != &runs_.back()) run = nullptr;
    int slot = 0;
    if (command.flag) {
      if (run != nullptr) {
        for (int i = 0; i < run->textureCount && slot == 0; ++i) {
          if (run->textures[i] == command.value) slot = i + 1;
        }
        if (slot == 0 && run->textureCount == kTextureUnits) run = nullptr;  // no unit left
      }
    }
    if (run != nullptr && run->mode != command.mode) run = nullptr;
    // In a run of two textures every pixel reads both. That saves draw calls for small pictures
    // read as nearest texels (letters of a font and of its mirror image); a large picture, or one
    // read with linear filtering (four texel reads a pixel), gets runs of its own texture, read by
    // the one-texture shader.
    bool alone = command.flag && !(command.exact && command.small);
    if (run != nullptr && (run->alone || alone)) {
      bool same =
          command.flag && !run->untextured && run->textureCount == 1 && run->textures[0] == command.value;
      if (!same) run = nullptr;
    }
    if (run == nullptr && alone) {
      // An earlier run of the same texture takes it when nothing drawn since touches its pixels:
      // drawn earlier, it gives the same pixels (a ball and its shadow, alternately, give two
      // runs instead of a draw call each).
      for (size_t j = runs_.size(); j-- > firstRunAfterState;) {
        Run& earlier = runs_[j];
        if (earlier.alone && earlier.mode == command.mode && earlier.textures[0] == command.value) {
          run = &earlier;
          break;
        }
        bool touches = earlier.left < command.right && command.left < earlier.right &&
                       earlier.top < command.bottom && command.top < earlier.bottom;
        if (touches) break;
      }
      if (run != nullptr) slot = 1;
    }
    if (run == nullptr) {
      Run fresh{};
      fresh.mode = command.mode;
      fresh.left = fresh.top = 3.0e38f;
      fresh.right = fresh.bottom = -3.0e38f;
      runs_.push_back(fresh);
      run = &runs_.back();
      slot = 0;
    }
    run->left = std::fmin(run->left, command.left);
    run->top = std::fmin(run->top, command.top);
    run->right = std::fmax(run->right, command.right);
    run->bottom = std::fmax(run->bottom, command.bottom);
    if (command.flag && slot == 0) {
      run->textures[run->textureCount] = command.value;
      run->exact[run->textureCount] = true;
      slot = ++run->textureCount;
    }
    if (command.flag && !command.exact) run->exact[slot - 1] = false;
    if (!command.flag) run->untextured = true;
    if (alone) run->alone = true;
    run->count += command.count;
    command.run = static_cast<int>(run - runs_.data());
    for (int i = command.first; i < command.first + command.count; ++i) {
      vertices_[static_cast<size_t>(i)].slot = static_cast<float>(slot);
    }
  }

  // Each run's vertices together, its draws in their order.
  int next = 0;
  for (Run& each : runs_) {
    each.first = next;
    next += each.count;
    each.count = 0;
  }
  ordered_.resize(static_cast<size_t>(next));
  for (const Command& command : commands_) {
    if (command.kind != Kind::kDraw) continue;
    Run& owner = runs_[static_cast<size_t>(command.run)];
    std::copy(vertices_.begin() + command.first, vertices_.begin() + command.first + command.count,
              ordered_.begin() + owner.first + owner.count);
    owner.count += command.count;
  }
}

void DrawRecorder::replay() {
  if (holder_ == this) holder_ = nullptr;
  if (commands_.empty()) return;

  if (!vertices_.empty() && !ensureResources()) {
    replayBatchByBatch();
    return;
  }
  bool drawing = !vertices_.empty();
  if (drawing) {
    formRuns();
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(ordered_.size() * sizeof(Vertex)), ordered_.data(),
                 GL_STREAM_DRAW);
    uploads_ += 1;
    // Generic attributes only: with no client array enabled, an emulation passes draws through.
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    for (int i = 0; i < kPrograms; ++i) {
      glUseProgram(programs_[i]);
      glUniformMatrix4fv(projectionLocations_[i], 1, GL_FALSE, projection);
    }
    glEnableVertexAttribArray(kCorner);
    glEnableVertexAttribArray(kTexel);
    glEnableVertexAttribArray(kTint);
    glEnableVertexAttribArray(kSlot);
    glVertexAttribPointer(kCorner, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          bufferOffset(offsetof(BatchVertex, x)));
    glVertexAttribPointer(kTexel, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          bufferOffset(offsetof(BatchVertex, u)));
    glVertexAttribPointer(kTint, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex),
                          bufferOffset(offsetof(BatchVertex, colour)));
    glVertexAttribPointer(kSlot, 1, GL_FLOAT, GL_FALSE, sizeof(Vertex), bufferOffset(offsetof(Vertex, slot)));
  }

  unsigned bound[kTextureUnits] = {};
  bool unitKnown[kTextureUnits] = {};
  int activeUnit = 0;
  int lastRun = -1;
  int programInUse = kPrograms - 1;
  for (const Command& command : commands_) {
    switch (command.kind) {
      case Kind::kDraw: {
        // A run is drawn where its first draw was recorded; later members were moved up to it.
        if (!drawing || command.run <= lastRun) break;
        lastRun = command.run;
        const Run& run = runs_[static_cast<size_t>(command.run)];
        for (int i = 0; i < run.textureCount; ++i) {
          unsigned texture = run.textures[i];
          auto nearest = std::find(nearestTextures_.begin(), nearestTextures_.end(), texture);
          bool filterChanges = run.exact[i] != (nearest != nearestTextures_.end());
          if (unitKnown[i] && bound[i] == texture && !filterChanges) continue;
          if (activeUnit != i) glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(i));
          activeUnit = i;
          if (!(unitKnown[i] && bound[i] == texture)) glBindTexture(GL_TEXTURE_2D, texture);
          bound[i] = texture;
          unitKnown[i] = true;
          if (filterChanges) {
            GLint filter = run.exact[i] ? GL_NEAREST : GL_LINEAR;
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
            if (run.exact[i]) {
              nearestTextures_.push_back(texture);
            } else {
              nearestTextures_.erase(nearest);
            }
          }
        }
        // The simplest shader that draws the run.
        int program = run.textureCount == 0 ? 0 : run.textureCount == 1 && !run.untextured ? 1 : 2;
        if (program != programInUse) glUseProgram(programs_[program]);
        programInUse = program;
        glDrawArrays(run.mode, run.first, run.count);
        drawCalls_ += 1;
        break;
      }
      default:
        sendState(command);
        break;
    }
  }

  if (drawing) {
    // The state the device's own client-array drawing expects: linear filtering everywhere.
    for (unsigned texture : nearestTextures_) {
      if (activeUnit != 0) glActiveTexture(GL_TEXTURE0);
      activeUnit = 0;
      glBindTexture(GL_TEXTURE_2D, texture);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    }
    nearestTextures_.clear();
    if (activeUnit != 0) glActiveTexture(GL_TEXTURE0);
    glDisableVertexAttribArray(kCorner);
    glDisableVertexAttribArray(kTexel);
    glDisableVertexAttribArray(kTint);
    glDisableVertexAttribArray(kSlot);
    glUseProgram(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
  }
  vertices_.clear();
  commands_.clear();
}

void DrawRecorder::sendState(const Command& command) {
  switch (command.kind) {
    case Kind::kBlend:
      glBlendFunc(GL_ONE, command.value);
      break;
    case Kind::kScissor:
      if (command.flag) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(command.x, command.y, command.w, command.h);
      } else {
        glDisable(GL_SCISSOR_TEST);
      }
      break;
    case Kind::kClear:
      glClearColor(command.r, command.g, command.b, 1.0f);
      glClear(GL_COLOR_BUFFER_BIT);
      break;
    case Kind::kDraw:
      break;
  }
}

void DrawRecorder::replayBatchByBatch() {
  for (const Command& command : commands_) {
    switch (command.kind) {
      case Kind::kDraw: {
        if (command.flag) {
          glEnable(GL_TEXTURE_2D);
          glBindTexture(GL_TEXTURE_2D, command.value);
        }
        const BatchVertex& first = vertices_[static_cast<size_t>(command.first)].batch;
        glVertexPointer(2, GL_FLOAT, sizeof(Vertex), &first.x);
        glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), &first.u);
        glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(Vertex), &first.colour);
        glDrawArrays(command.mode, 0, command.count);
        drawCalls_ += 1;
        if (command.flag) glDisable(GL_TEXTURE_2D);
        break;
      }
      default:
        sendState(command);
        break;
    }
  }
  vertices_.clear();
  commands_.clear();
}
