// The GLFW host's loadAudioData: opens the file through the host and picks the decoder by the
// lower-cased extension alone (the content is not sniffed).
#include <cwctype>

#include "audio/ogg_reader.h"
#include "audio/wav_reader.h"
#include "host/game.h"
#include "runtime/collector.h"

namespace {

String lowerCased(const String& text) {
  std::u16string units(text.data(), text.length());
  for (char16_t& unit : units) unit = static_cast<char16_t>(std::towlower(unit));
  return String(units.data(), static_cast<int>(units.size()));
}

}  // namespace

unsigned char* VxGlfwGame::loadAudioData(const String& path, int& length, int& channels, int& bytesPerSample,
                                         int& rate) {
  FILE* file = openHostFile(path, "rb");
  if (file == nullptr) return nullptr;
  String lower = lowerCased(path);
  unsigned char* pcm = nullptr;
  if (lower.EndsWith(".wav")) {
    pcm = readWav(file, length, channels, bytesPerSample, rate);
  } else if (lower.EndsWith(".ogg")) {
    pcm = readOgg(file, length, channels, bytesPerSample, rate);
  }
  std::fclose(file);
  if (pcm != nullptr) addExternalBytes(int64_t(length) * channels * bytesPerSample);
  return pcm;
}
