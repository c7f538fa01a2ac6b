// The guide's code is the examples' code: every C++ or CMake block of docs/FRAMEWORK.md names the
// file (and marked region) it was taken from, and must equal it, so that what the guide shows is
// compiled and run by the tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string sourceDir() {
  const char* dir = std::getenv("CORVANE_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Drops the indentation all non-blank lines share, and blank lines at both ends.
std::string dedent(std::vector<std::string> lines) {
  while (!lines.empty() && lines.front().find_first_not_of(' ') == std::string::npos)
    lines.erase(lines.begin());
  while (!lines.empty() && lines.back().find_first_not_of(' ') == std::string::npos) lines.pop_back();
  size_t indent = std::string::npos;
  for (const std::string& line : lines) {
    size_t first = line.find_first_not_of(' ');
    if (first != std::string::npos && first < indent) indent = first;
  }
  std::string text;
  for (const std::string& line : lines) text += (line.size() >= indent ? line.substr(indent) : "") + "\n";
  return text;
}

// The lines between "[guide:NAME]" and "[/guide:NAME]" (whatever comment starts them), or the
// whole file for an empty name. Sets found.
std::string region(const std::string& file, const std::string& name, bool& found) {
  std::vector<std::string> lines = readLines(sourceDir() + "/" + file);
  found = !lines.empty();
  if (name.empty()) return dedent(lines);
  std::vector<std::string> inside;
  bool in = false;
  found = false;
  for (const std::string& line : lines) {
    if (line.find("[/guide:" + name + "]") != std::string::npos) {
      in = false;
    } else if (line.find("[guide:" + name + "]") != std::string::npos) {
      in = true;
      found = true;
    } else if (in && line.find("[guide:") == std::string::npos &&
               line.find("[/guide:") == std::string::npos) {
      inside.push_back(line);  // nested region markers are not part of the code
    }
  }
  return dedent(inside);
}

TEST(Guide, EveryCodeBlockIsTheExampleCodeItNames) {
  const std::string guidePath = "docs/FRAMEWORK.md";
  std::vector<std::string> lines = readLines(sourceDir() + "/" + guidePath);
  ASSERT_FALSE(lines.empty()) << guidePath;
  const std::string marker = "<!-- from ";
  int checked = 0;
  std::string source;  // the last "from" marker, consumed by the next block
  int sourceLine = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.rfind(marker, 0) == 0) {
      source = line.substr(marker.size(), line.find(" -->") - marker.size());
      sourceLine = static_cast<int>(i + 1);
      continue;
    }
    if (line.rfind("```", 0) != 0) continue;
    std::string language = line.substr(3);
    std::vector<std::string> block;
    size_t end = i + 1;
    while (end < lines.size() && lines[end].rfind("```", 0) != 0) block.push_back(lines[end++]);
    bool isCode = language == "cpp" || language == "cmake";
    if (isCode) {
      if (source.empty() || sourceLine != static_cast<int>(i)) {
        ADD_FAILURE() << guidePath << ":" << i + 1 << ": a " << language
                      << " block without a \"<!-- from FILE#REGION -->\" line right above it";
      } else {
        size_t hash = source.find('#');
        std::string file = source.substr(0, hash);
        std::string name = hash == std::string::npos ? "" : source.substr(hash + 1);
        bool found = false;
        std::string expected = region(file, name, found);
        EXPECT_TRUE(found) << guidePath << ":" << i + 1 << ": no region " << source;
        EXPECT_EQ(dedent(block), expected) << guidePath << ":" << i + 1 << ": differs from " << source;
        ++checked;
      }
    }
    source.clear();
    i = end;
  }
  EXPECT_GE(checked, 10) << "the guide shows the examples' code";
}

}  // namespace
