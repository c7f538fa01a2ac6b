// vumo-play [--watch] SONG: plays a song (.dat or source) with the real player and samples through
// the default OpenAL device at 51 ticks a second and shows it live in the terminal.
//
// The terminal is driven through ncurses: it reads the terminal's abilities from terminfo (so it
// works in any terminal and over ssh whatever TERM says), decodes the arrow keys' escape sequences,
// follows resizes and puts the terminal back as it found it on endwin(). What is shown is
// renderScreen(session.snapshot()), a pure function of the player's state (play_view.h).
// When standard output is not a terminal it prints one plain line per row instead.
//
// --watch polls the source's modification time and size four times a second rather than using
// inotify: editors save by writing a new file and renaming it over the old one, which an inotify
// watch on the file loses, and polling also sees saves made on another machine to a network mount.
#include <curses.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include "audio/audio_driver.h"
#include "audio/recording_audio.h"
#include "tools/vumo/play_session.h"
#include "tools/vumo/tool_args.h"
#include "vumo/song_runner.h"

namespace {

constexpr const char* kTool = "vumo-play";
constexpr const char* kUsage = "vumo-play [--watch] [--no-sound] [--seconds S] SONG";
constexpr const char* kHelp =
    "Plays SONG (a .dat file or a song source) through the default sound device with the real\n"
    "player and shows the position, the order list, the rows and the four voices as it plays.\n"
    "Keys: space pause/resume, left/right previous/next position, 1-4 mute/unmute a voice,\n"
    "r restart from position 0, q (or Ctrl-C) quit. When standard output is not a terminal it\n"
    "prints one line per row instead.\n"
    "  --watch      recompile SONG (a source) when it is saved and go on at the same position and\n"
    "               row; a compile error is shown and the old song keeps playing\n"
    "  --no-sound   open no sound device (the rows are timed by the clock)\n"
    "  --seconds S  stop after S seconds\n"
    "  --help       this text\n"
    "  --version    the tools' version\n"
    "Exit status: 0 done, 1 error, 2 bad usage.\n";
constexpr double kMostSeconds = 86400;
constexpr int kMaxUpdatesPerPass = 4;
constexpr auto kTickLength = std::chrono::microseconds(1000000 / vumo::kTicksPerSecond);
constexpr auto kWatchInterval = std::chrono::milliseconds(250);

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
  stopRequested = 1;
}

struct FileStamp {
  long long seconds = 0, nanoseconds = 0, size = -1;
  bool operator!=(const FileStamp& other) const {
    return seconds != other.seconds || nanoseconds != other.nanoseconds || size != other.size;
  }
};

FileStamp stampOf(const std::string& path) {
  struct stat info {};
  FileStamp stamp;
  if (stat(path.c_str(), &info) == 0) {
    stamp.seconds = info.st_mtim.tv_sec;
    stamp.nanoseconds = info.st_mtim.tv_nsec;
    stamp.size = info.st_size;
  }
  return stamp;
}

struct Options {
  std::string song;
  bool watch = false;
  bool sound = true;
  double seconds = 0;  // 0: until quit
};

// The driver under the muting one: the default device, or the recording driver (which makes no
// sound) when there is none. The message says which.
vumo::MutingAudio* openAudio(bool sound, std::string& message) {
  gxtkAudio* inner = nullptr;
  if (sound) {
    // The device stays open until the process ends (as in the intro), which OpenAL Soft would report
    // on standard error after the terminal is given back; its log is quiet unless asked for.
    setenv("ALSOFT_LOGLEVEL", "0", 0);
    // The driver prints its own line when the device fails; the terminal is not taken over yet.
    auto* device = new gxtkAudio();
    if (device->context() != nullptr) {
      inner = device;
    } else {
      message = "no sound device: playing silently, rows timed by the clock";
    }
  } else {
    message = "no sound (--no-sound): rows timed by the clock";
  }
  if (inner == nullptr) inner = new RecordingAudio(RecordingAudio::SampleFiles::Decode);
  return new vumo::MutingAudio(inner);
}

class Clock {
 public:
  Clock() : start_(std::chrono::steady_clock::now()), next_(start_) {}
  // Updates due now, at most kMaxUpdatesPerPass; a longer delay is dropped rather than caught up.
  int due() {
    const auto now = std::chrono::steady_clock::now();
    int count = 0;
    while (next_ <= now && count < kMaxUpdatesPerPass) {
      next_ += kTickLength;
      ++count;
    }
    if (next_ <= now) next_ = now + kTickLength;
    return count;
  }
  std::chrono::milliseconds untilNext() const {
    auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(next_ - std::chrono::steady_clock::now());
    return std::max(std::chrono::milliseconds(0), wait);
  }
  double elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_, next_;
};

