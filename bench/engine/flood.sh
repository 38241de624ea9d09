#!/usr/bin/env bash
# Hostile streams against zymradio-play: the test server sends, as fast as the player reads,
# (1) a Quintrel stream of metadata packets only, (2) the same with one short MP3 packet
# after every 200 tracks' documents (so that it plays), (3) random bytes as audio/mpeg.
# Each runs for up to 20 s: the peak resident size, how the player ended (by itself, with
# the error it printed, or still playing) and, when still playing, how long Ctrl-C took.
# Usage: bench/engine/flood.sh [BUILD_DIR] (a Release build).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/release}
player=$build/tools/zymradio-play/zymradio-play
[ -x "$player" ] || { echo "build $player first (cmake --build $build --target zymradio-play)"; exit 1; }
work=$(mktemp -d)
trap 'kill ${server:-} 2>/dev/null || true; rm -rf "$work"' EXIT
python3 tests/server/zymserver.py --port 0 >"$work/server.out" &
server=$!
for _ in $(seq 50); do grep -q '^READY' "$work/server.out" && break; sleep 0.1; done
port=$(awk '/^READY/ {print $2}' "$work/server.out")
python3 - "$port" "$player" <<'PY'
import json, os, signal, subprocess, sys, threading, time, urllib.request
port, player = sys.argv[1], sys.argv[2]
scripts = [
    {"path": "/flood/meta", "kind": "metadata_flood"},
    {"path": "/flood/mixed", "kind": "metadata_flood", "doc_bytes": 300,
     "audio": {"file": "chirp-64k.mp3"}, "audio_every": 200},
    {"path": "/flood/garbage", "kind": "garbage"},
]
urllib.request.urlopen(urllib.request.Request("http://127.0.0.1:%s/_ctl/script" % port,
                       json.dumps(scripts).encode(), {"Content-Type": "application/json"})).read()

def peak_kb(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0

for name, path in (("metadata only", "meta"), ("metadata + some audio", "mixed"), ("random bytes", "garbage")):
    env = dict(os.environ, ZYM_AUDIO_OUTPUT="null")
    started = time.monotonic()
    proc = subprocess.Popen([player, "http://127.0.0.1:%s/flood/%s" % (port, path)], env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    # The lines that are not per document (those are the flood itself).
    lines = []
    def keep():
        for line in proc.stdout:
            if not line.startswith(("metadata", "progress")):
                lines.append(line.strip())
    reader = threading.Thread(target=keep, daemon=True)
    reader.start()
    peak = 0
    while proc.poll() is None and time.monotonic() - started < 20:
        peak = max(peak, peak_kb(proc.pid))
        time.sleep(0.1)
    if proc.poll() is None:
        peak = max(peak, peak_kb(proc.pid))
        t = time.monotonic()
        proc.send_signal(signal.SIGINT)
        try:
            proc.wait(10)
            ended = "still playing at 20 s; Ctrl-C ended it in %.2f s" % (time.monotonic() - t)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            ended = "still playing at 20 s; Ctrl-C did NOT end it within 10 s (killed)"
    else:
        errors = [l for l in lines if l.startswith("error")]
        ended = "ended by itself after %.2f s (%s)" % (time.monotonic() - started,
                                                        errors[0] if errors else "exit %d" % proc.returncode)
    reader.join(1)
    print("%-22s peak resident %7.1f MB; %s" % (name + ":", peak / 1024.0, ended))
PY
