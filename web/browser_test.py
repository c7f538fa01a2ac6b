#!/usr/bin/python3
"""The intro in a real browser: builds build-web/ (scripts/build-web), serves it on 127.0.0.1 and
drives headless Chromium over the DevTools protocol. Checks what the page shows (the floor's line
colours and the title row, read back from a screenshot as the native end-to-end test reads its
window), that real key presses reach the intro (F2) and do not reach the browser (F5), that the
sound reaches Web Audio once the start overlay is dismissed, that the console stays clean, that
the quit ends the program with the page's message, and that damaged data still shows the intro.
Around the canvas: it fits the window (4:3, crisp at whole multiples), the songs are buttons that a
click or a tap plays, full screen by its button and ALT+ENTER, a phone-sized page fits its width,
and a page that cannot run (no WebGL, no WebAssembly, opened as a file, its data missing) says why
before any click.
Exit status 77 (skipped) when emscripten or chromium is missing."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from webdriver import DEFAULT_VIEWPORT, Browser, Picture, StaticServer  # noqa: E402

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TITLE = "Brackenfold Intro 01 by Vendle/bkf"
SKIPPED = 77
# Where the screenshots of the canvas go, to look at when a check fails.
SHOTS = os.path.join(tempfile.gettempdir(), "corvane-web-test")


class Checks:
    def __init__(self):
        self.failures = []

    def expect(self, ok, what, detail=""):
        print("%s: %s%s" % ("ok  " if ok else "FAIL", what, (" (" + detail + ")") if detail else ""))
        sys.stdout.flush()
        if not ok:
            self.failures.append(what)
        return ok


# --- reading the picture back (the same rules as tests/e2e/e2e_intro_test.cpp) ---

def near(pixel, expected, tolerance):
    return all(abs(pixel[c] - expected[c]) <= tolerance for c in range(3))


def floor_pixel(back, scanlines, g, b, x, y, with_line):
    """What a floor line of colour (0, g, b) leaves at (x, y): the line at alpha 0.2 over the
    background picture, darkened by the scanline overlay."""
    under = back.at(x, y)
    coverage = 1.0 - scanlines.at(x, y)[3] / 255.0
    line = (0, g, b)
    return [int((line[c] * 0.2 + under[c] * 0.8 if with_line else under[c]) * coverage) for c in range(3)]


def fan_line_shows(grab, back, scanlines, k, side, y):
    g, b = k // 16 + 128, 255 - k // 32
    t = (y - 300) / 180.0
    top, bottom = 320 + side * (k // 2), 320 + side * k
    x = int(round(top + t * (bottom - top)))
    for dx in range(-2, 3):
        if not 0 <= x + dx < grab.width:
            continue
        shown = grab.at(x + dx, y)
        if (near(shown, floor_pixel(back, scanlines, g, b, x + dx, y, True), 3)
                and not near(shown, floor_pixel(back, scanlines, g, b, x + dx, y, False), 8)):
            return True
    return False


class FontReader:
    """Reads cells of the 18 x 26 scroller font: each cell becomes the glyph whose bright cores and
    clear surroundings it matches best (the top three rows are left out: the mirror reaches them)."""

    def __init__(self, font):
        self.glyphs = {}
        for c in range(32, 32 + 91):
            pixels = []
            for y in range(3, 26):
                for x in range(18):
                    p = font.at(18 * (c - 32) + x, y)
                    brightness = p[0] + p[1] + p[2]
                    ink = p[3] >= 200 and brightness > 500
                    empty = p[3] < 32 or brightness < 150
                    if ink or empty:
                        pixels.append((x, y, ink))
            self.glyphs[chr(c)] = pixels

    def read(self, grab, top, first_cell, cells):
        text = ""
        for cell in range(first_cell, first_cell + cells):
            def mismatches(pixels):
                count = 0
                for x, y, ink in pixels:
                    p = grab.at(18 * cell + x, top + y)
                    count += (p[0] + p[1] + p[2] > 160) != ink
                return count
            text += min(self.glyphs, key=lambda c: mismatches(self.glyphs[c]))
        return text


def title_line(browser, reader):
    return reader.read(browser.screenshot_canvas(), 420, 5, 22)


# --- the page ---

FRAMES = "(window.Module && Module.frameStats ? Module.frameStats.frames : 0)"

SOUND_LEVEL = """
new Promise(function (resolve) {
  var context = AL.currentCtx;
  var analyser = context.audioCtx.createAnalyser();
  analyser.fftSize = 2048;
  context.gain.connect(analyser);
  var samples = new Float32Array(analyser.fftSize), peak = 0, reads = 0;
  var timer = setInterval(function () {
    analyser.getFloatTimeDomainData(samples);
    for (var i = 0; i < samples.length; ++i) peak = Math.max(peak, Math.abs(samples[i]));
    if (++reads == 20) {
      clearInterval(timer);
      context.gain.disconnect(analyser);
      resolve({state: context.audioCtx.state, peak: peak});
    }
  }, 50);
})
"""

# The window's close request as the GLFW port would deliver it (a page has no close button).
CLOSE_WINDOW = """
(function () {
  try { getWasmTableEntry(GLFW.active.windowCloseFunc)(GLFW.active.id); } catch (e) { return e.name; }
  return 'returned';
})()
"""


def dismiss_overlay(browser, checks, what):
    x, y, w, h = browser.canvas_rect()
    browser.click(x + w / 2, y + h / 2)
    browser.pump(0.3)
    checks.expect(browser.evaluate("document.getElementById('overlay').hidden"), what + "a click dismisses the overlay")


AL_PLAYING, AL_PAUSED = 0x1012, 0x1013
SOURCE_STATES = "AL.currentCtx.sources.filter(Boolean).map(function (s) { return s.state; })"
FOCUS_LOST = "document.hasFocus = function () { return false; }; window.dispatchEvent(new Event('blur')); "
FOCUS_BACK = "delete document.hasFocus; window.dispatchEvent(new Event('focus')); "


def open_intro(browser, url, checks, what):
    start = time.time()
    browser.navigate(url)
    shown = browser.wait_for(FRAMES + " >= 20", 60)
    checks.expect(bool(shown), what + ": the intro renders frames", "%.1f s" % (time.time() - start))
    return bool(shown)


def check_intro(browser, server, checks, pictures, reader):
    if not open_intro(browser, server.url + "index.html", checks, "page"):
        return
    checks.expect(browser.evaluate("document.title") == TITLE, "the page's title is the window title")
    checks.expect(browser.evaluate("!document.getElementById('overlay').hidden"), "the start overlay is shown")
    checks.expect(browser.evaluate("document.getElementById('help').textContent.indexOf('F1-F12') >= 0"),
                  "the key help is under the canvas")

    # Sound: a real click dismisses the overlay; then the mixed output is measured in the page.
    dismiss_overlay(browser, checks, "")
    level = browser.evaluate(SOUND_LEVEL, await_promise=True)
    checks.expect(level["state"] == "running" and level["peak"] > 0.01, "the sound reaches Web Audio",
                  "context %s, peak %.4f" % (level["state"], level["peak"]))

    back, scanlines = pictures
    grabs = []
    for i in range(8):
        grabs.append(browser.screenshot_canvas(os.path.join(SHOTS, "canvas-%d.png" % i)))
        browser.pump(0.12)
    checks.expect((grabs[0].width, grabs[0].height) == (640, 480), "the canvas is 640 x 480",
                  "%d x %d" % (grabs[0].width, grabs[0].height))
    missing = []
    for k in (1, 97, 193, 289):
        for side in (-1, 1):
            for y in (450, 460, 470):
                if not any(fan_line_shows(g, back, scanlines, k, side, y) for g in grabs):
                    missing.append("k=%d side=%d row=%d" % (k, side, y))
    if not checks.expect(not missing, "every floor line shows its colour", ", ".join(missing)):
        print("  WebGL context lost: %s; see %s" % (browser.evaluate("GLctx.isContextLost()"), SHOTS))
    titles = [reader.read(g, 420, 5, 22) for g in grabs[:3]]
    checks.expect("playing... Brackenfold" in titles, "the title row reads back", repr(titles))

    # F5 is the intro's (it selects a song), not the browser's reload.
    browser.evaluate("window.pageBeforeF5 = true")
    navigations = browser.navigation_count()
    frames = browser.evaluate(FRAMES)
    browser.press_key("F5", "F5", 116)
    browser.pump(1.0)
    checks.expect(browser.evaluate("window.pageBeforeF5 === true") and browser.navigation_count() == navigations,
                  "F5 does not reload the page")
    checks.expect(browser.evaluate(FRAMES) > frames, "the intro goes on after F5")

    browser.press_key("F2", "F2", 113)
    title, deadline = "", time.time() + 10
    while title != "playing... Night Drive" and time.time() < deadline:
        browser.pump(0.1)
        title = title_line(browser, reader)
    checks.expect(title == "playing... Night Drive", "a real F2 press changes the title line", repr(title))

    # Focus: the page says it lost the focus (headless Chromium keeps it, so the test stands in for
    # the browser); the intro suspends with its sound paused, and comes back when the focus does.
    states = browser.evaluate(FOCUS_LOST + SOURCE_STATES)
    suspended_at = browser.evaluate(FRAMES)
    browser.pump(1.0)
    resumed_at = browser.evaluate(FRAMES)
    checks.expect(AL_PLAYING not in states and AL_PAUSED in states and resumed_at - suspended_at <= 3,
                  "losing the focus suspends the intro and pauses its sound",
                  "source states %s, %d frames in 1 s" % (states, resumed_at - suspended_at))
    states = browser.evaluate(FOCUS_BACK + SOURCE_STATES)
    browser.pump(0.5)
    checks.expect(AL_PLAYING in states and AL_PAUSED not in states and browser.evaluate(FRAMES) > resumed_at + 3,
                  "regaining the focus resumes the intro and its sound", "source states %s" % states)

    # The quit ends the program: the page says so and the frames stop.
    browser.evaluate(CLOSE_WINDOW)
    browser.pump(0.3)
    ended = browser.evaluate("document.getElementById('ended').hidden ? '' : document.getElementById('ended').innerText")
    checks.expect("The intro has ended" in (ended or ""), "the quit ends the intro with the page's message",
                  repr(ended))
    frames = browser.evaluate(FRAMES)
    browser.pump(0.5)
    checks.expect(browser.evaluate(FRAMES) == frames, "no frame is rendered after the quit")
    checks.expect(not browser.console_errors, "the console has no error", "; ".join(map(str, browser.console_errors)))


# A WebAssembly trap inside a frame, as an out-of-bounds access in the program would raise it.
TRAP_IN_NEXT_FRAME = """
(function () {
  var runIter = Browser.mainLoop.runIter;
  Browser.mainLoop.runIter = function () {
    Browser.mainLoop.runIter = runIter;
    runIter.call(this, function () { throw new WebAssembly.RuntimeError('memory access out of bounds'); });
  };
})()
"""


def check_trap(browser, server, checks):
    if not open_intro(browser, server.url + "index.html", checks, "trap"):
        return
    browser.console_errors.clear()
    browser.evaluate(TRAP_IN_NEXT_FRAME)
    browser.pump(0.5)
    ended = browser.evaluate("document.getElementById('ended').hidden ? '' : document.getElementById('ended').innerText")
    checks.expect("Corvane Runtime Error : Memory access violation" in (ended or "")
                  and "The intro has ended" in ended, "a trap ends the intro with its banner in the page", repr(ended))
    frames = browser.evaluate(FRAMES)
    browser.pump(0.3)
    checks.expect(browser.evaluate(FRAMES) == frames, "no frame is rendered after the trap")


def damage_data(folder):
    """Damages the packaged data in place: the background picture's bytes become garbage, a song
    file is cut to nothing but zeros, and one instrument sample is gone (renamed in the package)."""
    script_path = os.path.join(folder, "brackenfold-intro.js")
    with open(script_path) as f:
        script = f.read()
    ranges = {}
    for name in ("back.png", "songs/brackenfold.dat"):
        marker = '"filename":"/app/data/%s","start":' % name
        at = script.index(marker) + len(marker)
        start = int(script[at:script.index(",", at)])
        end_marker = '"end":'
        at = script.index(end_marker, at) + len(end_marker)
        end = int(script[at:script.index("}", at)])
        ranges[name] = (start, end)
    with open(os.path.join(folder, "brackenfold-intro.data"), "r+b") as f:
        start, end = ranges["back.png"]
        f.seek(start + 8)
        f.write(bytes((i * 37 + 11) & 255 for i in range(end - start - 8)))
        start, end = ranges["songs/brackenfold.dat"]
        f.seek(start)
        f.write(bytes(end - start))
    script = script.replace('"/app/data/wav/saw_64.wav"', '"/app/data/wav/saw_gone.wav"')
    with open(script_path, "w") as f:
        f.write(script)


def check_damaged_data(browser, build, checks, reader):
    folder = tempfile.mkdtemp(prefix="corvane-web-damaged-")
    try:
        for name in ("index.html", "brackenfold-intro.js", "brackenfold-intro.wasm", "brackenfold-intro.data"):
            shutil.copy(os.path.join(build, name), folder)
        damage_data(folder)
        server = StaticServer(folder)
        try:
            browser.console_errors.clear()
            if not open_intro(browser, server.url + "index.html", checks, "damaged data"):
                return
            dismiss_overlay(browser, checks, "damaged data: ")
            browser.pump(0.5)
            checks.expect(browser.evaluate("document.getElementById('ended').hidden"),
                          "damaged data: the intro keeps running")
            titles = [title_line(browser, reader) for _ in range(3)]
            checks.expect("playing... Brackenfold" in titles, "damaged data: the title row reads back", repr(titles))
            checks.expect(not browser.console_errors, "damaged data: the console has no error",
                          "; ".join(map(str, browser.console_errors)))
        finally:
            server.close()
    finally:
        shutil.rmtree(folder, ignore_errors=True)


# --- the page around the canvas: its size, the controls, a phone ---

SONGS = ["Brackenfold", "Night Drive", "Copper Sky", "Pixel Rain", "Glass Wing", "Turbo Tape", "Low Tide",
         "Starfold", "Iron Bloom", "Last Call", "Moonbase", "End Scroll"]

LAYOUT = """
(function () {
  function box(e) { var r = e.getBoundingClientRect(); return [r.left, r.top, r.width, r.height]; }
  var buttons = Array.prototype.map.call(document.querySelectorAll('#keys button'), function (b) {
    return {text: b.textContent, box: box(b), pressed: b.getAttribute('aria-pressed') === 'true'};
  });
  return {view: [document.documentElement.clientWidth, window.innerHeight],
          scroll: [document.documentElement.scrollWidth, document.documentElement.scrollHeight],
          canvas: box(document.getElementById('canvas')), buttons: buttons,
          crisp: document.getElementById('screen').classList.contains('crisp'),
          fullscreen: document.fullscreenElement ? document.fullscreenElement.id : ''};
})()
"""


def song_title_shown(browser, reader, title, seconds=10):
    """Waits until the title line reads the song's title; what it read last."""
    wanted = ("playing... " + title).ljust(22)[:22]
    shown, deadline = "", time.time() + seconds
    while shown != wanted and time.time() < deadline:
        browser.pump(0.1)
        shown = title_line(browser, reader)
    return shown == wanted, shown