class Watcher {
 public:
  explicit Watcher(std::string path) : path_(std::move(path)), stamp_(stampOf(path_)) {}
  // True when the file changed since the last call that returned true.
  bool changed() {
    const auto now = std::chrono::steady_clock::now();
    if (now < nextLook_) return false;
    nextLook_ = now + kWatchInterval;
    FileStamp stamp = stampOf(path_);
    if (!(stamp != stamp_)) return false;
    stamp_ = stamp;
    return true;
  }

 private:
  std::string path_;
  FileStamp stamp_;
  std::chrono::steady_clock::time_point nextLook_{};
};

bool finished(const Options& options, const Clock& clock) {
  return stopRequested != 0 || (options.seconds > 0 && clock.elapsed() >= options.seconds);
}

void runPlain(vumo::PlaySession& session, const Options& options) {
  Clock clock;
  Watcher watcher(options.song);
  std::string lastMessage;
  while (!finished(options, clock)) {
    for (int n = clock.due(); n > 0; --n) {
      session.tick();
      if (session.takeRowPlayed()) std::printf("%s\n", vumo::rowLine(session.snapshot()).c_str());
    }
    if (options.watch && watcher.changed()) session.reload();
    const std::string message = session.snapshot().message;
    if (message != lastMessage && !message.empty()) std::printf("%s\n", message.c_str());
    lastMessage = message;
    // A reader that went away (vumo-play ... | head) ends the run like a quit.
    if (std::fflush(stdout) != 0) return;
    std::this_thread::sleep_for(clock.untilNext());
  }
}

void draw(const vumo::PlaySession& session) {
  int height = 0, width = 0;
  getmaxyx(stdscr, height, width);
  const std::vector<std::string> lines = vumo::renderScreen(session.snapshot(), width, height);
  erase();
  for (int y = 0; y < static_cast<int>(lines.size()); ++y) {
    // The last column of the last line would scroll some terminals.
    std::string line = lines[y];
    if (y == height - 1 && static_cast<int>(line.size()) >= width) line.resize(std::max(0, width - 1));
    mvaddstr(y, 0, line.c_str());
  }
  refresh();
}

// False to quit.
bool handleKey(vumo::PlaySession& session, int key) {
  switch (key) {
    case 'q':
    case 'Q':
      return false;
    case ' ':
      session.togglePause();
      break;
    case KEY_LEFT:
      session.jump(-1);
      break;
    case KEY_RIGHT:
      session.jump(+1);
      break;
    case '1':
    case '2':
    case '3':
    case '4':
      session.toggleMute(key - '1');
      break;
    case 'r':
    case 'R':
      session.restart();
      break;
    default:
      break;
  }
  return true;
}

void runTerminal(vumo::PlaySession& session, const Options& options) {
  initscr();
  cbreak();  // Ctrl-C still raises SIGINT, which ends the loop and restores the terminal
  noecho();
  keypad(stdscr, TRUE);
  curs_set(0);
  Clock clock;
  Watcher watcher(options.song);
  bool running = true;
  while (running && !finished(options, clock)) {
    for (int n = clock.due(); n > 0; --n) session.tick();
    if (options.watch && watcher.changed()) session.reload();
    draw(session);
    timeout(static_cast<int>(clock.untilNext().count()));
    for (int key = getch(); key != ERR && running; key = getch()) {
      running = handleKey(session, key);
      timeout(0);
    }
  }
  endwin();
}

int run(int argc, char** argv) {
  if (int status = vumo::helpOrVersion(kTool, kUsage, kHelp, argc, argv); status >= 0) return status;
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--watch") {
      options.watch = true;
    } else if (arg == "--no-sound") {
      options.sound = false;
    } else if (arg == "--seconds") {
      if (i + 1 >= argc || !vumo::parseSeconds(argv[i + 1], kMostSeconds, options.seconds)) {
        return vumo::usageError(kTool, "--seconds needs a number above 0 and at most 86400", kUsage);
      }
      ++i;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return vumo::usageError(kTool, "unknown option " + arg, kUsage);
    } else if (options.song.empty()) {
      options.song = arg;
    } else {
      return vumo::usageError(kTool, "more than one song given", kUsage);
    }
  }
  if (options.song.empty()) return vumo::usageError(kTool, "no song given", kUsage);
  if (!vumo::readableFile(options.song))
    return vumo::failWith(kTool, "cannot read song file " + options.song);

  vumo::ensureHostGame();
  std::string deviceMessage;
  vumo::MutingAudio* audio = openAudio(options.sound, deviceMessage);
  vumo::PlaySession session(audio, options.song);
  std::string error;
  if (!session.load(error)) return vumo::failWith(kTool, error);
  session.setMessage(deviceMessage);
  session.setWatching(options.watch);

  struct sigaction action {};
  action.sa_handler = requestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  if (isatty(STDOUT_FILENO) && isatty(STDIN_FILENO)) {
    runTerminal(session, options);
  } else {
    runPlain(session, options);
  }
  session.player()->stopVoices();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return vumo::runTool(kTool, run, argc, argv);
}
