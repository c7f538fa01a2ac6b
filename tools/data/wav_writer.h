// Minimal WAV output: mono 16-bit PCM in a plain RIFF/WAVE file ("fmt " chunk first, then "data").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace assets {

// The bytes of the file, little-endian regardless of the host.
std::vector<uint8_t> encodeWavMono16(uint32_t sampleRate, const std::vector<int16_t>& samples);

// Returns false and prints the reason when the file cannot be written.
bool writeWavMono16(const std::string& path, uint32_t sampleRate, const std::vector<int16_t>& samples);

}  // namespace assets
