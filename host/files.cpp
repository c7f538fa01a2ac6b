// Data paths and file loading: the data-path rule, the host's mapping of "corvane:" paths to the
// directory of the program file, opening files by 16-bit path, reading whole files as bytes or text,
// and the text-file decoding. Needs the collector (external-bytes counter) and the host game.
#include "host/files.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/game.h"
#include "host/platform.h"
#include "runtime/collector.h"

namespace {

constexpr size_t kReadBlock = 4096;

const char* lastDecodingError = nullptr;

// The whole rest of a file, read in 4096-byte blocks until a short read; a read error ends the
// reading like the end of the file. False only when the total no longer fits an int.
bool readAllBytes(FILE* file, std::vector<unsigned char>& bytes) {
  unsigned char block[kReadBlock];
  for (;;) {
    size_t got = std::fread(block, 1, kReadBlock, file);
    if (bytes.size() + got > static_cast<size_t>(INT32_MAX)) return false;
    bytes.insert(bytes.end(), block, block + got);
    if (got < kReadBlock) return true;
  }
}

// File names are bytes on this system, UTF-8 by convention. 16-bit paths are encoded properly
// (surrogate pairs combined) so that any name the system gives us opens again; bytes that are not
// UTF-8 travel as the units 0xDC80-0xDCFF and go back out as the same bytes.
std::string hostPathBytes(const String& path) {
  std::string out;
  int n = path.length();
  for (int i = 0; i < n; ++i) {
    uint32_t c = path[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (path[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xDC80 && c <= 0xDCFF) {
      out.push_back(static_cast<char>(c - 0xDC00));
      continue;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

String stringFromHostPath(const char* bytes, size_t length) {
  std::u16string units;
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  size_t i = 0;
  while (i < length) {
    unsigned lead = b[i];
    int extra = lead >= 0xF0 && lead <= 0xF4   ? 3
                : lead >= 0xE0 && lead <= 0xEF ? 2
                : lead >= 0xC2 && lead <= 0xDF ? 1
                                               : 0;
    uint32_t c = lead;
    bool valid = lead < 0x80 || extra > 0;
    if (extra > 0) {
      if (i + extra >= length) valid = false;
      c = lead & (0x3F >> extra);
      for (int k = 1; valid && k <= extra; ++k) {
        unsigned next = b[i + k];
        if ((next & 0xC0) != 0x80) {
          valid = false;
        } else {
          c = (c << 6) | (next & 0x3F);
        }
      }
      // Overlong forms, surrogates and values past U+10FFFF would not encode back to these bytes.
      if (valid && ((extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000) || c > 0x10FFFF ||
                    (c >= 0xD800 && c <= 0xDFFF))) {
        valid = false;
      }
    }
    if (!valid) {
      units.push_back(static_cast<Char>(0xDC00 + lead));
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      units.push_back(static_cast<Char>(0xD800 + ((c - 0x10000) >> 10)));
      units.push_back(static_cast<Char>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<Char>(c));
    }
    i += 1 + extra;
  }
  return String(units.data(), static_cast<int>(units.size()));
}

// The directory of the program file, without a trailing slash.
String programDirectory() {
  std::string name = programFileName();
  // Backslashes are left alone: unlike on the original platform they are ordinary name
  // characters here, and turning them into slashes would name another directory.
  size_t slash = name.rfind('/');
  if (slash == std::string::npos) std::abort();
  return stringFromHostPath(name.data(), slash);
}

// UTF-8 text, one unit per character of at most three bytes; false at the first sequence that is
// not of that form.
bool decodeUtf8(const unsigned char* b, size_t n, std::u16string& units) {
  auto continuation = [](unsigned char c) { return c >= 0x80 && c <= 0xBF; };
  size_t i = 0;
  while (i < n) {
    unsigned c = b[i];
    if (c < 0x80) {
      units.push_back(static_cast<Char>(c));
      i += 1;
    } else if (c >= 0xC0 && c <= 0xDF && i + 1 < n && continuation(b[i + 1])) {
      units.push_back(static_cast<Char>(((c * 64) + (b[i + 1] & 0x3F)) & 0x7FF));
      i += 2;
    } else if (c >= 0xE0 && c <= 0xEF && i + 2 < n && continuation(b[i + 1]) && continuation(b[i + 2])) {
      units.push_back(static_cast<Char>((c * 4096 + (b[i + 1] & 0x3F) * 64 + (b[i + 2] & 0x3F)) & 0xFFFF));
      i += 3;
    } else {
      return false;
    }
  }
  return true;
}

String stringOf(const std::u16string& units) {
  return String(units.data(), static_cast<int>(units.size()));
}

}  // namespace

String completeDataPath(const String& path) {
  int colon = path.Find(String(":/"));
  if (colon != -1 && path.Find(String("/")) == colon + 1) return path;
  if (path.StartsWith(String("./")) || path.StartsWith(String("/"))) return path;
  return String("corvane://data/") + path;
}

String loadText(const String& path) {
  if (currentGame == nullptr) return String();
  return currentGame->loadTextFile(completeDataPath(path));
}

bool fileLargerThan(const String& path, int64_t maxBytes) {
  if (currentGame == nullptr) return false;
  FILE* file = currentGame->openHostFile(completeDataPath(path), String("rb"));
  if (file == nullptr) return false;
  std::vector<unsigned char> block(65536);
  int64_t total = 0;
  while (total <= maxBytes) {
    size_t got = std::fread(block.data(), 1, block.size(), file);
    total += static_cast<int64_t>(got);
    if (got < block.size()) break;
  }
  std::fclose(file);
  return total > maxBytes;
}

const char* lastTextDecodingError() {
  return lastDecodingError;
}

String decodeTextFile(FILE* file) {
  // Cleared first, so that an empty or unreadable file never reports an earlier file's error.
  lastDecodingError = nullptr;
  std::vector<unsigned char> bytes;
  if (!readAllBytes(file, bytes)) return String();
  size_t n = bytes.size();
  if (n == 0) return String();
  const unsigned char* b = bytes.data();

  std::u16string units;
  if (n >= 2 && ((b[0] == 0xFE && b[1] == 0xFF) || (b[0] == 0xFF && b[1] == 0xFE))) {
    bool bigEndian = b[0] == 0xFE;
    size_t count = (n - 2) / 2;  // a final odd byte is ignored
    units.reserve(count);
    for (size_t k = 0; k < count; ++k) {
      unsigned first = b[2 + 2 * k], second = b[3 + 2 * k];
      units.push_back(static_cast<Char>(bigEndian ? (first << 8) | second : (second << 8) | first));
    }
    return stringOf(units);
  }

  // A 2-byte file holding the first two bytes of the mark is not taken for a mark.
  size_t start = n > 2 && b[0] == 239 && b[1] == 187 && b[2] == 191 ? 3 : 0;
  units.reserve(n - start);
  if (!decodeUtf8(b + start, n - start, units)) {
    // The song files store their numbers as single bytes and rely on this fallback.
    lastDecodingError = "Invalid UTF-8";
    units.clear();
    for (size_t i = start; i < n; ++i) units.push_back(static_cast<Char>(b[i]));
  }
  return stringOf(units);
}

// --- host file operations ---

String VxGame::resolvePath(const String& path) {
  return path;
}

String VxGlfwGame::resolvePath(const String& path) {
  if (appDirectory.empty()) appDirectory = programDirectory();
  static const String kScheme("corvane:");
  static const String kData("corvane://data/");
  static const String kInternal("corvane://internal/");
  static const String kExternal("corvane://external/");
  if (!path.StartsWith(kScheme)) return path;
  if (path.StartsWith(kData)) return appDirectory + String("/data/") + path.Slice(kData.length());
  if (path.StartsWith(kInternal)) {
    if (internalDirectory.empty()) internalDirectory = appDirectory + String("/internal");
    return internalDirectory + String("/") + path.Slice(kInternal.length());
  }
  if (path.StartsWith(kExternal)) return appDirectory + String("/external/") + path.Slice(kExternal.length());
  return String();
}

FILE* VxGame::openHostFile(const String& path, const String& mode) {
  String resolved = resolvePath(path);
  if (resolved.empty()) return nullptr;
  FILE* file = std::fopen(hostPathBytes(resolved).c_str(), hostPathBytes(mode).c_str());
  // A directory opens for reading here but holds no bytes: it is not a file to load.
  struct stat info;
  if (file != nullptr && fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

unsigned char* VxGame::readFileBytes(const String& path, int& size) {
  FILE* file = openHostFile(path, String("rb"));
  if (file == nullptr) return nullptr;
  std::vector<unsigned char> bytes;
  bool fits = readAllBytes(file, bytes);
  std::fclose(file);
  if (!fits) return nullptr;
  // Never a null block for an empty file: null means "could not be read".
  auto* block = static_cast<unsigned char*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
  if (block == nullptr) return nullptr;
  if (!bytes.empty()) std::memcpy(block, bytes.data(), bytes.size());
  size = static_cast<int>(bytes.size());
  addExternalBytes(static_cast<int64_t>(bytes.size()));
  return block;
}

String VxGame::loadTextFile(const String& path) {
  FILE* file = openHostFile(path, String("rb"));
  if (file == nullptr) return String();
  String text = decodeTextFile(file);
  std::fclose(file);
  return text;
}
