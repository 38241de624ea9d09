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


# ---- statistics upload ("statistics" kind) --------------------------------------------
# The packet is read here by hand from its byte layout, never by the client's code.

def parse_statistics_packet(body):
    """The upload packet: little-endian header fields, then one big-endian record."""
    info = {"parsed": False}
    if len(body) < 14:
        return info
    magic, version, zero, sequence, count, length = struct.unpack("<HHHIHH", body[:14])
    info.update({"magic": magic, "version": version, "zero": zero, "sequence": sequence,
                 "count": count, "record_length": length, "record_hex": body[14:].hex()})
    record = body[14:]
    if len(record) < 10 or record[0] != 0xA1 or record[5] != 0xA0:
        return info
    tag_len, rest = struct.unpack(">HH", record[1:5])
    ver_len, rec_version = struct.unpack(">HH", record[6:10])
    info["record"] = {"tag_length": tag_len, "rest": rest, "version_length": ver_len,
                      "record_version": rec_version}
    entries = []
    pos = 10
    while pos < len(record):
        width = 1 if record[pos] in (0xA0, 0xA1) else 2
        if pos + width + 2 > len(record):
            info["record"]["trailing_hex"] = record[pos:].hex()
            break
        key = record[pos] if width == 1 else struct.unpack(">H", record[pos:pos + 2])[0]
        (size,) = struct.unpack(">H", record[pos + width:pos + width + 2])
        start = pos + width + 2
        entries.append({"key": key, "key_width": width, "length": size,
                        "value": record[start:start + size].hex()})
        pos = start + size
    info["record"]["entries"] = entries
    info["parsed"] = True
    return info


@handler("statistics")
def serve_statistics(conn, script):
    """The statistics server. Answers 200 with an empty body, or what `answers` gives for
    the packet's sequence number ({"2": {"status": 500}} or {"2": {"reset_after": -1}};
    any key of the "http" kind). The request's record gains `statistics`: the packet's
    header fields, the record's header and its entries (key, length, value in hex)."""
    state = conn.state
    path = urlsplit(conn.req.path).path
    with state.lock:
        entry = next((r for r in reversed(state.requests)
                      if r["path"] == path and "statistics" not in r), None)
    info = parse_statistics_packet(base64.b64decode(entry["body_b64"])) if entry else {"parsed": False}
    with state.lock:
        if entry is not None:
            entry["statistics"] = info
    answer = dict(script.get("answers", {}).get(str(info.get("sequence")), {}))
    answer.setdefault("status", 200)
    answer.setdefault("body", "")
    serve_http(conn, answer)



# ---- SOAP endpoint (web-service core tests) -------------------------------------------
# Answers are written here by hand, never produced by the client's encoders.

SOAP11 = "http://schemas.xmlsoap.org/soap/envelope/"
SOAP12 = "http://www.w3.org/2003/05/soap-envelope"
SB = "urn:liberty:sb:2003-08"
WSSE = "http://schemas.xmlsoap.org/ws/2003/06/secext"
DISCO = "urn:liberty:disco:2003-08"
SIF = "http://www.zym-com.invalid/soap/sif-2004-02"
SOAP_LOCK = threading.Lock()
SOAP_COUNTS = {}  # (script path, request element or None) -> answers used
SOAP_LOCK = threading.Lock()


def xml_escape(text):
    return (str(text).replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;"))


def local_name(tag):
    return tag.rsplit("}", 1)[-1]


def parse_soap_request(body):
    """What a SOAP request carried, by local name (as the client reads responses)."""
    import xml.etree.ElementTree as ET
    info = {"parsed": False}
    try:
        root = ET.fromstring(body)
    except ET.ParseError as e:
        info["error"] = str(e)
        return info
    info["parsed"] = True
    info["root"] = local_name(root.tag)
    info["root_ns"] = root.tag[1:].split("}")[0] if root.tag.startswith("{") else ""
    header = next((c for c in root if local_name(c.tag) == "Header"), None)
    body_el = next((c for c in root if local_name(c.tag) == "Body"), None)
    info["header_children"] = [local_name(c.tag) for c in header] if header is not None else []
    children = list(body_el) if body_el is not None else []
    info["body_child"] = local_name(children[0].tag) if children else ""
    info["body_child_ns"] = children[0].tag[1:].split("}")[0] if children and children[0].tag.startswith("{") else ""
    if header is not None:
        for c in header:
            name = local_name(c.tag)
            if name == "Correlation":
                info["correlation"] = {local_name(k): v for k, v in c.attrib.items()}
                info["correlation_qualified"] = sorted(c.attrib.keys())
                info["correlation_ns"] = c.tag[1:].split("}")[0]
            elif name == "DeviceType":
                info["device_type"] = {local_name(k): v for k, v in c.attrib.items()}
                info["device_type_ns"] = c.tag[1:].split("}")[0]
            elif name == "Security":
                info["security_ns"] = c.tag[1:].split("}")[0]
                info["security"] = [local_name(x.tag) for x in c]
                info["security_text"] = "".join(c.itertext())
    return info


def soap_envelope(header, body, soap12=False, prefix="SOAP-ENV"):
    ns = SOAP12 if soap12 else SOAP11
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<{p}:Envelope xmlns:{p}="{ns}">'
            '{h}<{p}:Body>{b}</{p}:Body></{p}:Envelope>').format(
                p=prefix, ns=ns, h=("<%s:Header>%s</%s:Header>" % (prefix, header, prefix)) if header else "",
                b=body)


