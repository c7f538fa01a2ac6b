// The GLFW key table, checked against GLFW's own key constants: every mapped key, then every
// other value in and around the table must be ignored. And the key-down character codes.
#include "input/glfw_keys.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <utility>

namespace {

// GLFW key -> framework code, as the host must translate it.
std::map<int, int> expectedTable() {
  std::map<int, int> t = {
      {GLFW_KEY_SPACE, 32},
      {34, 222},  // not a GLFW key, but the table maps it like the apostrophe
      {GLFW_KEY_APOSTROPHE, 222},
      {GLFW_KEY_COMMA, 188},
      {GLFW_KEY_MINUS, 189},
      {GLFW_KEY_PERIOD, 190},
      {GLFW_KEY_SLASH, 191},
      {GLFW_KEY_SEMICOLON, 186},
      {GLFW_KEY_EQUAL, 187},
      {GLFW_KEY_LEFT_BRACKET, 219},
      {GLFW_KEY_BACKSLASH, 220},
      {GLFW_KEY_RIGHT_BRACKET, 221},
      {GLFW_KEY_GRAVE_ACCENT, 192},
      {126, 192},  // not a GLFW key either ('~')
      {GLFW_KEY_ESCAPE, 27},
      {GLFW_KEY_ENTER, 13},
      {GLFW_KEY_TAB, 9},
      {GLFW_KEY_BACKSPACE, 8},
      {GLFW_KEY_INSERT, 45},
      {GLFW_KEY_DELETE, 46},
      {GLFW_KEY_RIGHT, 39},
      {GLFW_KEY_LEFT, 37},
      {GLFW_KEY_DOWN, 40},
      {GLFW_KEY_UP, 38},
      {GLFW_KEY_PAGE_UP, 33},
      {GLFW_KEY_PAGE_DOWN, 34},
      {GLFW_KEY_HOME, 36},
      {GLFW_KEY_END, 35},
      {GLFW_KEY_KP_DECIMAL, 110},
      {GLFW_KEY_KP_DIVIDE, 111},
      {GLFW_KEY_KP_MULTIPLY, 106},
      {GLFW_KEY_KP_SUBTRACT, 109},
      {GLFW_KEY_KP_ADD, 107},
      {GLFW_KEY_LEFT_SHIFT, 16},
      {GLFW_KEY_RIGHT_SHIFT, 16},
      {GLFW_KEY_LEFT_CONTROL, 17},
      {GLFW_KEY_RIGHT_CONTROL, 17},
  };
  for (int d = 0; d <= 9; ++d) {
    t[GLFW_KEY_0 + d] = '0' + d;
    t[GLFW_KEY_KP_0 + d] = 96 + d;
  }
  for (int l = 0; l < 26; ++l) t[GLFW_KEY_A + l] = 'A' + l;
  const int functionKeys[] = {GLFW_KEY_F1, GLFW_KEY_F2,  GLFW_KEY_F3,  GLFW_KEY_F4,
                              GLFW_KEY_F5, GLFW_KEY_F6,  GLFW_KEY_F7,  GLFW_KEY_F8,
                              GLFW_KEY_F9, GLFW_KEY_F10, GLFW_KEY_F11, GLFW_KEY_F12};
  for (int i = 0; i < 12; ++i) t[functionKeys[i]] = 112 + i;
  return t;
}

TEST(GlfwKeyTable, EveryListedKeyTranslates) {
  std::map<int, int> table = expectedTable();
  ASSERT_EQ(table.size(), 95u) << "the list itself";
  for (auto [glfwKey, code] : table) {
    EXPECT_EQ(translateGlfwKey(glfwKey), code) << "GLFW key " << glfwKey;
  }
  EXPECT_EQ(translateGlfwKey(GLFW_KEY_F3), 114) << "the key that selects the third song";
}

TEST(GlfwKeyTable, EveryOtherKeyIsIgnored) {
  std::map<int, int> table = expectedTable();
  for (int glfwKey = -2; glfwKey <= GLFW_KEY_LAST + 8; ++glfwKey) {
    if (table.count(glfwKey)) continue;
    EXPECT_EQ(translateGlfwKey(glfwKey), 0) << "GLFW key " << glfwKey;
  }
  // Named keys with no code, to make the intent plain.
  for (int glfwKey : {GLFW_KEY_UNKNOWN,
                      GLFW_KEY_WORLD_1,
                      GLFW_KEY_WORLD_2,
                      GLFW_KEY_CAPS_LOCK,
                      GLFW_KEY_SCROLL_LOCK,
                      GLFW_KEY_NUM_LOCK,
                      GLFW_KEY_PRINT_SCREEN,
                      GLFW_KEY_PAUSE,
                      GLFW_KEY_F13,
                      GLFW_KEY_F25,
                      GLFW_KEY_KP_ENTER,
                      GLFW_KEY_KP_EQUAL,
                      GLFW_KEY_LEFT_ALT,
                      GLFW_KEY_RIGHT_ALT,
                      GLFW_KEY_LEFT_SUPER,
                      GLFW_KEY_RIGHT_SUPER,
                      GLFW_KEY_MENU,
                      346,
                      INT_MAX,
                      INT_MIN}) {
    EXPECT_EQ(translateGlfwKey(glfwKey), 0) << "GLFW key " << glfwKey;
  }
}

TEST(GlfwKeyTable, KeyDownCharacters) {
  const std::pair<int, int> expected[] = {
      {8, 8},  {9, 9},  {13, 13}, {27, 27}, {33, 65569}, {37, 65573}, {40, 65576}, {45, 65581}, {46, 127},
      {32, 0}, {41, 0}, {44, 0},  {65, 0},  {112, 0},    {432, 0},    {0, 0},      {-1, 0}};
  for (auto [code, character] : expected) {
    EXPECT_EQ(characterForKeyCode(code), character) << "code " << code;
  }
}

}  // namespace
