#!/usr/bin/python3
"""The example programs in a real browser: builds build-web/ (scripts/build-web, which builds each
example as a page of its own in build-web/examples/NAME/), serves it on 127.0.0.1 and drives
headless Chromium over the DevTools protocol. For each page: the program renders, shows what it
should on the canvas (read back from screenshots), takes real key presses and clicks, and ends on
ESCAPE with the page's message and a clean console. Exit status 77 (skipped) when emscripten or
chromium is missing."""

import argparse
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser_test import FRAMES, SOUND_LEVEL, Checks, build_web, dismiss_overlay  # noqa: E402
from webdriver import Browser, StaticServer  # noqa: E402

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SKIPPED = 77
ENDED = "document.getElementById('ended').hidden ? '' : document.getElementById('ended').innerText"


def far(pixel, colour, tolerance=40):
    return any(abs(pixel[c] - colour[c]) > tolerance for c in range(3))


def near(pixel, colour, tolerance=24):
    return not far(pixel, colour, tolerance)


def ink(grab, background, rows, columns=range(0, 640)):
    """The pixels in the rows that are not the background: (count, leftmost x, rightmost x)."""
    count, left, right = 0, None, None
    for y in rows:
        for x in columns:
            if far(grab.at(x, y), background):
                count += 1
                left = x if left is None else min(left, x)
                right = x if right is None else max(right, x)
    return count, left, right


def screenshot(browser, background):
    """A screenshot of the canvas whose corner shows the program's background colour. Rarely (once
    in a dozen runs here) headless Chromium's first capture of a page came back blank white, the
    program running on: such a capture is taken again, up to four times, and the retry reported."""
    for attempt in range(5):
        grab = browser.screenshot_canvas()
        if near(grab.at(2, 2), background, 3) or attempt == 4:
            if attempt:
                print("note: %d capture(s) taken again (corner %s)" % (attempt, list(grab.at(2, 2))))
            return grab
        browser.pump(0.1)


def open_page(browser, server, name, checks):
    browser.console_errors.clear()
    browser.console_lines.clear()
    start = time.time()
    browser.navigate(server.url + "examples/%s/index.html" % name)
    shown = browser.wait_for(FRAMES + " >= 10", 30)
    checks.expect(bool(shown), name + ": the program renders frames", "%.1f s" % (time.time() - start))
    if not shown:
        return False
    checks.expect(browser.evaluate("document.title") == "Corvane example: " + name, name + ": the page's title")
    checks.expect(browser.evaluate("!document.getElementById('overlay').hidden"), name + ": the start overlay is shown")
    return True


