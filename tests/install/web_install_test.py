#!/usr/bin/python3
"""A program outside the tree built for the browser against the installed framework: stages the
build's installation (component "development") below a DESTDIR, makes a project of the installed
hello example, the guide's CMakeLists.txt (web_consumer/) and a data/ folder with the two fonts it
loads, builds it with `emcmake cmake -DCMAKE_PREFIX_PATH=PREFIX` and `cmake --build` (and natively with
the same CMakeLists.txt), and checks its page in headless Chromium as the in-tree example's page is checked. Exit status 77 (skipped)
when emscripten or chromium is missing.
Usage: web_install_test.py SOURCE_DIR BUILD_DIR"""

import os
import shutil
import subprocess
import sys
import tempfile

SOURCE_DIR, BUILD_DIR = sys.argv[1], sys.argv[2]
sys.path.insert(0, os.path.join(SOURCE_DIR, "web"))
from browser_test import Checks  # noqa: E402
from examples_browser_test import check_hello  # noqa: E402
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
        os.makedirs(os.path.join(project, "data"))
        shutil.copy(os.path.join(prefix, "share/doc/corvane/examples/hello.cpp"), project)
        shutil.copy(os.path.join(SOURCE_DIR, "tests/install/web_consumer/CMakeLists.txt"), project)
        for font in ("vulo_font.png", "fonti.png"):
            shutil.copy(os.path.join(SOURCE_DIR, "data", font), os.path.join(project, "data"))
        build = os.path.join(project, "build-web")
        run("emcmake cmake", ["emcmake", "cmake", "-S", project, "-B", build, "-DCMAKE_PREFIX_PATH=" + prefix],
            os.path.join(work, "configure.log"))
        run("cmake --build", ["cmake", "--build", build], os.path.join(work, "build.log"))
        for name in ("index.html", "hello.js", "hello.wasm", "hello.data"):
            if not os.path.isfile(os.path.join(build, name)):
                print("FAIL: the build made no " + name)
                return 1

        # The same project builds natively too.
        native = os.path.join(project, "build")
        run("cmake (native)", ["cmake", "-S", project, "-B", native, "-DCMAKE_PREFIX_PATH=" + prefix],
            os.path.join(work, "native-configure.log"))
        run("cmake --build (native)", ["cmake", "--build", native], os.path.join(work, "native-build.log"))

        # Served where the in-tree example's page is, so that its checks apply unchanged.
        site = os.path.join(work, "site")
        os.makedirs(os.path.join(site, "examples"))
        os.symlink(build, os.path.join(site, "examples", "hello"))
        checks = Checks()
        server = StaticServer(site)
        browser = Browser()
        try:
            check_hello(browser, server, checks)
        finally:
            browser.close()
            server.close()
        if checks.failures:
            print("%d check(s) failed" % len(checks.failures))
            return 1
        print("the page built outside the tree against the installed framework passed its checks")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
