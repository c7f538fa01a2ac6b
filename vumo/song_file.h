// A song file as the song tools take it: a compiled song (it starts with "VUMO") or a song source,
// and the one-line reasons a tool gives for a file it cannot play. The player itself loads any
// non-empty file; the tools refuse what is plainly not a song unless told to take it (--force).
#pragma once

#include <string>
#include <vector>

#include "vumo/song_compiler.h"

namespace vumo {

struct SongFileRules {
  bool sourceAllowed = true;  // a source is compiled (vumo-play, -render, -trace), else refused
  bool force = false;         // a file without the header is taken as a compiled song all the same
};

// A song the tools can hand to the player: a compiled song as it is, or a source compiled into a
// temporary file, removed with this object.
class PreparedSong {
 public:
  PreparedSong() = default;
  PreparedSong(const PreparedSong&) = delete;
  PreparedSong& operator=(const PreparedSong&) = delete;
  ~PreparedSong();

  // False with one line, "FILE: reason" or "FILE:LINE: reason". A source's warnings go to
  // `warnings` when it is given.
  bool prepare(const std::string& path, const SongFileRules& rules, std::string& error,
               std::vector<SourceWarning>* warnings = nullptr);
  // The compiled song's path, absolute, as the player takes it.
  const std::string& datPath() const { return datPath_; }
  bool fromSource() const { return !temporary_.empty(); }

 private:
  std::string datPath_;
  std::string temporary_;
};

// What a file holds, from its bytes: the kinds the tools tell apart.
enum class SongFileKind { kSong, kEmpty, kText, kBinary };
SongFileKind songFileKind(const std::string& head);

// How a tool takes the file `path` holding `bytes`: as a compiled song, as a source to compile,
// or refused with one line in `error` (empty file; no header: binary data, a name ending in .dat,
// or a source where only compiled songs are taken).
enum class SongUse { kCompiled, kSource, kRefused };
SongUse songUse(const std::string& path, const std::string& bytes, const SongFileRules& rules,
                std::string& error);

// The whole file, or false with "cannot read song file FILE: REASON" (the system's reason; `what`
// names the file).
bool readSongFile(const std::string& path, std::string& bytes, std::string& error,
                  const std::string& what = "song file");

// Compiles the source at `sourcePath` and writes the .dat to `datPath`. False with one line;
// the warnings go to `warnings` when it is given.
bool compileSourceFile(const std::string& sourcePath, const std::string& datPath, std::string& error,
                       std::vector<SourceWarning>* warnings = nullptr, Song* compiled = nullptr);

// "FILE:LINE: warning: reason [kind] (silence with ...)", as every tool prints a warning.
std::string warningLine(const std::string& file, const SourceWarning& warning,
                        const char* severity = "warning");

}  // namespace vumo
