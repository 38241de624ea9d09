#!/usr/bin/python3
"""Derive the MPEG audio bit-rate table (kbit/s per version, layer and index) as data.

The checked table folder has no bit-rate table, so it is read off two independent black
boxes that describe a crafted 4-byte header: the Debian tag library mutagen (package
python3-mutagen, through its public MPEGFrame API) and libmagic's `file`, which must agree
wherever `file` recognises the header (it does not for MPEG-1 Layer I). The result is
written to mpeg_audio_bitrates.csv beside this script and committed; mpeg_audio.py
cross-checks it against the MPEG-1 Layer II rates of the checked data.

Run:  /usr/bin/python3 tools/gentables/derive_mpeg_bitrates.py
"""
import io
import os
import re
import subprocess
import tempfile

from mutagen.mp3 import MPEGFrame

HERE = os.path.dirname(os.path.abspath(__file__))
VERSION_BITS = {0: 0b11, 1: 0b10}  # our version number -> header bits 20..19
LAYER_BITS = {1: 0b11, 2: 0b10, 3: 0b01}


def header(version, layer, index):
    b1 = 0xE0 | (VERSION_BITS[version] << 3) | (LAYER_BITS[layer] << 1) | 1  # no CRC
    return bytes([0xFF, b1, index << 4, 0xC0]) + bytes(4000)  # single channel


def by_mutagen(version, layer, index):
    return MPEGFrame(io.BytesIO(header(version, layer, index))).bitrate // 1000


def by_libmagic(version, layer, index):
    with tempfile.NamedTemporaryFile(suffix='.bin') as f:
        f.write(header(version, layer, index))
        f.flush()
        out = subprocess.run(['file', '-b', f.name], capture_output=True, text=True).stdout
    m = re.search(r'MPEG ADTS, layer I+, v\S+\s+(\d+) kbps', out)
    return int(m.group(1)) if m else None


def main():
    rows = []
    for version in (0, 1):  # MPEG-2.5 shares the MPEG-2 table
        for layer in (1, 2, 3):
            rates = []
            for index in range(1, 15):
                rate = by_mutagen(version, layer, index)
                other = by_libmagic(version, layer, index)
                if other is not None and other != rate:
                    raise SystemExit('sources disagree: version %d layer %d index %d: %d / %d'
                                     % (version, layer, index, rate, other))
                rates.append(rate)
            rows.append([version, layer] + rates)
    with open(os.path.join(HERE, 'mpeg_audio_bitrates.csv'), 'w') as f:
        f.write('# MPEG audio bit rates in kbit/s: version (0 MPEG-1, 1 MPEG-2 and 2.5),layer,'
                'bit-rate index 1..14 (made by derive_mpeg_bitrates.py)\n')
        for r in rows:
            f.write(','.join(str(v) for v in r) + '\n')


if __name__ == '__main__':
    main()