def soap_answer_body(answer, info):
    """The response text for one answer of a "soap" script."""
    written = "content" in answer or "content_file" in answer
    reply = answer.get("reply", "content" if written else "success")
    method = info.get("body_child", "") or "Unknown"
    if method.endswith("Request"):
        method = method[:-len("Request")]
    client_id = info.get("correlation", {}).get("messageID", "")
    server_id = answer.get("correlation_id", "SRV-%d" % int(time.time() * 1000000))
    prefix = answer.get("envelope_prefix", "SOAP-ENV")
    correlation = ('<sb:Correlation xmlns:sb="%s" %s:mustUnderstand="1" sb:messageID="%s" '
                   'sb:refToMessageID="%s" sb:timestamp="2026-12-10T12:00:00Z"/>'
                   % (SB, prefix, xml_escape(server_id), xml_escape(client_id)))
    if answer.get("no_correlation"):
        correlation = ""
    siu = answer.get("siu")
    update = ""
    if siu:
        parts = []
        if "mech" in siu:
            parts.append('<disco:SecurityMechID>%s</disco:SecurityMechID>' % xml_escape(siu["mech"]))
        if "credential" in siu:
            parts.append('<disco:Credential><saml:Assertion xmlns:saml="urn:oasis:names:tc:SAML:1.0:assertion" '
                         'AssertionID="%s"/></disco:Credential>' % xml_escape(siu["credential"]))
        if "endpoint" in siu:
            parts.append('<disco:Endpoint>%s</disco:Endpoint>' % xml_escape(siu["endpoint"]))
        update = ('<sb:ServiceInstanceUpdate xmlns:sb="%s" xmlns:disco="%s">%s</sb:ServiceInstanceUpdate>'
                  % (SB, DISCO, "".join(parts)))
    if reply == "raw":
        return answer.get("body", "")
    if reply == "content":
        return soap_envelope(correlation + update, soap_content(answer), prefix=prefix)
    if reply == "nonxml":
        return "<html><body>Service temporarily unavailable</body></html"
    if reply == "nobody":
        return ('<?xml version="1.0" encoding="UTF-8"?>\n<%s:Envelope xmlns:%s="%s"><%s:Header>%s</%s:Header>'
                '</%s:Envelope>' % (prefix, prefix, SOAP11, prefix, correlation, prefix, prefix))
    if reply == "fault11":
        detail = ""
        if answer.get("detail_code"):
            detail = ('<detail><zym:Status xmlns:zym="%s" code="%s"/></detail>'
                      % (SIF, xml_escape(answer["detail_code"])))
        body = ('<%s:Fault><faultcode>%s</faultcode><faultstring>%s</faultstring>%s</%s:Fault>'
                % (prefix, xml_escape(answer.get("faultcode", prefix + ":Server")),
                   xml_escape(answer.get("faultstring", "Server Error")), detail, prefix))
        return soap_envelope(correlation, body, prefix=prefix)
    if reply == "fault12":
        body = ('<{p}:Fault><{p}:Code><{p}:Value>{p}:Receiver</{p}:Value></{p}:Code>'
                '<{p}:Reason><{p}:Text xml:lang="en">{t}</{p}:Text></{p}:Reason></{p}:Fault>').format(
                    p=prefix, t=xml_escape(answer.get("faultstring", "Boom")))
        return soap_envelope("", body, soap12=True, prefix=prefix)
    if reply == "moved":
        code = answer.get("moved_faultcode", prefix + ":Service")
        body = ('<%s:Fault><faultcode>%s</faultcode><faultstring>Endpoint moved</faultstring>'
                '<detail><zym:Status xmlns:zym="%s" code="zym:EndpointMoved"/></detail></%s:Fault>'
                % (prefix, xml_escape(code), SIF, prefix))
        moved = ""
        if answer.get("moved_to") is not None:
            moved = ('<sb:ServiceInstanceUpdate xmlns:sb="%s" xmlns:disco="%s"><disco:Endpoint>%s'
                     '</disco:Endpoint></sb:ServiceInstanceUpdate>' % (SB, DISCO, xml_escape(answer["moved_to"])))
        return soap_envelope(correlation + moved, body, prefix=prefix)
    # success
    body = ('<zym:%sResponse xmlns:zym="%s"><zym:Status code="zym:%s"/>%s</zym:%sResponse>'
            % (method, SIF, xml_escape(answer.get("status_code", "OK")), answer.get("extra", ""), method))
    return soap_envelope(correlation + update, body, prefix=prefix)


DATA_DIR = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data"))


def soap_content(answer):
    """The Body's content of a "content" reply, written by the test: `content` (text) or
    `content_file` (below tests/data)."""
    if "content_file" in answer:
        path = os.path.normpath(os.path.join(DATA_DIR, answer["content_file"]))
        if not path.startswith(DATA_DIR + os.sep):
            raise ValueError("content_file outside tests/data: %r" % answer["content_file"])
        with open(path, "r", encoding="utf-8") as f:
            return f.read()
    return answer.get("content", "")


def soap_pick_answer(script, info):
    """The answer for this request: by the Body's request element when `by_request` names
    it, else from `answers` / `answer`. A list is used in order (per element for
    `by_request`), its last entry repeating."""
    element = info.get("body_child", "")
    chosen = script.get("by_request", {}).get(element) if element else None
    key = (script["path"], element) if chosen is not None else (script["path"], None)
    answers = chosen if chosen is not None else (script.get("answers") or [script.get("answer", {})])
    if isinstance(answers, dict):
        answers = [answers]
    with SOAP_LOCK:
        index = SOAP_COUNTS.get(key, 0)
        SOAP_COUNTS[key] = index + 1
    return answers[min(index, len(answers) - 1)]


def gzip_bytes(data, variant):
    import gzip
    import zlib
    if variant in (True, "plain", "GZIP"):
        return gzip.compress(data)
    if variant == "fname":
        flags, extra = 0x08, b"body.xml\0"
    elif variant == "corrupt":
        raw = bytearray(gzip.compress(data))
        raw[12] ^= 0xFF
        return bytes(raw)
    elif variant == "truncated":
        return gzip.compress(data)[:-6]
    else:
        raise ValueError("unknown gzip variant %r" % variant)
    deflate = zlib.compressobj(9, zlib.DEFLATED, -15)
    payload = deflate.compress(data) + deflate.flush()
    head = b"\x1f\x8b\x08" + bytes([flags]) + b"\0\0\0\0\0\xff" + extra
    return head + payload + struct.pack("<II", zlib.crc32(data) & 0xFFFFFFFF, len(data) & 0xFFFFFFFF)


@handler("soap")
def serve_soap(conn, script):
    """A SOAP endpoint. Keys: answers (a list used in order, the last one repeating) or
    answer (one object). An answer: reply ("success", "fault11", "fault12", "moved",
    "nobody", "nonxml", "raw" with body, "content" with content or content_file: a Body
    written by the test), status (HTTP, 200), status_code (success Status
    code, "OK"), faultcode, faultstring, detail_code, moved_to, moved_faultcode, siu
    {endpoint, mech, credential}, correlation_id, no_correlation, envelope_prefix,
    gzip (true, "GZIP" for an upper-case header, "fname", "corrupt", "truncated"),
    deflate, and the transport faults of the "http" kind (silent, stall_after_headers,
    trickle, close_after, reset_after, delay_ms). by_request {request element: answer
    or list of answers} picks the answer by the Body's first child. The request's parsed
    SOAP parts are added to its record under "soap"."""
    state = conn.state
    path = urlsplit(conn.req.path).path
    with state.lock:
        entry = next((r for r in reversed(state.requests) if r["path"] == path and "soap" not in r), None)
    info = parse_soap_request(base64.b64decode(entry["body_b64"])) if entry else {"parsed": False}
    with state.lock:
        if entry is not None:
            entry["soap"] = info
    answer = soap_pick_answer(script, info)
    data = soap_answer_body(answer, info).encode("utf-8")
    headers = [["Content-Type", "text/xml; charset=utf-8"]]
    if answer.get("gzip"):
        data = gzip_bytes(data, answer["gzip"])
        headers.append(["Content-Encoding", "GZIP" if answer["gzip"] == "GZIP" else "gzip"])
    elif answer.get("deflate"):
        import zlib
        data = zlib.compress(data)
        headers.append(["Content-Encoding", "deflate"])
    http_script = {k: v for k, v in answer.items()
                   if k in ("status", "silent", "stall_after_headers", "stall_after", "trickle",
                            "close_after", "reset_after", "delay_ms", "content_length")}
    http_script["headers"] = headers + answer.get("headers", [])
    http_script["body_b64"] = base64.b64encode(data).decode("ascii")
    if "status" in answer:
        http_script["reason"] = "Internal Server Error" if int(answer["status"]) >= 500 else "Status"
    serve_http(conn, http_script)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "zymserver"
    # How long a connection may wait for its request; ZYMSERVER_TIMEOUT (seconds) lengthens it
    # for clients whose main thread a loaded machine stalls (the journeys' whole program).
    timeout = float(os.environ.get("ZYMSERVER_TIMEOUT", "15"))

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
            "target": self.path,
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