def centre(rect):
    return rect[0] + rect[2] / 2, rect[1] + rect[3] / 2


def check_fit(checks, layout, what):
    """The canvas keeps the screen's 4:3, is centred, and is as large as the window allows: as wide
    as the window (less the margins) or as high as leaves room for the controls under it."""
    vw, vh = layout["view"]
    x, y, w, h = layout["canvas"]
    checks.expect(abs(w * 3 - h * 4) <= 4 and abs(x + w / 2 - vw / 2) <= 1 and x >= 0 and x + w <= vw,
                  what + ": the canvas is 4:3, centred and inside the window", "canvas %s in %s" % (layout["canvas"], layout["view"]))
    bottom = max([y + h] + [b["box"][1] + b["box"][3] for b in layout["buttons"]])
    checks.expect(w >= vw - 16 - 4 or bottom >= vh - 16 - 8, what + ": the canvas is as large as the window allows",
                  "canvas %dx%d, controls end at %d of %d" % (w, h, bottom, vh))


def check_page_layout(browser, server, checks, reader):
    # A desktop window in which the canvas comes out at exactly twice the program's screen: crisp,
    # every pixel of the program a 2 x 2 square of the display's.
    browser.set_viewport(1296, 1200)
    if not open_intro(browser, server.url + "index.html", checks, "desktop"):
        return
    layout = browser.evaluate(LAYOUT)
    check_fit(checks, layout, "desktop")
    checks.expect(layout["scroll"][1] <= layout["view"][1], "desktop: the page needs no scrolling",
                  "page %s in %s" % (layout["scroll"], layout["view"]))
    checks.expect([b["text"] for b in layout["buttons"]] == SONGS, "the twelve songs are buttons under the canvas",
                  repr([b["text"] for b in layout["buttons"]]))
    checks.expect([b["pressed"] for b in layout["buttons"]] == [True] + [False] * 11,
                  "the song playing (F1's at the start) is marked")
    canvas_bottom = layout["canvas"][1] + layout["canvas"][3]
    checks.expect(all(b["box"][1] >= canvas_bottom for b in layout["buttons"]), "the buttons are under the canvas")
    x, y, w, h = layout["canvas"]

    dismiss_overlay(browser, checks, "desktop: ")
    doubled = browser.screenshot_canvas(os.path.join(SHOTS, "desktop-2x.png"), whole=True)
    uneven = sum(1 for by in range(0, doubled.height - 1, 2) for bx in range(0, doubled.width - 1, 2)
                 if not doubled.at(bx, by) == doubled.at(bx + 1, by) == doubled.at(bx, by + 1) == doubled.at(bx + 1, by + 1))
    checks.expect(w == 1280 and layout["crisp"] and uneven == 0,
                  "at twice its size the canvas is crisp: every pixel a 2 x 2 square",
                  "%dx%d, %d uneven squares" % (w, h, uneven))
    # The pointer reaches the program in its own 640 x 480 units, however large the canvas.
    px, py = browser.canvas_point(100, 50)
    browser.call("Input.dispatchMouseEvent", type="mouseMoved", x=px, y=py)
    browser.pump(0.2)
    pointer = browser.evaluate("[Browser.mouseX, Browser.mouseY]")
    checks.expect(abs(pointer[0] - 100) <= 1 and abs(pointer[1] - 50) <= 1,
                  "the pointer over the doubled canvas is in the program's units", "%s" % pointer)
    button = layout["buttons"][2]
    browser.click(*centre(button["box"]))
    shown, title = song_title_shown(browser, reader, SONGS[2])
    checks.expect(shown, "a click on a song's button plays it (the title line changes)", repr(title))
    checks.expect([b["pressed"] for b in browser.evaluate(LAYOUT)["buttons"]] == [i == 2 for i in range(12)],
                  "the clicked song is the one marked")
    browser.press_key("F5", "F5", 116)
    shown, title = song_title_shown(browser, reader, SONGS[4])
    checks.expect(shown and browser.evaluate(LAYOUT)["buttons"][4]["pressed"], "its F-key plays a song and marks its button",
                  repr(title))

    # Full screen: the button, then ALT+ENTER back.
    browser.click(*centre(browser.evaluate("(function(){var r=document.getElementById('fullscreen')"
                                           ".getBoundingClientRect();return [r.left,r.top,r.width,r.height];})()")))
    browser.pump(0.5)
    layout = browser.evaluate(LAYOUT)
    checks.expect(layout["fullscreen"] == "screen", "the full-screen button takes the canvas full screen", repr(layout["fullscreen"]))
    vw, vh = layout["view"]
    x, y, w, h = layout["canvas"]
    checks.expect(abs(w * 3 - h * 4) <= 4 and (abs(w - vw) <= 1 or abs(h - vh) <= 1)
                  and abs(x + w / 2 - vw / 2) <= 1 and abs(y + h / 2 - vh / 2) <= 1,
                  "in full screen the canvas is the largest 4:3, centred", "canvas %s in %s" % (layout["canvas"], layout["view"]))
    for kind in ("rawKeyDown", "keyUp"):
        browser.call("Input.dispatchKeyEvent", type=kind, key="Enter", code="Enter", windowsVirtualKeyCode=13,
                     nativeVirtualKeyCode=13, modifiers=1)
    browser.pump(0.5)
    checks.expect(browser.evaluate(LAYOUT)["fullscreen"] == "", "ALT+ENTER leaves full screen")
    shown, title = song_title_shown(browser, reader, SONGS[4], 2)
    checks.expect(shown, "and the song goes on", repr(title))
    checks.expect(not browser.console_errors, "desktop: the console has no error", "; ".join(map(str, browser.console_errors)))


