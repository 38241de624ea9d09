#!/usr/bin/env python3
"""Layer III decoding speed: our decoder next to ffmpeg's MP3 decoder and mpg123.

Usage: bench/mp3-layer3/layer3_bench.py [--tool PATH] [--repeat N]

Makes a 60 s stereo source (tones, noise, transients), encodes it with lame at 128 kbit/s
joint stereo and at 320 kbit/s (each file then holds that stream --loops times, so that the
external decoders' start-up weighs little), then decodes each file N times (default 5) with
  ours    build-bench/bench/mp3-layer3/mp3_layer3_decode (a Release build without sanitizers)
  ffmpeg  ffmpeg -c:a mp3float ... -f null -   (and the fixed-point "mp3" decoder)
  mpg123  mpg123 -q -s > /dev/null
and prints the smallest CPU time (user + system) of the N runs of each, and ours relative
to the others. Each external decoder's start-up cost is measured on a 6-frame file and
subtracted; ours is timed inside the process, around the decoding only.
Build the tool with:
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release
  cmake --build build-bench -j4 --target mp3_layer3_decode
The synthesis filter alone has a Google Benchmark beside it: target mp3_synthesis_bench.
"""
import argparse
import math
import os
import random
import resource
import struct
import subprocess
import sys
import tempfile
import wave

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..'))


def make_source(path, seconds=60, rate=44100):
    rnd = random.Random(1)
    frames = bytearray()
    two_pi = 2 * math.pi
    for i in range(seconds * rate):
        t = i / rate
        since = t % 0.4
        burst = math.exp(-since * 120) * rnd.uniform(-0.6, 0.6) if since < 0.05 else 0.0
        sweep = 0.1 * math.sin(two_pi * (200 + 50 * t) * t)
        left = 0.3 * math.sin(two_pi * 440 * t) + sweep + 0.03 * rnd.uniform(-1, 1) + burst
        right = 0.25 * math.sin(two_pi * 660 * t) + 0.1 * math.sin(two_pi * 5000 * t) + 0.03 * rnd.uniform(-1, 1) + 0.8 * burst
        frames += struct.pack('<hh', int(max(-1, min(1, left)) * 32767), int(max(-1, min(1, right)) * 32767))
    with wave.open(path, 'wb') as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(frames))


def cpu_of(cmd, repeat):
    """Smallest CPU time (user + sys) of `repeat` runs of cmd: the least disturbed run."""
    best = float('inf')
    for _ in range(repeat):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        best = min(best, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime))
    return best


def ours(tool, path, repeat):
    best = float('inf')
    for _ in range(repeat):
        out = subprocess.run([tool, path], check=True, capture_output=True, text=True).stdout
        best = min(best, float(out.split()[0].split('=')[1]))
    return best


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--tool', default=os.path.join(ROOT, 'build-bench', 'bench', 'mp3-layer3', 'mp3_layer3_decode'))
    ap.add_argument('--repeat', type=int, default=5)
    ap.add_argument('--loops', type=int, default=5, help='the 60 s stream is repeated this often in the file decoded')
    args = ap.parse_args()
    if not os.path.exists(args.tool):
        sys.exit('decoder tool not found: ' + args.tool + ' (see --help)')
    with tempfile.TemporaryDirectory(prefix='l3bench') as tmp:
        run(args, tmp)


def run(args, tmp):
    src = os.path.join(tmp, 'src.wav')
    make_source(src)
    files = {}
    for name, opts in (('128k joint stereo', ['-m', 'j', '-b', '128']), ('320k', ['-b', '320'])):
        path = os.path.join(tmp, name.split()[0] + '.mp3')
        subprocess.run(['lame', '--quiet', '-t'] + opts + [src, path], check=True)
        with open(path, 'rb') as f:
            once = f.read()
        with open(path, 'wb') as f:
            f.write(once * args.loops)
        files[name] = path
    # One-frame file to measure the external decoders' start-up cost.
    with open(files['128k joint stereo'], 'rb') as f:
        head = f.read(418 * 6)
    tiny = os.path.join(tmp, 'tiny.mp3')
    with open(tiny, 'wb') as f:
        f.write(head)

    ext = {
        'ffmpeg mp3float': lambda p: ['ffmpeg', '-nostdin', '-v', 'error', '-threads', '1', '-c:a', 'mp3float', '-i', p, '-f', 'null', '-'],
        'ffmpeg mp3 (fixed)': lambda p: ['ffmpeg', '-nostdin', '-v', 'error', '-threads', '1', '-c:a', 'mp3', '-i', p, '-f', 'null', '-'],
        'mpg123': lambda p: ['mpg123', '-q', '-s', p],
    }
    startup = {k: cpu_of(v(tiny), args.repeat) for k, v in ext.items()}
    print(f'CPU seconds per 60 s of audio (files of {args.loops} x 60 s, best of {args.repeat} runs)')
    print(f'{"file":20} {"decoder":20} {"cpu s":>8} {"ours/this":>10}')
    for name, path in files.items():
        mine = ours(args.tool, path, args.repeat) / args.loops
        print(f'{name:20} {"ours":20} {mine:8.3f} {1.0:10.2f}')
        for k, v in ext.items():
            t = max(1e-6, cpu_of(v(path), args.repeat) - startup[k]) / args.loops
            print(f'{name:20} {k:20} {t:8.3f} {mine / t:10.2f}')


if __name__ == '__main__':
    main()
