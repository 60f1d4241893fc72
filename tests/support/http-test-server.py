#!/usr/bin/env python3
"""The HTTP(S) server the network tests talk to. Listens on 127.0.0.1 only.

Started by with-test-server.sh around one test program. It writes the ports it
listens on to FOLDER/ports (after every listener is bound) and one line per
request to FOLDER/requests.log, and ends on its own as soon as the process that
started it is gone (removing FOLDER then, which that process could not).

Request log, one line per request, written when the answer's status line is
about to go out (for /slow after its wait), or when the request ends without
an answer (status "-"):
  LISTENER GET PATH range=RANGE cache=CACHE-CONTROL agent=USER-AGENT status=STATUS sent=BYTES
where "-" stands for a missing header and BYTES counts the body bytes the
answer sends (for /stall and /short those it sends before it stops).

Listeners:
  http       plain HTTP
  https      TLS with the certificate the tests' private Windows prefix trusts
  untrusted  TLS with a self-signed certificate nobody trusts
  refused    a port that is bound but never listens, so connections are refused
  tls10      TLS 1.0 and nothing later, with the trusted certificate; only
             when this machine's TLS library still speaks it (no "tls10"
             line in FOLDER/ports otherwise)

Handshake cuts: while the file FOLDER/cut-handshakes holds a number N above 0,
each TLS connection to "https" counts it down by one and is closed as soon as
its client hello has arrived, before the server answers it (nothing is logged
for it). The test program writes the file.

Paths (every answer closes the connection):
  /data/N                N pattern bytes; one "bytes=A-B" or "bytes=A-" range gives 206
  /whole/N               N pattern bytes, 200 whatever Range says
  /nolength/N            N pattern bytes without Content-Length (ends at the close)
  /short/N/M             announces N bytes, sends M, closes
  /slow/MS/N             waits MS milliseconds, then answers like /data/N
  /stall/N/M/MS          announces N bytes, sends M, waits MS milliseconds, closes
  /trickle/N/MS          N pattern bytes, announced, sent one byte every MS
                         milliseconds; one "bytes=A-B" range gives 206
  /status/CODE           the status CODE with a short body
  /redirect/CODE?to=LOC  the status CODE with "Location: LOC" (no Location without "to")
  /chain/N?kind=K        N redirects (K relative, absolute or scheme, to the host
                         the request named) before a 200
  /doc?size=N&date=D&age=A&status=S
                         N pattern bytes with status S (200); "Date: D" (none
                         when D is "none"), "Age: A" when given
  /files/NAME?OPTIONS    the file FOLDER/files/NAME, which the test program put
                         there; a single "bytes=A-B" or "bytes=A-" range gives
                         206, a range list (or a range past the end) 416.
                         Options (query), first the answer's form:
                           nolength=1     no Content-Length (the body ends at the close)
                           delay=MS       waits MS milliseconds before it answers
                         then faults, which every request of this exact path
                         and query meets (counted per path and query, on
                         every listener), or only some of them:
                           skip=N         the first N requests meet no fault
                           first=N        only the N requests after those meet
                                          the faults
                           moved=LOC      302 with "Location: LOC" instead
                           ranges=ignore  200 and the whole file whatever Range says
                           wholebelow=N   200 and the whole file for a range that
                                          starts before byte N (later ones honoured)
                           alt=NAME2      the bytes of FOLDER/files/NAME2 instead
                                          (the same positions; its size announced)
                           flip=P         the byte at file position P inverted
                           extra=N        a range answer runs N bytes past the
                                          range (zero bytes past the file's end)
                           cut=N          a range answer stops N bytes short
                                          (its length says so: it ends in order)
                           end=1          announces the whole answer, sends its
                                          first half and closes
                           stall=MS       announces the whole answer, sends its
                                          first half, waits MS milliseconds, closes
                           trickle=MS     sends the answer one byte every MS
                                          milliseconds
                           headerdrip=MS  sends the status line and headers one
                                          byte every MS milliseconds
                           headerbytes=N  N more bytes of headers (rounded up to
                                          whole "X-Filler-I" lines of 64 bytes)
                           shift=N        a range answer (206) for the part N
                                          bytes further on (clipped at the end),
                                          its Content-Range naming that part
                           total=N        a range answer's Content-Range names
                                          N as the file's size
                         The body is read from the file piece by piece, so
                         large files cost no memory.
  /sign/NAME             signs FOLDER/files/NAME as the release tool signs a
                         manifest (openssl pkeyutl -sign -rawin) with the
                         server's own Ed25519 key, made on first use; the body
                         is "signature=HEX\npublic=HEX\n" (the raw public key)

Pattern byte at offset i: i % 251.
"""