def check_phone_layout(browser, checks, what):
    layout = browser.evaluate(LAYOUT)
    vw, vh = layout["view"]
    checks.expect(layout["scroll"][0] <= vw, what + ": no sideways scrolling",
                  "page %s, window %s" % (layout["scroll"], layout["view"]))
    check_fit(checks, layout, what)
    checks.expect(layout["canvas"][2] >= vw - 20, what + ": the canvas takes the screen's width", "%s" % layout["canvas"])
    small = [b["text"] for b in layout["buttons"] if b["box"][2] < 44 or b["box"][3] < 44
             or b["box"][0] < 0 or b["box"][0] + b["box"][2] > vw]
    checks.expect(len(layout["buttons"]) == 12 and not small,
                  what + ": twelve song buttons, each at least 44 x 44 px and on screen", "too small or off screen: %s" % small)
    return layout


def check_phone(browser, server, checks, reader):
    """Phones held upright: the page fits their width, a tap starts the sound, and every song can be
    chosen with a tap on its button. The songs are tried on a small phone (336 x 740 CSS pixels at 2
    device pixels each), where the canvas is 320 CSS pixels wide: the program's own 640 pixels, so
    the title line reads back exactly."""
    browser.console_errors.clear()
    browser.set_viewport(390, 844, scale=3, mobile=True)
    if open_intro(browser, server.url + "index.html", checks, "phone 390 x 844"):
        check_phone_layout(browser, checks, "phone 390 x 844")
    browser.set_viewport(336, 740, scale=2, mobile=True)
    if not open_intro(browser, server.url + "index.html", checks, "phone"):
        return
    layout = check_phone_layout(browser, checks, "phone")

    x, y, w, h = layout["canvas"]
    browser.tap(x + w / 2, y + h / 2)
    browser.pump(0.3)
    checks.expect(browser.evaluate("document.getElementById('overlay').hidden"), "phone: a tap dismisses the overlay")
    level = browser.evaluate(SOUND_LEVEL, await_promise=True)
    checks.expect(level["state"] == "running" and level["peak"] > 0.01, "phone: the tap starts the sound",
                  "context %s, peak %.4f" % (level["state"], level["peak"]))
    failed = []
    for i in list(range(1, 12)) + [0]:
        button = browser.evaluate(LAYOUT)["buttons"][i]
        # The page scrolls down to buttons below the fold, as a finger would.
        browser.evaluate("document.querySelectorAll('#keys button')[%d].scrollIntoView({block: 'nearest'})" % i)
        box = browser.evaluate(LAYOUT)["buttons"][i]["box"]
        browser.tap(*centre(box))
        pressed = browser.wait_for("document.querySelectorAll('#keys button')[%d].getAttribute('aria-pressed') == 'true'"
                                   % i, 10)
        # Read back where the page shows the program's pixels one for one (a phone's screenshots
        # come back resampled); the page fits the canvas again, the program goes on.
        browser.set_viewport(*DEFAULT_VIEWPORT)
        shown, title = song_title_shown(browser, reader, SONGS[i])
        browser.set_viewport(336, 740, scale=2, mobile=True)
        if not shown or not pressed:
            failed.append("%s: %r%s" % (button["text"], title, "" if pressed else ", not marked"))
        browser.evaluate("window.scrollTo(0, 0)")
    checks.expect(not failed, "phone: a tap on each song's button plays it and marks it", "; ".join(failed))
    checks.expect(not browser.console_errors, "phone: the console has no error", "; ".join(map(str, browser.console_errors)))
    browser.set_viewport(*DEFAULT_VIEWPORT)


