// vumo-play [--watch] SONG: plays a song (.dat or source) with the real player and samples through
// the default OpenAL device at 51 ticks a second and shows it live in the terminal.
//
// The terminal is driven through ncurses: it reads the terminal's abilities from terminfo (so it
// works in any terminal and over ssh whatever TERM says), decodes the arrow keys' escape sequences,
// follows resizes and puts the terminal back as it found it on endwin(). What is shown is
// renderScreen(session.snapshot()), a pure function of the player's state (play_view.h).
// When standard output is not a terminal it prints one plain line per row instead.
//
// The updates are timed by the framework's own frame loop (runFramePass over a terminal
// platform): a pass draws, sleeps until the next tick is due, reads the keys and the watched file,
// and runs the due ticks, catching up at most as the intro does.
//
// --watch polls the source's modification time and size four times a second rather than using
// inotify: editors save by writing a new file and renaming it over the old one, which an inotify
// watch on the file loses, and polling also sees saves made on another machine to a network mount.
#include <curses.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_driver.h"
#include "audio/recording_audio.h"
#include "host/delegate.h"
#include "host/frame_loop.h"
#include "host/game.h"
#include "tools/vumo/play_session.h"
#include "tools/vumo/tool_args.h"
#include "vumo/song_file.h"
#include "vumo/song_runner.h"

namespace {

constexpr const char* kTool = "vumo-play";
constexpr const char* kUsage =
    "vumo-play [--watch] [--no-sound] [--seconds S] [--force] [--verbose] [--] SONG";
constexpr const char* kHelp =
    "Plays SONG (a .dat file or a song source) through the default sound device with the real\n"
    "player and shows the position, the order list, the rows and the four voices as it plays.\n"
    "Keys: space pause/resume, left/right previous/next position, 1-4 mute/unmute a voice,\n"
    "r restart from position 0, q (or Ctrl-C) quit. When standard output is not a terminal it\n"
    "prints one line per row instead (messages and warnings go to standard error).\n"
    "  --watch      recompile SONG (a source) when it is saved and go on at the same position and\n"
    "               row; a compile error is shown and the old song keeps playing\n"
    "  --no-sound   open no sound device (the rows are timed by the clock)\n"
    "  --seconds S  stop after S seconds\n"
    "  --force      take a file without the song header as a compiled song all the same\n"
    "  --verbose    let the sound library's own log through to standard error\n"
    "  --           the arguments after it are files, even when they start with -\n"
    "  --help       this text\n"
    "  --version    the tools' version\n"
    "Exit status: 0 done, 1 error, 2 bad usage.\n";
constexpr double kMostSeconds = 86400;
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
  bool force = false;
  bool verbose = false;
  double seconds = 0;  // 0: until quit
};

// Opens the default device with the driver's own lines (which it prints on standard output) sent
// to standard error, and the sound library's log (ALSA's lines on a machine without a card)
// discarded unless `verbose`. Null when no device opened.
gxtkAudio* openDevice(bool verbose) {
  std::fflush(stdout);
  std::fflush(stderr);
  const int savedOut = dup(STDOUT_FILENO), savedErr = dup(STDERR_FILENO);
  FILE* captured = std::tmpfile();
  const int quiet = open("/dev/null", O_WRONLY);
  if (captured != nullptr) dup2(fileno(captured), STDOUT_FILENO);
  if (!verbose && quiet >= 0) dup2(quiet, STDERR_FILENO);
  auto* device = new gxtkAudio();
  std::fflush(stdout);
  std::fflush(stderr);
  dup2(savedOut, STDOUT_FILENO);
  dup2(savedErr, STDERR_FILENO);
  close(savedOut);
  close(savedErr);
  if (quiet >= 0) close(quiet);
  if (captured != nullptr) {
    std::rewind(captured);
    char line[512];
    while (std::fgets(line, sizeof line, captured) != nullptr) std::fputs(line, stderr);
    std::fclose(captured);
  }
  return device->context() != nullptr ? device : nullptr;
}

// The driver under the muting one: the default device, or the recording driver (which makes no
// sound) when there is none. The message says which.
vumo::MutingAudio* openAudio(const Options& options, std::string& message) {
  gxtkAudio* inner = nullptr;
  if (options.sound) {
    // The device stays open until the process ends (as in the intro), which OpenAL Soft would report
    // on standard error after the terminal is given back; its log is quiet unless asked for.
    if (!options.verbose) setenv("ALSOFT_LOGLEVEL", "0", 0);
    inner = openDevice(options.verbose);
    if (inner == nullptr) message = "no sound device: playing silently, rows timed by the clock";
  } else {
    message = "no sound (--no-sound): rows timed by the clock";
  }
  if (inner == nullptr) inner = new RecordingAudio(RecordingAudio::SampleFiles::Decode);
  return new vumo::MutingAudio(inner);
}

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

// curses mode for as long as it lives, and given back on every way out: a return, an exception
// (a failed reload included) and exit() (a runtime error ends the process through it).
class CursesScreen {
 public:
  CursesScreen() {
    initscr();
    active_ = true;
    std::atexit(restore);
    cbreak();  // Ctrl-C still raises SIGINT, which ends the loop and restores the terminal
    noecho();
    keypad(stdscr, TRUE);
    curs_set(0);
    timeout(0);
  }
  ~CursesScreen() { restore(); }
  CursesScreen(const CursesScreen&) = delete;
  CursesScreen& operator=(const CursesScreen&) = delete;

 private:
  static void restore() {
    if (!active_) return;
    active_ = false;
    endwin();
  }
  static inline bool active_ = false;
};

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

