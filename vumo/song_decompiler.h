// The song decompiler: a .dat file back to a song source (vumo-song(5) describes the format).
// Whatever the compiler can write comes back as a source that compiles to the same bytes; any other
// file the player loads comes back as the closest source, with one comment line per value that the
// source cannot hold. Reads the file the way the player does, so it needs the host game object and
// an audio driver (the recording one will do) for loadSong.
#pragma once

#include <string>
#include <vector>

namespace vumo {

struct Decompiled {
  std::string source;
  std::vector<std::string> notKept;  // one line per value the source could not keep (also in source)
};

// False with a reason when the player would not load the file (missing, empty, too large).
bool decompileFile(const std::string& path, Decompiled& out, std::string& error);

}  // namespace vumo
