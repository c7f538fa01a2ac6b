// The song tools' reading of a song file: what it holds, the one-line refusals, and a source
// compiled into a temporary .dat for the player.
#include "vumo/song_file.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "vumo/player.h"
#include "vumo/song_runner.h"

namespace vumo {
namespace {

constexpr char kHeader[] = "VUMO";
constexpr size_t kHeaderLength = 4;
// The player loads nothing larger, and a source of every pattern is half of it.
constexpr size_t kMostBytes = c_vumoPlay::kMaxSongFileBytes;

bool textByte(unsigned char c) {
  return c >= 0x20 ? c != 0x7F : c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string temporaryDirectory() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && dir[0] != 0 ? dir : "/tmp";
}

}  // namespace

SongFileKind songFileKind(const std::string& bytes) {
  if (bytes.empty()) return SongFileKind::kEmpty;
  if (bytes.compare(0, kHeaderLength, kHeader) == 0) return SongFileKind::kSong;
  for (char c : bytes) {
    if (!textByte(static_cast<unsigned char>(c))) return SongFileKind::kBinary;
  }
  return SongFileKind::kText;
}

bool readSongFile(const std::string& path, std::string& bytes, std::string& error, const std::string& what) {
  bytes.clear();
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (file == nullptr) {
    error = "cannot read " + what + " " + path + ": " + std::strerror(errno);
    return false;
  }
  char block[65536];
  for (;;) {
    const size_t got = std::fread(block, 1, sizeof block, file.get());
    bytes.append(block, got);
    if (bytes.size() > kMostBytes) {
      error = path + ": larger than 1 MiB, which is no song";
      return false;
    }
    if (got < sizeof block) break;
  }
  if (std::ferror(file.get())) {
    error = "cannot read " + what + " " + path + ": " + std::strerror(errno);  // a directory: EISDIR
    return false;
  }
  return true;
}

bool compileSourceFile(const std::string& sourcePath, const std::string& datPath, std::string& error,
                       std::vector<SourceWarning>* warnings, Song* compiled) {
  std::string source;
  if (!readSongFile(sourcePath, source, error, "source file")) return false;
  Song song;
  SourceError failure;
  if (!compileSource(source, song, failure, warnings)) {
    error = sourcePath + (failure.line > 0 ? ":" + std::to_string(failure.line) : std::string()) + ": " +
            failure.reason;
    return false;
  }
  if (compiled != nullptr) *compiled = song;
  const std::vector<unsigned char> bytes = encodeSong(song);
  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(datPath.c_str(), "wb"), &std::fclose);
  if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out.get()) != bytes.size() ||
      std::fflush(out.get()) != 0) {
    error = sourcePath + ": cannot write the compiled song to " + datPath + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

PreparedSong::~PreparedSong() {
  if (!temporary_.empty()) std::remove(temporary_.c_str());
}

SongUse songUse(const std::string& path, const std::string& bytes, const SongFileRules& rules,
                std::string& error) {
  const SongFileKind kind = songFileKind(bytes);
  if (kind == SongFileKind::kEmpty) {
    error = path + ": empty file";
    return SongUse::kRefused;
  }
  if (kind == SongFileKind::kSong || rules.force) return SongUse::kCompiled;
  const bool datName = path.size() >= 4 && path.compare(path.size() - 4, 4, ".dat") == 0;
  if (kind == SongFileKind::kText && rules.sourceAllowed && !datName) return SongUse::kSource;
  error = path + ": not a song file (no VUMO header)";
  Song song;
  SourceError failure;
  if (kind == SongFileKind::kText && compileSource(bytes, song, failure)) {
    error = path + ": a song source, not a compiled song (vumo-compile " + path + " OUT.dat compiles it)";
  }
  return SongUse::kRefused;
}

bool PreparedSong::prepare(const std::string& path, const SongFileRules& rules, std::string& error,
                           std::vector<SourceWarning>* warnings) {
  std::string bytes;
  if (!readSongFile(path, bytes, error)) return false;
  const SongUse use = songUse(path, bytes, rules, error);
  if (use == SongUse::kRefused) return false;
  if (use == SongUse::kCompiled) {
    datPath_ = absolutePath(path);
    return true;
  }
  std::string name = temporaryDirectory() + "/vumo-song-XXXXXX";
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    error = path + ": cannot make a temporary file for the compiled song: " + std::strerror(errno);
    return false;
  }
  close(fd);
  temporary_ = name;
  if (!compileSourceFile(path, temporary_, error, warnings)) return false;
  datPath_ = absolutePath(temporary_);
  return true;
}

std::string warningLine(const std::string& file, const SourceWarning& warning, const char* severity) {
  const std::string how = warning.kind == "allow" ? "mend the comment to silence it"
                                                  : "silence with \"# allow " + warning.kind + ": why\"";
  return file + ":" + std::to_string(warning.line) + ": " + severity + ": " + warning.reason + " [" +
         warning.kind + "] (" + how + ")";
}

}  // namespace vumo
