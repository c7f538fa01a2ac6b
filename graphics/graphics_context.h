// The framework's drawing state and its free drawing functions. Colour, alpha, blend mode and
// scissor go to the graphics device at once; the matrix is only marked dirty and sent just before
// the next drawing call (validateMatrix). Also the per-frame render step that brackets the
// application's render hook with the device's begin and end of frame.
#pragma once

#include <initializer_list>

#include "runtime/array.h"
#include "runtime/collector.h"

class c_Font;
class gxtkGraphics;

class c_GraphicsContext : public Object {
 public:
  static constexpr int kInitialMatrixStack = 192;  // 32 matrices of 6 floats

  c_GraphicsContext();
  void mark() override;

  // Fields, in their documented order.
  GcField<c_Font*> defaultFont;
  GcField<c_Font*> font;
  int matrixSp = 0;  // floats in use on matrixStack, a multiple of 6
  float ix = 1, iy = 0, jx = 0, jy = 1, tx = 0, ty = 0;
  int transformed = 0;
  int matrixDirty = 0;
  float colorR = 0, colorG = 0, colorB = 0;
  float alpha = 0;
  int blendMode = 0;
  float scissorX = 0, scissorY = 0, scissorWidth = 0, scissorHeight = 0;
  GcField<Array<float>> matrixStack;
  // Set once making the default font has failed: it is not tried again, or every text drawn
  // without a font would reload (and report) the missing picture.
  bool defaultFontFailed = false;
};

// Module state (collector roots where they hold objects).
extern GcRoot<c_GraphicsContext*> graphicsContext;
// The device the game delegate created and registered.
extern GcRoot<gxtkGraphics*> registeredDevice;
// The device drawing calls use: the registered device during the application's render hook, null
// at all other times.
extern GcRoot<gxtkGraphics*> renderDevice;
// The host's drawing-surface size, refreshed at every render step.
extern int contextDeviceWidth;
extern int contextDeviceHeight;
// Flags the fonts use when they load their page images.
extern int defaultImageFlags;

// Creates the one context and resets the module state (called once by startHost).
void initGraphicsContext();
// Stores the device the game delegate created (the delegate then calls setFont(null)).
void registerGraphicsDevice(gxtkGraphics* device);
// One frame's rendering: device size from the host, beginFrame, context reset,
// currentApp->appRender(), render device cleared, endFrame. Does nothing without a device.
void renderStep();

// Matrix operations (each marks the matrix dirty; nothing reaches the device until validateMatrix).
void setMatrix(float ix, float iy, float jx, float jy, float tx, float ty);
void setMatrix(Array<float> m);  // elements 0-5
void transform(float ix, float iy, float jx, float jy, float tx, float ty);
void transform(Array<float> m);  // elements 0-5
void translate(float x, float y);
void rotate(float degrees);
void scale(float x, float y);
void pushMatrix();
void popMatrix();
// Sends the matrix to the render device if it changed since the last send.
void validateMatrix();

// State setters: kept in the context and forwarded to the render device at once.
void setColor(float red, float green, float blue);
// Packed form: the integer part holds red in bits 16-23, green in 8-15, blue in 0-7.
void setColor(float packed);
void setAlpha(float alpha);
void setBlendMode(int mode);
void setScissor(float x, float y, float width, float height);

void clear(float red, float green, float blue);
void drawLine(float x1, float y1, float x2, float y2);

// Shapes in the current colour, alpha and blend mode, through the current matrix (the device's
// primitives behind validateMatrix). Like every drawing function they draw only inside the
// application's render hook.
void drawPoint(float x, float y);
// Filled; (x, y) is the top-left corner.
void drawRect(float x, float y, float width, float height);
// Filled, inside the rectangle (x, y, width, height).
void drawOval(float x, float y, float width, float height);
// Outlines, one unit wide, inside the same rectangles as drawRect and drawOval fill.
void drawRectOutline(float x, float y, float width, float height);
void drawOvalOutline(float x, float y, float width, float height);
// Whether two rectangles (x, y, width, height) share any area; touching edges do not overlap.
bool rectsOverlap(float x1, float y1, float width1, float height1, float x2, float y2, float width2,
                  float height2);
// Filled convex polygon from x0, y0, x1, y1, ... (at least three points; an odd last value and
// points beyond the device's batch are ignored).
void drawPoly(Array<float> vertices);
void drawPoly(std::initializer_list<float> vertices);
