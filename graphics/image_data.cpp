// The host's picture decoder: a file opened through the host's file layer, decoded by stb_image
// with the file's own channel count. Pictures too large to be textures are refused before they
// are decoded, so a hostile header cannot make us allocate gigabytes.
#include <stb/stb_image.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "host/game.h"
#include "runtime/collector.h"

namespace {

// Larger than any texture this program's OpenGL drivers accept.
constexpr int kMaxImageSide = 16384;
// The most decoded bytes one byte of a picture file can stand for: a PNG of 1-bit palette indices
// (32 output bytes per input byte in RGBA) through deflate's best ratio (1032:1). A header that
// claims more than this for its file is lying about its size, and would have the decoder allocate
// and fill up to a gigabyte for a file of a few bytes.
constexpr int64_t kMaxExpansion = 32 * 1032;

// Bytes from the read position to the end of the file, or -1 when the stream cannot tell.
long bytesToEnd(FILE* file) {
  long here = std::ftell(file);
  if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
  long end = std::ftell(file);
  if (std::fseek(file, here, SEEK_SET) != 0 || end < here) return -1;
  return end - here;
}

struct FileCloser {
  FILE* file;
  ~FileCloser() {
    if (file != nullptr) std::fclose(file);
  }
};

// The picture decoder trusts a JPEG's tables. Huffman code counts that add up to more than the 256
// symbols a table holds make it write past the table; a scan that uses a Huffman or quantisation
// table the file never defined makes it decode with uninitialised memory (garbage indexes into
// its tables). Such files are invalid, so they are refused. The walk follows the decoder's own
// reading: marker fill bytes, tables read while the segment length is positive, zeros past the end
// of the file, and markers found again in entropy-coded data. Anything that is not a JPEG passes.
// The file is left where it was.
struct JpegTables {
  bool dc[4] = {};
  bool ac[4] = {};
  bool quant[4] = {};
  int componentQuant[256];
  bool progressive = false;
  JpegTables() {
    for (int& q : componentQuant) q = -1;
  }
};

// The next byte, or 0 past the end of the file (as the decoder reads it).
int nextByte(FILE* file) {
  int c = std::fgetc(file);
  return c == EOF ? 0 : c;
}

// Reads the tables of one DHT or DQT segment, or the header of a frame or a scan; false when the
// file is to be refused. `left` is what the segment's length leaves after the consumed bytes.
bool readJpegSegment(FILE* file, int marker, long& left, JpegTables& tables) {
  if (marker == 0xC4) {
    while (left > 0) {
      int q = nextByte(file);
      int symbols = 0;
      for (int i = 0; i < 16; ++i) symbols += nextByte(file);
      if (symbols > 256) return false;
      if ((q >> 4) <= 1 && (q & 15) <= 3) ((q >> 4) == 0 ? tables.dc : tables.ac)[q & 15] = true;
      if (std::feof(file) || std::fseek(file, symbols, SEEK_CUR) != 0) return true;
      left -= 17 + symbols;
    }
  } else if (marker == 0xDB) {
    while (left > 0) {
      int q = nextByte(file);
      bool sixteen = (q >> 4) == 1;
      if ((q >> 4) <= 1 && (q & 15) <= 3) tables.quant[q & 15] = true;
      if (std::feof(file) || std::fseek(file, sixteen ? 128 : 64, SEEK_CUR) != 0) return true;
      left -= sixteen ? 129 : 65;
    }
  } else if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
    tables.progressive = marker == 0xC2;
    for (int i = 0; i < 5; ++i) nextByte(file);  // precision, height, width
    int components = nextByte(file);
    for (int i = 0; i < components; ++i) {
      int id = nextByte(file);
      nextByte(file);  // sampling factors
      tables.componentQuant[id] = nextByte(file);
    }
    left -= 6 + 3 * components;
  } else if (marker == 0xDA) {
    int count = nextByte(file);
    int ids[4] = {}, selectors[4] = {};
    for (int i = 0; i < count && i < 4; ++i) {
      ids[i] = nextByte(file);
      selectors[i] = nextByte(file);
    }
    int spectralStart = nextByte(file);
    nextByte(file);  // spectral end
    int approximationHigh = nextByte(file) >> 4;
    left -= 1 + 2 * (count < 4 ? count : 4) + 3;
    for (int i = 0; i < count && i < 4; ++i) {
      int dc = selectors[i] >> 4, ac = selectors[i] & 15;
      int quant = tables.componentQuant[ids[i]];
      if (quant >= 0 && quant <= 3 && !tables.quant[quant]) return false;
      bool needsDc = tables.progressive ? spectralStart == 0 && approximationHigh == 0 : true;
      bool needsAc = tables.progressive ? spectralStart != 0 : true;
      if (needsDc && dc <= 3 && !tables.dc[dc]) return false;
      if (needsAc && ac <= 3 && !tables.ac[ac]) return false;
    }
  }
  if (left > 0) std::fseek(file, left, SEEK_CUR);
  return true;
}

