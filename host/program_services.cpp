// The program-facing names of the host game's pointer and state services.
#include "host/program_services.h"

#include "host/game.h"

void showPointer() {
  if (currentGame != nullptr) currentGame->showPointer(true);
}

void hidePointer() {
  if (currentGame != nullptr) currentGame->showPointer(false);
}

int saveState(const String& text) {
  return currentGame != nullptr ? currentGame->storeStateText(text) : -1;
}

String loadState() {
  return currentGame != nullptr ? currentGame->fetchStateText() : String();
}
