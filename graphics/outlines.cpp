// Outlined rectangles and ovals, built from the filled rectangles and lines of the graphics
// context, and the rectangle overlap test games use for collisions.
#include <algorithm>
#include <cmath>

#include "graphics/graphics_context.h"

void drawRectOutline(float x, float y, float width, float height) {
  if (width <= 0 || height <= 0) return;
  if (width <= 2 || height <= 2) {
    drawRect(x, y, width, height);  // no inside to leave out
    return;
  }
  drawRect(x, y, width, 1);
  drawRect(x, y + height - 1, width, 1);
  drawRect(x, y + 1, 1, height - 2);
  drawRect(x + width - 1, y + 1, 1, height - 2);
}

void drawOvalOutline(float x, float y, float width, float height) {
  if (width <= 0 || height <= 0) return;
  // Lines take pixel coordinates (x is the pixel, not its left edge): the line runs through the
  // outermost pixels of the filled oval.
  float rx = std::max((width - 1) / 2, 0.0f);
  float ry = std::max((height - 1) / 2, 0.0f);
  float cx = x + rx;
  float cy = y + ry;
  // Segments of about two units: smooth at any size, few for small ovals.
  constexpr float kPi = 3.14159265358979f;
  int segments = std::clamp(static_cast<int>(kPi * (rx + ry) / 2), 12, 720);
  float px = cx + rx, py = cy;
  for (int i = 1; i <= segments; ++i) {
    float angle = 2 * kPi * static_cast<float>(i) / static_cast<float>(segments);
    float qx = cx + rx * std::cos(angle), qy = cy + ry * std::sin(angle);
    drawLine(px, py, qx, qy);
    px = qx;
    py = qy;
  }
}

bool rectsOverlap(float x1, float y1, float width1, float height1, float x2, float y2, float width2,
                  float height2) {
  return x1 < x2 + width2 && x2 < x1 + width1 && y1 < y2 + height2 && y2 < y1 + height1 && width1 > 0 &&
         height1 > 0 && width2 > 0 && height2 > 0;
}
