// For programs that use the framework without starting through startHost: tools, test harnesses,
// a program with a loop of its own. startHost sets up the host game, the locale, the collector and
// the framework globals and then runs collector steps between the application's callbacks; code
// that does not go through it gets the same set-up from startWithoutWindow and runs the collector
// with runCollectorSteps.
#pragma once

class VxGame;

// The character locale startHost uses: "en_US.UTF-8", else the environment's when it is a UTF-8
// one, else "C.UTF-8". Without a UTF-8 locale String::ToLower and ToUpper leave every character
// beyond ASCII alone.
void useUtf8Locale();

// The collector, the one host game (currentGame, a VxCorvaneGame without a window, so that
// loadText and the other loaders resolve corvane://data/ beside the running program), the locale
// and the graphics context. Keeps what is already there: a second call, or a call after a test
// has installed a host game of its own, changes nothing. Returns currentGame.
VxGame* startWithoutWindow();

// Runs the host's collector step `steps` times, as the frame loop does after every callback.
// Objects must be reachable from a root (a GcRoot global, or a field of an object that is) by the
// time it runs: objects held only in local variables may be collected.
void runCollectorSteps(int steps = 1);