# --- pages that cannot run say why, before any click ---

PROBLEM = "(function(){var o=document.getElementById('overlay');return o.className=='problem'&&!o.hidden?o.textContent:'';})()"


def check_cannot_run(browser, server, build, checks):
    # Opened from the disk.
    browser.console_errors.clear()
    browser.navigate("file://" + os.path.join(os.path.abspath(build), "index.html"))
    line = browser.wait_for(PROBLEM, 10)
    checks.expect("opened as a file" in (line or "") and "HTTP" in line, "opened as a file: the page says so", repr(line))

    # No WebAssembly.
    script = browser.call("Page.addScriptToEvaluateOnNewDocument", source="delete window.WebAssembly;")
    browser.console_errors.clear()
    browser.navigate(server.url + "index.html")
    line = browser.wait_for(PROBLEM, 10)
    checks.expect("WebAssembly" in (line or ""), "without WebAssembly: the page says so", repr(line))
    checks.expect(any("WebAssembly" in str(e) for e in browser.console_errors), "and the console keeps the details")
    browser.call("Page.removeScriptToEvaluateOnNewDocument", identifier=script["identifier"])

    # The data package missing from the server.
    folder = tempfile.mkdtemp(prefix="corvane-web-nodata-")
    try:
        for name in ("index.html", "brackenfold-intro.js", "brackenfold-intro.wasm"):
            shutil.copy(os.path.join(build, name), folder)
        bare = StaticServer(folder)
        try:
            browser.console_errors.clear()
            browser.navigate(bare.url + "index.html")
            line = browser.wait_for(PROBLEM, 20)
            checks.expect("brackenfold-intro.data" in (line or "") and "HTTP 404" in line,
                          "without its data file: the page names the file and the HTTP status", repr(line))
            checks.expect(browser.evaluate(FRAMES) == 0, "and nothing runs")
        finally:
            bare.close()
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def check_without_webgl(server, checks):
    """A browser with WebGL turned off names the reason before any click, and the program does not start."""
    browser = Browser(extra_flags=["--disable-webgl", "--disable-3d-apis"])
    try:
        browser.navigate(server.url + "index.html")
        line = browser.wait_for(PROBLEM, 20)
        checks.expect("WebGL" in (line or ""), "without WebGL: the page says so before any click", repr(line))
        browser.pump(1.0)
        checks.expect(browser.evaluate("typeof Module._main") == "undefined" and browser.evaluate(FRAMES) == 0,
                      "without WebGL: the program is not loaded")
        checks.expect(any("WebGL" in str(e) for e in browser.console_errors), "without WebGL: the console has the details")
    finally:
        browser.close()


