"""Serving build-web/ and driving headless Chromium over the DevTools protocol, for the browser
test and the web benchmark. Needs Debian's chromium, python3-websocket and ImageMagick's convert
(pixels of a screenshot)."""

import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request
from functools import partial
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer

import websocket

CHROMIUM_FLAGS = [
    "--headless",
    "--no-sandbox",
    # WebGL without a GPU: the software renderer, allowed explicitly in recent Chromium.
    "--use-gl=swiftshader",
    "--enable-unsafe-swiftshader",
    # On a loaded machine the software renderer can take longer over a frame than the GPU process's
    # watchdog allows; it then kills the process and the page loses its WebGL context.
    "--disable-gpu-watchdog",
    "--no-first-run",
    "--no-default-browser-check",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    "--disable-quic",
    "--disable-extensions",
    # Timers and animation frames keep their pace although nobody looks at the page.
    "--disable-background-timer-throttling",
    "--disable-renderer-backgrounding",
    "--disable-backgrounding-occluded-windows",
    "--window-size=800,600",
    "--remote-debugging-port=0",
]


# A window 640 CSS pixels wide inside its margins, high enough for the page's controls under the
# canvas: the page gives the canvas exactly 640 x 480.
DEFAULT_VIEWPORT = (656, 900)


class QuietHandler(SimpleHTTPRequestHandler):
    extensions_map = dict(SimpleHTTPRequestHandler.extensions_map, **{".wasm": "application/wasm"})

    def log_message(self, *args):
        pass


