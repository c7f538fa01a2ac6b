// The GLFW host's key translation: GLFW key values to the framework's key codes, and the
// character event that a few of those keys also produce. Pure tables; no GLFW header needed.
#pragma once

// The framework key code for a GLFW key value, or 0 when the key is ignored (every value outside
// the table, GLFW_KEY_UNKNOWN included).
int translateGlfwKey(int glfwKey);

// The character that a press (or repeat) of a framework key code sends after the key-down event,
// or 0 for none. Editing and cursor keys are sent as code | 65536 so that they can never be
// mistaken for the printable characters that share their numbers.
int characterForKeyCode(int code);
