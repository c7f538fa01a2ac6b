// When the device joins primitives into one batch and when it must flush, seen through its
// counters and its vertex batch (on the real context, so every flush is a real draw).
#include <cmath>

#include "tests/graphics/gl_fixture.h"

namespace {

using Batching = GlTest;

TEST_F(Batching, PointsFillOneBatchOf1024) {
  for (int i = 0; i < 1024; ++i) device->drawPoint(static_cast<float>(i % 100), 1);
  EXPECT_EQ(device->counters.flushes, 0);
  device->drawPoint(5, 5);
  EXPECT_EQ(device->counters.flushes, 1) << "the 1025th point must start a new batch";
  EXPECT_EQ(device->counters.vertices, 1024);
  EXPECT_EQ(device->vertexCount(), 1);
  device->endFrame();
  EXPECT_EQ(device->counters.drawCalls, 2);
}

TEST_F(Batching, LinesAndQuadsFlushWhenTheNextOneWouldNotFit) {
  for (int i = 0; i < 512; ++i) device->drawLine(0, 0, 1, 1);
  EXPECT_EQ(device->counters.flushes, 0);
  device->drawLine(0, 0, 1, 1);
  EXPECT_EQ(device->counters.flushes, 1);
  device->endFrame();

  device->counters = RenderCounters{};
  for (int i = 0; i < 256; ++i) device->drawRect(0, 0, 1, 1);
  EXPECT_EQ(device->counters.flushes, 0);
  EXPECT_EQ(device->vertexCount(), 1024);
  device->drawRect(0, 0, 1, 1);
  EXPECT_EQ(device->counters.flushes, 1);
}

TEST_F(Batching, SurfaceSwitchesFlushAndRegionsOfOneSurfaceShareABatch) {
  gxtkSurface* a = device->createSurface(8, 8);
  gxtkSurface* b = device->createSurface(8, 8);
  for (int i = 0; i < 100; ++i) device->drawSurfaceRegion(a, static_cast<float>(i), 0, i % 8, 0, 1, 1);
  EXPECT_EQ(device->counters.flushes, 0);
  EXPECT_EQ(device->batchSurface(), a);
  device->endFrame();
  EXPECT_EQ(device->counters.flushes, 1);

  device->counters = RenderCounters{};
  for (int i = 0; i < 6; ++i) device->drawSurface(i % 2 == 0 ? a : b, 0, 0);
  EXPECT_EQ(device->counters.flushes, 5) << "every switch of surface flushes";
  // An untextured primitive after a textured one is a switch too.
  device->drawRect(0, 0, 1, 1);
  EXPECT_EQ(device->counters.flushes, 6);
}

TEST_F(Batching, OvalsBatchByTheirSegmentCount) {
  device->drawOval(0, 0, 4, 4);  // estimate 4: 12 segments
  EXPECT_EQ(device->primitiveSize(), 12);
  device->drawOval(10, 10, 6, 6);  // estimate 6: still 12, same batch
  EXPECT_EQ(device->counters.flushes, 0);
  EXPECT_EQ(device->vertexCount(), 24);
  device->drawRect(0, 0, 1, 1);
  EXPECT_EQ(device->counters.flushes, 1) << "a rectangle after ovals must flush them";
  EXPECT_EQ(device->counters.drawCalls, 2) << "two ovals are two fans";

  // Estimates round down to a multiple of 4 and are capped at 1024.
  device->drawOval(0, 0, 30, 29);  // 15 + 14.5 = 29.5 -> 28
  EXPECT_EQ(device->primitiveSize(), 28);
  device->drawOval(0, 0, 5000, 5000);
  EXPECT_EQ(device->primitiveSize(), 1024);
  EXPECT_EQ(device->vertexCount(), 1024);
  // With a transform the estimate follows the scaled radii.
  device->setMatrix(3, 0, 0, 3, 0, 0);
  device->drawOval(0, 0, 10, 10);  // 15 + 15 = 30 -> 28
  EXPECT_EQ(device->primitiveSize(), 28);
}

TEST_F(Batching, EmptyOvalIsTwelveVerticesAtItsCentre) {
  device->drawOval(20, 30, 0, 0);
  ASSERT_EQ(device->vertexCount(), 12);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(device->batch()[i].x, 20.0f) << "vertex " << i;
    EXPECT_EQ(device->batch()[i].y, 30.0f) << "vertex " << i;
  }
}

