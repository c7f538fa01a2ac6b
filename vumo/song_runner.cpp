// The song player over the recording driver and over a loopback device; WAV output.
#include "vumo/song_runner.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "audio/audio.h"
#include "audio/loopback.h"
#include "host/game.h"
#include "runtime/collector.h"
#include "vumo/player.h"

namespace vumo {
namespace {

GcRoot<c_vumoPlay*> runningPlayer;

}  // namespace

String hostPathString(const std::string& bytes) {
  std::u16string units;
  size_t i = 0;
  auto continuation = [&](size_t at) {
    return at < bytes.size() && (static_cast<unsigned char>(bytes[at]) & 0xC0) == 0x80;
  };
  while (i < bytes.size()) {
    unsigned lead = static_cast<unsigned char>(bytes[i]);
    uint32_t c = lead;
    int extra = 0;
    if (lead >= 0xC2 && lead <= 0xDF) extra = 1;
    if (lead >= 0xE0 && lead <= 0xEF) extra = 2;
    if (lead >= 0xF0 && lead <= 0xF4) extra = 3;
    bool valid = lead < 0x80 || extra > 0;
    if (extra > 0) {
      c = lead & (0x3F >> extra);
      for (int k = 1; valid && k <= extra; ++k) {
        valid = continuation(i + k);
        if (valid) c = (c << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
      }
      if (valid && ((extra == 2 && c < 0x800) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
                    (c >= 0xD800 && c <= 0xDFFF))) {
        valid = false;
      }
    }
    if (!valid) {
      units.push_back(static_cast<char16_t>(0xDC00 + lead));
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      units.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(c));
    }
    i += 1 + extra;
  }
  return String(units.data(), static_cast<int>(units.size()));
}

void ensureHostGame() {
  if (currentGame == nullptr) currentGame = new VxCorvaneGame();
}

std::string absolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> cwd(4096);
  while (getcwd(cwd.data(), cwd.size()) == nullptr) {
    if (cwd.size() > (1u << 20)) return "./" + path;
    cwd.resize(cwd.size() * 2);
  }
  return std::string(cwd.data()) + "/" + path;
}

bool readableFile(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (file == nullptr) return false;
  // A directory opens on Linux but cannot be read.
  char byte;
  return std::fread(&byte, 1, 1, file.get()) == 1 || std::feof(file.get());
}

std::string traceSong(const std::string& path, int ticks, RecordingAudio::SampleFiles files,
                      std::string* loadResult) {
  ensureHostGame();
  auto* audio = new RecordingAudio(files);  // installs itself as the audio driver (a root)
  runningPlayer = new c_vumoPlay();
  String loaded = runningPlayer->loadSong(hostPathString(path));
  if (loadResult != nullptr) *loadResult = loaded.ToUtf8();
  for (int t = 1; t <= ticks; ++t) {
    audio->setTick(t);
    runningPlayer->tick();
    // As in the program: a collector step after every update, so the player's marking is used.
    collectStep();
  }
  std::string text = audio->traceText();
  runningPlayer = nullptr;
  return text;
}

int64_t framesBeforeTick(int64_t tick) {
  return tick * kRenderRate / kTicksPerSecond;
}

bool renderSong(const std::string& path, int ticks, std::vector<int16_t>& frames, std::string& error) {
  ensureHostGame();
  AlLoopback device(kRenderRate, 2);
  if (!device.isOpen()) {
    error = "cannot open an OpenAL Soft loopback device for 44100 Hz stereo";
    return false;
  }
  new gxtkAudio(gxtkAudio::kOnCurrentContext);  // installs itself as the audio driver (a root)
  runningPlayer = new c_vumoPlay();
  runningPlayer->loadSong(hostPathString(path));
  frames.clear();
  frames.reserve(static_cast<size_t>(framesBeforeTick(ticks)) * 2);
  std::vector<float> mixed;
  for (int t = 0; t < ticks; ++t) {
    runningPlayer->tick();
    collectStep();
    const int count = static_cast<int>(framesBeforeTick(t + 1) - framesBeforeTick(t));
    mixed.assign(static_cast<size_t>(count) * 2, 0.0f);
    device.render(mixed.data(), count);
    for (float sample : mixed) {
      float clipped = std::clamp(sample, -1.0f, 1.0f);
      frames.push_back(static_cast<int16_t>(std::lrint(clipped * 32767.0f)));
    }
  }
  // Stop the channels while the context still exists; the driver outlives the loopback device.
  runningPlayer->stopVoices();
  runningPlayer = nullptr;
  return true;
}

bool writeWav(const std::string& path, const std::vector<int16_t>& frames) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (file == nullptr) return false;
  const uint32_t dataBytes = static_cast<uint32_t>(frames.size() * sizeof(int16_t));
  std::vector<unsigned char> header;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) header.push_back(static_cast<unsigned char>(v >> (8 * i)));
  };
  auto put16 = [&](uint16_t v) {
    header.push_back(static_cast<unsigned char>(v));
    header.push_back(static_cast<unsigned char>(v >> 8));
  };
  auto tag = [&](const char* t) { header.insert(header.end(), t, t + 4); };
  tag("RIFF");
  put32(36 + dataBytes);
  tag("WAVE");
  tag("fmt ");
  put32(16);
  put16(1);  // PCM
  put16(2);
  put32(kRenderRate);
  put32(kRenderRate * 4);
  put16(4);
  put16(16);
  tag("data");
  put32(dataBytes);
  bool ok = std::fwrite(header.data(), 1, header.size(), file.get()) == header.size();
  for (int16_t sample : frames) {
    const unsigned char bytes[2] = {static_cast<unsigned char>(sample & 0xFF),
                                    static_cast<unsigned char>((static_cast<uint16_t>(sample) >> 8) & 0xFF)};
    ok = ok && std::fwrite(bytes, 1, 2, file.get()) == 2;
  }
  return std::fflush(file.get()) == 0 && ok;
}

}  // namespace vumo
