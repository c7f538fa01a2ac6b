// What brackenfold-capture writes: PNG pictures from read-back framebuffer pixels, 16-bit samples
// from the loopback mix, and the video that ffmpeg muxes from both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/array.h"
#include "tools/capture/capture_options.h"

namespace capture {

// Pixels as readPixels gives them (alpha, red, green, blue from the top byte down; top row first)
// as an RGB PNG: the window is opaque, so the framebuffer's alpha is not what a viewer sees.
bool writePicture(const std::string& path, const Array<int>& pixels, int width, int height);

// Appends the float mix as 16-bit samples, clipped to full scale.
void appendSamples(const std::vector<float>& mixed, std::vector<int16_t>& samples);

// The executable `name` would run as from PATH (as `command -v` finds it); false when none.
bool findProgram(const std::string& name, std::string& path);

// The ffmpeg command line (argv, no shell) that muxes `pictures` pictures of options.outDir at
// 51/every per second with the sound file into options.video.
std::vector<std::string> videoCommand(const std::string& ffmpeg, const Options& options, int pictures);

// Runs the command and waits for it. False with a reason when it cannot start or fails.
bool runProgram(const std::vector<std::string>& argv, std::string& error);

}  // namespace capture
