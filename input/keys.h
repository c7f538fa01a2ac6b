// Named key codes: every key, mouse button, joystick button and touch is a key code 0-511, which
// keyDown, keyHit and keyReleased take (the GLFW host translates GLFW's keys to these in
// input/glfw_keys.cpp). Also the values getChar gives for the keys that type no character.
#pragma once

// Mouse buttons as key codes, for keyDown/keyHit (mouseDown and mouseHit take 0, 1, 2 instead).
constexpr int MOUSE_LEFT = 1;
constexpr int MOUSE_RIGHT = 2;
constexpr int MOUSE_MIDDLE = 3;

constexpr int KEY_BACKSPACE = 8;
constexpr int KEY_TAB = 9;
constexpr int KEY_ENTER = 13;
constexpr int KEY_SHIFT = 16;    // left and right
constexpr int KEY_CONTROL = 17;  // left and right
constexpr int KEY_ESCAPE = 27;
constexpr int KEY_SPACE = 32;
constexpr int KEY_PAGEUP = 33;
constexpr int KEY_PAGEDOWN = 34;
constexpr int KEY_END = 35;
constexpr int KEY_HOME = 36;
constexpr int KEY_LEFT = 37;
constexpr int KEY_UP = 38;
constexpr int KEY_RIGHT = 39;
constexpr int KEY_DOWN = 40;
constexpr int KEY_INSERT = 45;
constexpr int KEY_DELETE = 46;

constexpr int KEY_0 = 48;
constexpr int KEY_1 = 49;
constexpr int KEY_2 = 50;
constexpr int KEY_3 = 51;
constexpr int KEY_4 = 52;
constexpr int KEY_5 = 53;
constexpr int KEY_6 = 54;
constexpr int KEY_7 = 55;
constexpr int KEY_8 = 56;
constexpr int KEY_9 = 57;

constexpr int KEY_A = 65;
constexpr int KEY_B = 66;
constexpr int KEY_C = 67;
constexpr int KEY_D = 68;
constexpr int KEY_E = 69;
constexpr int KEY_F = 70;
constexpr int KEY_G = 71;
constexpr int KEY_H = 72;
constexpr int KEY_I = 73;
constexpr int KEY_J = 74;
constexpr int KEY_K = 75;
constexpr int KEY_L = 76;
constexpr int KEY_M = 77;
constexpr int KEY_N = 78;
constexpr int KEY_O = 79;
constexpr int KEY_P = 80;
constexpr int KEY_Q = 81;
constexpr int KEY_R = 82;
constexpr int KEY_S = 83;
constexpr int KEY_T = 84;
constexpr int KEY_U = 85;
constexpr int KEY_V = 86;
constexpr int KEY_W = 87;
constexpr int KEY_X = 88;
constexpr int KEY_Y = 89;
constexpr int KEY_Z = 90;

constexpr int KEY_NUM0 = 96;  // keypad 0; KEY_NUM0 + n is keypad n
constexpr int KEY_NUMMULTIPLY = 106;
constexpr int KEY_NUMADD = 107;
constexpr int KEY_NUMSUBTRACT = 109;
constexpr int KEY_NUMDECIMAL = 110;
constexpr int KEY_NUMDIVIDE = 111;

constexpr int KEY_F1 = 112;
constexpr int KEY_F2 = 113;
constexpr int KEY_F3 = 114;
constexpr int KEY_F4 = 115;
constexpr int KEY_F5 = 116;
constexpr int KEY_F6 = 117;
constexpr int KEY_F7 = 118;
constexpr int KEY_F8 = 119;
constexpr int KEY_F9 = 120;
constexpr int KEY_F10 = 121;
constexpr int KEY_F11 = 122;
constexpr int KEY_F12 = 123;

constexpr int KEY_SEMICOLON = 186;
constexpr int KEY_EQUALS = 187;
constexpr int KEY_COMMA = 188;
constexpr int KEY_MINUS = 189;
constexpr int KEY_PERIOD = 190;
constexpr int KEY_SLASH = 191;
constexpr int KEY_GRAVE = 192;  // also the tilde
constexpr int KEY_OPENBRACKET = 219;
constexpr int KEY_BACKSLASH = 220;
constexpr int KEY_CLOSEBRACKET = 221;
constexpr int KEY_APOSTROPHE = 222;  // also the double quote

// Button 0-31 of joystick port 0-3.
constexpr int joyButtonKey(int port, int button) {
  return 256 + 32 * port + button;
}
// Touch 0-31 (touch 0 is also the left mouse button).
constexpr int touchKey(int index) {
  return 384 + index;
}
// Sent (down, then up) when the window's close button is pressed; the framework then ends the
// program.
constexpr int KEY_CLOSE = 432;

// What getChar gives for keys that type no character of their own.
constexpr int CHAR_BACKSPACE = 8;
constexpr int CHAR_TAB = 9;
constexpr int CHAR_ENTER = 13;
constexpr int CHAR_ESCAPE = 27;
constexpr int CHAR_DELETE = 127;
// The cursor, page, home, end and insert keys give their key code plus this: KEY_LEFT + CHAR_KEY.
constexpr int CHAR_KEY = 65536;
