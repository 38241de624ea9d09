#!/usr/bin/env bash
# The window program beside a peer: zymradio (its window on an Xvfb display, no ad
# configured, signed on to the local test server) and `mpv --no-video` play the same
# 128 kbit/s MP3 stream, paced at its real rate, and the figures are printed side by side:
# CPU of one core over N seconds of playing (the whole process tree, and the X server's
# besides), resident memory of the tree (RSS and PSS), and process start to first sound
# (zymradio without and with the day's cache, and with a 5,000-station directory).
# First sound is the first non-silent sample each program writes into its WAV output.
# With --before, the zymradio of an older build is measured in the same rounds, in its own
# column.
#
# Usage: bench/app/window_cost.sh [BUILD_DIR] [--before OLD_BUILD_DIR] [--seconds N] [--rounds N]
#          [--stations N]
#   BUILD_DIR: a Release build with zymradio (default build/bench). Needs Xvfb, mpv, sox,
#   lame, dbus-run-session and gnome-keyring-daemon (scripts/setup installs all but mpv;
#   this script installs mpv with apt-get when it is missing and it runs as root).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build/bench
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then build=$1; shift; fi
zymradio=$build/src/app/zymradio
[ -x "$zymradio" ] || { echo "build $zymradio first (cmake --build $build --target zymradio)"; exit 1; }
args=()
while [ $# -gt 0 ]; do
  if [ "$1" = --before ]; then
    [ -x "$2/src/app/zymradio" ] || { echo "no zymradio in $2"; exit 1; }
    args+=(--before "$(cd "$2" && pwd)/src/app/zymradio")
    shift 2
  else
    args+=("$1")
    shift
  fi
done
if ! command -v mpv >/dev/null; then
  if [ "$(id -u)" -eq 0 ]; then apt-get install -y --no-install-recommends mpv >/dev/null; fi
  command -v mpv >/dev/null || { echo "window_cost.sh needs mpv (apt-get install mpv)"; exit 1; }
fi
for tool in Xvfb sox lame dbus-run-session gnome-keyring-daemon; do
  command -v "$tool" >/dev/null || { echo "window_cost.sh needs $tool"; exit 1; }
done

work=$(mktemp -d)
trap 'kill ${server:-0} 2>/dev/null || true; rm -rf "$work"' EXIT
sox -n -r 44100 -c 2 "$work/src.wav" synth 60 pinknoise vol 0.3 2>/dev/null
lame --quiet -b 128 "$work/src.wav" "$work/station.mp3"
python3 tests/server/zymserver.py --port 0 --media "$work" >"$work/server.out" 2>"$work/server.err" &
server=$!
for _ in $(seq 100); do grep -q '^READY' "$work/server.out" && break; sleep 0.1; done
port=$(awk '/^READY/ {print $2}' "$work/server.out")
[ -n "$port" ] || { echo "the test server did not start"; exit 1; }
# One session bus and keyring for every run; the keyring's files live in the work folder.
mkdir -p "$work/home/data"
HOME=$work/home XDG_DATA_HOME=$work/home/data dbus-run-session -- \
  python3 bench/app/window_cost.py --zymradio "$zymradio" --port "$port" --work "$work" "${args[@]}" \
  2> >(grep -v "fd limit" >&2)
