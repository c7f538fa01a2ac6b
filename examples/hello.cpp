// hello: one line in the default font and one in a bitmap font, both centred in the window.
// Press ESCAPE (or close the window) to quit.
#include "corvane.h"

// [guide:app]
class HelloApp : public c_App {
 public:
  // Object fields are GcFields, and mark() lists every one of them in declaration order.
  GcField<c_Font*> bigFont;

  void mark() override { bigFont.mark(); }

  int appStart() override {
    setUpdateRate(30);
    // A bare name is a data path: data/fonti.png beside the program.
    bigFont = fontFromImage(String("fonti.png"));
    return 0;
  }

  int appUpdate() override {
    if (keyHit(KEY_ESCAPE)) quitApp();
    return 0;
  }

  int appRender() override {
    clear(32, 48, 96);
    setFont(nullptr);  // the default font
    drawText(String("Hello from Corvane"), 320, 180, 0.5f, 0.5f);
    setFont(bigFont);
    drawText(String("HELLO, WORLD!"), 320, 280, 0.5f, 0.5f);
    return 0;
  }
};

c_App* createApplication() {
  return new HelloApp();
}

int main(int argc, char** argv) {
  return startHost(argc, argv);
}
// [/guide:app]
