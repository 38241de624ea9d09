#!/usr/bin/env python3
"""Scripts a running zymserver with the demo set-up: the demo user's sign-on at /demo/ and
the radio directory (every station listed) at its discovered endpoint /demo/svc.

    python3 tests/server/demo.py PORT   # prints the services URL
"""
import json
import sys
import urllib.request

DEMO_USER = "demo"
DEMO_PASSWORD = "demo-password"
PREFIX = "/demo/"


def script(port, body):
    req = urllib.request.Request("http://127.0.0.1:%d/_ctl/script" % port, json.dumps(body).encode(),
                                 {"Content-Type": "application/json"})
    urllib.request.urlopen(req, timeout=10).read()


def main():
    port = int(sys.argv[1])
    script(port, {"path": PREFIX, "kind": "signon", "users": [{"name": DEMO_USER, "password": DEMO_PASSWORD}]})
    script(port, {"path": PREFIX + "svc", "kind": "directory", "play_modes": ["full"]})
    print("http://127.0.0.1:%d%s" % (port, PREFIX))


if __name__ == "__main__":
    main()