bool jpegTablesFit(FILE* file) {
  long start = std::ftell(file);
  if (start < 0) return false;
  bool fits = true;
  int c = std::fgetc(file);
  if (c == 0xFF) {
    do c = std::fgetc(file);
    while (c == 0xFF);
  }
  if (c == 0xD8) {
    JpegTables tables;
    for (;;) {
      c = std::fgetc(file);
      if (c == EOF) break;
      if (c != 0xFF) continue;  // entropy-coded data
      int marker;
      do marker = std::fgetc(file);
      while (marker == 0xFF);
      if (marker == EOF || marker == 0xD9) break;
      if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
      int high = std::fgetc(file);
      int low = std::fgetc(file);
      if (low == EOF || high == EOF) break;
      long left = ((high << 8) | low) - 2;
      if (!readJpegSegment(file, marker, left, tables)) {
        fits = false;
        break;
      }
    }
  }
  return std::fseek(file, start, SEEK_SET) == 0 && fits;
}

// The decoder grows its buffer to whatever a PNG chunk's length says before reading the chunk, so
// a chunk claiming gigabytes makes it allocate them. A chunk longer than the rest of the file is
// a broken file: refused. Anything that is not a PNG passes. The file is left where it was.
bool pngChunksFit(FILE* file, long fileBytes) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  long start = std::ftell(file);
  if (start < 0) return false;
  bool fits = true;
  unsigned char head[8];
  if (fileBytes >= 0 && std::fread(head, 1, 8, file) == 8 && std::memcmp(head, kSignature, 8) == 0) {
    long left = fileBytes - 8;
    while (left >= 8 && std::fread(head, 1, 8, file) == 8) {
      uint32_t length = uint32_t(head[0]) << 24 | uint32_t(head[1]) << 16 | uint32_t(head[2]) << 8 | head[3];
      left -= 8;
      if (length > static_cast<unsigned long>(left)) {
        fits = false;
        break;
      }
      // The data and its CRC.
      long skip = static_cast<long>(length) + 4;
      if (std::fseek(file, skip, SEEK_CUR) != 0) break;
      left -= skip;
    }
  }
  return std::fseek(file, start, SEEK_SET) == 0 && fits;
}

// The decoder reads a PNM header's numbers into an int without a bound, so a long digit string
// overflows it. Sides past the texture limit and sample maxima past 65535 are refused anyway, so a
// header number above 65535 refuses the picture before the decoder sees it. The walk is the
// decoder's own: blanks and '#' comments, then digits, three times. Anything that is not a binary
// PNM passes. The file is left where it was.
bool pnmNumbersFit(FILE* file) {
  long start = std::ftell(file);
  if (start < 0) return false;
  bool fits = true;
  int p = std::fgetc(file);
  int t = std::fgetc(file);
  if (p == 'P' && (t == '5' || t == '6')) {
    int c = std::fgetc(file);
    for (int number = 0; number < 3 && fits && c != EOF; ++number) {
      for (;;) {
        while (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') c = std::fgetc(file);
        if (c != '#') break;
        while (c != EOF && c != '\n' && c != '\r') c = std::fgetc(file);
      }
      long value = 0;
      while (c >= '0' && c <= '9') {
        value = value * 10 + (c - '0');
        if (value > 65535) {
          fits = false;
          break;
        }
        c = std::fgetc(file);
      }
    }
  }
  return std::fseek(file, start, SEEK_SET) == 0 && fits;
}

}  // namespace

unsigned char* VxGlfwGame::loadImageData(const String& path, int& width, int& height, int& depth) {
  FILE* file = openHostFile(path, String("rb"));
  if (file == nullptr) return nullptr;
  FileCloser closer{file};

  long start = std::ftell(file);
  long fileBytes = bytesToEnd(file);
  if (!jpegTablesFit(file) || !pngChunksFit(file, fileBytes) || !pnmNumbersFit(file)) return nullptr;
  int w = 0, h = 0, channels = 0;
  if (!stbi_info_from_file(file, &w, &h, &channels)) return nullptr;
  if (w <= 0 || h <= 0 || w > kMaxImageSide || h > kMaxImageSide) return nullptr;
  if (fileBytes >= 0 && static_cast<int64_t>(w) * h * 4 > kMaxExpansion * fileBytes) return nullptr;
  // The probe reads the header; decoding must start from the same place again.
  if (start < 0 || std::fseek(file, start, SEEK_SET) != 0) return nullptr;

  unsigned char* data = stbi_load_from_file(file, &w, &h, &channels, 0);
  if (data == nullptr) return nullptr;
  if (channels < 1 || channels > 4) {
    stbi_image_free(data);
    return nullptr;
  }
  width = w;
  height = h;
  depth = channels;
  addExternalBytes(static_cast<int64_t>(w) * h * channels);
  return data;
}
