#!/usr/bin/env python3
"""ZYM Radio local test server (Python 3 standard library only).

Listens on 127.0.0.1, prints "READY <port>" once it accepts connections, and answers
every path from a script that the tests install over the control endpoints:

  POST /_ctl/script            JSON object (or list of them): one script per path
  GET  /_ctl/requests?prefix=P JSON list of the recorded requests whose path starts with P
  POST /_ctl/reset             forget every script and recorded request
  POST /_ctl/tls               {"variant": V}: a TLS listener serving the same scripts

A script is {"path": "/p/x", "kind": "<handler kind>", ...}. The request goes to the
script with the longest path that is a prefix of the request's path ("exact": true
makes a script match its path only). Handler kinds live in the HANDLERS registry; a new
kind is one function decorated with @handler("name"). See README.md beside this file.
"""

import argparse
import base64
import json
import os
import select
import socket
import shutil
import socketserver
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
from http.server import BaseHTTPRequestHandler
from urllib.parse import parse_qs, urlsplit

HANDLERS = {}
MAX_HOLD_SECONDS = 120.0


def handler(kind):
    def register(fn):
        HANDLERS[kind] = fn
        return fn
    return register


class State:
    def __init__(self, media_dir):
        self.lock = threading.Lock()
        self.scripts = {}
        self.requests = []
        self.media_dir = media_dir
        self.stopping = threading.Event()

    def install(self, script):
        if not isinstance(script, dict) or not isinstance(script.get("path"), str):
            raise ValueError("a script needs a string 'path'")
        kind = script.get("kind", "http")
        if kind not in HANDLERS:
            raise ValueError("unknown kind %r" % kind)
        with self.lock:
            self.scripts[script["path"]] = script

    def find(self, path):
        with self.lock:
            best = None
            for key, script in self.scripts.items():
                if script.get("exact") and key != path:
                    continue
                if path.startswith(key) and (best is None or len(key) > len(best[0])):
                    best = (key, script)
            return best[1] if best else None

    def record(self, entry):
        with self.lock:
            self.requests.append(entry)

    def recorded(self, prefix):
        with self.lock:
            return [r for r in self.requests if r["path"].startswith(prefix)]

    def reset(self):
        with self.lock:
            self.scripts.clear()
            self.requests.clear()


# TLS listeners made on demand. Certificates are made at run time with the openssl tool:
# one test CA per server, and a leaf per variant.
TLS_VARIANTS = {
    # variant: (subjectAltName, start date, end date, signed by the CA)
    "valid": ("IP:127.0.0.1,DNS:localhost", None, None, True),
    "expired": ("IP:127.0.0.1,DNS:localhost", "20200101000000Z", "20200201000000Z", True),
    "notyetvalid": ("IP:127.0.0.1,DNS:localhost", "20990101000000Z", "20991231000000Z", True),
    "wronghost": ("DNS:other.example", None, None, True),
    "selfsigned": ("IP:127.0.0.1,DNS:localhost", None, None, False),
}

CA_CONFIG = """
[ ca ]
default_ca = test_ca
[ test_ca ]
dir = .
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
default_days = 365
policy = any_name
x509_extensions = leaf
unique_subject = no
[ any_name ]
commonName = supplied
[ leaf ]
basicConstraints = CA:FALSE
subjectAltName = ${ENV::ZYM_SAN}
"""


