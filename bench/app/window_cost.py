#!/usr/bin/env python3
"""The measuring half of bench/app/window_cost.sh (run there, inside its session bus)."""
import argparse
import json
import os
import signal
import struct
import subprocess
import sys
import time
import urllib.request

USER, PASSWORD = "demo", "demo-password"
STATION, PROG = "radio:aggregate:1", "1,1"  # station 1 offers only the MP3 format "mf128"
TICK = os.sysconf("SC_CLK_TCK")


def script(port, body):
    req = urllib.request.Request("http://127.0.0.1:%d/_ctl/script" % port, json.dumps(body).encode(),
                                 {"Content-Type": "application/json"})
    urllib.request.urlopen(req, timeout=10).read()


def set_up_server(port, prefix, stations):
    """Sign-on and directory at prefix; station 1's stream is the paced MP3, endlessly."""
    script(port, {"path": prefix, "kind": "signon", "users": [{"name": USER, "password": PASSWORD}]})
    script(port, {"path": prefix + "svc", "kind": "directory", "play_modes": ["full"], "stations": stations})
    script(port, {"path": prefix + "svcstream/" + PROG, "file": "station.mp3", "repeat": True, "rate": 16000,
                  "piece": 4096, "headers": [["Content-Type", "audio/mpeg"]]})
    return "http://127.0.0.1:%d%s" % (port, prefix)


# ---- processes --------------------------------------------------------------------------------

def children_of():
    kids = {}
    for name in os.listdir("/proc"):
        if name.isdigit():
            try:
                with open("/proc/%s/stat" % name) as f:
                    ppid = int(f.read().rsplit(")", 1)[1].split()[1])
                kids.setdefault(ppid, []).append(int(name))
            except (OSError, ValueError, IndexError):
                pass
    return kids


def tree(pid):
    kids, out, todo = children_of(), [], [pid]
    while todo:
        p = todo.pop()
        out.append(p)
        todo.extend(kids.get(p, []))
    return out