class StaticServer:
    """python3's http.server on 127.0.0.1 and a free port, serving one folder from a thread."""

    def __init__(self, folder):
        self.httpd = ThreadingHTTPServer(("127.0.0.1", 0), partial(QuietHandler, directory=folder))
        self.url = "http://127.0.0.1:%d/" % self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class Browser:
    """One headless Chromium with a fresh profile, and a DevTools connection to its page."""

    def __init__(self, extra_flags=()):
        self.profile = tempfile.mkdtemp(prefix="corvane-chromium-")
        self.process = subprocess.Popen(
            ["chromium", "--user-data-dir=" + self.profile] + CHROMIUM_FLAGS + list(extra_flags) + ["about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port = self._devtools_port()
        self.socket = None
        deadline = time.time() + 20
        while self.socket is None:
            targets = json.load(urllib.request.urlopen("http://127.0.0.1:%d/json/list" % port))
            pages = [t for t in targets if t.get("type") == "page"]
            if pages:
                self.socket = websocket.create_connection(pages[0]["webSocketDebuggerUrl"], timeout=30,
                                                          suppress_origin=True)
            elif time.time() > deadline:
                raise RuntimeError("chromium opened no page")
            else:
                time.sleep(0.1)
        self.next_id = 0
        self.events = []
        self.console_errors = []
        self.console_lines = []  # what the page logs (a program's standard output)
        self.call("Runtime.enable")
        self.call("Page.enable")
        self.call("Log.enable")
        # The page's viewport (the headless window's is lower than its size): the page shows the
        # canvas at the program's own 640 x 480 there, so that screenshots are its pixels as they are.
        self.set_viewport(*DEFAULT_VIEWPORT)
        # The page keeps its focus (and so the intro keeps running) in headless mode.
        self.call("Emulation.setFocusEmulationEnabled", enabled=True)

    def _devtools_port(self):
        path = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.time() + 30
        while time.time() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("chromium exited with status %d" % self.process.returncode)
            try:
                with open(path) as f:
                    return int(f.readline())
            except (OSError, ValueError):
                time.sleep(0.05)
        raise RuntimeError("chromium did not open its DevTools port")

    def _note(self, message):
        self.events.append(message)
        method, params = message.get("method"), message.get("params", {})
        if method == "Runtime.consoleAPICalled" and params.get("type") == "log":
            self.console_lines.append(" ".join(str(a.get("value", "")) for a in params.get("args", [])))
        elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
            self.console_errors.append(" ".join(str(a.get("value", a.get("description", "")))
                                                for a in params.get("args", [])))
        elif method == "Runtime.exceptionThrown":
            details = params.get("exceptionDetails", {})
            self.console_errors.append(details.get("exception", {}).get("description", details.get("text")))
        elif method == "Log.entryAdded" and params.get("entry", {}).get("level") == "error":
            entry = params["entry"]
            self.console_errors.append("%s (%s)" % (entry.get("text"), entry.get("url", "")))

    def call(self, method, **params):
        self.next_id += 1
        ident = self.next_id
        self.socket.send(json.dumps({"id": ident, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == ident:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"]))
                return message.get("result", {})
            self._note(message)

    def pump(self, seconds):
        """Reads events for a while (the browser goes on running meanwhile)."""
        end = time.time() + seconds
        self.socket.settimeout(0.05)
        try:
            while time.time() < end:
                try:
                    self._note(json.loads(self.socket.recv()))
                except websocket.WebSocketTimeoutException:
                    pass
        finally:
            self.socket.settimeout(30)

    def evaluate(self, expression, await_promise=False):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=await_promise)
        if "exceptionDetails" in result:
            raise RuntimeError("page script failed: %s" % result["exceptionDetails"])
        return result["result"].get("value")

    def navigate(self, url):
        self.events.clear()
        self.call("Page.navigate", url=url)

    def wait_for(self, expression, timeout, step=0.05):
        """Polls a page expression until it is truthy; returns its value or None."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            try:
                value = self.evaluate(expression)
            except RuntimeError:
                value = None
            if value:
                return value
            self.pump(step)
        return None

    def navigation_count(self):
        return sum(1 for e in self.events if e.get("method") == "Page.frameNavigated"
                   and "parentId" not in e["params"]["frame"])

    def press_key(self, key, code, key_code):
        """A real key press through the browser's input path (down, then up)."""
        common = dict(key=key, code=code, windowsVirtualKeyCode=key_code, nativeVirtualKeyCode=key_code)
        self.call("Input.dispatchKeyEvent", type="rawKeyDown", **common)
        self.call("Input.dispatchKeyEvent", type="keyUp", **common)

    def type_text(self, text):
        """Real key presses that type the text (letters, digits and spaces): each key goes down
        with its character, as a keyboard's does, and up again."""
        for c in text:
            code = "Space" if c == " " else ("Digit" if c.isdigit() else "Key") + c.upper()
            key_code = ord(c.upper())
            common = dict(key=c, code=code, windowsVirtualKeyCode=key_code, nativeVirtualKeyCode=key_code)
            self.call("Input.dispatchKeyEvent", type="keyDown", text=c, unmodifiedText=c, **common)
            self.call("Input.dispatchKeyEvent", type="keyUp", **common)

    def set_viewport(self, width, height, scale=1, mobile=False):
        """The page's viewport in CSS pixels, device pixels per CSS pixel, and whether it is a phone's
        (touch, no scroll bars)."""
        self.device_scale = scale
        self.call("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=scale,
                  mobile=mobile)
        self.call("Emulation.setTouchEmulationEnabled", enabled=mobile, maxTouchPoints=5 if mobile else 1)

    def click(self, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left", clickCount=1)

    def tap(self, x, y):
        """A finger's tap at a point of the page (touch events, as a phone's screen sends them)."""
        self.call("Input.dispatchTouchEvent", type="touchStart", touchPoints=[dict(x=x, y=y)])
        self.call("Input.dispatchTouchEvent", type="touchEnd", touchPoints=[])

    def canvas_rect(self):
        return self.evaluate("(function(){var r=document.getElementById('canvas').getBoundingClientRect();"
                             "return [r.left, r.top, r.width, r.height];})()")

    def canvas_point(self, x, y):
        """Where a point of the program's 640 x 480 screen is on the page, however large the canvas is."""
        left, top, w, h = self.canvas_rect()
        return left + x * w / 640, top + y * h / 480

    def click_canvas(self, x, y):
        self.click(*self.canvas_point(x, y))

    def screenshot_canvas(self, path=None, whole=False):
        """The canvas as the page shows it, as the program's 640 x 480 pixels: when the page shows
        every pixel of the program as a whole square of the display's pixels (k x k), one pixel of
        each square. With whole, the display's pixels as they are."""
        x, y, w, h = self.canvas_rect()
        shot = self.call("Page.captureScreenshot", format="png",
                         clip=dict(x=x, y=y, width=w, height=h, scale=1))
        png = base64.b64decode(shot["data"])
        if path:
            with open(path, "wb") as f:
                f.write(png)
        picture = Picture.from_png_bytes(png)
        k = picture.width // 640
        if whole or k <= 1 or picture.width != 640 * k:
            return picture
        return picture.every(k)

    def close(self):
        try:
            self.socket.close()
        except Exception:
            pass
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


class Picture:
    """Pixels as RGBA bytes, decoded by ImageMagick."""

    def __init__(self, width, height, rgba):
        self.width, self.height, self.rgba = width, height, rgba

    @staticmethod
    def from_png_bytes(png):
        size = subprocess.run(["identify", "-format", "%w %h", "png:-"], input=png, capture_output=True,
                              check=True).stdout.split()
        raw = subprocess.run(["convert", "png:-", "-depth", "8", "rgba:-"], input=png, capture_output=True,
                             check=True).stdout
        return Picture(int(size[0]), int(size[1]), raw)

    @staticmethod
    def load(path):
        with open(path, "rb") as f:
            return Picture.from_png_bytes(f.read())

    def at(self, x, y):
        i = 4 * (y * self.width + x)
        return self.rgba[i:i + 4]

    def every(self, k):
        """The picture with one pixel (the top-left) of every k x k square."""
        rows = []
        for y in range(0, self.height - self.height % k, k):
            row = self.rgba[4 * y * self.width:4 * (y + 1) * self.width]
            rows.append(b"".join(row[4 * x:4 * x + 4] for x in range(0, self.width - self.width % k, k)))
        return Picture(self.width // k, self.height // k, b"".join(rows))
