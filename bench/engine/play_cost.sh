#!/usr/bin/env bash
# CPU cost of playing a 128 kbit/s MP3 station, side by side with mpg123: the local test
# server serves music-like noise (made here with sox and lame) at its real rate, endlessly,
# as a plain audio/mpeg stream to zymradio-play (into the null sink) and to mpg123 (into
# its dummy output) at the same time, and as a Quintrel stream to a second zymradio-play.
# Each player's CPU time while playing is divided by the wall time; context switches (all
# threads) and resident memory come from /proc, system calls from `strace -c -f` over a
# further 10 s (without strace running during the CPU window).
# Usage: bench/engine/play_cost.sh [BUILD_DIR] (a Release build).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/release}
player=$build/tools/zymradio-play/zymradio-play
[ -x "$player" ] || { echo "build $player first (cmake --build $build --target zymradio-play)"; exit 1; }
command -v mpg123 >/dev/null || { echo "mpg123 is needed (apt-get install mpg123)"; exit 1; }
work=$(mktemp -d)
pids=()
trap 'kill ${pids[*]:-} ${server:-} 2>/dev/null || true; rm -rf "$work"' EXIT
sox -n -r 44100 -c 2 "$work/src.wav" synth 30 pinknoise vol 0.3 2>/dev/null
lame --quiet -b 128 "$work/src.wav" "$work/station.mp3"

python3 tests/server/zymserver.py --port 0 --media "$work" >"$work/server.out" &
server=$!
for _ in $(seq 50); do grep -q '^READY' "$work/server.out" && break; sleep 0.1; done
port=$(awk '/^READY/ {print $2}' "$work/server.out")
python3 - "$port" <<'PY'
import json, sys, urllib.request
port = sys.argv[1]
scripts = [
    {"path": "/bench/mp3", "kind": "http", "headers": [["Content-Type", "audio/mpeg"]],
     "file": "station.mp3", "repeat": True, "rate": 16000, "piece": 4096},
    {"path": "/bench/qint", "kind": "quintrel", "rate": 16000, "piece": 4096, "repeat": True,
     "packets": [{"audio": {"file": "station.mp3"}, "codec": "mp3", "split": 1400}]},
]
urllib.request.urlopen(urllib.request.Request("http://127.0.0.1:%s/_ctl/script" % port,
                       json.dumps(scripts).encode(), {"Content-Type": "application/json"})).read()
PY
url=http://127.0.0.1:$port/bench
ZYM_AUDIO_OUTPUT=null "$player" "$url/mp3" >/dev/null 2>&1 &
pids+=($!)
mpg123 -q -o dummy "$url/mp3" >/dev/null 2>&1 &
pids+=($!)
ZYM_AUDIO_OUTPUT=null "$player" "$url/qint" >/dev/null 2>&1 &
pids+=($!)

# CPU time and context switches are sampled after start-up (loading libraries, probing
# the sound system, the first buffering) and again 25 s later: the cost of playing.
python3 - "${pids[@]}" <<'PY'
import glob, os, subprocess, sys, time
pids = [int(p) for p in sys.argv[1:]]
names = ["zymradio-play", "mpg123", "zymradio-play (Quintrel)"]
tick = os.sysconf("SC_CLK_TCK")

def cpu(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / tick

def switches(pid):
    total = 0
    for status in glob.glob("/proc/%d/task/*/status" % pid):
        try:
            with open(status) as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total

def memory(pid):
    with open("/proc/%d/status" % pid) as f:
        mem = dict(line.split(":", 1) for line in f if ":" in line)
    return mem["VmRSS"].strip(), mem["VmHWM"].strip()

time.sleep(4)
start = [(cpu(p), switches(p)) for p in pids]
t0 = time.monotonic()
time.sleep(25)
wall = time.monotonic() - t0
share = []
print("playing a paced 128 kbit/s MP3 stream, %.1f s:" % wall)
for name, pid, (c0, s0) in zip(names, pids, start):
    used = cpu(pid) - c0
    share.append(100 * used / wall)
    rss, peak = memory(pid)
    print("  %-26s %5.2f %% of one core, %5d context switches, resident %s (peak %s)" % (
        name, share[-1], switches(pid) - s0, rss, peak))
if share[1] > 0:
    print("  zymradio-play / mpg123: %.2fx CPU" % (share[0] / share[1]))

# System calls over 10 s, one player at a time under strace.
for name, pid in zip(names, pids):
    out = subprocess.run(["timeout", "-s", "INT", "10", "strace", "-c", "-f", "-p", str(pid)],
                         capture_output=True, text=True).stderr
    total = [l for l in out.splitlines() if l.strip().endswith("total")]
    calls = total[0].split()[3] if total else "?"
    print("  %-26s %s system calls in 10 s" % (name, calls))
PY