class Tls:
    def __init__(self, state):
        self.state = state
        self.lock = threading.Lock()
        self.dir = None
        self.listeners = {}

    def _openssl(self, *args, env=None):
        subprocess.run(["openssl"] + list(args), cwd=self.dir, check=True, env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def _ensure_ca(self):
        if self.dir:
            return
        self.dir = tempfile.mkdtemp(prefix="zymserver-tls-")
        with open(os.path.join(self.dir, "ca.cnf"), "w") as f:
            f.write(CA_CONFIG)
        self._openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                      "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "3650",
                      "-subj", "/CN=ZYM Radio Test CA",
                      "-addext", "basicConstraints=critical,CA:TRUE",
                      "-addext", "keyUsage=critical,keyCertSign,cRLSign")

    def _leaf(self, variant):
        san, start, end, signed = TLS_VARIANTS[variant]
        key, pem = variant + ".key", variant + ".pem"
        ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key]
        if not signed:
            self._openssl("req", "-x509", *ec, "-out", pem, "-days", "365", "-subj", "/CN=127.0.0.1",
                          "-addext", "subjectAltName=" + san)
            return pem, key
        open(os.path.join(self.dir, "index.txt"), "a").close()
        serial = os.path.join(self.dir, "serial")
        if not os.path.exists(serial):
            with open(serial, "w") as f:
                f.write("1000\n")
        self._openssl("req", *ec, "-out", variant + ".csr", "-subj", "/CN=127.0.0.1")
        dates = []
        if start:
            dates = ["-startdate", start, "-enddate", end]
        env = dict(os.environ, ZYM_SAN=san)
        self._openssl("ca", "-batch", "-config", "ca.cnf", "-cert", "ca.pem", "-keyfile", "ca.key",
                      "-in", variant + ".csr", "-out", pem, "-notext", *dates, env=env)
        return pem, key

    def listener(self, variant):
        """Starts (once) the TLS listener of a variant; returns its port and the CA file."""
        if variant not in TLS_VARIANTS:
            raise ValueError("unknown TLS variant %r" % variant)
        with self.lock:
            self._ensure_ca()
            if variant not in self.listeners:
                pem, key = self._leaf(variant)
                context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
                context.load_cert_chain(os.path.join(self.dir, pem), os.path.join(self.dir, key))
                server = TlsServer(("127.0.0.1", 0), Handler, context)
                server.state = self.state
                server.verbose = False
                server.tls = self
                threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2},
                                 daemon=True).start()
                self.listeners[variant] = server
            return self.listeners[variant].server_address[1], os.path.join(self.dir, "ca.pem")

    def close(self):
        with self.lock:
            for server in self.listeners.values():
                server.shutdown()
                server.server_close()
            if self.dir:
                shutil.rmtree(self.dir, ignore_errors=True)


