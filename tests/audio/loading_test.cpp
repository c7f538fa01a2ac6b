// Sound loading through the host: loadAudioData's choice of decoder, the external-bytes count,
// and the driver's samples and music made from files (WAV built here, the committed Ogg).
#include <string>

#include "driver_fixture.h"
#include "host/game.h"
#include "wav_builder.h"

namespace {

std::string committedOgg() {
  const char* root = std::getenv("CORVANE_SOURCE_DIR");
  return std::string(root != nullptr ? root : ".") + "/tests/audio/data/stereo_10000.ogg";
}

// The program's driver on the null device; each test's driver then shares its context.
class NullDeviceEnvironment : public testing::Environment {
 public:
  void SetUp() override { new gxtkAudio(); }
};

const testing::Environment* const kEnvironment = testing::AddGlobalTestEnvironment(new NullDeviceEnvironment);

class LoadingTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    // The host game object the program would have; its construction needs no window.
    if (currentGame == nullptr) currentGame = new VxCorvaneGame();
    wav = files.write("tone.WAV", pcmWav(2, 16, 22050, pattern(40000)));
  }

  unsigned char* load(const std::string& path, int expectedBytes) {
    int64_t before = externalBytes.load();
    length = channels = bytesPerSample = rate = -7;
    unsigned char* pcm =
        currentGame->loadAudioData(String(path.c_str()), length, channels, bytesPerSample, rate);
    EXPECT_EQ(externalBytes.load() - before, pcm != nullptr ? expectedBytes : 0) << path;
    return pcm;
  }

  TempDir files;
  std::string wav;
  int length = 0, channels = 0, bytesPerSample = 0, rate = 0;
};

TEST_F(LoadingTest, ExtensionChoosesTheDecoderWhateverItsCase) {
  unsigned char* pcm = load(wav, 40000);
  ASSERT_NE(pcm, nullptr) << "upper-case .WAV is a WAV file";
  EXPECT_EQ(length, 10000);
  EXPECT_EQ(channels, 2);
  EXPECT_EQ(bytesPerSample, 2);
  EXPECT_EQ(rate, 22050);
  std::free(pcm);

  pcm = load(committedOgg(), 40000);
  ASSERT_NE(pcm, nullptr);
  EXPECT_EQ(length, 10000);
  EXPECT_EQ(channels, 2);
  EXPECT_EQ(rate, 44100);
  std::free(pcm);

  Bytes wavBytes = pcmWav(1, 8, 8000, pattern(100));
  EXPECT_EQ(load(files.write("tone.wave", wavBytes), 0), nullptr) << ".wave is not .wav";
  EXPECT_EQ(load(files.write("tone.ogg", wavBytes), 0), nullptr) << "the content is not sniffed";
  EXPECT_EQ(load(files.write("tone", wavBytes), 0), nullptr);
  EXPECT_EQ(load(files.path() + "/missing.wav", 0), nullptr);
}

TEST_F(LoadingTest, LoadedSamplesHoldTheirPcmInOneBuffer) {
  c_Sound* sound = audioLoadSound(String(wav.c_str()));
  ASSERT_NE(sound, nullptr);
  ASSERT_NE(sound->sample, nullptr);
  ALuint buffer = sound->sample->buffer;
  ASSERT_TRUE(alIsBuffer(buffer));
  ALint size = 0, bits = 0, bufferChannels = 0, frequency = 0;
  alGetBufferi(buffer, AL_SIZE, &size);
  alGetBufferi(buffer, AL_BITS, &bits);
  alGetBufferi(buffer, AL_CHANNELS, &bufferChannels);
  alGetBufferi(buffer, AL_FREQUENCY, &frequency);
  EXPECT_EQ(size, 40000);
  EXPECT_EQ(bits, 16);
  EXPECT_EQ(bufferChannels, 2);
  EXPECT_EQ(frequency, 22050);

  gxtkSample* mono8 =
      driver->loadSample(String(files.write("m8.wav", pcmWav(1, 8, 8000, pattern(300))).c_str()));
  ASSERT_NE(mono8, nullptr);
  alGetBufferi(mono8->buffer, AL_BITS, &bits);
  alGetBufferi(mono8->buffer, AL_CHANNELS, &bufferChannels);
  EXPECT_EQ(bits, 8);
  EXPECT_EQ(bufferChannels, 1);

  // Three channels: OpenAL has no such format; the sample loads with a buffer that holds nothing.
  gxtkSample* odd =
      driver->loadSample(String(files.write("3ch.wav", pcmWav(3, 16, 8000, pattern(600))).c_str()));
  ASSERT_NE(odd, nullptr);
  alGetBufferi(odd->buffer, AL_SIZE, &size);
  EXPECT_EQ(size, 0);

  EXPECT_EQ(audioLoadSound(String((files.path() + "/missing.wav").c_str())), nullptr);
  EXPECT_EQ(audioLoadSound("corvane://nowhere/x.wav"), nullptr);
}

TEST_F(LoadingTest, MusicPlaysOnChannel32) {
  EXPECT_EQ(driver->playMusic(String(committedOgg().c_str()), 1), 0);
  EXPECT_EQ(driver->musicState(), 1);
  const ALuint source = driver->channel(gxtkAudio::kMusicChannel).source;
  EXPECT_EQ(sourceInt(source, AL_SOURCE_STATE), AL_PLAYING);
  driver->setMusicVolume(0.25f);
  EXPECT_FLOAT_EQ(sourceFloat(source, AL_GAIN), 0.25f);
  driver->pauseMusic();
  EXPECT_EQ(driver->musicState(), 2);
  driver->resumeMusic();
  EXPECT_EQ(driver->musicState(), 1);

  EXPECT_EQ(driver->playMusic(String((files.path() + "/missing.ogg").c_str()), 1), -1);
  EXPECT_EQ(driver->musicState(), 0) << "the old music was stopped first";
}

}  // namespace