def printed(browser, text, seconds=2.0):
    """Whether the program prints a line containing the text (its standard output is the console)."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        if any(text in line for line in browser.console_lines):
            return True
        browser.pump(0.1)
    return False


def close_with_escape(browser, name, checks):
    """ESCAPE quits every example: the page says the program has ended and the frames stop."""
    browser.press_key("Escape", "Escape", 27)
    ended = browser.wait_for(ENDED, 3)
    checks.expect("The program has ended" in (ended or ""), name + ": ESCAPE ends the program with the page's message",
                  repr(ended))
    frames = browser.evaluate(FRAMES)
    browser.pump(0.3)
    checks.expect(browser.evaluate(FRAMES) == frames, name + ": no frame is rendered after the end")
    checks.expect(not browser.console_errors, name + ": the console has no error",
                  "; ".join(map(str, browser.console_errors)))


def check_hello(browser, server, checks):
    if not open_page(browser, server, "hello", checks):
        return
    dismiss_overlay(browser, checks, "hello: ")
    background = (32, 48, 96)
    grab = screenshot(browser, background)
    checks.expect(near(grab.at(5, 5), background, 3) and near(grab.at(630, 470), background, 3),
                  "hello: the background is the program's colour", "%s" % list(grab.at(5, 5)))
    # The default font's line at y 180 and the bitmap font's at y 280, both centred on x 320. The
    # bitmap font's is the larger: taller than 16 rows and wider than 180 pixels (in the default
    # font, as it is drawn when fonti.png is missing, it is 13 rows by 100 pixels).
    for what, rows, least_width, least_height in (("the default font's line", range(165, 196), 60, 6),
                                                  ("the bitmap font's line", range(250, 311), 180, 16)):
        count, left, right = ink(grab, background, rows)
        height = sum(1 for y in rows if ink(grab, background, [y], range(150, 490, 2))[0] > 0)
        centred = left is not None and abs((left + right) / 2 - 320) <= 12
        checks.expect(count > 150 and centred and right - left > least_width and height > least_height,
                      "hello: %s is drawn, centred" % what,
                      "%d pixels, x %s-%s, %d rows" % (count, left, right, height))
    count, _, _ = ink(grab, background, range(0, 140))
    checks.expect(count == 0, "hello: nothing else is drawn above the text", "%d pixels" % count)
    close_with_escape(browser, "hello", checks)


def check_typing(browser, server, checks):
    if not open_page(browser, server, "typing", checks):
        return
    background = (16, 16, 16)
    line_rows = range(56, 80)
    # The click on the overlay starts the page; the program gets the clicks after it.
    dismiss_overlay(browser, checks, "typing: ")
    browser.click_canvas(320, 240)
    before = ink(screenshot(browser, background), background, line_rows)
    browser.type_text("Hello web")
    browser.pump(0.3)
    grab = screenshot(browser, background)
    after = ink(grab, background, line_rows)
    checks.expect(before[2] is not None and after[2] is not None and after[2] > before[2] + 60 and after[0] > before[0],
                  "typing: typed keys show on the line", "ink %s, then %s" % (before, after))
    checks.expect(near(grab.at(320, 240), (255, 255, 0)) and near(grab.at(320 + 8, 240), (255, 0, 0), 60),
                  "typing: the pointer and the click's mark are drawn where the click was",
                  "%s %s" % (list(grab.at(320, 240)), list(grab.at(328, 240))))
    browser.click_canvas(100, 300)
    browser.pump(0.3)
    grab = screenshot(browser, background)
    checks.expect(near(grab.at(100, 300), (255, 255, 0)) and near(grab.at(108, 300), (255, 0, 0), 60),
                  "typing: a second click leaves a mark where it was", "%s" % list(grab.at(108, 300)))
    browser.press_key("Backspace", "Backspace", 8)
    browser.press_key("Enter", "Enter", 13)
    checks.expect(printed(browser, "Hello we"), "typing: BACKSPACE and ENTER print the edited line",
                  repr(browser.console_lines[-3:]))
    checks.expect(not any("Hello web" in line for line in browser.console_lines),
                  "typing: BACKSPACE deleted the last character")
    close_with_escape(browser, "typing", checks)


def check_bounce(browser, server, checks):
    if not open_page(browser, server, "bounce", checks):
        return
    background = (0, 0, 32)
    dismiss_overlay(browser, checks, "bounce: ")
    first = screenshot(browser, background)
    browser.pump(0.3)
    second = screenshot(browser, background)
    balls = ink(first, background, range(40, 480, 2), range(0, 640, 2))[0]
    changed = sum(1 for y in range(0, 480, 2) for x in range(0, 640, 2) if first.at(x, y) != second.at(x, y))
    checks.expect(balls > 300, "bounce: the balls are drawn", "%d sampled pixels" % balls)
    checks.expect(changed > 300, "bounce: the picture moves between two screenshots", "%d sampled pixels" % changed)
    browser.type_text(" ")
    checks.expect(printed(browser, "balls: 3"), "bounce: SPACE adds a ball", repr(browser.console_lines[-3:]))
    close_with_escape(browser, "bounce", checks)


def check_tracker(browser, server, checks):
    if not open_page(browser, server, "tracker", checks):
        return
    checks.expect(printed(browser, "Playing songs/brackenfold.dat"), "tracker: the first song is loaded",
                  repr(browser.console_lines[-3:]))
    dismiss_overlay(browser, checks, "tracker: ")
    level = browser.evaluate(SOUND_LEVEL, await_promise=True)
    checks.expect(level["state"] == "running" and level["peak"] > 0.01, "tracker: the song reaches Web Audio",
                  "context %s, peak %.4f" % (level["state"], level["peak"]))
    # Each voice's bar: its frame (grey) and, while the voice sounds, its colour from the bottom up.
    frames_seen, voices_seen = set(), set()
    for _ in range(6):
        grab = screenshot(browser, (0, 0, 0))
        for v in range(4):
            x = 70 + v * 120 + 50
            if near(grab.at(x, 125), (40, 40, 40), 6):
                frames_seen.add(v)
            if near(grab.at(x, 415), (80 + 40 * v, 255 - 40 * v, 96), 6):
                voices_seen.add(v)
        browser.pump(0.15)
    checks.expect(len(frames_seen) == 4, "tracker: the four bars are drawn", "frames of %s" % sorted(frames_seen))
    checks.expect(len(voices_seen) >= 2, "tracker: the bars show the voices' levels", "voices %s" % sorted(voices_seen))
    browser.type_text("2")
    checks.expect(printed(browser, "Playing songs/nightdrive.dat"), "tracker: key 2 plays the second song",
                  repr(browser.console_lines[-3:]))
    close_with_escape(browser, "tracker", checks)


def check_breakout(browser, server, checks):
    if not open_page(browser, server, "breakout", checks):
        return
    background = (8, 8, 24)
    checks.expect(printed(browser, "new game, best 0"), "breakout: a game starts", repr(browser.console_lines[-3:]))
    dismiss_overlay(browser, checks, "breakout: ")
    first = screenshot(browser, background)
    bricks = ink(first, background, range(60, 180, 2), range(0, 640, 2))[0]
    paddle = ink(first, background, range(440, 452), range(0, 640))[0]
    checks.expect(bricks > 40 * 50 * 4 // 4, "breakout: the bricks are drawn", "%d sampled pixels" % bricks)
    checks.expect(paddle > 80 * 12 - 20, "breakout: the paddle is drawn", "%d pixels" % paddle)
    cursor = browser.evaluate("document.getElementById('canvas').style.cursor")
    checks.expect(cursor == "none", "breakout: hidePointer hides the pointer over the canvas", repr(cursor))
    browser.type_text(" ")
    browser.pump(0.5)
    second = screenshot(browser, background)
    moved = sum(1 for y in range(190, 430) for x in range(0, 640) if first.at(x, y) != second.at(x, y))
    checks.expect(moved > 20, "breakout: SPACE serves the ball, which flies up", "%d pixels changed" % moved)
    close_with_escape(browser, "breakout", checks)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(SOURCE_DIR, "build-web"))
    args = parser.parse_args()

    status = build_web(args.build)
    if status is not None:
        return status

    checks = Checks()
    started = time.time()
    server = StaticServer(args.build)
    browser = Browser()
    try:
        check_hello(browser, server, checks)
        check_typing(browser, server, checks)
        check_bounce(browser, server, checks)
        check_breakout(browser, server, checks)
        check_tracker(browser, server, checks)
    finally:
        browser.close()
        server.close()
    print("browser checks took %.1f s" % (time.time() - started))
    if checks.failures:
        print("%d check(s) failed" % len(checks.failures))
        return 1
    print("all example page checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
