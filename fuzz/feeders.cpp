// The feeders: the real loaders behind a path, with the pieces of the program they need and
// nothing that needs a window, an OpenGL context or a sound device.
#include "fuzz/feeders.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "audio/ogg_reader.h"
#include "audio/pcm_limits.h"
#include "audio/recording_audio.h"
#include "audio/wav_reader.h"
#include "graphics/font.h"
#include "graphics/graphics_context.h"
#include "graphics/image.h"
#include "graphics/render_device.h"
#include "graphics/surface.h"
#include "host/files.h"
#include "host/game.h"
#include "runtime/collector.h"
#include "vumo/player.h"
#include "vumo/song_compiler.h"
#include "vumo/song_decompiler.h"

namespace fuzzfeed {
namespace {

// Loads surfaces without binding them: there is no context to upload to, and the upload is not a
// reader of the file. Everything before it (host file, decoder, size cap, pixel adoption) runs.
class DecodeOnlyDevice : public gxtkGraphics {
 public:
  gxtkSurface* loadSurface(const String& path) override {
    gxtkSurface* surface = new gxtkSurface();
    if (!loadSurfaceData(surface, path)) return nullptr;
    return surface;
  }
};

// A 4x2 RGBA picture, the page that does exist.
const unsigned char kPagePng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
    0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x02, 0x08, 0x06, 0x00, 0x00, 0x00, 0x7f, 0xa8, 0x7d,
    0x63, 0x00, 0x00, 0x00, 0x16, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0xf8, 0xcf, 0xc0, 0xf0,
    0x1f, 0x08, 0x1b, 0x80, 0x14, 0x08, 0x80, 0x78, 0xa8, 0x02, 0x00, 0x10, 0xb1, 0x10, 0xf1, 0xe0,
    0xa2, 0x48, 0x32, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

RecordingAudio* recorder = nullptr;
GcRoot<c_vumoPlay*> player;

// The host file layer keeps 8-bit paths as they are; the feeders only get ASCII temporary paths.
String pathString(const std::string& path) {
  return String(path.c_str());
}

// Every byte of a block the loader handed back, so that a block shorter than its stated size is an
// out-of-bounds read the sanitizer reports. The sum keeps the reads from being optimised away.
unsigned touchBytes(const unsigned char* block, size_t size) {
  unsigned sum = 0;
  for (size_t i = 0; i < size; ++i) sum += block[i];
  return sum;
}

volatile unsigned sink = 0;

bool checkPcm(unsigned char* pcm, int length, int channels, int bytesPerSample) {
  if (pcm == nullptr) return false;
  if (length < 0 || channels <= 0 || bytesPerSample <= 0) std::abort();
  const size_t bytes = size_t(length) * size_t(channels) * size_t(bytesPerSample);
  if (bytes > size_t(kMaxDecodedPcmBytes)) std::abort();  // past the cap
  sink = sink + touchBytes(pcm, bytes);
  std::free(pcm);
  return true;
}

}  // namespace

void setUp() {
  static bool done = false;
  if (done) return;
  done = true;
  if (currentGame == nullptr) currentGame = new VxCorvaneGame();
  initGraphicsContext();
  registerGraphicsDevice(new DecodeOnlyDevice());
  recorder = new RecordingAudio(RecordingAudio::SampleFiles::Assume);  // the driver root keeps it
}

int feedText(const std::string& path) {
  setUp();
  String text = loadText(pathString(path));
  std::string utf8 = text.ToUtf8();
  sink = sink + touchBytes(reinterpret_cast<const unsigned char*>(utf8.data()), utf8.size());
  return text.length();
}

bool feedDecompile(const std::string& path) {
  setUp();
  vumo::Decompiled out;
  std::string error;
  if (!vumo::decompileFile(path, out, error)) {
    fullCollection();
    return false;
  }
  vumo::Song song;
  vumo::SourceError sourceError;
  if (!vumo::compileSource(out.source, song, sourceError)) {
    std::fprintf(stderr, "decompiled source does not compile: %d: %s\n", sourceError.line,
                 sourceError.reason.c_str());
    std::abort();
  }
  if (out.notKept.empty()) {
    FILE* file = std::fopen(path.c_str(), "rb");
    std::vector<unsigned char> bytes;
    for (int c; file != nullptr && (c = std::fgetc(file)) != EOF;)
      bytes.push_back(static_cast<unsigned char>(c));
    if (file != nullptr) std::fclose(file);
    if (bytes != vumo::encodeSong(song)) {
      std::fprintf(stderr, "nothing reported lost, but the source compiles to other bytes\n");
      std::abort();
    }
  }
  fullCollection();
  return true;
}

bool feedSong(const std::string& path) {
  setUp();
  recorder->clearCalls();
  player = new c_vumoPlay();
  bool loaded = player->loadSong(pathString(path)) == String("File Loaded...");
  for (int t = 1; t <= kSongTicks; ++t) {
    recorder->setTick(t);
    player->tick();
    collectStep();
  }
  player->stopVoices();
  player = nullptr;
  recorder->clearCalls();
  // Garbage left for later steps would look like a leak to the fuzzer's per-input leak check.
  fullCollection();
  return loaded;
}

bool feedWav(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  int length = 0, channels = 0, bytesPerSample = 0, rate = 0;
  unsigned char* pcm = readWav(file, length, channels, bytesPerSample, rate);
  std::fclose(file);
  return checkPcm(pcm, length, channels, bytesPerSample);
}

bool feedOgg(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  int length = 0, channels = 0, bytesPerSample = 0, rate = 0;
  unsigned char* pcm = readOgg(file, length, channels, bytesPerSample, rate);
  std::fclose(file);
  return checkPcm(pcm, length, channels, bytesPerSample);
}

bool feedImage(const std::string& path) {
  setUp();
  c_Image* image = loadImage(pathString(path), c_Image::kMidHandle);
  if (image == nullptr) {
    fullCollection();
    return false;
  }
  gxtkSurface* surface = image->surface;
  if (surface == nullptr || surface->pixels == nullptr) std::abort();
  const size_t bytes = size_t(surface->width()) * size_t(surface->height()) * size_t(surface->depth);
  sink = sink + touchBytes(surface->pixels, bytes);
  // Pictures are large; without this the fuzzer's memory would follow the collector's pace.
  surface->discard();
  fullCollection();
  return true;
}

// The glyph count of a font (-1 for none), after reading what drawing would read of it.
static int glyphsOf(c_Font* font) {
  if (font == nullptr) return -1;
  int glyphs = 0;
  for (auto* node = font->glyphs->firstNode(); node != nullptr; node = node->nextNode()) {
    c_Glyph* glyph = node->value;
    if (glyph == nullptr) std::abort();
    ++glyphs;
  }
  // What drawing reads of a font, short of the drawing itself.
  const Array<c_Image*>& pages = font->pages;
  for (int p = 0; p < pages.length(); ++p) {
    c_Image* page = pages.get(p);
    if (page != nullptr) sink = sink + static_cast<unsigned>(page->width() + page->height());
  }
  sink = sink + static_cast<unsigned>(font->textWidth(String("Brackenfold 01")));
  return glyphs;
}

int feedFont(const std::string& path) {
  setUp();
  int glyphs = glyphsOf(loadFontDescriptor(pathString(path)));
  fullCollection();
  return glyphs;
}

bool writePage(const std::string& directory) {
  std::string path = directory + "/" + kPageName;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(kPagePng, 1, sizeof kPagePng, file) == sizeof kPagePng;
  return std::fclose(file) == 0 && ok;
}

}  // namespace fuzzfeed
