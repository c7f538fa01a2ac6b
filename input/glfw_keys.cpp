// The 346-entry GLFW key table. GLFW numbers printable keys by their ASCII value and the rest from
// 256 upwards; the framework uses the classic virtual-key numbering, so most keys move.
#include "input/glfw_keys.h"

#include <array>
#include <cstdint>

namespace {

// GLFW_KEY_RIGHT_SUPER is 347; the table stops at 345 (right control), so both super keys and
// the menu key are ignored.
constexpr int kGlfwTableSize = 346;

struct KeyMapping {
  int glfwKey;
  int code;
};

// Punctuation, in GLFW (ASCII) order; 34 and 126 are not GLFW keys but share their key's code.
constexpr KeyMapping kPunctuation[] = {{32, 32},  {34, 222}, {39, 222}, {44, 188}, {45, 189},
                                       {46, 190}, {47, 191}, {59, 186}, {61, 187}, {91, 219},
                                       {92, 220}, {93, 221}, {96, 192}, {126, 192}};
// Escape, enter, tab, backspace, insert, delete, right, left, down, up, page up, page down, home, end.
constexpr KeyMapping kEditingKeys[] = {{256, 27}, {257, 13}, {258, 9},  {259, 8},  {260, 45},
                                       {261, 46}, {262, 39}, {263, 37}, {264, 40}, {265, 38},
                                       {266, 33}, {267, 34}, {268, 36}, {269, 35}};
// Keypad decimal, divide, multiply, subtract, add; then shift and control, whose left and right
// keys share one code each.
constexpr KeyMapping kKeypadAndModifiers[] = {{330, 110}, {331, 111}, {332, 106}, {333, 109}, {334, 107},
                                              {340, 16},  {344, 16},  {341, 17},  {345, 17}};

constexpr std::array<uint8_t, kGlfwTableSize> buildTable() {
  std::array<uint8_t, kGlfwTableSize> table{};
  auto map = [&table](int glfwKey, int code) { table[glfwKey] = static_cast<uint8_t>(code); };
  for (KeyMapping m : kPunctuation) map(m.glfwKey, m.code);
  for (KeyMapping m : kEditingKeys) map(m.glfwKey, m.code);
  for (KeyMapping m : kKeypadAndModifiers) map(m.glfwKey, m.code);
  for (int k = '0'; k <= '9'; ++k) map(k, k);
  for (int k = 'A'; k <= 'Z'; ++k) map(k, k);
  for (int f = 0; f < 12; ++f) map(290 + f, 112 + f);  // F1-F12
  for (int d = 0; d < 10; ++d) map(320 + d, 96 + d);   // keypad 0-9
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
