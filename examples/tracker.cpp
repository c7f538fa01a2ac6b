// tracker: plays a vumo song with the song player library and shows the level of each of its four
// voices as a bar. Keys 1-4 pick a song, ESCAPE quits.
#include "corvane.h"
#include "vumo/player.h"

namespace {

constexpr int kSongs = 4;
constexpr const char* kSongPaths[kSongs] = {"songs/brackenfold.dat", "songs/nightdrive.dat",
                                            "songs/coppersky.dat", "songs/pixelrain.dat"};
constexpr float kBarWidth = 100;
constexpr float kBarMaxHeight = 300;
constexpr float kBarBottom = 420;
// A volume digit of 15 gives the loudest level the player sets.
constexpr float kLoudestLevel = 15 * 0.125f;

}  // namespace

class TrackerApp : public c_App {
 public:
  TrackerApp() { windowTitle = String("Tracker - a Corvane example"); }

  GcField<c_vumoPlay*> player;
  int song = 0;

  void mark() override { player.mark(); }

  int appStart() override {
    // The player is written for 51 ticks a second.
    setUpdateRate(51);
    play(0);
    return 0;
  }

  // [guide:tracker-update]
  int appUpdate() override {
    if (keyHit(KEY_ESCAPE)) quitApp();
    for (int i = 0; i < kSongs; ++i) {
      if (keyHit(KEY_1 + i)) play(i);
    }
    player->tick();  // one tick of the song per update: volumes and rates of channels 1-8
    return 0;
  }
  // [/guide:tracker-update]

  int appRender() override {
    clear(0, 0, 0);
    for (int v = 0; v < c_vumoPlay::kVoices; ++v) {
      float level = voiceLevel(v) / kLoudestLevel;
      float height = kBarMaxHeight * (level > 1 ? 1 : level);
      float x = 70 + v * (kBarWidth + 20);
      setColor(40, 40, 40);
      drawRect(x, kBarBottom - kBarMaxHeight, kBarWidth, kBarMaxHeight);
      setColor(80 + 40 * v, 255 - 40 * v, 96);
      drawRect(x, kBarBottom - height, kBarWidth, height);
    }
    setColor(255, 255, 255);
    drawText(String("1-4: song   now: ") + String(kSongPaths[song]), 320, 450, 0.5f, 0);
    return 0;
  }

 private:
  void play(int index) {
    // A fresh player per song; its first tick silences the old one's channels.
    song = index;
    player = new c_vumoPlay();
    printLine(String("Playing ") + String(kSongPaths[index]) + String(": ") +
              player->loadSong(String(kSongPaths[index])));
  }

  // What the player sends to the voice's channels this tick: the note's volume less its decay.
  float voiceLevel(int v) {
    float level = player->voiceLevels[v].volume - player->voiceNotes[v].decay;
    return level > 0 ? level : 0;
  }
};

c_App* createApplication() {
  return new TrackerApp();
}

int main(int argc, char** argv) {
  return startHost(argc, argv);
}
