// Limits shared by the sound decoders.
#pragma once

// Decoded sound is held whole in memory; a file that claims or decodes to more than this is refused
// rather than allowed to exhaust the heap (the intro's own samples are a few kilobytes).
constexpr int kMaxDecodedPcmBytes = 64 * 1024 * 1024;
