// Host services as a program calls them: the mouse pointer's visibility and one saved state text.
// Free functions over the host game (currentGame); before it exists they do nothing.
#pragma once

#include "runtime/string.h"

// Shows or hides the mouse pointer over the window (from appStart on: the window must exist).
void showPointer();
void hidePointer();

// Saves a small state text (high scores, settings) in the state file ./.corvanestate, in the
// working directory, replacing the previous state. The file is written beside it first and takes
// its place only once complete, so a full disk or a crash keeps the previous state. 0 on success,
// -1 when the file cannot be created, -2 when it could not be written completely.
int saveState(const String& text);
// The text last saved, or the empty string when there is none.
String loadState();
