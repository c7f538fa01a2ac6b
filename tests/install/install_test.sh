#!/usr/bin/env bash
# Installs the framework into a temporary prefix (and once more staged through DESTDIR), builds every
# installed example with pkg-config, builds the hello and tracker examples outside the tree against it, with
# pkg-config and with CMake's find_package (which builds the breakout example too), and runs both builds
# of hello and the CMake build of breakout on the X server of DISPLAY until their window shows (breakout's
# with its own title), then quits them with ESCAPE.
# Usage: install_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir="$1"
build_dir="$2"
work="$(mktemp -d /tmp/corvane-install-test.XXXXXX)"
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

prefix="$work/prefix"
cmake --install "$build_dir" --prefix "$prefix" --component development >"$work/install.log" ||
  fail "cmake --install: $(cat "$work/install.log")"
for f in include/corvane/corvane.h include/corvane/graphics/graphics_context.h lib/libcorvane.a \
  include/corvane/vumo/player.h include/corvane/vumo/notes.h lib/libvumo.a share/doc/corvane/examples/tracker.cpp \
  lib/pkgconfig/corvane.pc lib/cmake/Corvane/CorvaneConfig.cmake share/doc/corvane/FRAMEWORK.md; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done
if find "$prefix/include" -name '*.cpp' | grep -q .; then fail "sources installed as headers"; fi

# DESTDIR stages below the prefix, and the staged pkg-config file still finds its own tree.
stage="$work/stage"
DESTDIR="$stage" cmake --install "$build_dir" --prefix /usr/local --component development >/dev/null
[ -f "$stage/usr/local/include/corvane/corvane.h" ] || fail "DESTDIR not honoured"
staged_flags="$(PKG_CONFIG_PATH="$stage/usr/local/lib/pkgconfig" pkg-config --cflags corvane)"
case "$staged_flags" in
  *"$stage/usr/local/lib/pkgconfig/../../include/corvane"*) ;;
  *) fail "staged corvane.pc points elsewhere: $staged_flags" ;;
esac

program="$source_dir/examples/hello.cpp"
# The installed copy of the tracker example, as a reader of the documentation finds it.
tracker="$prefix/share/doc/corvane/examples/tracker.cpp"
breakout="$prefix/share/doc/corvane/examples/breakout.cpp"

# 1. pkg-config
mkdir -p "$work/pc"
PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --exists corvane || fail "pkg-config does not find corvane"
# shellcheck disable=SC2046
g++ -std=c++20 -Wall -Wextra -o "$work/pc/hello" "$program" \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs corvane) || fail "pkg-config build"
# shellcheck disable=SC2046
g++ -std=c++20 -Wall -Wextra -o "$work/pc/tracker" "$tracker" \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs corvane) || fail "pkg-config build of tracker"

# Every example installed as documentation builds from the install alone, with the flags of every
# package the install holds. PENDING names examples that cannot build from it yet: each is still
# built, and one that builds fails the check so that it leaves the list.
pending=""
pc_dir="$prefix/lib/pkgconfig"
# shellcheck disable=SC2046
packages="$(cd "$pc_dir" && ls -- *.pc | sed 's/\.pc$//' | tr '\n' ' ')"
mkdir -p "$work/examples"
built=0
for example in "$prefix"/share/doc/corvane/examples/*.cpp; do
  name="$(basename "$example" .cpp)"
  # shellcheck disable=SC2046,SC2086
  if g++ -std=c++20 -Wall -Wextra -o "$work/examples/$name" "$example" \
    $(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs $packages) >"$work/examples/$name.log" 2>&1; then
    case " $pending " in
      *" $name "*) fail "installed example $name now builds from the install: take it off the pending list" ;;
    esac
    echo "ok: installed example $name builds from the install"
    built=$((built + 1))
  else
    case " $pending " in
      *" $name "*) echo "pending: installed example $name does not build from the install yet: $(head -3 "$work/examples/$name.log")" ;;
      *) fail "installed example $name does not build from the install: $(cat "$work/examples/$name.log")" ;;
    esac
  fi
done
[ "$built" -ge 3 ] || fail "only $built installed examples built"

# 2. CMake package
cmake -S "$source_dir/tests/install/consumer" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DPROGRAM_SOURCE="$program" -DTRACKER_SOURCE="$tracker" -DBREAKOUT_SOURCE="$breakout" >"$work/cmake.log" 2>&1 ||
  fail "find_package: $(cat "$work/cmake.log")"
cmake --build "$work/cmake-build" >"$work/cmake-build.log" 2>&1 || fail "CMake build: $(cat "$work/cmake-build.log")"
mkdir -p "$work/cm"
cp "$work/cmake-build/hello" "$work/cmake-build/breakout" "$work/cm/"
[ -x "$work/cmake-build/tracker" ] || fail "CMake build made no tracker"

# Each program finds its fonts and sounds in data/ beside itself, and keeps its state file in the
# folder it runs in. TITLE, when given, is the window's title.
run() {
  local dir="$1" name="$2" title="${3:-}"
  [ -d "$dir/data" ] || cp -r "$build_dir/data" "$dir/data"
  (cd "$dir" && ALSOFT_DRIVERS=null exec "./$name") >"$dir/output.txt" 2>&1 &
  local pid=$!
  local window
  window="$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" 2>/dev/null | head -1)" || true
  if [ -z "$window" ]; then
    kill "$pid" 2>/dev/null || true
    fail "$dir/$name showed no window: $(cat "$dir/output.txt")"
  fi
  if [ -n "$title" ]; then
    local shown
    shown="$(xdotool getwindowname "$window")"
    [ "$shown" = "$title" ] || { kill "$pid"; fail "$dir/$name's window is titled \"$shown\", not \"$title\""; }
  fi
  sleep 0.5
  xdotool windowfocus "$window" key Escape
  local status=0
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    fail "$dir/$name did not quit on ESCAPE"
  fi
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || fail "$dir/$name exited with $status: $(cat "$dir/output.txt")"
  echo "ok: $dir/$name ran${title:+ in a window titled \"$title\"} and quit with status 0"
}
run "$work/pc" hello
run "$work/cm" hello
run "$work/cm" breakout "Breakout - a Corvane example"
