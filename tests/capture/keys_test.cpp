// Scripted key presses: the order they are delivered in and the events a press sends.
#include <gtest/gtest.h>

#include "tools/capture/capture_options.h"

namespace {

TEST(ScriptedKeys, RunInUpdateOrderAndKeepTheGivenOrderWithinAnUpdate) {
  std::vector<capture::ScriptedKey> keys;
  std::string error;
  ASSERT_TRUE(capture::parseKeys("30:F3,10:ENTER,30:F2", 60, keys, error)) << error;
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0].update, 10);
  EXPECT_EQ(keys[0].code, 13);
  EXPECT_EQ(keys[1].update, 30);
  EXPECT_EQ(keys[1].code, 114);
  EXPECT_EQ(keys[2].update, 30);
  EXPECT_EQ(keys[2].code, 113);
}

// What GLFW's key and character callbacks deliver for the same key on the real host.
TEST(ScriptedKeys, SendTheEventsOfARealPress) {
  struct Case {
    const char* name;
    int code, character;
  } cases[] = {{"F1", 112, 0}, {"f12", 123, 0}, {"ENTER", 13, 13},  {"a", 65, 'a'},
               {"Z", 90, 'z'}, {"7", 55, '7'},  {"SPACE", 32, ' '}, {"escape", 27, 27}};
  for (const Case& c : cases) {
    int code = -1, character = -1;
    ASSERT_TRUE(capture::lookUpKey(c.name, code, character)) << c.name;
    EXPECT_EQ(code, c.code) << c.name;
    EXPECT_EQ(character, c.character) << c.name;
  }
  int code = 0, character = 0;
  for (const char* unknown : {"F0", "F13", "F01", "", "AB", "+"}) {
    EXPECT_FALSE(capture::lookUpKey(unknown, code, character)) << unknown;
  }
}

}  // namespace
