// The program entry of the intro.
#include "host/game.h"
#include "intro/my_app.h"

c_App* createApplication() { return new c_MyApp(); }

int main(int argc, char** argv) { return startHost(argc, argv); }