def build_web(build):
    """Builds the web version into build. None when it is ready; otherwise the status the test ends
    with: SKIPPED without chromium or emscripten, 1 when the build fails."""
    if shutil.which("chromium") is None:
        print("chromium is not installed (scripts/install-deps installs it): skipped")
        return SKIPPED
    built = subprocess.run([os.path.join(SOURCE_DIR, "scripts", "build-web"), build])
    if built.returncode == SKIPPED:
        return SKIPPED
    if built.returncode != 0:
        print("FAIL: the web build failed")
        return 1
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(SOURCE_DIR, "build-web"))
    args = parser.parse_args()

    status = build_web(args.build)
    if status is not None:
        return status

    os.makedirs(SHOTS, exist_ok=True)
    print("screenshots of the canvas in " + SHOTS)
    checks = Checks()
    back = Picture.load(os.path.join(SOURCE_DIR, "data", "back.png"))
    scanlines = Picture.load(os.path.join(SOURCE_DIR, "data", "scanlines.png"))
    reader = FontReader(Picture.load(os.path.join(SOURCE_DIR, "data", "fonti.png")))
    server = StaticServer(args.build)
    browser = Browser()
    try:
        check_intro(browser, server, checks, (back, scanlines), reader)
        check_trap(browser, server, checks)
        check_damaged_data(browser, args.build, checks, reader)
        check_page_layout(browser, server, checks, reader)
        check_phone(browser, server, checks, reader)
        check_cannot_run(browser, server, args.build, checks)
    finally:
        browser.close()
    try:
        check_without_webgl(server, checks)
    finally:
        server.close()
    if checks.failures:
        print("%d check(s) failed" % len(checks.failures))
        return 1
    print("all browser checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