# ---- Hostile streams ("metadata_flood" and "garbage" kinds) ------------------------------

def send_paced(conn, pieces, rate=0.0, seconds=0.0):
    """Sends the pieces of an endless generator, at `rate` bytes per second (0: as fast as
    the client takes them), for `seconds` (0: until the client goes or the server stops)."""
    started = time.monotonic()
    sent = 0
    try:
        for piece in pieces:
            if conn.state.stopping.is_set():
                return
            if seconds and time.monotonic() - started >= seconds:
                return
            conn.send(piece)
            sent += len(piece)
            if rate:
                ahead = sent / rate - (time.monotonic() - started)
                if ahead > 0:
                    time.sleep(ahead)
    except OSError:
        return  # the client went away


@handler("metadata_flood")
def serve_metadata_flood(conn, script):
    """An endless Quintrel stream of metadata packets, each round a new track: a title
    packet, an XML document of about `doc_bytes` (2000) bytes in `parts` (1) packets and a
    timing packet. `audio` (body keys of "http", e.g. {"file": ...}) with `codec` ("mp3")
    puts one audio packet of `audio_split` (1000) bytes after every `audio_every` (1)
    rounds, cycling through the audio; without it the stream carries no audio at all.
    `rate` (bytes per second, 0 = as fast as the client reads), `seconds` (0 = endless),
    `content_type`, `max_msg`, `avg_bitrate` (default 128000)."""
    headers = [("Content-Type", script.get("content_type", "application/x-quintrel")),
               ("Quintrel-Avg-Bitrate", str(script.get("avg_bitrate", 128000)))]
    if "max_msg" in script:
        headers.append(("Quintrel-Max-Msg", str(script["max_msg"])))
    conn.head(script, "HTTP/1.1 200 OK", headers)
    audio = body_bytes(script["audio"], conn.state) if "audio" in script else b""
    cls, typ = QINT_CODECS[script.get("codec", "mp3")]
    split = max(1, int(script.get("audio_split", 1000)))
    every = max(1, int(script.get("audio_every", 1)))
    doc_bytes = int(script.get("doc_bytes", 2000))
    parts = max(1, int(script.get("parts", 1)))

    def rounds():
        n, at = 0, 0
        while True:
            out = bytearray()
            for _ in range(16):
                n += 1
                out += qint_metadata(3, 1, ("StreamTitle='Flood %d - Song %d';" % (n, n)).encode("ascii"))
                doc = "<metadata><song><name>Song %d</name><artist>Flood %d</artist></song>" % (n, n)
                doc = (doc + "<pad>" + "x" * max(0, doc_bytes - len(doc) - 23) + "</pad></metadata>").encode("ascii")
                step = -(-len(doc) // parts)
                for index in range(parts):
                    out += qint_metadata(3, 0x901, doc[index * step:(index + 1) * step], n & 0xFFFF, parts, index + 1)
                out += qint_metadata(5, 1, struct.pack(">ii", 3000000, (n * 1000) % 3000000))
                if audio and n % every == 0:
                    if at >= len(audio):
                        at = 0
                    out += qint_packet(cls, typ, audio[at:at + split])
                    at += split
            yield bytes(out)

    send_paced(conn, rounds(), float(script.get("rate", 0)), float(script.get("seconds", 0)))


# A frame header of each framing: MPEG-1 Layer III 128 kbit/s 44.1 kHz stereo (417 bytes a
# frame) and AAC-LC ADTS 44.1 kHz stereo with 400-byte frames.
GARBAGE_MP3_HEADER = bytes([0xFF, 0xFB, 0x90, 0x00])
GARBAGE_MP3_FRAME = 417


def garbage_adts_header(frame_length):
    return bytes([0xFF, 0xF1, (1 << 6) | (4 << 2), (2 << 6) | ((frame_length >> 11) & 3),
                  (frame_length >> 3) & 0xFF, ((frame_length & 7) << 5) | 0x1F, 0xFC])


@handler("garbage")
def serve_garbage(conn, script):
    """An endless stream of seeded random bytes that no decoder can play. `framing`:
    "raw" (default: random bytes only), "mp3" (MPEG audio frame headers with random
    payloads), "adts" (ADTS headers with random payloads) or "quintrel" (Quintrel audio
    packets of `codec` ("mp3" | "vlb" | "aacp") with random payloads). `content_type`
    ("audio/mpeg"; "application/x-quintrel" for the quintrel framing), `icy` (no status
    line: the body starts "ICY 200 OK" and the header lines), `seed` (1), `rate` (bytes per
    second, 0 = as fast as the client reads), `seconds` (0 = endless)."""
    import random
    framing = script.get("framing", "raw")
    ctype = script.get("content_type", "application/x-quintrel" if framing == "quintrel" else "audio/mpeg")
    if script.get("icy"):
        conn.send(("ICY 200 OK\r\ncontent-type: %s\r\n\r\n" % ctype).encode("latin-1"))
    else:
        conn.head(script, "HTTP/1.1 200 OK", [("Content-Type", ctype)])
    rng = random.Random(script.get("seed", 1))
    cls, typ = QINT_CODECS[script.get("codec", "mp3")]

    def pieces():
        while True:
            if framing == "mp3":
                out = b"".join(GARBAGE_MP3_HEADER + rng.randbytes(GARBAGE_MP3_FRAME - 4) for _ in range(40))
            elif framing == "adts":
                out = b"".join(garbage_adts_header(400) + rng.randbytes(393) for _ in range(40))
            elif framing == "quintrel":
                out = b"".join(qint_packet(cls, typ, rng.randbytes(1000)) for _ in range(16))
            else:
                out = rng.randbytes(16384)
            yield out

    send_paced(conn, pieces(), float(script.get("rate", 0)), float(script.get("seconds", 0)))


# ---- Sign-on and discovery endpoint (web-service core tests) ----------------------------
# One URL answers the SASL exchange, the discovery Query and the discovered service's
# calls, dispatching on the Body's first child. Answers are hand-written from the
# message descriptions; the user table comes from the script ("users") or --users.

SIGNON_SA = "urn:liberty:sa:2004-04"
SIGNON_SAML = "urn:oasis:names:tc:SAML:1.0:assertion"
SIGNON_LOCK = threading.Lock()
SIGNON_SESSIONS = {}   # server message id -> {"stage": "plain"|"securid", "user": ...}
SIGNON_ASSERTIONS = {}  # assertion id -> {"kind": "signon"|"service", "user": ...}
SIGNON_COUNTER = [0]


def signon_next(prefix):
    with SIGNON_LOCK:
        SIGNON_COUNTER[0] += 1
        return "%s-%d" % (prefix, SIGNON_COUNTER[0])


def signon_canonical(name):
    return "".join(c.lower() for c in name if 0x21 <= ord(c) <= 0x7E)


def signon_users(conn, script):
    """[{"name", "password", "securid"?}] from the script, else from the --users file
    (one user a line: name password [passcode])."""
    if "users" in script:
        return script["users"]
    users = []
    path = getattr(conn.req.server, "users_file", None)
    if path:
        with open(path, "r", encoding="utf-8") as f:
            for line in f:
                fields = line.split()
                if len(fields) >= 2 and not fields[0].startswith("#"):
                    user = {"name": fields[0], "password": fields[1]}
                    if len(fields) > 2:
                        user["securid"] = fields[2]
                    users.append(user)
    return users


def signon_transform(password, transforms):
    """The server's own reading of the password transforms it asked for."""
    for t in transforms or []:
        name, params = t.get("name", ""), t.get("params", {})
        if name == "urn:liberty:sa:pm:truncate" and params.get("length", "").isdigit():
            password = password[:int(params["length"])]
        elif name == "urn:liberty:sa:pm:lowercase":
            password = password.lower()
        elif name == "urn:liberty:sa:pm:uppercase":
            password = password.upper()
        elif name == "urn:liberty:sa:pm:select" and params.get("allowed"):
            password = "".join(c for c in password if c in params["allowed"])
    return password


def signon_claim_request(conn):
    """The recorded entry and body of the request being served (newest unclaimed one of
    this path and length)."""
    state = conn.state
    path = urlsplit(conn.req.path).path
    length = conn.req.headers.get("Content-Length", "")
    with state.lock:
        for entry in reversed(state.requests):
            if entry["path"] != path or "soap" in entry:
                continue
            sent = next((v for k, v in entry["headers"] if k.lower() == "content-length"), "")
            if sent == length:
                entry["soap"] = {"claimed": True}
                return entry, base64.b64decode(entry["body_b64"])
    return None, b""


def signon_reply(conn, script, header, body):
    text = soap_envelope(header, body)
    serve_http(conn, {"headers": [["Content-Type", "text/xml; charset=utf-8"]], "body": text,
                      "delay_ms": script.get("delay_ms", 0)})


def signon_correlation(message_id, ref_to):
    return ('<sb:Correlation xmlns:sb="%s" SOAP-ENV:mustUnderstand="1" sb:messageID="%s" '
            'sb:refToMessageID="%s" sb:timestamp="2026-12-10T12:00:00Z"/>'
            % (SB, xml_escape(message_id), xml_escape(ref_to)))


def signon_fault(conn, script, code):
    body = ('<SOAP-ENV:Fault><faultcode>SOAP-ENV:%s</faultcode><faultstring>refused</faultstring>'
            '</SOAP-ENV:Fault>' % xml_escape(code))
    signon_reply(conn, script, "", body)


def signon_sasl_response(conn, script, ref_to, code, comment="", mechanism="", transforms=None,
                         extra="", session=None):
    """With `session`, the exchange's next step is stored under the reply's message id
    before the reply goes out: the client's next request may arrive on another thread at
    once."""
    message_id = signon_next("M")
    if session is not None:
        with SIGNON_LOCK:
            SIGNON_SESSIONS[message_id] = session
    code = {"lower": code.lower(), "title": code.title()}.get(script.get("status_case"), code)
    attrs = ' serverMechanism="%s"' % xml_escape(mechanism) if mechanism else ""
    status = '<sa:Status code="sa:%s"%s/>' % (
        xml_escape(code), ' comment="%s"' % xml_escape(comment) if comment else "")
    pt = ""
    if transforms:
        items = []
        for t in transforms:
            params = "".join('<sa:Parameter name="%s">%s</sa:Parameter>' % (xml_escape(k), xml_escape(v))
                             for k, v in t.get("params", {}).items())
            items.append('<sa:Transform name="%s">%s</sa:Transform>' % (xml_escape(t["name"]), params))
        pt = "<sa:PasswordTransforms>%s</sa:PasswordTransforms>" % "".join(items)
    body = '<sa:SASLResponse xmlns:sa="%s"%s>%s%s%s</sa:SASLResponse>' % (SIGNON_SA, attrs, status, pt, extra)
    signon_reply(conn, script, signon_correlation(message_id, ref_to), body)
    return message_id


def signon_offering(base, resource_id, service_type, endpoint, credential_ref):
    return ('<disco:ResourceOffering xmlns:disco="%s"><disco:ResourceID>%s</disco:ResourceID>'
            '<disco:ServiceInstance><disco:ServiceType>%s</disco:ServiceType>'
            '<disco:ProviderID>%s</disco:ProviderID><disco:Description>'
            '<disco:SecurityMechID>urn:liberty:security:2003-08:null:SAML</disco:SecurityMechID>'
            '<disco:CredentialRef>%s</disco:CredentialRef><disco:Endpoint>%s</disco:Endpoint>'
            '</disco:Description></disco:ServiceInstance></disco:ResourceOffering>'
            % (DISCO, xml_escape(resource_id), xml_escape(service_type), xml_escape(base),
               xml_escape(credential_ref), xml_escape(endpoint)))


def signon_assertion(kind, user, expires):
    aid = signon_next("S" if kind == "service" else "A")
    with SIGNON_LOCK:
        SIGNON_ASSERTIONS[aid] = {"kind": kind, "user": user}
    return aid, ('<saml:Assertion xmlns:saml="%s" AssertionID="%s" Issuer="zymserver">'
                 '<saml:Conditions NotOnOrAfter="%s"/></saml:Assertion>'
                 % (SIGNON_SAML, aid, xml_escape(expires)))


def signon_presented(root, kind):
    """The user of a known assertion of that kind in the request's Security header."""
    for el in root.iter():
        if local_name(el.tag) == "Assertion":
            for key, value in el.attrib.items():
                if local_name(key) == "AssertionID":
                    with SIGNON_LOCK:
                        known = SIGNON_ASSERTIONS.get(value)
                    if known and known["kind"] == kind:
                        return known["user"]
    return None


@handler("signon")
def serve_signon(conn, script):
    """Sign-on, discovery and service calls at one URL. Keys: users [{name, password,
    securid}], mechanism (server's first choice, "PLAIN"), transforms [{name, params}],
    first_abort (comment), first_fault (faultcode), plain_abort / securid_abort (comment
    for a wrong answer; "Invalid Credentials"), plain_abort_always (comment after any
    password), expires, renew_ok (false: a renewal must give the password again),
    no_credentials (an OK without Credentials), status_case ("lower" or "title": the SASL
    status codes' letter case), disco_status ("OK"), disco_fault,
    offer_type (ServiceType offered), hold (list of body child names to leave unanswered),
    delay_ms."""
    import xml.etree.ElementTree as ET
    if directory_stream(conn, script):
        return
    entry, body = signon_claim_request(conn)
    try:
        root = ET.fromstring(body)
    except ET.ParseError:
        signon_fault(conn, script, "Client")
        return
    header = next((c for c in root if local_name(c.tag) == "Header"), None)
    body_el = next((c for c in root if local_name(c.tag) == "Body"), None)
    first = list(body_el)[0] if body_el is not None and len(body_el) else None
    kind = local_name(first.tag) if first is not None else ""
    if entry is not None:
        entry["soap"] = {"body_child": kind}
    if kind in script.get("hold", []):
        conn.hold()
        return
    ref_to = ""
    if header is not None:
        for c in header:
            if local_name(c.tag) == "Correlation":
                ref_to = next((v for k, v in c.attrib.items() if local_name(k) == "refToMessageID"), "")
    host = conn.req.headers.get("Host", "127.0.0.1")
    path = urlsplit(conn.req.path).path
    base = "http://%s%s" % (host, script["path"])
    expires = script.get("expires", "2030-01-01T00:00:00Z")
    users = signon_users(conn, script)

    if kind == "SASLRequest":
        mechanism = first.attrib.get("mechanism", "")
        data_el = next((c for c in first if local_name(c.tag) == "Data"), None)
        data = base64.b64decode(data_el.text or "") if data_el is not None else b""
        if not ref_to:
            if script.get("first_fault"):
                signon_fault(conn, script, script["first_fault"])
                return
            if script.get("first_abort") is not None:
                signon_sasl_response(conn, script, "", "abort", script["first_abort"])
                return
            authz = first.attrib.get("authzID", "")
            renewing = signon_presented(root, "signon")
            if authz and renewing and signon_canonical(authz) == renewing and script.get("renew_ok", True):
                signon_ok(conn, script, "", renewing, base, expires)
                return
            chosen = script.get("mechanism", "PLAIN")
            signon_sasl_response(conn, script, "", "continue", mechanism=chosen,
                                 transforms=script.get("transforms"),
                                 session={"stage": "securid" if chosen == "SECURID" else "plain",
                                          "user": None})
            return
        with SIGNON_LOCK:
            session = SIGNON_SESSIONS.pop(ref_to, None)
        if session is None:
            signon_sasl_response(conn, script, ref_to, "abort", "invalid data on initiation")
            return
        if session["stage"] == "plain":
            parts = data.split(b"\0")
            if mechanism != "PLAIN" or len(parts) != 3:
                signon_sasl_response(conn, script, ref_to, "abort", "mismatching mechanisms")
                return
            name, password = parts[1].decode("utf-8", "replace"), parts[2].decode("utf-8", "replace")
            user = next((u for u in users if signon_canonical(u["name"]) == name), None)
            if script.get("plain_abort_always") is not None:
                signon_sasl_response(conn, script, ref_to, "abort", script["plain_abort_always"])
                return
            if user is None or signon_transform(user["password"], script.get("transforms")) != password:
                signon_sasl_response(conn, script, ref_to, "abort",
                                     script.get("plain_abort", "Invalid Credentials"))
                return
            if user.get("securid"):
                signon_sasl_response(conn, script, ref_to, "continue", mechanism="SECURID",
                                     session={"stage": "securid", "user": name})
                return
            signon_ok(conn, script, ref_to, name, base, expires)
            return
        # SECURID step
        if mechanism != "SECURID":
            signon_sasl_response(conn, script, ref_to, "abort", "mismatching mechanisms")
            return
        if session["user"] is None:
            signon_sasl_response(conn, script, ref_to, "abort", "no password supplied before securid")
            return
        passcode = data[2:-1].decode("utf-8", "replace") if data.startswith(b"\0\0") else ""
        if not passcode:
            signon_sasl_response(conn, script, ref_to, "abort", "no data supplied with securid exchange")
            return
        user = next((u for u in users if signon_canonical(u["name"]) == session["user"]), None)
        if user is None or user.get("securid") != passcode:
            signon_sasl_response(conn, script, ref_to, "abort",
                                 script.get("securid_abort", "Invalid Credentials"))
            return
        signon_ok(conn, script, ref_to, session["user"], base, expires)
        return

    if kind == "Query":
        if script.get("disco_fault"):
            signon_fault(conn, script, script["disco_fault"])
            return
        user = signon_presented(root, "signon")
        requested = ""
        for el in first.iter():
            if local_name(el.tag) == "ServiceType":
                requested = el.text or ""
        status = script.get("disco_status", "OK") if user else "Failed"
        offer = ""
        if status.upper() == "OK":
            aid, assertion = signon_assertion("service", user, expires)
            offer = (signon_offering(base, "RID-" + requested, script.get("offer_type", requested),
                                     base + "svc", aid)
                     + '<disco:Credentials xmlns:disco="%s">%s</disco:Credentials>' % (DISCO, assertion))
        body = ('<disco:QueryResponse xmlns:disco="%s"><disco:Status code="disco:%s"/>%s'
                '</disco:QueryResponse>' % (DISCO, xml_escape(status), offer))
        signon_reply(conn, script, signon_correlation(signon_next("M"), ""), body)
        return

    # A call of the discovered service.
    method = kind[:-len("Request")] if kind.endswith("Request") else kind
    user = signon_presented(root, "service")
    body = ('<zym:%sResponse xmlns:zym="%s"><zym:Status code="zym:%s"/></zym:%sResponse>'
            % (method, SIF, "OK" if user else "Failed", method))
    signon_reply(conn, script, signon_correlation(signon_next("M"), ""), body)


def signon_ok(conn, script, ref_to, user, base, expires):
    aid, assertion = signon_assertion("signon", user, expires)
    extra = ('' if script.get("no_credentials") else '<sa:Credentials>%s</sa:Credentials>' % assertion)
    extra += signon_offering(base, "RID-" + user, DISCO, base, aid)
    signon_sasl_response(conn, script, ref_to, "OK", extra=extra)



# ---- radio directory, version 3 ("directory" kind) -----------------------------------------
# The directory a discovered 'Rdo3' endpoint serves. Every answer is written here by hand
# (templates over a generated data set), never by the client's encoders.

RADIO3 = "urn:zym-com:ns:service:radio:3.0"
DIRECTORY_LOCK = threading.Lock()
DIRECTORY_STATE = {}  # script path -> {"presets_ts", "presets", "calls": {method: count}}
DIRECTORY_TS = "2026-12-01T08:00:00Z"

# Station numbers, in the server's order: 45 of them, with 12345, 777, 99 and 100.
DIRECTORY_NUMBERS = [12345, 777, 99, 100] + list(range(1, 42))
DIRECTORY_MODES = ["full", "FULL", "sample", "preview", "full"]
DIRECTORY_TYPES = ["zym", "Live", "user", "other"]
DIRECTORY_CATEGORIES = [("1", "Rock", "Guitars first"), ("2", "Pop", "The charts"),
                        ("10", "Jazz", "Smooth and modern jazz")]
# Media formats: id -> (mime, desc, [(class, proto, mime, codec, bitrate, avg, vbr, channels)])
DIRECTORY_FORMATS = {
    "mf128": ("audio/mpeg", "MP3 128k", [("audio", "http:", "audio/mpeg", "MP3", 128000, None, None, "2.0")]),
    "mf64": ("audio/aacp", "aacPlus 64k", [("audio", "qint:", "audio/aacp", "AACPLUS", 64000, 64000, "false", "2.0")]),
    "vlb48": ("audio/x-vlb", "VLB 48k", [("audio", "qint:", "audio/x-vlb", "VLB", 48000, None, "true", "2.0")]),
    "multi": ("audio/mpeg", "Two channels", [("audio", "http:", "audio/mpeg", "MP3", 32000, None, None, "1.0"),
                                              ("video", "rtsp:", "video/mp4", "H264", 96000, 90000, "true", "2.0")]),
}


DIRECTORY_INDEXES = {}  # size -> (numbers, {station id: (i, n)})


def directory_index(script):
    """The station numbers of the script's directory, and its station ids to (place, number):
    the 45 above and, when "stations" asks for more, numbers from 100000 on up to that
    count. Made once per size: a large directory is asked for in many small answers."""
    size = max(int(script.get("stations", len(DIRECTORY_NUMBERS))), len(DIRECTORY_NUMBERS))
    with DIRECTORY_LOCK:
        if size not in DIRECTORY_INDEXES:
            numbers = DIRECTORY_NUMBERS + list(range(100000, 100000 + size - len(DIRECTORY_NUMBERS)))
            DIRECTORY_INDEXES[size] = (numbers, {directory_station_id(n): (i, n) for i, n in enumerate(numbers)})
        return DIRECTORY_INDEXES[size]


def directory_numbers(script):
    return directory_index(script)[0]


def directory_station_id(n):
    return "radio:aggregate:%d" % n


def directory_station_categories(i):
    cats = ["1", "2", "10", "7"]  # "7" is referenced but never listed
    return [cats[(i + k) % 4] for k in range(i % 4)]


def directory_formats_of(i, n):
    """[(mediaFormatId, progId)] of the i-th station."""
    if n == 3:
        return []  # a station without formats
    if n == 4:
        return [("mf999", "4,1")]  # a media format the server does not have
    if n in (5, 6):
        return [("mf128", "shared,1")]  # two stations share one pair
    if n == 7:
        return [("mf128", "plain7")]
    if n == 100:
        return [("multi", "100,1"), ("mf128", "100,2"), ("vlb48", "100,3")]  # three usable, two URLs each
    ids = ["mf128", "mf64", "vlb48", "multi"]
    return [(ids[(i + k) % 4], "%d,%d" % (n, k + 1)) for k in range(1 + i % 2)]


DIRECTORY_REFUSED = []


def directory_refused_port():
    """A loopback port that refuses connections: bound for the server's life, never listening."""
    with DIRECTORY_LOCK:
        if not DIRECTORY_REFUSED:
            sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            sock.bind(("127.0.0.1", 0))
            DIRECTORY_REFUSED.append(sock)
        return DIRECTORY_REFUSED[0].getsockname()[1]


def directory_attr(el, name):
    for k, v in el.attrib.items():
        if local_name(k) == name:
            return v
    return None


def directory_children(el, name):
    return [c for c in el if local_name(c.tag) == name]


def directory_ids(el, name):
    return [[c.text or "", directory_attr(c, "id") or ""] for c in el.iter() if local_name(c.tag) == name]


def directory_state(script):
    with DIRECTORY_LOCK:
        return DIRECTORY_STATE.setdefault(script["path"], {
            "presets_ts": script.get("presets_timestamp", DIRECTORY_TS), "calls": {},
            "presets": script.get("presets", [["radio:aggregate:12345", "1"], ["radio:aggregate:4242", "2"],
                                              ["radio:aggregate:99", "7"]])})


def directory_route(first, script):
    """(method, facts) for the request element."""
    kind = local_name(first.tag)
    if kind == "IMetadataListEnumRequest":
        return "ListCategories"
    if kind == "IMetadataBrowseRequest":
        return "ListStations"
    if kind == "IMetadataDescribeRequest":
        if directory_children(first, "Restriction"):
            return "GetStationState"
        known = directory_index(script)[1]
        refs = [c.text or "" for c in directory_children(first, "RefId")]
        return "GetStationInfo" if refs and all(r in known for r in refs) else "GetMediaFormatInfo"
    if kind == "IFulfillmentGetAssetRequest":
        return "GetStationURL"
    prop = next(iter(directory_children(first, "Property")), None)
    name = directory_attr(prop, "name") if prop is not None else ""
    if kind == "IProfileGetRequest":
        return {"MaxPresets": "GetMaxPresets", "Presets": "GetPresets"}.get(name, "GetRatingsRange")
    if kind == "IProfileSetRequest":
        return "SetPresets" if name == "Presets" else "RateTrack"
    return ""


def directory_category_xml(cid, name, desc):
    return ('<r:Category r:categoryId="%s"><r:Name xml:lang="en">%s</r:Name><r:Desc>%s</r:Desc></r:Category>'
            % (cid, xml_escape(name), xml_escape(desc)))


def directory_mode(script, i):
    modes = script.get("play_modes") or DIRECTORY_MODES
    return modes[i % len(modes)]


def directory_station_xml(i, n, script):
    cats = "".join("<r:Category>%s</r:Category>" % c for c in directory_station_categories(i))
    return ('<r:Station r:stationId="%s" r:playMode="%s"><r:Name>Station %d</r:Name>'
            '<r:Desc>Music &amp; more from %d</r:Desc>%s</r:Station>'
            % (directory_station_id(n), directory_mode(script, i), n, n, cats))


def directory_info_xml(i, n, host, script):
    formats = "".join('<r:Format r:mediaFormatId="%s" r:progId="%s"/>' % f for f in directory_formats_of(i, n))
    info_cats = script.get("info_categories", {}).get(str(n))
    cats = "".join("<r:Category>%s</r:Category>" % c
                   for c in (directory_station_categories(i) if info_cats is None else info_cats))
    return ('<r:Station r:stationId="{sid}" r:playMode="{mode}" r:type="{typ}"><r:Name>Station {n}</r:Name>'
            '<r:Desc xml:lang="en">Short {n}</r:Desc><r:LongDesc>All about station {n}</r:LongDesc>'
            '<r:ImageUrlBase>http://{host}/img/</r:ImageUrlBase><r:StationUrl>http://{host}/st/{n}</r:StationUrl>'
            '<r:ShareUrl>http://{host}/share/{n}</r:ShareUrl>{formats}{cats}'
            '<r:Image r:url="http://{host}/img/{n}.png" r:type="logo" r:width="64" r:height="64" r:colorDepth="24"/>'
            '<r:Related>{rel}</r:Related>'
            '<r:Banner r:width="300" r:height="250" r:bannerId="{bid}" r:magicNumber="mn-{n}" r:flavorId="{fid}">'
            '<r:Image r:url="http://{host}/ad/{n}.gif" r:type="banner"/><r:Url>http://{host}/ad/{n}</r:Url>'
            '<r:Text>Visit {n}</r:Text></r:Banner></r:Station>').format(
                sid=directory_station_id(n), mode=directory_mode(script, i), typ=DIRECTORY_TYPES[i % 4], n=n,
                host=host, formats=formats, cats=cats, rel=directory_station_id(DIRECTORY_NUMBERS[(i + 1) % 45]),
                bid=8 + i % 2, fid=600 if i % 2 == 0 else 650)


def directory_format_xml(fid):
    mime, desc, channels = DIRECTORY_FORMATS[fid]
    out = '<r:Format r:mediaFormatId="%s"><r:Mime>%s</r:Mime><r:Desc>%s</r:Desc>' % (fid, mime, xml_escape(desc))
    for cls, proto, cmime, codec, rate, avg, vbr, chans in channels:
        out += ('<r:Channel r:class="%s"><r:Desc>%s %d</r:Desc><r:Proto>%s</r:Proto><r:Mime>%s</r:Mime>'
                '<r:Codec>%s</r:Codec><r:BitRate>%d</r:BitRate>' % (cls, codec, rate, proto, cmime, codec, rate))
        if avg is not None:
            out += "<r:AvgBitRate>%d</r:AvgBitRate>" % avg
        if vbr is not None:
            out += "<r:VBR>%s</r:VBR>" % vbr
        out += "<r:Channels>%s</r:Channels></r:Channel>" % chans
    return out + "</r:Format>"


def directory_state_xml(ref):
    sid = ref.split(",")[0]
    tracks = ""
    for k, typ in enumerate(["song", "promo", "Song"][:1 + len(ref) % 3]):
        tracks += ('<r:Track><r:Type>%s</r:Type><r:TrackTitle>Title %d</r:TrackTitle><r:AlbumTitle>Album</r:AlbumTitle>'
                   '<r:ArtistName>Artist</r:ArtistName><r:Next>Next up</r:Next><r:Lyrics>la la</r:Lyrics>'
                   '<r:Duration>180000</r:Duration><r:Time>42000</r:Time><r:TrackId r:type="isrc">T%s-%d</r:TrackId>'
                   '<r:AlbumIdUrl r:url="http://a.example/%s">A%s</r:AlbumIdUrl>'
                   '<r:ArtistIdUrl r:url="http://r.example/%s">R%s</r:ArtistIdUrl>'
                   '<r:Image r:url="http://i.example/%s.jpg"/></r:Track>'
                   % (typ, k + 1, sid, k, sid, sid, sid, sid, sid))
    return '<r:StationState r:stationId="%s">%s</r:StationState>' % (xml_escape(sid), tracks)


def directory_answer_content(method, first, answer, state, host, script):
    """(attributes text, children text, status code or None to use the answer's)."""
    ts = answer.get("timestamp", DIRECTORY_TS)
    ts_attr = ' timeStamp="%s"' % xml_escape(ts) if ts else ""
    empty = answer.get("empty_list", False)
    if method == "ListCategories":
        items = "" if empty else "".join(directory_category_xml(*c) for c in DIRECTORY_CATEGORIES)
        return ts_attr + ' remaining="0" offset="0"', items, None
    if method == "ListStations":
        full = any((directory_attr(t, "name") == "playMode" and (t.text or "") == "full")
                   for t in first.iter() if local_name(t.tag) == "Term")
        items = ""
        if not empty:
            for i, n in enumerate(directory_numbers(script)):
                if str(n) in answer.get("omit_numbers", []):
                    continue
                if not full or directory_mode(script, i).lower() == "full":
                    items += directory_station_xml(i, n, script)
        return ts_attr + ' remaining="0" offset="0"', items, None
    if method == "GetStationInfo":
        omit = set(answer.get("omit", []))
        index = directory_index(script)[1]
        items = "".join(directory_info_xml(*index[c.text], host, script) for c in directory_children(first, "RefId")
                        if c.text in index and c.text not in omit)
        return ts_attr, items, None
    if method == "GetMediaFormatInfo":
        return "", "".join(directory_format_xml(c.text) for c in directory_children(first, "RefId")
                           if c.text in DIRECTORY_FORMATS), None
    if method == "GetStationState":
        if answer.get("empty_state"):
            return "", "", None
        return "", "".join(directory_state_xml(c.text or "") for c in directory_children(first, "RefId")), None
    if method == "GetStationURL":
        prog = directory_attr(first, "refId") or ""
        fid = directory_attr(first, "mediaFormatId") or ""
        if prog.startswith("fail") or prog in answer.get("fail_progs", []):
            return "", "", "NoSuchAsset"
        count = 2 if prog.startswith("100,") else 1 + sum(map(ord, prog)) % 3
        if prog in answer.get("refused_progs", []):
            host = "127.0.0.1:%d" % directory_refused_port()
        urls = "".join("<r:Url>http://%s%sstream/%s?fmt=%s&amp;n=%d</r:Url>"
                       % (host, script["path"], xml_escape(prog), xml_escape(fid), k + 1) for k in range(count))
        return "", urls, None
    if method == "GetMaxPresets":
        return "", ('<r:Property name="MaxPresets"><r:MaxPresets>%d</r:MaxPresets></r:Property>'
                    % int(answer.get("max_presets", 5))), None
    if method == "GetPresets":
        with DIRECTORY_LOCK:
            presets, pts = list(state["presets"]), state["presets_ts"]
        if not presets:
            return ' timeStamp="%s"' % pts, "", "NO_PRESETS_STORED"
        items = "".join('<r:Preset id="%s">%s</r:Preset>' % (xml_escape(i), xml_escape(t)) for t, i in presets)
        stamp = "" if answer.get("timestamp", "x") == "" else ' timeStamp="%s"' % pts
        return stamp, '<r:Property name="Presets"><r:Presets>%s</r:Presets></r:Property>' % items, None
    if method == "SetPresets":
        since = directory_attr(first, "changedSince") or ""
        with DIRECTORY_LOCK:
            if answer.get("out_of_date") or since != state["presets_ts"]:
                return ' timeStamp="%s"' % state["presets_ts"], "", "OutOfDate"
            state["presets"] = directory_ids(first, "Preset")
            state["set_count"] = state.get("set_count", 0) + 1
            state["presets_ts"] = "2026-12-02T00:00:%02dZ" % (state["set_count"] % 60)
            return ' timeStamp="%s"' % state["presets_ts"], "", None
    return "", "", None


DIRECTORY_INTERFACES = {
    "ListCategories": "IMetadataListEnum", "ListStations": "IMetadataBrowse", "GetStationInfo": "IMetadataDescribe",
    "GetMediaFormatInfo": "IMetadataDescribe", "GetStationState": "IMetadataDescribe",
    "GetStationURL": "IFulfillmentGetAsset", "GetMaxPresets": "IProfileGet", "GetPresets": "IProfileGet",
    "SetPresets": "IProfileSet"}


def directory_fault(code, text, response=""):
    return ('<SOAP-ENV:Fault><faultcode>%s</faultcode><faultstring>%s</faultstring></SOAP-ENV:Fault>%s'
            % (xml_escape(code), xml_escape(text), response))


# The streams behind the station URLs: "<path>stream/<prog id>?fmt=<media format id>".
DIRECTORY_STREAMS = {
    "mf128": ("http", os.path.join("streams", "chirp-64k.mp3")),
    "multi": ("http", os.path.join("streams", "chirp-64k.mp3")),
    "mf64": ("aacp", os.path.join("streams", "chirp-64k.aac")),
    "vlb48": ("vlb", os.path.join("vlb", "stereo44k.aac")),
}


def directory_stream(conn, script):
    """Serves the stream of a station URL; False when the request is no stream's."""
    split = urlsplit(conn.req.path)
    if not split.path.startswith(script["path"] + "stream/"):
        return False
    fmt = parse_qs(split.query).get("fmt", [""])[0]
    if fmt not in DIRECTORY_STREAMS:
        serve_http(conn, {"status": 404, "body": "no such stream"})
        return True
    kind, name = DIRECTORY_STREAMS[fmt]
    with open(os.path.join(DATA_DIR, name), "rb") as f:
        audio = base64.b64encode(f.read()).decode("ascii")
    if kind == "http":
        serve_http(conn, {"headers": [["Content-Type", "audio/mpeg"]], "body_b64": audio, "piece": 1500})
    else:
        serve_quintrel(conn, {"packets": [{"audio": {"body_b64": audio}, "codec": kind, "split": 1000}]})
    return True


@handler("directory")
def serve_directory(conn, script):
    """The version-3 radio directory (see README.md). Keys: open (no assertion needed),
    presets [[station, slot]...], presets_timestamp, stations (the directory's size, 45 by
    default; more are numbered from 100000), and per method name under "methods":
    an answer object, or a list used in order (the last one repeating)."""
    import xml.etree.ElementTree as ET
    if directory_stream(conn, script):
        return
    entry, body = signon_claim_request(conn)
    try:
        root = ET.fromstring(body)
    except ET.ParseError:
        signon_reply(conn, script, "", directory_fault("SOAP-ENV:Client", "not XML"))
        return
    body_el = next((c for c in root if local_name(c.tag) == "Body"), None)
    first = list(body_el)[0] if body_el is not None and len(body_el) else None
    method = directory_route(first, script) if first is not None else ""
    state = directory_state(script)
    record = {"method": method, "element": local_name(first.tag) if first is not None else "",
              "refids": directory_ids(first, "RefId") if first is not None else [],
              "changedSince": directory_attr(first, "changedSince") if first is not None else None,
              "presets": directory_ids(first, "Preset") if first is not None else [],
              "refId": directory_attr(first, "refId") if first is not None else None,
              "mediaFormatId": directory_attr(first, "mediaFormatId") if first is not None else None}
    user = signon_presented(root, "service")
    record["assertion"] = bool(user)
    if entry is not None:
        entry["directory"] = record
    if not user and not script.get("open"):
        signon_reply(conn, script, "", directory_fault("SOAP-ENV:Client", "Assertion not recognised"))
        return
    if method not in DIRECTORY_INTERFACES:
        signon_reply(conn, script, "", directory_fault("SOAP-ENV:Server", "Method not offered"))
        return
    with DIRECTORY_LOCK:
        index = state["calls"].get(method, 0)
        state["calls"][method] = index + 1
    answers = script.get("methods", {}).get(method, {})
    if isinstance(answers, list):
        answer = answers[min(index, len(answers) - 1)] if answers else {}
    else:
        answer = answers
    if answer.get("drop"):
        conn.reset()
        return
    host = conn.req.headers.get("Host", "127.0.0.1")
    response_name = DIRECTORY_INTERFACES[method] + "Response"
    if "body" in answer:
        content = answer["body"]  # a literal answer, e.g. a golden file
    elif answer.get("no_response_element"):
        content = '<r:SomethingElseResponse xmlns:r="%s"><r:Status code="OK"/></r:SomethingElseResponse>' % RADIO3
    else:
        attrs, children, code = directory_answer_content(method, first, answer, state, host, script)
        code = answer.get("status_code", code or "OK")
        status = "" if code is None else '<r:Status code="%s" comment="answer %d"/>' % (xml_escape(code), index + 1)
        content = '<r:%s xmlns:r="%s"%s>%s%s</r:%s>' % (response_name, RADIO3, attrs, status, children, response_name)
    if answer.get("fault"):
        fault = answer["fault"]
        content = directory_fault(fault.get("code", "SOAP-ENV:Server"), fault.get("string", "Server Error"),
                                  content if fault.get("with_response") else "")
    header = signon_correlation(signon_next("M"), "")
    if "moved_to" in answer:
        content = ('<SOAP-ENV:Fault><faultcode>SOAP-ENV:Service</faultcode><faultstring>Endpoint moved</faultstring>'
                   '<detail><zym:Status xmlns:zym="%s" code="zym:EndpointMoved"/></detail></SOAP-ENV:Fault>' % SIF)
        header += ('<sb:ServiceInstanceUpdate xmlns:sb="%s" xmlns:disco="%s"><disco:Endpoint>%s</disco:Endpoint>'
                   '</sb:ServiceInstanceUpdate>' % (SB, DISCO, xml_escape(answer["moved_to"])))
    text = soap_envelope(header, content)
    http = {"headers": [["Content-Type", "text/xml; charset=utf-8"]], "body": text,
            "delay_ms": answer.get("delay_ms", 0)}
    if "http_status" in answer:
        http["status"] = int(answer["http_status"])
        http["reason"] = "Status"
        if answer.get("http_text"):
            http["headers"] = [["Content-Type", "text/plain"]]
            http["body"] = answer["http_text"]
    serve_http(conn, http)


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
