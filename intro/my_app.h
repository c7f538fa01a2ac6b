// The intro's application class. Its state lives in module globals, not in fields.
#pragma once

#include "host/delegate.h"

class c_MyApp : public c_App {
 public:
  int appStart() override;
  int appUpdate() override;
  int appRender() override;
};
