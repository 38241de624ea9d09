#!/usr/bin/env python3
"""Scripts a running zymserver with the demo set-up: the demo user's sign-on at /demo/, the
radio directory (every station listed) at its discovered endpoint /demo/svc, and for the
VLB station radio:aggregate:99 a Quintrel stream carrying two tracks' metadata; the MP3
station radio:aggregate:9 plays without end, at a listener's pace; the VLB station
radio:aggregate:27 carries the same two tracks sent ahead of their playing.

    python3 tests/server/demo.py PORT   # prints the services URL
"""
import base64
import json
import os
import sys
import urllib.request

DEMO_USER = "demo"
DEMO_PASSWORD = "demo-password"
PREFIX = "/demo/"
METADATA_STATION = "radio:aggregate:99"
ENDLESS_STATION = "radio:aggregate:9"
SWAP_STATION = "radio:aggregate:27"
TRACKS = [("ZYM Test Tones", "Rising Chirp", "Demo Sessions"), ("The Loopbacks", "Second Song", "Localhost")]


def song_xml(artist, song, album, length_ms):
    return ("<metadata><song><name>%s</name><artist>%s</artist><album>%s</album><length>%d</length></song>"
            "</metadata>" % (song, artist, album, length_ms))


def metadata_stream(copies_of=lambda k: 3 - k, rate=6000):
    """The Quintrel stream of the metadata station: each track's document, then its audio
    (`copies_of(k)` copies of the fixture for track k), sent at `rate` bytes a second."""
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "..", "data", "vlb", "stereo44k.aac"), "rb") as f:
        audio = f.read()
    packets = []
    for k, (artist, song, album) in enumerate(TRACKS):
        copies = copies_of(k)  # the first track outlasts the buffering
        packets.append({"xml": song_xml(artist, song, album, 2500 * copies), "parts": 1, "id": k + 1})
        packets.append({"timing": [len(audio) * copies, 0]})
        for _ in range(copies):
            packets.append({"audio": {"body_b64": base64.b64encode(audio).decode("ascii")}, "codec": "vlb",
                            "split": 1000})
    return {"kind": "quintrel", "packets": packets, "avg_bitrate": 48000, "rate": rate}


def script(port, body):
    req = urllib.request.Request("http://127.0.0.1:%d/_ctl/script" % port, json.dumps(body).encode(),
                                 {"Content-Type": "application/json"})
    urllib.request.urlopen(req, timeout=10).read()


def main():
    port = int(sys.argv[1])
    script(port, {"path": PREFIX, "kind": "signon", "users": [{"name": DEMO_USER, "password": DEMO_PASSWORD}]})
    script(port, {"path": PREFIX + "svc", "kind": "directory", "play_modes": ["full"]})
    # The station's URLs are "<directory>stream/99,1?...": a longer path wins over the directory's own.
    stream = metadata_stream()
    stream["path"] = PREFIX + "svcstream/99,"
    script(port, stream)
    # The same two tracks on the VLB station 27 (12.5 s and 20 s), sent at eight times the
    # pace they play: the second document is in while the first track still plays, its swap
    # pending for seconds.
    ahead = metadata_stream(lambda k: 5 if k == 0 else 8, 48000)
    ahead["path"] = PREFIX + "svcstream/27,"
    script(port, ahead)
    # A station that outlasts any journey: the MP3 chirp over and over, a little faster than
    # it plays so the player's buffer stays full.
    script(port, {"path": PREFIX + "svcstream/9,", "kind": "http", "headers": [["Content-Type", "audio/mpeg"]],
                  "file": "chirp-64k.mp3", "repeat": True, "rate": 10000, "piece": 1000})
    print("http://127.0.0.1:%d%s" % (port, PREFIX))


if __name__ == "__main__":
    main()
