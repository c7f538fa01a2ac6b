#!/usr/bin/python3
"""Programs outside the tree built for the browser against the installed framework: stages the
build's installation (component "development") below a DESTDIR, makes a project of the installed
hello and breakout examples, the guide's CMakeLists.txt (web_consumer/, which builds breakout beside
hello) and a data/ folder with the fonts and the sound they load, builds it with
`emcmake cmake -DCMAKE_PREFIX_PATH=PREFIX` and `cmake --build` (and natively with the same
CMakeLists.txt), and checks both pages in headless Chromium as the in-tree examples' pages are
checked. Exit status 77 (skipped) when emscripten or chromium is missing.
Usage: web_install_test.py SOURCE_DIR BUILD_DIR"""

import os
import shutil
import subprocess
import sys
import tempfile

SOURCE_DIR, BUILD_DIR = sys.argv[1], sys.argv[2]
sys.path.insert(0, os.path.join(SOURCE_DIR, "web"))
from browser_test import Checks  # noqa: E402
from examples_browser_test import check_breakout, check_hello  # noqa: E402
from webdriver import Browser, StaticServer  # noqa: E402

SKIPPED = 77


def run(what, command, log, **kwargs):
    with open(log, "w") as out:
        done = subprocess.run(command, stdout=out, stderr=subprocess.STDOUT, **kwargs)
    if done.returncode != 0:
        with open(log) as text:
            print("FAIL: %s (%s):\n%s" % (what, " ".join(command), text.read()[-4000:]))
        sys.exit(1)


def main():
    for tool in ("emcmake", "chromium"):
        if shutil.which(tool) is None:
            print("%s is not installed (scripts/install-deps installs it): skipped" % tool)
            return SKIPPED
    work = tempfile.mkdtemp(prefix="corvane-web-install-test.")
    try:
        stage = os.path.join(work, "stage")
        run("cmake --install", ["cmake", "--install", BUILD_DIR, "--prefix", "/usr/local", "--component",
                                "development"], os.path.join(work, "install.log"), env=dict(os.environ, DESTDIR=stage))
        prefix = stage + "/usr/local"
        for name in ("lib/corvane/web/libcorvane.a", "share/corvane/web/page.html.in",
                     "lib/cmake/Corvane/CorvaneWebProgram.cmake"):
            if not os.path.isfile(os.path.join(prefix, name)):
                print("FAIL: not installed: " + name)
                return 1

        project = os.path.join(work, "hello")
        os.makedirs(os.path.join(project, "data", "wav"))
        for example in ("hello.cpp", "breakout.cpp"):
            shutil.copy(os.path.join(prefix, "share/doc/corvane/examples", example), project)
        shutil.copy(os.path.join(SOURCE_DIR, "tests/install/web_consumer/CMakeLists.txt"), project)
        for name in ("vulo_font.png", "fonti.png", "wav/fx2b.wav"):
            shutil.copy(os.path.join(SOURCE_DIR, "data", name), os.path.join(project, "data", name))
        build = os.path.join(project, "build-web")
        run("emcmake cmake", ["emcmake", "cmake", "-S", project, "-B", build, "-DCMAKE_PREFIX_PATH=" + prefix],
            os.path.join(work, "configure.log"))
        run("cmake --build", ["cmake", "--build", build], os.path.join(work, "build.log"))
        for name in ("index.html", "hello.js", "hello.wasm", "hello.data", "breakout/index.html",
                     "breakout/breakout.js", "breakout/breakout.wasm", "breakout/breakout.data"):
            if not os.path.isfile(os.path.join(build, name)):
                print("FAIL: the build made no " + name)
                return 1

        # The same project builds natively too.
        native = os.path.join(project, "build")
        run("cmake (native)", ["cmake", "-S", project, "-B", native, "-DCMAKE_PREFIX_PATH=" + prefix],
            os.path.join(work, "native-configure.log"))
        run("cmake --build (native)", ["cmake", "--build", native], os.path.join(work, "native-build.log"))
        for name in ("hello", "breakout"):
            if not os.access(os.path.join(native, name), os.X_OK):
                print("FAIL: the native build made no " + name)
                return 1

        # Served where the in-tree examples' pages are, so that their checks apply unchanged.
        site = os.path.join(work, "site")
        os.makedirs(os.path.join(site, "examples"))
        os.symlink(build, os.path.join(site, "examples", "hello"))
        os.symlink(os.path.join(build, "breakout"), os.path.join(site, "examples", "breakout"))
        checks = Checks()
        server = StaticServer(site)
        browser = Browser()
        try:
            check_hello(browser, server, checks)
            check_breakout(browser, server, checks)
        finally:
            browser.close()
            server.close()
        if checks.failures:
            print("%d check(s) failed" % len(checks.failures))
            return 1
        print("the pages built outside the tree against the installed framework passed their checks")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
