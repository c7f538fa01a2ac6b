// The intro's picture: one frame of background, star fields, wave scroller with its mirror, floor,
// turning ball grid with reflections, texts and scanlines, drawn through the framework's drawing
// functions from the globals of intro/intro_globals.h. Called from the render hook only.
#pragma once

// Pixels from one scroller character to the next.
constexpr int kScrollerPitch = 18;

// Draws one frame and advances the effects by one frame.
void renderIntroFrame();