// The tool as the frame loop's game: an update is one tick, a render draws the screen (or, without
// a terminal, prints the rows played and the new messages).
class PlayDelegate : public VxGameDelegate {
 public:
  PlayDelegate(vumo::PlaySession& session, bool terminal) : session_(session), terminal_(terminal) {}

  void handleUpdate() override {
    session_.tick();
    if (!terminal_ && session_.takeRowPlayed()) {
      std::printf("%s\n", vumo::rowLine(session_.snapshot()).c_str());
      // A reader that went away (vumo-play ... | head) ends the run like a quit.
      if (std::fflush(stdout) != 0) quit = true;
    }
  }
  void handleRender() override {
    if (terminal_) {
      draw(session_);
      return;
    }
    // The watched source's news between the rows: its compile error, its warnings, the reload.
    const vumo::PlayState state = session_.snapshot();
    std::vector<std::string> messages = state.warnings;
    if (!session_.reloadError().empty()) messages.insert(messages.begin(), session_.reloadError());
    if (!state.reloaded.empty()) messages.push_back(state.reloaded);
    for (const std::string& message : messages) {
      if (printed_.count(message) == 0) std::printf("%s\n", message.c_str());
    }
    printed_ = std::set<std::string>(messages.begin(), messages.end());
  }

  bool quit = false;

 private:
  vumo::PlaySession& session_;
  bool terminal_;
  std::set<std::string> printed_;
};

// The frame loop's platform in a terminal: the steady clock, keys for events, the watched file.
class TerminalPlatform : public FramePlatform {
 public:
  TerminalPlatform(vumo::PlaySession& session, const Options& options, PlayDelegate& delegate, bool terminal)
      : session_(session),
        options_(options),
        delegate_(delegate),
        terminal_(terminal),
        watcher_(options.song) {}

  bool windowShouldClose() override {
    return delegate_.quit || stopRequested != 0 || (options_.seconds > 0 && elapsed() >= options_.seconds);
  }
  void swapBuffers() override {}
  // One second ahead of the start, since the loop takes time 0 for "not scheduled".
  double currentTime() override { return 1.0 + elapsed(); }
  void sleepMillis(int milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
  void waitEvents() override { pollEvents(); }
  void pollEvents() override {
    if (terminal_) {
      for (int key = getch(); key != ERR && !delegate_.quit; key = getch()) {
        if (!handleKey(session_, key)) delegate_.quit = true;
      }
    }
    if (options_.watch && watcher_.changed()) session_.reload();
  }
  bool windowHasFocus() override { return true; }

 private:
  double elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

  vumo::PlaySession& session_;
  const Options& options_;
  PlayDelegate& delegate_;
  bool terminal_;
  Watcher watcher_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

GcRoot<PlayDelegate*> playDelegate;

void runPlayer(vumo::PlaySession& session, const Options& options, bool terminal) {
  auto* game = dynamic_cast<VxGlfwGame*>(currentGame);
  if (game == nullptr) throw std::runtime_error("no host game to run the player's updates");
  playDelegate = new PlayDelegate(session, terminal);
  game->attachDelegate(playDelegate.get());
  game->setUpdateFrequency(vumo::kTicksPerSecond);
  game->hostStart();
  TerminalPlatform platform(session, options, *playDelegate.get(), terminal);
  std::unique_ptr<CursesScreen> screen;
  if (terminal) screen = std::make_unique<CursesScreen>();
  while (runFramePass(*game, platform)) {
  }
}

int run(int argc, char** argv) {
  if (int status = vumo::helpOrVersion(kTool, kUsage, kHelp, argc, argv); status >= 0) return status;
  Options options;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded) {
      // A file name, whatever it starts with.
    } else if (arg == "--") {
      optionsEnded = true;
      continue;
    } else if (arg == "--watch") {
      options.watch = true;
      continue;
    } else if (arg == "--no-sound") {
      options.sound = false;
      continue;
    } else if (arg == "--force") {
      options.force = true;
      continue;
    } else if (arg == "--verbose") {
      options.verbose = true;
      continue;
    } else if (arg == "--seconds") {
      if (i + 1 >= argc || !vumo::parseSeconds(argv[i + 1], kMostSeconds, options.seconds)) {
        return vumo::usageError(kTool, "--seconds needs a number above 0 and at most 86400", kUsage);
      }
      ++i;
      continue;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return vumo::usageError(kTool, "unknown option " + arg, kUsage);
    }
    if (options.song.empty()) {
      options.song = arg;
    } else {
      return vumo::usageError(kTool, "more than one song given", kUsage);
    }
  }
  if (options.song.empty()) return vumo::usageError(kTool, "no song given", kUsage);

  // A song that cannot play is reported before the sound device is opened.
  vumo::SongFileRules rules;
  rules.force = options.force;
  std::string error;
  {
    vumo::PreparedSong check;
    if (!check.prepare(options.song, rules, error)) return vumo::failWith(kTool, error);
  }

  vumo::ensureHostGame();
  std::string deviceMessage;
  vumo::MutingAudio* audio = openAudio(options, deviceMessage);
  vumo::PlaySession session(audio, options.song, options.force);
  if (!session.load(error)) return vumo::failWith(kTool, error);
  session.setMessage(deviceMessage);
  session.setWatching(options.watch);
  const bool terminal = isatty(STDOUT_FILENO) && isatty(STDIN_FILENO);
  // Without a terminal, standard output carries the rows; what the device did goes to standard error.
  if (!terminal && !deviceMessage.empty()) std::fprintf(stderr, "%s\n", deviceMessage.c_str());

  struct sigaction action {};
  action.sa_handler = requestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  runPlayer(session, options, terminal);
  session.player()->stopVoices();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return vumo::runTool(kTool, run, argc, argv);
}
