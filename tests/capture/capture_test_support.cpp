#include "tests/capture/capture_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stb/stb_image.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "vumo/song_compiler.h"

extern char** environ;

namespace capturetest {
namespace fs = std::filesystem;

namespace {

std::string envOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : fallback;
}

uint32_t le32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
uint16_t le16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1])
                                                                       << 8);
}

void compileSong(const std::string& sourceRelative, const std::string& target) {
  const std::string source = fileBytes(envOr("CORVANE_SOURCE_DIR", ".") + "/" + sourceRelative);
  vumo::Song song;
  vumo::SourceError error;
  ASSERT_TRUE(vumo::compileSource(source, song, error))
      << sourceRelative << ":" << error.line << ": " << error.reason;
  const std::vector<unsigned char> bytes = vumo::encodeSong(song);
  writeFile(target, std::string(bytes.begin(), bytes.end()));
}

ProgramDir makeProgramDir() {
  ProgramDir found;
  const std::string build = envOr("CORVANE_BINARY_DIR", ".");
  found.dir = build;
  found.program = build + "/brackenfold-capture";
  const bool songsThere =
      fs::exists(build + "/data/songs/brackenfold.dat") && fs::exists(build + "/data/songs/nightdrive.dat");
  if (songsThere) return found;

  // The capture finds data/ beside its own file, so the copy of the program goes beside the copy
  // of the data.
  found.dir = scratchDir("program");
  found.program = found.dir + "/brackenfold-capture";
  found.testSongs = true;
  fs::copy_file(build + "/brackenfold-capture", found.program);
  fs::copy(build + "/data", found.dir + "/data", fs::copy_options::recursive);
  compileSong("tests/vumo/songs/tune.vumo", found.dir + "/data/songs/brackenfold.dat");
  compileSong("tests/vumo/songs/arpeggio.vumo", found.dir + "/data/songs/nightdrive.dat");
  return found;
}

}  // namespace

ChildRun runProgram(const std::string& program, const std::vector<std::string>& args,
                    const std::map<std::string, std::optional<std::string>>& env) {
  ChildRun run;
  const std::string outPath = scratchDir("streams") + "/out", errPath = outPath + ".err";

  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (env.count(entry.substr(0, entry.find('='))) == 0) environment.push_back(entry);
  }
  for (const auto& [name, value] : env) {
    if (value) environment.push_back(name + "=" + *value);
  }

  std::vector<std::string> argvText = {program};
  argvText.insert(argvText.end(), args.begin(), args.end());
  auto pointers = [](std::vector<std::string>& texts) {
    std::vector<char*> p;
    for (std::string& t : texts) p.push_back(t.data());
    p.push_back(nullptr);
    return p;
  };
  std::vector<char*> argv = pointers(argvText), envp = pointers(environment);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t child = 0;
  const int started = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) {
    ADD_FAILURE() << "cannot start " << program << ": " << std::strerror(started);
    return run;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = fileBytes(outPath);
  run.err = fileBytes(errPath);
  return run;
}

Picture readPicture(const std::string& path) {
  Picture picture;
  int channels = 0;
  unsigned char* pixels = stbi_load(path.c_str(), &picture.width, &picture.height, &channels, 4);
  if (pixels == nullptr) return picture;
  picture.rgba.assign(pixels, pixels + static_cast<size_t>(picture.width) * picture.height * 4);
  stbi_image_free(pixels);
  return picture;
}

Wav readWav(const std::string& path) {
  Wav wav;
  const std::string b = fileBytes(path);
  if (b.size() < 44 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) return wav;
  size_t at = 12;
  while (at + 8 <= b.size()) {
    const std::string id = b.substr(at, 4);
    const uint32_t size = le32(b, at + 4);
    const size_t body = at + 8;
    if (body + size > b.size()) return wav;
    if (id == "fmt " && size >= 16) {
      wav.channels = le16(b, body + 2);
      wav.rate = static_cast<int>(le32(b, body + 4));
      wav.bits = le16(b, body + 14);
    } else if (id == "data") {
      wav.samples.resize(size / 2);
      for (size_t i = 0; i < wav.samples.size(); ++i)
        wav.samples[i] = static_cast<int16_t>(le16(b, body + 2 * i));
      wav.valid = wav.channels > 0;
      return wav;
    }
    at = body + size + (size & 1);
  }
  return wav;
}

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "could not write " << path;
}

std::string scratchDir(const std::string& name) {
  static int made = 0;
  const fs::path dir = fs::temp_directory_path() / ("capture-test-" + std::to_string(getpid())) /
                       (name + "-" + std::to_string(++made));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

const ProgramDir& captureProgram() {
  static const ProgramDir program = makeProgramDir();
  return program;
}

int64_t framesBeforeUpdate(int64_t updates) {
  return updates * 44100 / 51;
}

}  // namespace capturetest

namespace {

// The scratch directories of this process go when the tests end.
class RemoveScratch : public ::testing::Environment {
 public:
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(
        std::filesystem::temp_directory_path() / ("capture-test-" + std::to_string(getpid())), ignored);
  }
};
[[maybe_unused]] ::testing::Environment* const removeScratch =
    ::testing::AddGlobalTestEnvironment(new RemoveScratch);

}  // namespace