def cpu_seconds(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / TICK
    except OSError:
        return 0.0


def start_time(pid):
    """The process's start on CLOCK_BOOTTIME, in seconds."""
    with open("/proc/%d/stat" % pid) as f:
        return int(f.read().rsplit(")", 1)[1].split()[19]) / TICK


def memory_kb(pids):
    rss = pss = 0
    for p in pids:
        try:
            with open("/proc/%d/smaps_rollup" % p) as f:
                for line in f:
                    if line.startswith("Rss:"):
                        rss += int(line.split()[1])
                    elif line.startswith("Pss:"):
                        pss += int(line.split()[1])
        except OSError:
            pass
    return rss, pss


def tree_cpu(pid):
    return {p: cpu_seconds(p) for p in tree(pid)}


def stop(proc):
    for p in reversed(tree(proc.pid)):
        try:
            os.kill(p, signal.SIGTERM)
        except OSError:
            pass
    try:
        proc.wait(10)
    except subprocess.TimeoutExpired:
        for p in tree(proc.pid):
            try:
                os.kill(p, signal.SIGKILL)
            except OSError:
                pass
        proc.wait()


# ---- first sound ------------------------------------------------------------------------------

def first_sound(path, deadline):
    """CLOCK_BOOTTIME seconds at which the WAV file first holds a non-silent sample (polled
    every 5 ms), or None by the deadline."""
    offset = None
    fmt = bits = 0
    pos = 0
    while time.monotonic() < deadline:
        try:
            with open(path, "rb") as f:
                data = f.read()
        except OSError:
            data = b""
        if offset is None and len(data) >= 44:
            p = 12
            while p + 8 <= len(data):
                cid, size = data[p:p + 4], struct.unpack("<I", data[p + 4:p + 8])[0]
                if cid == b"fmt ":
                    fmt, bits = struct.unpack("<H", data[p + 8:p + 10])[0], struct.unpack("<H", data[p + 22:p + 24])[0]
                    if fmt == 0xFFFE and size >= 26:
                        fmt = struct.unpack("<H", data[p + 32:p + 34])[0]
                if cid == b"data":
                    offset = pos = p + 8
                    break
                p += 8 + size
        if offset is not None:
            width = bits // 8
            end = pos + (len(data) - pos) // width * width
            if fmt == 3:
                samples = struct.unpack("<%df" % ((end - pos) // 4), data[pos:end])
                loud = any(abs(s) >= 1.0 / 32768 for s in samples)
            else:
                samples = struct.unpack("<%dh" % ((end - pos) // 2), data[pos:end])
                loud = any(abs(s) >= 1 for s in samples)
            if loud:
                return time.clock_gettime(time.CLOCK_BOOTTIME)
            pos = end
        time.sleep(0.005)
    return None


# ---- the two programs -------------------------------------------------------------------------

class Zymradio:
    wrap = []  # a command zymradio runs under, for profiling the start (--wrap)

    def __init__(self, binary, work, display, services, name):
        self.binary, self.display = binary, display
        self.home = os.path.join(work, "profile-" + name)
        self.env = dict(os.environ)
        for var in ("XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"):
            self.env[var] = os.path.join(self.home, var)
            os.makedirs(self.env[var], exist_ok=True)
        self.env.update({"DISPLAY": display, "QT_QPA_PLATFORM": "xcb"})
        # The single-instance socket lives there: a zymradio that someone else runs on the
        # same machine (tests, another benchmark) must not take this start for a second copy.
        runtime = os.path.join(work, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        self.env["XDG_RUNTIME_DIR"] = runtime
        if os.geteuid() == 0:
            self.env.setdefault("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox")
        os.makedirs(os.path.join(self.env["XDG_CONFIG_HOME"], "zymradio"), exist_ok=True)
        with open(os.path.join(self.env["XDG_CONFIG_HOME"], "zymradio", "zymradio.conf"), "w") as f:
            f.write("[General]\nservice_url=%s\nscreenname=%s\nplay_at_launch=true\nplaying_station=%s\n"
                    "network_bandwidth_user_prompted=true\nnetwork_bandwidth_limit=15000000\n"
                    % (services, USER, STATION))

    def start(self, wav):
        env = dict(self.env, ZYM_AUDIO_OUTPUT="wav:" + wav)
        return subprocess.Popen(self.wrap + [self.binary], env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)


def mpv_start(url, wav):
    return subprocess.Popen(["mpv", "--no-config", "--no-video", "--really-quiet", "--ao=pcm",
                             "--ao-pcm-file=" + wav, url], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def run(start, wav, measure_seconds, xserver, timeout=90):
    """Start-to-first-sound, and when measure_seconds: CPU % and memory of the tree and the X
    server's CPU % over that many seconds of playing, from 2 s after the first sound."""
    if os.path.exists(wav):
        os.remove(wav)
    proc = start(wav)
    try:
        began = start_time(proc.pid)
        heard = first_sound(wav, time.monotonic() + timeout)
        result = {"first_sound": None if heard is None else heard - began}
        if heard is None or not measure_seconds:
            return result
        time.sleep(2)
        c0, x0, t0 = tree_cpu(proc.pid), cpu_seconds(xserver) if xserver else 0, time.monotonic()
        time.sleep(measure_seconds)
        c1, x1, t1 = tree_cpu(proc.pid), cpu_seconds(xserver) if xserver else 0, time.monotonic()
        used = sum(c1[p] - c0.get(p, 0.0) for p in c1)
        rss, pss = memory_kb(list(c1))
        result.update({"cpu": 100 * used / (t1 - t0), "xcpu": 100 * (x1 - x0) / (t1 - t0), "rss": rss, "pss": pss,
                       "processes": len(c1)})
        return result
    finally:
        stop(proc)


def keyring(zymradio, services):
    """Unlocks a fresh keyring on this session bus and stores the demo password in it."""
    daemon = subprocess.run(["gnome-keyring-daemon", "--unlock", "--components=secrets"], input=b"zymradio",
                            capture_output=True)
    if daemon.returncode != 0:
        sys.exit("gnome-keyring-daemon failed")
    for _ in range(100):
        probe = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                                "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                                "string:org.freedesktop.secrets"], capture_output=True, text=True)
        if "boolean true" in probe.stdout:
            break
        time.sleep(0.1)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    store = subprocess.run([zymradio, "--store-password", USER], input=(PASSWORD + "\n").encode(), env=env,
                           capture_output=True)
    if store.returncode != 0:
        sys.exit("storing the password failed: " + store.stderr.decode(errors="replace"))


def start_xvfb():
    r, w = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(r, 16)
        if not chunk:
            break
        number += chunk
    os.close(r)
    return proc, ":" + number.decode().strip()


def best(values):
    values = [v for v in values if v is not None]
    return min(values) if values else None


def median(values):
    values = sorted(v for v in values if v is not None)
    if not values:
        return None
    mid = len(values) // 2
    return values[mid] if len(values) % 2 else (values[mid - 1] + values[mid]) / 2


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--zymradio", required=True)
    ap.add_argument("--before", help="the zymradio of an older build, measured in the same rounds")
    ap.add_argument("--port", type=int, required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--seconds", type=int, default=30, help="seconds of playing measured per round")
    ap.add_argument("--rounds", type=int, default=3, help="rounds (start-up figures: the best; CPU: the median)")
    ap.add_argument("--stations", type=int, default=5000, help="the large directory's size")
    ap.add_argument("--wrap", default="", help="a command to run zymradio under, e.g. 'strace -f -tt -o FILE'")
    ap.add_argument("--only-start", action="store_true", help="one start without and one with the cache, no more")
    args = ap.parse_args()
    Zymradio.wrap = args.wrap.split()
    zymradio = os.path.abspath(args.zymradio)
    small = set_up_server(args.port, "/bench/", 45)
    large = set_up_server(args.port, "/large/", args.stations)
    stream_url = "http://127.0.0.1:%d/bench/svcstream/%s?fmt=mf128&n=1" % (args.port, PROG)
    keyring(zymradio, small)
    xvfb, display = start_xvfb()
    wav = os.path.join(args.work, "out.wav")
    if args.only_start:
        try:
            z = Zymradio(zymradio, args.work, display, small, "only")
            print("no cache: %s, day's cache: %s" % (run(z.start, wav, 0, xvfb.pid)["first_sound"],
                                                     run(z.start, wav, 0, xvfb.pid)["first_sound"]))
        finally:
            xvfb.terminate()
            xvfb.wait()
        return
    programs = [("zymradio", zymradio)]
    if args.before:
        programs.append(("before", os.path.abspath(args.before)))
    figures = {name: {} for name, _ in programs + [("mpv", None)]}

    def note(name, key, value):
        figures[name].setdefault(key, []).append(value)

    try:
        for k in range(args.rounds):
            # Programs in turn within a round, so that a busier spell of the machine falls on
            # all of them alike.
            for name, binary in programs:
                # A fresh profile: no cache; the next start of the same profile has the day's.
                z = Zymradio(binary, args.work, display, small, "%s-small%d" % (name, k))
                first = run(z.start, wav, args.seconds, xvfb.pid)
                for key in ("cpu", "xcpu", "rss", "pss", "processes"):
                    if key in first:
                        note(name, key, first[key])
                note(name, "cold", first["first_sound"])
                note(name, "warm", run(z.start, wav, 0, xvfb.pid)["first_sound"])
                zl = Zymradio(binary, args.work, display, large, "%s-large%d" % (name, k))
                note(name, "big", run(zl.start, wav, 0, xvfb.pid)["first_sound"])
            m = run(lambda w: mpv_start(stream_url, w), wav, args.seconds, None)
            for key in ("cpu", "rss", "pss", "processes"):
                if key in m:
                    note("mpv", key, m[key])
            note("mpv", "warm", m["first_sound"])
    finally:
        xvfb.terminate()
        xvfb.wait()

    def sec(name, key):
        v = best(figures[name].get(key, []))
        return "%.2f s" % v if v is not None else "no sound" if key in figures[name] else "-"

    def pct(name, key):
        v = median(figures[name].get(key, []))
        return "%.2f %%" % v if v is not None else "-"

    def mb(name, key):
        v = median(figures[name].get(key, []))
        return "%.0f MB" % (v / 1024) if v is not None else "-"

    def count(name, key):
        v = figures[name].get(key)
        return str(max(v)) if v else "-"

    def ratio(name):
        ours, peer = figures[name].get("cpu", []), figures["mpv"].get("cpu", [])
        pairs = [a / b for a, b in zip(ours, peer) if b > 0]
        return "%.2fx" % median(pairs) if pairs else "-"

    rows = [
        ("CPU while playing, process tree, %d s" % args.seconds, lambda n: pct(n, "cpu")),
        ("  the same over mpv's (median of rounds)", lambda n: ratio(n) if n != "mpv" else "-"),
        ("  X server CPU meanwhile", lambda n: pct(n, "xcpu")),
        ("resident memory, tree (RSS)", lambda n: mb(n, "rss")),
        ("proportional memory, tree (PSS)", lambda n: mb(n, "pss")),
        ("processes in the tree", lambda n: count(n, "processes")),
        ("start to first sound, day's cache", lambda n: sec(n, "warm")),
        ("start to first sound, no cache", lambda n: sec(n, "cold")),
        ("same, %d-station directory" % args.stations, lambda n: sec(n, "big")),
    ]
    columns = [name for name, _ in programs] + ["mpv"]
    titles = {"zymradio": "zymradio", "before": "before", "mpv": "mpv --no-video"}
    print("Window program and peer on one paced 128 kbit/s MP3 stream (Xvfb, no ad; %d rounds: CPU the median, "
          "start-up the best)" % args.rounds)
    print("%-42s" % "figure" + "".join("%15s" % titles[c] for c in columns))
    for title, cell in rows:
        print("%-42s" % title + "".join("%15s" % cell(c) for c in columns))


if __name__ == "__main__":
    main()