class Conn:
    """The raw connection of one request, with the fault helpers every handler shares."""

    def __init__(self, req, state):
        self.req = req
        self.sock = req.connection
        self.state = state

    def send(self, data):
        if data:
            self.sock.sendall(data)

    def hold(self, seconds=MAX_HOLD_SECONDS):
        """Keeps the connection open, sending nothing, until the client goes away."""
        end = time.monotonic() + seconds
        self.sock.setblocking(True)
        while time.monotonic() < end and not self.state.stopping.is_set():
            readable, _, _ = select.select([self.sock], [], [], 0.1)
            if readable:
                try:
                    if not self.sock.recv(4096):
                        return
                except OSError:
                    return

    def reset(self):
        """Drops the connection with a TCP reset instead of an orderly close."""
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.sock.close()
        self.req.close_connection = True

    def head(self, script, status_line, headers):
        lines = [status_line] + ["%s: %s" % (k, v) for k, v in headers]
        self.send(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1"))


def body_bytes(script, state):
    if "body_b64" in script:
        return base64.b64decode(script["body_b64"])
    if "body" in script:
        return script["body"].encode("utf-8")
    if "file" in script:
        name = os.path.normpath(script["file"])
        if name.startswith("..") or os.path.isabs(name):
            raise ValueError("file outside the media folder")
        with open(os.path.join(state.media_dir, name), "rb") as f:
            return f.read()
    if "size" in script:
        n = int(script["size"])
        period = bytes((i * 7 + 3) & 0xFF for i in range(256))  # the pattern repeats every 256
        return (period * (n // 256 + 1))[:n]
    return b""


def body_pieces(script, body):
    """Yields the body in the pieces to send (endless with "repeat")."""
    piece = int(script.get("piece", 4096))
    trickle = script.get("trickle")
    if trickle:
        piece = int(trickle.get("bytes", 1))
    while True:
        for i in range(0, len(body), max(1, piece)):
            yield body[i:i + piece]
        if not script.get("repeat") or not body:
            return


@handler("http")
def serve_http(conn, script):
    """A plain HTTP answer with optional faults.

    Keys: status (200), reason, status_line (raw, e.g. "ICY 200 OK"), no_status (send the
    body only, as HTTP/0.9), headers [[name, value]...], body | body_b64 | file | size,
    repeat (loop the body forever), content_length (true by default for a finite
    unchunked body; a number declares that length whatever is sent), chunked, piece
    (bytes per write), rate (bytes per second), delay_ms (before answering), and the
    faults: silent, stall_after_headers, stall_after (N body bytes), trickle {bytes,
    interval_ms}, close_after (N body bytes), reset_after (N body bytes; -1 resets
    before anything is sent).
    """
    state = conn.state
    body = body_bytes(script, state)
    if script.get("delay_ms"):
        time.sleep(script["delay_ms"] / 1000.0)
    if script.get("silent"):
        conn.hold()
        return
    if script.get("reset_after") == -1:
        conn.reset()
        return

    chunked = bool(script.get("chunked"))
    headers = [tuple(h) for h in script.get("headers", [])]
    declared = script.get("content_length", not chunked and not script.get("repeat")
                          and not script.get("stall_after_headers"))
    if declared is True:
        headers.append(("Content-Length", str(len(body))))
    elif isinstance(declared, int) and not isinstance(declared, bool):
        headers.append(("Content-Length", str(declared)))
    if chunked:
        headers.append(("Transfer-Encoding", "chunked"))

    if not script.get("no_status"):
        status_line = script.get("status_line") or "HTTP/1.1 %d %s" % (
            int(script.get("status", 200)), script.get("reason", "OK"))
        conn.head(script, status_line, headers)
    if script.get("stall_after_headers"):
        conn.hold()
        return

    trickle = script.get("trickle") or {}
    interval = trickle.get("interval_ms", 0) / 1000.0
    rate = float(script.get("rate", 0))
    stall_after = script.get("stall_after")
    close_after = script.get("close_after")
    reset_after = script.get("reset_after")
    sent = 0
    started = time.monotonic()
    for piece in body_pieces(script, body):
        if state.stopping.is_set():
            return
        for limit, action in ((stall_after, "stall"), (close_after, "close"), (reset_after, "reset")):
            if limit is not None and sent + len(piece) >= limit:
                piece = piece[:limit - sent]
                conn.send(wrap_chunk(piece, chunked))
                if action == "stall":
                    conn.hold()
                elif action == "reset":
                    conn.reset()
                return  # "close": the handler's return closes the socket
        conn.send(wrap_chunk(piece, chunked))
        sent += len(piece)
        if interval:
            time.sleep(interval)
        if rate:
            ahead = sent / rate - (time.monotonic() - started)
            if ahead > 0:
                time.sleep(ahead)
    if chunked:
        conn.send(b"0\r\n\r\n")


def wrap_chunk(piece, chunked):
    if not chunked or not piece:
        return piece
    return b"%x\r\n" % len(piece) + piece + b"\r\n"


@handler("redirect")
def serve_redirect(conn, script):
    """A redirect: keys to (the Location, a path or URL), status (302)."""
    status = int(script.get("status", 302))
    conn.head(script, "HTTP/1.1 %d Found" % status,
              [("Location", script["to"]), ("Content-Length", "0")])


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "zymserver"
    timeout = 15

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("zymserver: " + (fmt % args) + "\n")

    def setup(self):
        super().setup()
        if isinstance(self.connection, ssl.SSLSocket):
            self.connection.do_handshake()

    def do_GET(self):
        self.dispatch()

    do_POST = do_HEAD = do_PUT = do_DELETE = do_GET

    def read_body(self):
        length = self.headers.get("Content-Length")
        if length is None:
            return b""
        return self.rfile.read(int(length))

    def reply_json(self, status, value):
        data = json.dumps(value).encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(data)

    def dispatch(self):
        self.close_connection = True
        state = self.server.state
        split = urlsplit(self.path)
        body = self.read_body()
        if split.path.startswith("/_ctl/"):
            self.control(state, split, body)
            return
        entry = {
            "method": self.command,
            "path": split.path,
            "query": split.query,
            "version": self.request_version,
            "headers": [[k, v] for k, v in self.headers.items()],
            "body_b64": base64.b64encode(body).decode("ascii"),
            "time": time.time(),
        }
        state.record(entry)
        script = state.find(split.path)
        if script is None:
            text = b"no script for this path\n"
            self.send_response(404)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(text)))
            self.end_headers()
            self.wfile.write(text)
            return
        try:
            HANDLERS[script.get("kind", "http")](Conn(self, state), script)
        except (BrokenPipeError, ConnectionResetError, OSError):
            pass  # the client went away; nothing to tell it

    def control(self, state, split, body):
        try:
            if split.path == "/_ctl/script" and self.command == "POST":
                value = json.loads(body.decode("utf-8"))
                for script in value if isinstance(value, list) else [value]:
                    state.install(script)
                self.reply_json(200, {"ok": True})
            elif split.path == "/_ctl/requests":
                prefix = parse_qs(split.query).get("prefix", [""])[0]
                self.reply_json(200, state.recorded(prefix))
            elif split.path == "/_ctl/tls" and self.command == "POST":
                value = json.loads(body.decode("utf-8") or "{}")
                port, ca = self.server.tls.listener(value.get("variant", "valid"))
                self.reply_json(200, {"port": port, "ca": ca})
            elif split.path == "/_ctl/reset" and self.command == "POST":
                state.reset()
                self.reply_json(200, {"ok": True})
            else:
                self.reply_json(404, {"error": "unknown control request"})
        except (ValueError, KeyError, OSError, subprocess.CalledProcessError) as e:
            self.reply_json(400, {"error": str(e)})


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 128

    def handle_error(self, request, client_address):
        # A client that drops the connection (or refuses our certificate) is normal here.
        if getattr(self, "verbose", False):
            super().handle_error(request, client_address)


class TlsServer(Server):
    def __init__(self, address, handler_class, context):
        self.context = context
        super().__init__(address, handler_class)

    def get_request(self):
        sock, addr = super().get_request()
        # The handshake runs on the connection's own thread (Handler.setup).
        return self.context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False), addr