import argparse
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse
import warnings
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PATTERN_BLOCK = bytes(range(251)) * 1024


def pattern(start, end):
    out = bytearray()
    offset = start
    while offset < end:
        skip = offset % 251
        piece = PATTERN_BLOCK[skip:skip + min(end - offset, len(PATTERN_BLOCK) - skip)]
        out += piece
        offset += len(piece)
    return bytes(out)


def filler_headers(size):
    """At least `size` bytes of header lines "X-Filler-I: fff...", 64 bytes each."""
    lines = []
    for number in range((size + 63) // 64):
        line = b"X-Filler-%d: " % number
        lines.append(line + b"f" * (62 - len(line)) + b"\r\n")
    return b"".join(lines)


class Log:
    def __init__(self, path):
        self.lock = threading.Lock()
        self.file = open(path, "a", encoding="utf-8")

    def write(self, line):
        with self.lock:
            self.file.write(line + "\n")
            self.file.flush()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "qv-test"
    sys_version = ""

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.close_connection = True
        self.logged = False
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        parts = [p for p in url.path.split("/") if p]
        try:
            self.route(parts, query)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError, TimeoutError):
            pass
        finally:
            self.log_request_line("-", 0)

    def log_request_line(self, status, sent):
        # Once per request, before the answer leaves: a client that has read
        # the answer always finds its line in the log.
        if self.logged:
            return
        self.logged = True
        self.server.request_log.write(
            "%s GET %s range=%s cache=%s agent=%s status=%s sent=%d"
            % (self.server.name, self.path, self.headers.get("Range", "-"),
               self.headers.get("Cache-Control", "-"), self.headers.get("User-Agent", "-"), status, sent))

    def head(self, status, length=None, extra=(), sending=None, filler=0, drip=0):
        """Sends the status line and headers; `sending` is what the body will
        hold when it differs from the announced length. `filler` adds that
        many bytes of headers; `drip` sends the whole head one byte every
        `drip` seconds."""
        self.log_request_line(str(status), sending if sending is not None else (length or 0))
        self.send_response_only(status)
        for name, value in extra:
            self.send_header(name, value)
        if length is not None:
            self.send_header("Content-Length", str(length))
        self.send_header("Connection", "close")
        if not filler and not drip:
            self.end_headers()
            return
        block = b"".join(self._headers_buffer) + filler_headers(filler) + b"\r\n"
        self._headers_buffer = []
        if drip:
            for offset in range(len(block)):
                time.sleep(drip)
                self.wfile.write(block[offset:offset + 1])
                self.wfile.flush()
        else:
            for offset in range(0, len(block), 1 << 20):
                self.wfile.write(block[offset:offset + (1 << 20)])
        self.wfile.flush()

    def answer(self, status, body, extra=()):
        self.head(status, len(body), extra)
        self.wfile.write(body)

    def wanted_range(self, size):
        """(start, end) of the one range asked for, clipped to the size; None
        for a whole-file request; "refused" for a range list or one that lies
        past the end."""
        wanted = self.headers.get("Range")
        if not wanted or not wanted.startswith("bytes="):
            return None
        first, _, last = wanted[len("bytes="):].partition("-")
        if not first.isdigit() or not (last.isdigit() or last == ""):
            return "refused"
        start = int(first)
        end = min(int(last) + 1, size) if last else size
        if start >= size or start >= end:
            return "refused"
        return start, end

    def refuse_range(self, size):
        self.answer(416, b"", [("Content-Range", "bytes */%d" % size)])

    def serve_data(self, size, honour_range):
        wanted = self.wanted_range(size) if honour_range else None
        if wanted == "refused":
            self.refuse_range(size)
        elif wanted:
            start, end = wanted
            self.answer(206, pattern(start, end), [("Content-Range", "bytes %d-%d/%d" % (start, end - 1, size))])
        else:
            self.answer(200, pattern(0, size))

    def serve_trickle(self, size, interval):
        wanted = self.wanted_range(size)
        if wanted == "refused":
            self.refuse_range(size)
            return
        start, end = wanted if wanted else (0, size)
        extra = [("Content-Range", "bytes %d-%d/%d" % (start, end - 1, size))] if wanted else []
        self.head(206 if wanted else 200, end - start, extra)
        self.wfile.flush()
        for offset in range(start, end):
            time.sleep(interval)
            self.wfile.write(pattern(offset, offset + 1))
            self.wfile.flush()

    def serve_file(self, name, query):
        folder = os.path.join(self.server.folder, "files")
        option = lambda key, default: query.get(key, [default])[0]

        def test_file(file_name):
            path = os.path.join(folder, file_name)
            if file_name in ("", ".", "..") or "/" in file_name or "\\" in file_name or not os.path.isfile(path):
                return None
            return path

        path = test_file(name)
        if path is None:
            self.answer(404, b"no such test file")
            return
        time.sleep(int(option("delay", "0")) / 1000)
        number = self.server.count_request(self.path) - int(option("skip", "0"))
        if number < 1 or number > int(option("first", str(1 << 62))):
            query = {key: value for key, value in query.items() if key in ("nolength", "delay")}
        if "moved" in query:
            self.answer(302, b"", [("Location", option("moved", ""))])
            return
        if "alt" in query:
            path = test_file(option("alt", ""))
            if path is None:
                self.answer(404, b"no such test file")
                return
        size = os.path.getsize(path)
        wanted = None if option("ranges", "honour") == "ignore" else self.wanted_range(size)
        if isinstance(wanted, tuple) and wanted[0] < int(option("wholebelow", "0")):
            wanted = None
        if wanted == "refused":
            self.refuse_range(size)
            return
        if wanted is None:
            status, start, end, extra = 200, 0, size, []
        else:
            start, end = wanted
            shift = int(option("shift", "0"))
            start, end = min(start + shift, size - 1), min(end + shift, size)
            status = 206
            extra = [("Content-Range", "bytes %d-%d/%s" % (start, end - 1, option("total", str(size))))]
            end = max(start, end - int(option("cut", "0")))
            end += int(option("extra", "0"))
        announced = end - start
        sending = announced // 2 if ("end" in query or "stall" in query) else announced
        self.head(status, None if option("nolength", "0") == "1" else announced, extra, sending=sending,
                  filler=int(option("headerbytes", "0")), drip=int(option("headerdrip", "0")) / 1000)
        self.send_file_bytes(path, start, start + sending, int(option("flip", "-1")),
                             int(option("trickle", "0")) / 1000)
        if "stall" in query:
            self.wfile.flush()
            time.sleep(int(option("stall", "0")) / 1000)

    def sign_file(self, name):
        path = os.path.join(self.server.folder, "files", name)
        if name in ("", ".", "..") or "/" in name or "\\" in name or not os.path.isfile(path):
            self.answer(404, b"no such test file")
            return
        key = signing_key(self.server.folder)
        run = lambda *command: subprocess.run(command, capture_output=True, check=True).stdout
        signature = run("openssl", "pkeyutl", "-sign", "-rawin", "-inkey", key, "-in", path)
        public = run("openssl", "pkey", "-in", key, "-pubout", "-outform", "DER")[-32:]
        self.answer(200, ("signature=%s\npublic=%s\n" % (signature.hex(), public.hex())).encode("ascii"))

    def send_file_bytes(self, path, start, end, flip, trickle=0):
        """Bytes [start, end) of the file, zero bytes past its end, the byte
        at position `flip` inverted; one byte every `trickle` seconds when
        that is not 0."""
        with open(path, "rb") as source:
            source.seek(start)
            position = start
            while position < end:
                if trickle:
                    time.sleep(trickle)
                piece = bytearray(source.read(min(end - position, 1 if trickle else 1 << 20)))
                if not piece:
                    piece = bytearray(min(end - position, 1 << 20))
                if position <= flip < position + len(piece):
                    piece[flip - position] ^= 0xFF
                self.wfile.write(piece)
                if trickle:
                    self.wfile.flush()
                position += len(piece)

    def route(self, parts, query):
        kind = parts[0] if parts else ""
        numbers = [int(p) for p in parts[1:] if p.isdigit()]
        if kind == "data" and len(numbers) == 1:
            self.serve_data(numbers[0], True)
        elif kind == "whole" and len(numbers) == 1:
            self.serve_data(numbers[0], False)
        elif kind == "nolength" and len(numbers) == 1:
            self.head(200, sending=numbers[0])
            self.wfile.write(pattern(0, numbers[0]))
        elif kind == "short" and len(numbers) == 2:
            self.head(200, numbers[0], sending=numbers[1])
            self.wfile.write(pattern(0, numbers[1]))
        elif kind == "slow" and len(numbers) == 2:
            time.sleep(numbers[0] / 1000)
            self.serve_data(numbers[1], True)
        elif kind == "stall" and len(numbers) == 3:
            self.head(200, numbers[0], sending=numbers[1])
            self.wfile.write(pattern(0, numbers[1]))
            self.wfile.flush()
            time.sleep(numbers[2] / 1000)
        elif kind == "trickle" and len(numbers) == 2:
            self.serve_trickle(numbers[0], numbers[1] / 1000)
        elif kind == "status" and len(numbers) == 1:
            self.answer(numbers[0], b"status %d" % numbers[0])
        elif kind == "redirect" and len(numbers) == 1:
            extra = [("Location", query["to"][0])] if "to" in query else []
            self.answer(numbers[0], b"", extra)
        elif kind == "chain" and len(numbers) == 1:
            left = numbers[0]
            if left == 0:
                self.answer(200, b"end of chain")
                return
            how = query.get("kind", ["relative"])[0]
            target = "/chain/%d?kind=%s" % (left - 1, how)
            origin = "//" + self.headers.get("Host", "127.0.0.1:%d" % self.server.server_address[1])
            if how == "absolute":
                target = "%s:%s%s" % (self.server.scheme, origin, target)
            elif how == "scheme":
                target = origin + target
            self.answer(302, b"", [("Location", target)])
        elif kind == "doc":
            extra = []
            date = query.get("date", [self.date_time_string()])[0]
            if date != "none":
                extra.append(("Date", date))
            if "age" in query:
                extra.append(("Age", query["age"][0]))
            self.answer(int(query.get("status", ["200"])[0]), pattern(0, int(query.get("size", ["0"])[0])), extra)
        elif kind == "files" and len(parts) == 2:
            self.serve_file(urllib.parse.unquote(parts[1]), query)
        elif kind == "sign" and len(parts) == 2:
            self.sign_file(urllib.parse.unquote(parts[1]))
        else:
            self.answer(404, b"no such test path")


