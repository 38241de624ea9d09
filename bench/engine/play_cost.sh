#!/usr/bin/env bash
# CPU cost of playing a 128 kbit/s MP3 station: the local test server serves 30 s of
# music-like noise (made here with sox and lame) at its real rate as a Quintrel stream,
# zymradio-play plays it into the null sink, and the player's CPU time while playing is
# divided by the wall time; its resident memory is read at the end.
# Usage: bench/engine/play_cost.sh [BUILD_DIR] (a Release build).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/release}
player=$build/tools/zymradio-play/zymradio-play
[ -x "$player" ] || { echo "build $player first (cmake --build $build --target zymradio-play)"; exit 1; }
work=$(mktemp -d)
trap 'kill ${server:-0} 2>/dev/null || true; rm -rf "$work"' EXIT
sox -n -r 44100 -c 2 "$work/src.wav" synth 30 pinknoise vol 0.3 2>/dev/null
lame --quiet -b 128 "$work/src.wav" "$work/station.mp3"

python3 tests/server/zymserver.py --port 0 --media "$work" >"$work/server.out" &
server=$!
for _ in $(seq 50); do grep -q '^READY' "$work/server.out" && break; sleep 0.1; done
port=$(awk '/^READY/ {print $2}' "$work/server.out")
python3 - "$port" <<'PY'
import json, sys, urllib.request
port = sys.argv[1]
station = {"path": "/bench", "kind": "quintrel", "rate": 16000, "piece": 4096,
           "packets": [{"audio": {"file": "station.mp3"}, "codec": "mp3", "split": 1400}]}
urllib.request.urlopen(urllib.request.Request("http://127.0.0.1:%s/_ctl/script" % port,
                       json.dumps(station).encode(), {"Content-Type": "application/json"})).read()
PY
# The player's CPU time is sampled from /proc after start-up (loading libraries, probing
# the sound system) and again 25 s later, so the figure is the cost of playing.
ZYM_AUDIO_OUTPUT=null "$player" "http://127.0.0.1:$port/bench" >/dev/null 2>&1 &
pid=$!
python3 - "$pid" <<'PY'
import os, sys, time
pid = int(sys.argv[1])
tick = os.sysconf("SC_CLK_TCK")
def cpu():
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / tick
time.sleep(4)
c0, t0 = cpu(), time.monotonic()
time.sleep(25)
c1, t1 = cpu(), time.monotonic()
with open("/proc/%d/status" % pid) as f:
    mem = dict(line.split(":", 1) for line in f if ":" in line)
print("playing: %.2f s of CPU in %.1f s = %.2f %% of one core; resident %s, peak %s" % (
    c1 - c0, t1 - t0, 100 * (c1 - c0) / (t1 - t0), mem["VmRSS"].strip(), mem["VmHWM"].strip()))
PY
wait $pid || true
