#!/usr/bin/env bash
# Installs the "program" component into a scratch DESTDIR with PREFIX /usr and checks what a user
# gets: every file listed and inside DESTDIR, the links on the PATH pointing at the programs beside
# data/, the programs started through those links from another directory finding their data, man
# pages that render without warnings, a valid desktop entry and metainfo, icons of the right sizes.
# Usage: check_install.sh BUILD_DIR CLOSE_WINDOW_PROGRAM   (needs DISPLAY for the intro and capture)
set -uo pipefail
build="$1"
close_window="$2"
title="Brackenfold Intro 01 by Vendle/bkf"
programs=(brackenfold-intro vumo-compile vumo-decompile vumo-play vumo-trace vumo-render brackenfold-capture)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

scratch="$(mktemp -d /tmp/install-check-XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
root="$scratch/root"
prefix="$root/usr"
app="$prefix/lib/brackenfold-intro"

DESTDIR="$root" cmake --install "$build" --prefix /usr --component program >"$scratch/install.log" 2>&1 ||
  { cat "$scratch/install.log"; echo "FAIL: cmake --install"; exit 1; }

# Every installed path is listed, and every listed path is inside DESTDIR.
sed -n 's/^-- \(Installing\|Up-to-date\): //p' "$scratch/install.log" | sort >"$scratch/listed"
grep -v "^$root/" "$scratch/listed" && fail "paths installed outside DESTDIR (above)"
(find "$root" -mindepth 1 \( -type f -o -type l \) | sort) >"$scratch/found"
comm -13 "$scratch/listed" "$scratch/found" | grep . && fail "installed but not listed (above)"

for p in "${programs[@]}"; do
  link="$prefix/bin/$p"
  [ -L "$link" ] || { fail "$link is not a symbolic link"; continue; }
  [ "$(readlink "$link")" = "../lib/brackenfold-intro/$p" ] || fail "$link points at $(readlink "$link")"
  [ -x "$app/$p" ] && [ ! -L "$app/$p" ] || fail "$app/$p is not the program file"
  # The intro takes no options (it would start); each tool answers --help.
  [ "$p" = brackenfold-intro ] || "$link" --help | grep -q "^usage: $p" || fail "$p --help"
done
for f in ball.png fonti_big.png vulo_font.png wav/tri_64.wav wav/hnoise.wav songs/brackenfold.dat songs/endscroll.dat; do
  [ -f "$app/data/$f" ] || fail "data/$f is not beside the programs"
done
cmp -s <(cd "$app/data" && find . -type f | sort) <(cd "$build/data" && find . -type f | sort) ||
  fail "the installed data/ differs from the build's"

# Man pages: present and rendered by groff without a warning.
for page in man6/brackenfold-intro.6 man1/vumo-compile.1 man1/vumo-decompile.1 man1/vumo-play.1 \
  man1/vumo-trace.1 man1/vumo-render.1 man1/brackenfold-capture.1 man5/vumo-song.5; do
  file="$prefix/share/man/$page"
  [ -f "$file" ] || { fail "missing man page $page"; continue; }
  warnings="$(LC_ALL=C.UTF-8 groff -k -man -Tutf8 -ww -z "$file" 2>&1)"
  [ -z "$warnings" ] || fail "$page renders with warnings: $warnings"
  LC_ALL=C.UTF-8 groff -k -man -Tutf8 -P-cbou "$file" 2>/dev/null | grep -q "SEE ALSO" || fail "$page renders no SEE ALSO"
done

desktop="$prefix/share/applications/brackenfold-intro.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
grep -qx "Exec=brackenfold-intro" "$desktop" || fail "the desktop entry does not start brackenfold-intro"
metainfo="$prefix/share/metainfo/org.brackenfold.intro01.metainfo.xml"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$metainfo" >"$scratch/appstream.log" 2>&1 ||
    { cat "$scratch/appstream.log"; fail "appstreamcli validate"; }
else
  [ -f "$metainfo" ] || fail "missing $metainfo"
fi
for size in 48 128 256; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/brackenfold-intro.png"
  # The PNG header's width and height, big-endian at bytes 16-23.
  dims="$(od -An -tu1 -j16 -N8 "$icon" 2>/dev/null | awk '{print $3*256+$4 "x" $7*256+$8}')"
  [ "$dims" = "${size}x${size}" ] || fail "icon $icon is $dims, not ${size}x${size}"
done

# The tools through their links, from another directory: they find their samples beside the real file.
work="$scratch/elsewhere"
mkdir -p "$work"
cd "$work" || exit 1
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
"$prefix/bin/vumo-compile" "$source_dir/data-src/songs/lowtide.vumo" lowtide.dat || fail "vumo-compile"
"$prefix/bin/vumo-decompile" lowtide.dat lowtide.vumo || fail "vumo-decompile"
"$prefix/bin/vumo-play" --no-sound --seconds 0.5 lowtide.vumo >play.log </dev/null || fail "vumo-play"
grep -q . play.log || fail "vumo-play printed no rows"
"$prefix/bin/vumo-trace" lowtide.dat --ticks 40 >installed.trace || fail "vumo-trace"
"$build/vumo-trace" lowtide.dat --ticks 40 >built.trace
cmp -s installed.trace built.trace || fail "vumo-trace through the link plays other samples than the built one"
grep -q " play .* hnoise.wav " installed.trace || fail "the trace plays no noise sample"
ALSOFT_DRIVERS=null "$prefix/bin/vumo-render" lowtide.dat lowtide.wav --seconds 1 || fail "vumo-render"
[ "$(stat -c %s lowtide.wav 2>/dev/null)" = $((44 + 44100 * 4)) ] || fail "vumo-render wrote no 1 s WAV"

if [ -z "${DISPLAY:-}" ]; then
  echo "FAIL: no DISPLAY for the intro and the capture (run under scripts/with-xvfb)"
  exit 1
fi
"$prefix/bin/brackenfold-capture" --frames 3 --every 2 --out installed >/dev/null 2>&1 || fail "capture through the link"
"$build/brackenfold-capture" --frames 3 --every 2 --out built >/dev/null 2>&1
cmp -s installed/frame_00002.png built/frame_00002.png || fail "the capture through the link drew another picture"

# The intro through its link: the titled 640x480 window, closed like a window manager does: status 0,
# and no asset it could not load.
ALSOFT_DRIVERS=null "$prefix/bin/brackenfold-intro" >intro.log 2>&1 &
intro=$!
found="$("$close_window" "$title" 60)" || fail "no window titled \"$title\""
case "$found" in *" 640x480") ;; *) fail "the window is not 640x480: $found" ;; esac
# The close is handled after start-up and the first frames, slow with software GL on a busy machine.
for _ in $(seq 1 600); do kill -0 $intro 2>/dev/null || break; sleep 0.1; done
if kill -0 $intro 2>/dev/null; then
  kill $intro; fail "the intro did not end after the close message"
fi
wait $intro
status=$?
[ $status -eq 0 ] || fail "the intro ended with status $status"
grep -E "Unable to load|Loading Failed" intro.log && fail "the intro did not find its data (above)"

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "install layout: all checks passed"
