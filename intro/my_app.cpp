// The intro's create, update and render steps.
#include "intro/my_app.h"

int c_MyApp::appStart() { return 0; }
int c_MyApp::appUpdate() { return 0; }
int c_MyApp::appRender() { return 0; }
