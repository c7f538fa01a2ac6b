// The Ogg Vorbis decoder (stb_vorbis) built into the framework with its heap blocks tracked: on
// some malformed streams it returns an error without freeing what it had allocated, so the reader
// frees whatever is left once the decoder is closed.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Frees every block the decoder allocated on this thread and has not freed since the last call.
// Only call it with no decoder open on the thread.
void releaseVorbisLeftovers(void);

// The most the decoder held at once on this thread since the last call (which starts a new count).
// The decoder is refused more than 32 MiB at once.
size_t takeVorbisPeakBytes(void);

#ifdef __cplusplus
}
#endif
