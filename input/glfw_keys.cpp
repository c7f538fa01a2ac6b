// The 346-entry GLFW key table. GLFW numbers printable keys by their ASCII value and the rest from
// 256 upwards; the framework uses the classic virtual-key numbering, so most keys move.
#include "input/glfw_keys.h"

#include <array>
#include <cstdint>

namespace {

// GLFW_KEY_RIGHT_SUPER is 347; the table stops at 345 (right control), so both super keys and
// the menu key are ignored.
constexpr int kGlfwTableSize = 346;

constexpr std::array<uint8_t, kGlfwTableSize> buildTable() {
  std::array<uint8_t, kGlfwTableSize> table{};
  auto map = [&table](int glfwKey, int code) { table[glfwKey] = static_cast<uint8_t>(code); };
  map(32, 32);  // space
  map(34, 222);
  map(39, 222);  // apostrophe
  map(44, 188);  // comma
  map(45, 189);  // minus
  map(46, 190);  // period
  map(47, 191);  // slash
  for (int k = 48; k <= 57; ++k) map(k, k);  // digits
  map(59, 186);                              // semicolon
  map(61, 187);                              // equals
  for (int k = 65; k <= 90; ++k) map(k, k);  // letters
  map(91, 219);                              // left bracket
  map(92, 220);                              // backslash
  map(93, 221);                              // right bracket
  map(96, 192);                              // grave accent
  map(126, 192);
  map(256, 27);   // escape
  map(257, 13);   // enter
  map(258, 9);    // tab
  map(259, 8);    // backspace
  map(260, 45);   // insert
  map(261, 46);   // delete
  map(262, 39);   // right
  map(263, 37);   // left
  map(264, 40);   // down
  map(265, 38);   // up
  map(266, 33);   // page up
  map(267, 34);   // page down
  map(268, 36);   // home
  map(269, 35);   // end
  for (int k = 290; k <= 301; ++k) map(k, 112 + (k - 290));  // F1-F12
  for (int k = 320; k <= 329; ++k) map(k, 96 + (k - 320));   // keypad 0-9
  map(330, 110);                                             // keypad decimal
  map(331, 111);                                             // keypad divide
  map(332, 106);                                             // keypad multiply
  map(333, 109);                                             // keypad subtract
  map(334, 107);                                             // keypad add
  // Left and right modifiers share one code each.
  map(340, 16);
  map(344, 16);
  map(341, 17);
  map(345, 17);
  return table;
}

constexpr std::array<uint8_t, kGlfwTableSize> kGlfwKeyTable = buildTable();

constexpr int kCursorKeyCharFlag = 65536;
constexpr int kDeleteCharacter = 127;

}  // namespace

int translateGlfwKey(int glfwKey) {
  if (glfwKey < 0 || glfwKey >= kGlfwTableSize) return 0;
  return kGlfwKeyTable[glfwKey];
}

int characterForKeyCode(int code) {
  switch (code) {
    case 8:   // backspace
    case 9:   // tab
    case 13:  // enter
    case 27:  // escape
      return code;
    case 46:  // delete
      return kDeleteCharacter;
    default:
      if ((code >= 33 && code <= 40) || code == 45) return code | kCursorKeyCharFlag;
      return 0;
  }
}
