// An opt-in diagnostic for long runs: with CORVANE_AUDIO_STATS=<file> in the environment the
// driver counts the OpenAL buffers and sources it holds and appends "<seconds> buffers <n>
// sources <m>" to the file at most once a second. Without the variable nothing is counted or
// written.
#pragma once

void noteAudioBuffers(int delta);
void noteAudioSources(int delta);
// Appends a line when a second has passed since the last one.
void reportAudioStats();