TEST_F(Batching, OvalVerticesGoCounterClockwiseFromTheRight) {
  device->drawOval(0, 0, 40, 20);  // estimate 30 -> 28 segments
  ASSERT_EQ(device->vertexCount(), 28);
  const BatchVertex* v = device->batch();
  EXPECT_FLOAT_EQ(v[0].x, 40);
  EXPECT_FLOAT_EQ(v[0].y, 10);
  EXPECT_NEAR(v[7].x, 20, 1e-4);  // a quarter turn: the top, y down
  EXPECT_NEAR(v[7].y, 0, 1e-4);
}

TEST_F(Batching, PolygonsBatchWithTheirSizeClass) {
  float quad[] = {0, 0, 10, 0, 10, 10, 0, 10};
  Array<float> poly(8);
  for (int i = 0; i < 8; ++i) poly[i] = quad[i];
  device->drawRect(0, 0, 1, 1);
  device->drawPolygon(poly);
  device->drawRect(2, 2, 1, 1);
  EXPECT_EQ(device->counters.flushes, 0) << "a 4-vertex polygon is a quad";
  EXPECT_EQ(device->vertexCount(), 12);
  // Its two triangles are 0-1-2 and 0-2-3 of the shared index table.
  const uint16_t* idx = device->quadIndices();
  EXPECT_EQ(idx[6], 4);
  EXPECT_EQ(idx[7], 5);
  EXPECT_EQ(idx[8], 6);
  EXPECT_EQ(idx[9], 4);
  EXPECT_EQ(idx[10], 6);
  EXPECT_EQ(idx[11], 7);
  EXPECT_EQ(idx[1535], 1023);

  // Fewer than one or more than 1024 vertices: nothing drawn, nothing flushed.
  device->drawPolygon(Array<float>(1));
  device->drawPolygon(Array<float>(2 * 1025));
  EXPECT_EQ(device->vertexCount(), 12);
  EXPECT_EQ(device->counters.flushes, 0);

  // Five or more: one fan per polygon.
  device->drawPolygon(Array<float>(10));
  device->drawPolygon(Array<float>(10));
  EXPECT_EQ(device->counters.flushes, 1);
  device->endFrame();
  EXPECT_EQ(device->counters.drawCalls, 3);
}

TEST_F(Batching, ColourAndMatrixChangesNeverFlush) {
  device->drawRect(0, 0, 1, 1);
  device->setColor(10, 20, 30);
  device->setAlpha(0.25f);
  device->setMatrix(2, 0, 0, 2, 5, 5);
  device->drawRect(0, 0, 1, 1);
  EXPECT_EQ(device->counters.flushes, 0);
  // The second quad carries the new colour and the transformed corners.
  const BatchVertex* v = device->batch();
  EXPECT_EQ(v[4].colour, 0x3F070502u) << "got " << hexColour(v[4].colour);
  EXPECT_EQ(v[6].x, 7.0f);
  EXPECT_EQ(v[6].y, 7.0f);
  device->setBlendMode(0);
  EXPECT_EQ(device->counters.flushes, 1) << "a blend change flushes";
  device->drawRect(0, 0, 1, 1);
  device->setScissor(1, 1, 2, 2);
  EXPECT_EQ(device->counters.flushes, 2) << "a scissor change flushes";
}

TEST_F(Batching, TexturedPolygonUsesSourceOffsetAndScales) {
  gxtkSurface* surface = device->createSurface(16, 8);
  Array<float> poly(4 * 3);
  float data[] = {0, 0, 0, 0, 10, 0, 4, 0, 10, 10, 4, 2};
  for (int i = 0; i < 12; ++i) poly[i] = data[i];
  device->drawTexturedPolygon(poly, surface, 2, 1);
  ASSERT_EQ(device->vertexCount(), 3);
  EXPECT_FLOAT_EQ(device->batch()[1].u, 6.0f / 16);
  EXPECT_FLOAT_EQ(device->batch()[2].v, 3.0f / 8);
  // Without a surface there is nothing to draw from.
  device->drawTexturedPolygon(poly, nullptr, 0, 0);
  device->drawSurface(nullptr, 0, 0);
  device->drawSurfaceRegion(nullptr, 0, 0, 0, 0, 1, 1);
  EXPECT_EQ(device->vertexCount(), 3);
}

TEST_F(Batching, PackedColourSaturatesOutOfRangeInput) {
  device->setColor(300, -5, 128);
  device->setAlpha(2);
  EXPECT_EQ(device->packedColour(), 0xFFFF00FFu) << "got " << hexColour(device->packedColour());
  device->setColor(255, 255, 255);
  device->setAlpha(std::nanf(""));
  EXPECT_EQ(device->packedColour(), 0u);
}

}  // namespace
