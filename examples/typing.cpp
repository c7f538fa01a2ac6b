// typing: a one-line editor. Type text, BACKSPACE deletes, ENTER prints the line on standard
// output and starts a new one; the mouse pointer is drawn, and every click leaves a mark.
#include "corvane.h"

namespace {

constexpr int kMaxMarks = 16;

}  // namespace

class TypingApp : public c_App {
 public:
  TypingApp() { windowTitle = String("Typing - a Corvane example"); }

  String line;  // strings are values, not collected: no GcField, nothing to mark
  float markX[kMaxMarks] = {};
  float markY[kMaxMarks] = {};
  int clicks = 0;

  int appStart() override {
    setUpdateRate(30);
    return 0;
  }

  int appUpdate() override {
    // [guide:characters]
    while (int c = getChar()) {
      if (c == CHAR_BACKSPACE) {
        line = line.Slice(0, line.length() - 1);
      } else if (c == CHAR_ENTER) {
        printLine(line);
        line = String();
      } else if (c == CHAR_ESCAPE) {
        quitApp();
      } else if (c >= 32 && c != CHAR_DELETE && c < CHAR_KEY) {  // printable; arrows come as CHAR_KEY + code
        line += String::fromChar(c);
      }
    }
    // [/guide:characters]
    // [guide:mouse]
    if (mouseHit(0)) {
      markX[clicks % kMaxMarks] = mouseX();
      markY[clicks % kMaxMarks] = mouseY();
      clicks += 1;
    }
    // [/guide:mouse]
    return 0;
  }

  // [guide:typing-render]
  int appRender() override {
    clear(16, 16, 16);
    setColor(255, 255, 255);
    drawText(String("Type, BACKSPACE, ENTER; click anywhere."), 16, 16);
    drawText(String("> ") + line + String("_"), 16, 60);
    drawText(String("clicks: ") + clicks, 16, 440);

    setColor(255, 0, 0);
    for (int i = 0; i < clicks && i < kMaxMarks; ++i) drawOval(markX[i] - 10, markY[i] - 10, 20, 20);

    // The pointer last, so that it stays on top.
    setColor(255, 255, 0);
    drawRect(mouseX() - 2, mouseY() - 2, 5, 5);
    return 0;
  }
  // [/guide:typing-render]
};

c_App* createApplication() {
  return new TypingApp();
}

int main(int argc, char** argv) {
  return startHost(argc, argv);
}