# ---------------------------------------------------------------------------------------
# Quintrel packet streams, written from the wire format by hand (never by our encoders).

QINT_CODECS = {"mp3": (7, 0), "vlb": (8, 0), "aacp": (8, 3)}


def qint_packet(cls, typ, payload, trailer=0, length=None):
    """One packet: 5A, flags, class<<12|type, length, payload, trailer (big-endian)."""
    if length is None:
        length = len(payload)
    return (bytes([0x5A, 0x00]) + struct.pack(">HH", ((cls & 0xF) << 12) | (typ & 0xFFF), length & 0xFFFF)
            + payload + bytes([trailer]))


def qint_metadata(cls, typ, data, ident=1, span=1, index=1):
    return qint_packet(cls, typ, struct.pack(">HHH", ident, span, index) + data)


def quintrel_body(script, state):
    """The packets of script["packets"], in order. Items:
      {"audio": <body keys: file|body_b64|size>, "codec": "mp3"|"vlb"|"aacp", "split": N | [N...]}
          audio payloads of N bytes (a list cycles), so frames are cut anywhere
      {"title": "Artist - Song", "class": 3}           a StreamTitle packet
      {"xml": "<a/>", "parts": k, "id": i, "class": 3} an XML set in k packets (span k)
      {"timing": [length_bytes, position_bytes]}      a class-5 timing packet
      {"packet": {"class", "type", "payload_b64", "trailer", "length"}}  any packet, faults too
      {"raw_b64": "..."}                               bytes as they are (garbage)
    """
    out = bytearray()
    for item in script.get("packets", []):
        if "audio" in item:
            cls, typ = QINT_CODECS[item.get("codec", "mp3")]
            data = body_bytes(item["audio"], state)
            split = item.get("split", 1000)
            sizes = split if isinstance(split, list) else [split]
            pos, i = 0, 0
            while pos < len(data):
                n = max(1, int(sizes[i % len(sizes)]))
                out += qint_packet(cls, typ, data[pos:pos + n])
                pos += n
                i += 1
        elif "title" in item:
            text = ("StreamTitle='%s';" % item["title"]).encode("utf-8")
            out += qint_metadata(item.get("class", 3), 1, text, item.get("id", 1))
        elif "xml" in item:
            data = item["xml"].encode("utf-8")
            parts = max(1, int(item.get("parts", 1)))
            step = -(-len(data) // parts)
            pieces = [data[i * step:(i + 1) * step] for i in range(parts)]
            for index, piece in enumerate(pieces[:item.get("send_parts", parts)], 1):
                out += qint_metadata(item.get("class", 3), 0x901, piece, item.get("id", 1), parts, index)
        elif "timing" in item:
            length, position = item["timing"]
            out += qint_metadata(5, 1, struct.pack(">ii", length, position), item.get("id", 1))
        elif "packet" in item:
            p = item["packet"]
            payload = base64.b64decode(p.get("payload_b64", ""))
            out += qint_packet(p["class"], p.get("type", 0), payload, p.get("trailer", 0), p.get("length"))
        elif "raw_b64" in item:
            out += base64.b64decode(item["raw_b64"])
    return bytes(out)


@handler("quintrel")
def serve_quintrel(conn, script):
    """A Quintrel packet stream over the "http" handler (every fault key of it applies).

    Keys: packets (see quintrel_body), content_type ("application/x-quintrel"),
    max_msg and avg_bitrate (the Quintrel-Max-Msg and Quintrel-Avg-Bitrate headers,
    omitted when absent), plus the keys of "http".
    """
    body = quintrel_body(script, conn.state)
    headers = [("Content-Type", script.get("content_type", "application/x-quintrel"))]
    if "max_msg" in script:
        headers.append(("Quintrel-Max-Msg", str(script["max_msg"])))
    if "avg_bitrate" in script:
        headers.append(("Quintrel-Avg-Bitrate", str(script["avg_bitrate"])))
    plain = dict(script)
    plain.pop("file", None)
    plain.pop("body", None)
    plain.pop("size", None)
    plain["body_b64"] = base64.b64encode(body).decode("ascii")
    plain["headers"] = headers + [tuple(h) for h in script.get("headers", [])]
    serve_http(conn, plain)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--media", default=os.path.join(here, "..", "data", "streams"))
    parser.add_argument("--users", default=None, help="user list (used by the sign-on handlers)")
    parser.add_argument("--verbose", action="store_true")
    parser.add_argument("--exit-on-stdin-eof", action="store_true",
                        help="quit when stdin closes (the launching test process died)")
    args = parser.parse_args()

    server = Server(("127.0.0.1", args.port), Handler)
    server.state = State(os.path.abspath(args.media))
    server.verbose = args.verbose
    server.users_file = args.users
    server.tls = Tls(server.state)
    if args.exit_on_stdin_eof:
        def watch():
            while sys.stdin.buffer.read(4096):
                pass
            server.state.stopping.set()
            server.shutdown()
        threading.Thread(target=watch, daemon=True).start()
    print("READY %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    finally:
        server.state.stopping.set()
        server.tls.close()
        server.server_close()


if __name__ == "__main__":
    main()
