#!/usr/bin/python3
"""Figures of the web build in headless Chromium, as FIGURE lines for scripts/bench: the page's
total download, the time from navigation to the first intro frame, updates and rendered frames
per second over a stretch of seconds, and the render step's time per frame.

Usage: bench_web.py BUILD_WEB_DIR [--seconds S] [--screenshot PNG]"""

import argparse
import os
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from webdriver import Browser, StaticServer  # noqa: E402

PAGE_FILES = ("index.html", "brackenfold-intro.js", "brackenfold-intro.wasm", "brackenfold-intro.data")
STATS = "(window.Module && Module.frameStats ? Module.frameStats : null)"


def figure(name, value, unit, note):
    print("FIGURE\tweb\t%s\t%s\t%s\t%s" % (name, value, unit, note))
    sys.stdout.flush()


def first_frame_millis(browser, url):
    browser.navigate(url)
    stats = browser.wait_for(STATS + " && Module.frameStats.frames > 0 && Module.frameStats", 60, step=0.02)
    return stats["firstFrameAt"] if stats else None


def trace_times(browser):
    text = browser.evaluate("FS.readFile('/frame-trace', {encoding: 'utf8'})")
    updates, frames = [], []
    # The trace reaches the file in blocks: its last line may be cut off.
    for line in text.splitlines()[:-1]:
        if line.startswith("u "):
            updates.append(float(line[2:]))
        elif line.startswith("f "):
            frames.append(float(line[2:]))
    return updates, frames


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--screenshot")
    args = parser.parse_args()

    total = sum(os.path.getsize(os.path.join(args.build, name)) for name in PAGE_FILES)
    figure("page download (html, js, wasm, data)", "%.3f" % (total / 1e6), "MB",
           "%d bytes; goal < 2 MB" % total)

    server = StaticServer(args.build)
    browser = Browser()
    try:
        browser.call("Network.enable")
        browser.call("Network.setCacheDisabled", cacheDisabled=True)
        times = [t for t in (first_frame_millis(browser, server.url + "index.html") for _ in range(3)) if t]
        if times:
            figure("navigation to first intro frame (median of 3)", "%.0f" % statistics.median(times), "ms",
                   "uncached, 127.0.0.1; runs %s; goal < 1000 ms" % ", ".join("%.0f" % t for t in times))

        # Pacing: the frame loop's own trace over the last `seconds` of a run that is a second longer.
        browser.navigate(server.url + "index.html?trace")
        browser.wait_for(STATS + " && Module.frameStats.frames > 0", 60)
        x, y, w, h = browser.canvas_rect()
        browser.click(x + w / 2, y + h / 2)
        browser.pump(1.0)
        before = browser.evaluate(STATS)
        browser.pump(args.seconds)
        after = browser.evaluate(STATS)
        updates, frames = trace_times(browser)
        end = updates[-1] if updates else 0
        start = end - args.seconds
        update_rate = sum(1 for t in updates if start < t <= end) / args.seconds
        frame_rate = sum(1 for t in frames if start < t <= end) / args.seconds
        figure("updates per second over %g s" % args.seconds, "%.1f" % update_rate, "1/s", "goal 51 +- 2 %")
        figure("rendered frames per second over %g s" % args.seconds, "%.1f" % frame_rate, "1/s",
               "goal 51 +- 2 %; software WebGL (SwiftShader)")
        rendered = after["frames"] - before["frames"]
        if rendered > 0:
            figure("render step per frame", "%.2f" % ((after["renderMs"] - before["renderMs"]) / rendered), "ms",
                   "JavaScript and wasm time of the render pass, %d frames" % rendered)
        if args.screenshot:
            browser.screenshot_canvas(args.screenshot)
    finally:
        browser.close()
        server.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
