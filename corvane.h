// The whole framework for a program: include this one header. A program is a c_App subclass with
// three hooks, createApplication() returning it, and main() calling startHost (see
// docs/FRAMEWORK.md and the programs in examples/).
#pragma once

#include "audio/audio.h"
#include "graphics/font.h"
#include "graphics/graphics_context.h"
#include "graphics/image.h"
#include "host/delegate.h"
#include "host/files.h"
#include "host/game.h"
#include "host/program_services.h"
#include "host/runtime_error.h"
#include "input/input_device.h"
#include "input/keys.h"
#include "runtime/array.h"
#include "runtime/collector.h"
#include "runtime/map.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/string.h"
