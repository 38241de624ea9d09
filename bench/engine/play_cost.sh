#!/usr/bin/env bash
# CPU cost of playing a 128 kbit/s MP3 station, side by side with mpg123: the local test
# server serves music-like noise (made here with sox and lame) at its real rate, endlessly,
# as a plain audio/mpeg stream to zymradio-play (into the null sink) and to mpg123 (into
# its dummy output) at the same time, and as a Quintrel stream to a second zymradio-play.
# With --before, a zymradio-play of an older build plays the plain stream beside them.
# Each player's CPU seconds while playing are divided by the wall time, over --rounds
# windows of --seconds each after start-up; the figure is the median round, and the ratio
# to mpg123 the median of the rounds' ratios. CPU comes from `perf stat -e task-clock`
# where perf runs (the process's threads, to the microsecond), else from /proc (10 ms
# ticks: use longer windows). Context switches (all threads) and resident memory come
# from /proc, system calls from `strace -c -f` over a further 10 s per player (without
# strace running during the CPU windows).
# Usage: bench/engine/play_cost.sh [BUILD_DIR] [--before OLD_BUILD_DIR] [--seconds N] [--rounds N]
#   (Release builds; each needs tools/zymradio-play/zymradio-play).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build/release
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then build=$1; shift; fi
before="" seconds=20 rounds=3
while [ $# -gt 0 ]; do
  case $1 in
    --before) before=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    *) echo "unknown option $1"; exit 2 ;;
  esac
done
player=$build/tools/zymradio-play/zymradio-play
[ -x "$player" ] || { echo "build $player first (cmake --build $build --target zymradio-play)"; exit 1; }
old_player=""
if [ -n "$before" ]; then
  old_player=$before/tools/zymradio-play/zymradio-play
  [ -x "$old_player" ] || { echo "no zymradio-play in $before"; exit 1; }
fi
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
names=("zymradio-play" "mpg123" "zymradio-play (Quintrel)")
ZYM_AUDIO_OUTPUT=null "$player" "$url/mp3" >/dev/null 2>&1 &
pids+=($!)
mpg123 -q -o dummy "$url/mp3" >/dev/null 2>&1 &
pids+=($!)
ZYM_AUDIO_OUTPUT=null "$player" "$url/qint" >/dev/null 2>&1 &
pids+=($!)
if [ -n "$old_player" ]; then
  ZYM_AUDIO_OUTPUT=null "$old_player" "$url/mp3" >/dev/null 2>&1 &
  pids+=($!)
  names+=("zymradio-play (before)")
fi

# The windows begin after start-up (loading libraries, probing the sound system, the first
# buffering): the cost of playing.
python3 - "$seconds" "$rounds" "${#pids[@]}" "${pids[@]}" "${names[@]}" <<'PY'
import glob, os, shutil, statistics, subprocess, sys, tempfile, time
seconds, rounds, n = float(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
pids = [int(p) for p in sys.argv[4:4 + n]]
names = sys.argv[4 + n:4 + 2 * n]
tick = os.sysconf("SC_CLK_TCK")

def ticks_cpu(pid):
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
    return int(mem["VmRSS"].split()[0]), int(mem["VmHWM"].split()[0])

def perf_works():
    if not shutil.which("perf"):
        return False
    probe = subprocess.run(["perf", "stat", "-x,", "-e", "task-clock", "-p", str(pids[0]), "sleep", "0.1"],
                           capture_output=True, text=True)
    return probe.returncode == 0 and "task-clock" in probe.stderr

def perf_window(pid, out):
    return subprocess.Popen(["perf", "stat", "-x,", "-e", "task-clock", "-o", out, "-p", str(pid),
                             "sleep", str(seconds)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

def perf_seconds(out):
    with open(out) as f:
        for line in f:
            parts = line.split(",")
            if len(parts) > 2 and parts[2].startswith("task-clock"):
                return float(parts[0]) / 1000.0  # msec
    raise RuntimeError("no task-clock in " + out)

use_perf = perf_works()
time.sleep(4)
shares = [[] for _ in pids]
ctx = [0] * len(pids)
wall_total = 0.0
with tempfile.TemporaryDirectory() as tmp:
    for r in range(rounds):
        s0 = [switches(p) for p in pids]
        t0 = time.monotonic()
        if use_perf:
            outs = [os.path.join(tmp, "r%d-%d" % (r, i)) for i in range(len(pids))]
            procs = [perf_window(p, o) for p, o in zip(pids, outs)]
            for proc in procs:
                proc.wait()
            wall = time.monotonic() - t0
            used = [perf_seconds(o) for o in outs]
        else:
            c0 = [ticks_cpu(p) for p in pids]
            time.sleep(seconds)
            wall = time.monotonic() - t0
            used = [ticks_cpu(p) - c for p, c in zip(pids, c0)]
        wall_total += wall
        for i, p in enumerate(pids):
            shares[i].append(100 * used[i] / wall)
            ctx[i] += switches(p) - s0[i]

print("playing a paced 128 kbit/s MP3 stream: %d rounds of %.0f s, CPU from %s (median round)" %
      (rounds, seconds, "perf task-clock" if use_perf else "/proc ticks"))
mpg = names.index("mpg123")
for i, (name, pid) in enumerate(zip(names, pids)):
    rss, peak = memory(pid)
    ratio = ""
    if i != mpg:
        per_round = [a / b for a, b in zip(shares[i], shares[mpg]) if b > 0]
        ratio = "%5.2fx mpg123" % statistics.median(per_round) if per_round else "-"
    print("  %-26s %6.3f %% of one core %-14s %6.1f context switches/s, resident %6d kB (peak %d kB)" % (
        name, statistics.median(shares[i]), ratio, ctx[i] / wall_total, rss, peak))

# System calls over 10 s, one player at a time under strace.
for name, pid in zip(names, pids):
    out = subprocess.run(["timeout", "-s", "INT", "10", "strace", "-c", "-f", "-p", str(pid)],
                         capture_output=True, text=True).stderr
    total = [l for l in out.splitlines() if l.strip().endswith("total")]
    calls = total[0].split()[3] if total else "?"
    print("  %-26s %s system calls in 10 s" % (name, calls))
PY
