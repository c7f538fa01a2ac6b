// gxtkSample and c_Sound.
#include "audio/sample.h"

#include "audio/audio_driver.h"

gxtkSample::~gxtkSample() {
  // Destruction runs inside an allocation's sweep, possibly while a source still plays the
  // buffer; deleting it now would fail or cut the sound, so it waits in the list.
  if (buffer != 0) discardBuffer(buffer);
}

int gxtkSample::discard() {
  if (buffer != 0) {
    discardBuffer(buffer);
    buffer = 0;
  }
  return 0;
}

void c_Sound::mark() {
  sample.mark();
}

c_Sound* c_Sound::setSample(gxtkSample* newSample) {
  sample = newSample;
  return this;
}
