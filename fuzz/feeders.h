// The loaders of outside data, each driven the way the program drives it, for the fuzz targets and
// for the regression test that replays every kept input. A feeder takes the path of a file on
// disk, runs it through the real loader and touches everything the loader says it produced, so
// that a wrong length or count shows up as an out-of-bounds read under the sanitizers.
#pragma once

#include <string>

namespace fuzzfeed {

// The host game object, the decode-only graphics device and the recording audio driver, once.
void setUp();

// loadText: the number of 16-bit units decoded.
int feedText(const std::string& path);
// loadSong over the recording driver, then kSongTicks ticks with a collector step after each:
// true when loadSong reported the file loaded.
constexpr int kSongTicks = 300;
bool feedSong(const std::string& path);
// vumo-decompile's reader: the file decompiled and the source compiled again. Aborts when the
// source does not compile, or when nothing was reported lost and the bytes differ: true when the
// player loads the file.
bool feedDecompile(const std::string& path);
// readWav / readOgg on the opened file: true when PCM came back.
bool feedWav(const std::string& path);
bool feedOgg(const std::string& path);
// loadImage through the decode-only device (every stage but the texture upload): true when an
// image came back.
bool feedImage(const std::string& path);
// loadFontDescriptor: the number of glyphs of the font, or -1 for no font. The descriptor's page
// names are resolved beside it; fuzzPageName is a small valid picture there (see writePage).
constexpr const char* kPageName = "page.png";
int feedFont(const std::string& path);
// Writes the existing page picture into `directory`.
bool writePage(const std::string& directory);

}  // namespace fuzzfeed
