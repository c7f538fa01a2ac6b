// The intro's application class. Its state lives in the module globals of intro/intro_globals.h,
// not in fields, so that it is there from program start and the three steps share it.
#pragma once

#include "host/delegate.h"

class c_MyApp : public c_App {
 public:
  // The intro's window: its title, 640 x 480, fixed.
  c_MyApp();
  // Loads pictures and fonts, sets the update rate and starts the first song.
  int appStart() override;
  // Ticks the song player, moves the scroller and handles the song keys.
  int appUpdate() override;
  // Draws one frame of the effects (intro/intro_render.h).
  int appRender() override;
};