SIGNING_KEY_LOCK = threading.Lock()
CUT_LOCK = threading.Lock()


def signing_key(folder):
    """The server's Ed25519 signing key, made once for the run."""
    path = os.path.join(folder, "signing-key.pem")
    with SIGNING_KEY_LOCK:
        if not os.path.isfile(path):
            subprocess.run(["openssl", "genpkey", "-algorithm", "ed25519", "-out", path],
                           capture_output=True, check=True)
    return path


class RequestCounts:
    """How many requests each path (query included) has had, on every listener."""

    def __init__(self):
        self.lock = threading.Lock()
        self.counts = {}

    def next(self, path):
        """The number of this request among those for exactly this path, this one included."""
        with self.lock:
            self.counts[path] = self.counts.get(path, 0) + 1
            return self.counts[path]


class Server(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 64

    def __init__(self, name, log, folder, counts, context=None):
        super().__init__(("127.0.0.1", 0), Handler)
        self.name = name
        self.folder = folder
        self.request_log = log
        self.context = context
        self.scheme = "https" if context else "http"
        self.counts = counts

    def count_request(self, path):
        return self.counts.next(path)

    def cut_handshake(self):
        """True when this connection's handshake is to be cut (and counted)."""
        if self.name != "https":
            return False
        path = os.path.join(self.folder, "cut-handshakes")
        with CUT_LOCK:
            try:
                with open(path, encoding="ascii") as armed:
                    left = int(armed.read().strip() or "0")
            except (OSError, ValueError):
                return False
            if left <= 0:
                return False
            with open(path, "w", encoding="ascii") as armed:
                armed.write(str(left - 1))
        return True

    def finish_request(self, request, client_address):
        # The TLS handshake runs on the request's own thread, so a client that
        # refuses the certificate cannot hold up the others.
        request.settimeout(30)
        if self.context and self.cut_handshake():
            try:
                request.recv(4096)  # the client hello
            except OSError:
                pass
            return
        if self.context:
            try:
                request = self.context.wrap_socket(request, server_side=True)
            except (ssl.SSLError, OSError):
                return
        super().finish_request(request, client_address)

    def handle_error(self, request, client_address):
        pass


def tls_context(cert, key):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context


def tls10_context(cert, key):
    """A context that speaks TLS 1.0 only; None where the TLS library no
    longer can (its security level allows the old ciphers only at 0)."""
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.set_ciphers("DEFAULT:@SECLEVEL=0")
            context.minimum_version = ssl.TLSVersion.TLSv1
            context.maximum_version = ssl.TLSVersion.TLSv1
            context.load_cert_chain(cert, key)
        return context
    except (ssl.SSLError, ValueError, AttributeError):
        return None


def watch_parent(parent, folder, lifetime):
    deadline = time.monotonic() + lifetime
    while time.monotonic() < deadline:
        try:
            os.kill(parent, 0)
        except ProcessLookupError:
            # Killed outright, the parent could not clean up: the folder is ours now.
            shutil.rmtree(folder, ignore_errors=True)
            break
        time.sleep(0.5)
    os._exit(0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--parent", type=int, required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--untrusted-cert", required=True)
    parser.add_argument("--untrusted-key", required=True)
    parser.add_argument("--lifetime", type=float, default=1800)
    args = parser.parse_args()

    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    threading.Thread(target=watch_parent, args=(args.parent, args.folder, args.lifetime), daemon=True).start()

    log = Log(os.path.join(args.folder, "requests.log"))
    counts = RequestCounts()
    servers = {
        "http": Server("http", log, args.folder, counts),
        "https": Server("https", log, args.folder, counts, tls_context(args.cert, args.key)),
        "untrusted": Server("untrusted", log, args.folder, counts,
                            tls_context(args.untrusted_cert, args.untrusted_key)),
    }
    old_tls = tls10_context(args.cert, args.key)
    if old_tls:
        servers["tls10"] = Server("tls10", log, args.folder, counts, old_tls)
    refused = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    refused.bind(("127.0.0.1", 0))  # bound, never listening: connections are refused

    for server in servers.values():
        threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()

    ports = ["%s=%d" % (name, server.server_address[1]) for name, server in servers.items()]
    ports.append("refused=%d" % refused.getsockname()[1])
    temporary = os.path.join(args.folder, "ports.new")
    with open(temporary, "w", encoding="ascii") as out:
        out.write("\n".join(ports) + "\n")
    os.replace(temporary, os.path.join(args.folder, "ports"))

    threading.Event().wait()


if __name__ == "__main__":
    sys.exit(main())
