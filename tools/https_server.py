#!/usr/bin/env python3
"""Local HTTPS server for the download tests (Python standard library + the
openssl command), on 127.0.0.1 only; it never connects out. start makes the PKI
afresh, starts the server with start-stop-daemon and returns once it listens;
stop stops it; serve is the server itself (see --help for the options).

Listeners, ports in <state-dir>/ports.txt ("name=port" lines, written once all
listen), all serving the same content: main (HTTPS, --main-port, for localhost
from the test CA), selfsigned, wrongname (test CA, wrong-name.invalid), otherca
(localhost from other-ca.pem), http (plain) and refused (bound, never listening).
Connections are kept alive (HTTP/1.1) but where a reply hangs up on purpose;
each accepted one appends its listener's name and LF to connections.log.

<mirror-prefix><path> and <server-prefix><path>: the file <root>/mirror/<path>
or <root>/server/<path> ("." and ".." segments refused), else 404. Options for
serving <name>, in query syntax in "<name>.serve" beside it: status=500 answers
that status with the file as body; chunk=N&delay=S sends N bytes every S
seconds; etag=V sends ETag "V" (weak=1: W/"V"), lastmod=D Last-Modified D; with
either, "Range: bytes=N-" is answered 206 from byte N when If-Range matches (200
when not, 416 past the end; range=200 always 200, range=416 always 416);
fail=CODE&fail_times=K answers CODE (with Retry-After R for retry_after=R) to
the first K requests; cut=N&cut_times=K sends only N bytes of the body to the
first K requests and hangs up. "<name>.count" counts the requests.
/fault/status/<code> (body "status <code>\\n", none for 1xx, 204, 304; 206 adds a
Content-Range), /fault/redirect/<n>/<path> (n 302s, the last to /<path>),
/fault/redirect-loop, /fault/redirect-to?url=<url>, /fault/empty (200, no body),
/fault/cut?size=N&send=M (promises N bytes, sends M, hangs up),
/fault/stall?send=M&hold=S (promises M+1000000, sends M, then nothing for S
seconds, default 30, or until the client leaves; headers=0: before the status
line), /fault/slow?size=N&chunk=C&delay=S. Generated bodies: byte i is i % 251.
No reply takes longer than about two minutes.

requests.log gets, before each answer, "listener TAB method TAB target TAB
user-agent TAB range TAB if-range LF": the raw bytes received but backslash and
control bytes, written as \\xHH. A failed TLS handshake leaves no line.
Readers may truncate the file or remember its size; the server appends.
"""
import argparse
import http.server
import os
import re
import select
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

# Each listener and its certificate (none: plain HTTP).
LISTENERS = {"main": "localhost", "selfsigned": "selfsigned", "wrongname": "wrongname",
             "otherca": "otherca", "http": None}
MAX_SLEEP = 120.0


def make_pki(pki):
    os.makedirs(pki, exist_ok=True)
    for name in os.listdir(pki):
        os.remove(os.path.join(pki, name))
    ca = ("basicConstraints=critical,CA:TRUE", "keyUsage=critical,keyCertSign,cRLSign")
    leaf = ("basicConstraints=CA:FALSE", "keyUsage=critical,digitalSignature,keyEncipherment",
            "extendedKeyUsage=serverAuth")
    for name, cn, issuer, ext in (
            ("ca", "Velmora Test CA", None, ca), ("other-ca", "Velmora Other CA", None, ca),
            ("localhost", "localhost", "ca", leaf), ("wrongname", "wrong-name.invalid", "ca", leaf),
            ("otherca", "localhost", "other-ca", leaf), ("selfsigned", "localhost", None, ())):
        ext += ("subjectAltName=DNS:" + cn,) if ext is not ca else ()
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256",
                        "-days", "30", "-keyout", name + ".key", "-out", name + ".pem",
                        "-subj", "/CN=" + cn] +
                       (["-CA", issuer + ".pem", "-CAkey", issuer + ".key"] if issuer else []) +
                       [a for e in ext for a in ("-addext", e)],
                       cwd=pki, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def escape(raw):
    return re.sub(rb"[\x00-\x1f\x7f\\]", lambda m: b"\\x%02X" % m.group()[0], raw)


def pattern(start, count):
    return bytes((i % 251) for i in range(start, start + count))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = 30

    def handle(self):
        if isinstance(self.connection, ssl.SSLSocket):
            try:
                self.connection.do_handshake()
            except (ssl.SSLError, OSError) as e:
                self.log_message("TLS handshake failed: %s", e)
                return
        try:
            super().handle()
        except (ConnectionError, ssl.SSLError, socket.timeout):
            pass

    def do_GET(self):
        cfg = self.server.cfg
        line = b"\t".join([self.server.name.encode(), self.command.encode()] + [
            escape(v.encode("latin-1")) for v in (self.path, self.headers.get("User-Agent", ""),
                                                  self.headers.get("Range", ""),
                                                  self.headers.get("If-Range", ""))])
        with cfg.log_lock, open(cfg.request_log, "ab") as log:
            log.write(line + b"\n")
        parsed = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(parsed.query))
        path = urllib.parse.unquote_to_bytes(parsed.path.encode("latin-1"))
        if path.startswith(b"/fault/"):
            return self.fault(path[len(b"/fault/"):].decode("latin-1"), query)
        for prefix, site in ((cfg.mirror_prefix, b"mirror"), (cfg.server_prefix, b"server")):
            if path.startswith(prefix):
                return self.site_file(os.path.join(cfg.root, site), path[len(prefix):])
        self.reply(404, b"not found\n")

    def site_file(self, root, rel):
        parts = rel.split(b"/")
        if not rel or any(p in (b"", b".", b"..") for p in parts):
            return self.reply(404, b"not found\n")
        file = os.path.join(root, *parts)
        if not os.path.isfile(file):
            return self.reply(404, b"not found\n")
        read = lambda name: open(name).read() if os.path.isfile(name) else ""
        with open(file, "rb") as f:
            body = f.read()
        opts = dict(urllib.parse.parse_qsl(read(file + b".serve").strip()))
        with self.server.cfg.log_lock:
            seen = int(read(file + b".count") or 0)
            with open(file + b".count", "w") as f:
                f.write(str(seen + 1))
        chunk, delay = int(opts.get("chunk", 0)), float(opts.get("delay", 0))
        if "fail" in opts and seen < int(opts.get("fail_times", 1)):
            headers = {"Retry-After": opts["retry_after"]} if "retry_after" in opts else {}
            return self.reply(int(opts["fail"]), b"failing for now\n", headers=headers)
        headers = {}
        if "etag" in opts:
            headers["ETag"] = ('W/"%s"' if opts.get("weak") == "1" else '"%s"') % opts["etag"]
        if "lastmod" in opts:
            headers["Last-Modified"] = opts["lastmod"]
        status, start = int(opts.get("status", 200)), 0
        asked = self.headers.get("Range", "")
        if status == 200 and headers and asked.startswith("bytes=") and asked.endswith("-"):
            if_range = self.headers.get("If-Range")
            matches = if_range is None or if_range in (headers.get("ETag"),
                                                       headers.get("Last-Modified"))
            mode = opts.get("range", "")
            first = int(asked[6:-1])
            if mode == "416" or (matches and mode != "200" and first >= len(body)):
                headers["Content-Range"] = "bytes */%d" % len(body)
                return self.reply(416, b"", headers=headers)
            if matches and mode != "200":
                status, start = 206, first
                headers["Content-Range"] = "bytes %d-%d/%d" % (first, len(body) - 1, len(body))
        if "cut" in opts and seen < int(opts.get("cut_times", 1)):
            self.close_connection = True
            self.head(status, len(body) - start, headers)
            self.wfile.write(body[start:start + int(opts["cut"])])
            return
        self.reply(status, body[start:], headers=headers, chunk=chunk, delay=delay)

    def fault(self, name, q):
        if name.startswith("status/"):
            code = int(name.split("/")[1])
            body = b"" if code < 200 or code in (204, 304) else b"status %d\n" % code
            headers = {"Content-Range": "bytes 0-%d/%d" % (len(body) - 1, len(body) * 2)
                       } if code == 206 else {}
            return self.reply(code, body, headers=headers, body_allowed=bool(body))
        if name.startswith("redirect/"):
            _, n, rest = name.split("/", 2)
            target = "/fault/redirect/%d/%s" % (int(n) - 1, rest) if int(n) > 1 else "/" + rest
            return self.reply(302, b"", headers={
                "Location": urllib.parse.quote(target.encode("latin-1"), safe="/")})
        if name in ("redirect-loop", "redirect-to"):
            return self.reply(302, b"", headers={"Location": q.get("url", "/fault/redirect-loop")})
        if name == "empty":
            return self.reply(200, b"")
        if name == "cut":
            size, send = int(q.get("size", 100000)), int(q.get("send", 1000))
            self.close_connection = True
            self.head(200, size)
            self.wfile.write(pattern(0, min(send, size)))
            return
        if name == "stall":
            send = int(q.get("send", 1000))
            self.close_connection = True
            if q.get("headers", "1") != "0":
                self.head(200, send + 1000000)
                self.wfile.write(pattern(0, send))
                self.wfile.flush()
            self.wait_for_leave(min(float(q.get("hold", 30)), MAX_SLEEP))
            return
        if name == "slow":
            return self.reply(200, pattern(0, int(q.get("size", 100000))),
                              chunk=int(q.get("chunk", 1024)), delay=float(q.get("delay", 0.05)))
        self.reply(404, b"no such fault\n")

    def head(self, code, length, headers=None):
        self.send_response(code)
        for key, value in (headers or {}).items():
            self.send_header(key, value)
        if length is not None:
            self.send_header("Content-Length", str(length))
        if self.close_connection:
            self.send_header("Connection", "close")
        self.end_headers()

    def reply(self, code, body, headers=None, chunk=0, delay=0.0, body_allowed=True):
        self.close_connection |= code < 200  # an informational answer is no final one
        self.head(code, len(body) if body_allowed else None, headers)
        if not chunk:
            self.wfile.write(body)
            return
        deadline = time.monotonic() + MAX_SLEEP
        for start in range(0, len(body), chunk):
            self.wfile.write(body[start:start + chunk])
            self.wfile.flush()
            if time.monotonic() > deadline:
                self.close_connection = True
                return
            time.sleep(min(delay, 5.0))

    def wait_for_leave(self, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if select.select([self.connection], [], [], 0.2)[0]:
                try:
                    if not self.connection.recv(4096):
                        return
                except (OSError, ssl.SSLError):
                    return

    def log_message(self, fmt, *args):
        sys.stderr.write("%s %s %s\n" % (time.strftime("%H:%M:%S"), self.server.name, fmt % args))


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, name, port, tls, cfg):
        self.name, self.tls, self.cfg = name, tls, cfg
        super().__init__(("127.0.0.1", port), Handler)

    def get_request(self):
        sock, addr = self.socket.accept()
        with self.cfg.log_lock, open(self.cfg.connection_log, "a") as log:
            log.write(self.name + "\n")
        if self.tls:
            # The handshake runs in the request's own thread, so a client
            # that never finishes it cannot block the others.
            sock = self.tls.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, addr


def tls_context(pki, name):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(os.path.join(pki, name + ".pem"), os.path.join(pki, name + ".key"))
    return ctx


def serve(args):
    cfg = argparse.Namespace(
        root=os.fsencode(os.path.abspath(args.root)), log_lock=threading.Lock(),
        request_log=os.path.join(args.state_dir, "requests.log"),
        connection_log=os.path.join(args.state_dir, "connections.log"),
        mirror_prefix=args.mirror_prefix.encode(), server_prefix=args.server_prefix.encode())
    for site in ("mirror", "server"):
        os.makedirs(os.path.join(args.root, site), exist_ok=True)
    for log in (cfg.request_log, cfg.connection_log):
        open(log, "wb").close()
    servers = {name: Server(name, args.main_port if name == "main" else 0,
                            cert and tls_context(args.pki_dir, cert), cfg)
               for name, cert in LISTENERS.items()}
    refused = socket.socket()
    refused.bind(("127.0.0.1", 0))  # bound, never listening: connections are refused
    ports = {name: s.server_address[1] for name, s in servers.items()}
    ports["refused"] = refused.getsockname()[1]
    for s in servers.values():
        threading.Thread(target=s.serve_forever, args=(0.1,), daemon=True).start()

    stop = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stop.set())
    ports_file = os.path.join(args.state_dir, "ports.txt")
    with open(ports_file + ".tmp", "w") as f:
        f.write("".join("%s=%d\n" % item for item in ports.items()))
    os.replace(ports_file + ".tmp", ports_file)
    sys.stderr.write("listening: %s\n" % ports)
    sys.stderr.flush()
    stop.wait(args.lifetime)
    for s in servers.values():
        s.shutdown()
        s.server_close()
    refused.close()
    for done in (ports_file, os.path.join(args.state_dir, "server.pid")):
        if os.path.exists(done):
            os.remove(done)


def daemon(args, *action):
    """start-stop-daemon on server.pid, which the server removes as it ends."""
    return subprocess.run(["start-stop-daemon", "--quiet", "--oknodo", "--pidfile",
                           os.path.join(args.state_dir, "server.pid"), *action]).returncode


def stop(args):
    return daemon(args, "--stop", "--retry", "TERM/5/KILL/5", "--remove-pidfile")


def start(args):
    args.state_dir = os.path.abspath(args.state_dir)
    os.makedirs(args.state_dir, exist_ok=True)
    stop(args)  # a server left over from an earlier run of this build
    make_pki(args.pki_dir)
    ports_file = os.path.join(args.state_dir, "ports.txt")
    if os.path.exists(ports_file):
        os.remove(ports_file)
    log_path = os.path.join(args.state_dir, "server.log")
    started = daemon(args, "--start", "--background", "--make-pidfile", "--output", log_path,
           "--chdir", os.getcwd(), "--exec", sys.executable, "--", os.path.abspath(__file__),
           "serve", "--state-dir", args.state_dir, "--pki-dir", args.pki_dir, "--root", args.root, "--main-port", str(args.main_port),
           "--mirror-prefix", args.mirror_prefix, "--server-prefix", args.server_prefix,
           "--lifetime", str(args.lifetime))
    deadline = time.monotonic() + 30
    # Status 1: the pid file is there, its process is not (3: no pid file yet).
    while not started and time.monotonic() < deadline and daemon(args, "--status") != 1:
        if os.path.exists(ports_file):
            print(open(ports_file).read(), end="")
            return 0
        time.sleep(0.1)
    sys.stderr.write("test server did not start (is port %d free?):\n" % args.main_port)
    sys.stderr.write(open(log_path, errors="replace").read())
    stop(args)
    return 1


def main():
    parser = argparse.ArgumentParser(description="Local HTTPS server for the download tests")
    parser.add_argument("command", choices=("start", "stop", "serve"))
    parser.add_argument("--state-dir", required=True, help="ports, logs, pid file")
    parser.add_argument("--pki-dir", help="where the certificates are made (ca.pem: test CA)")
    parser.add_argument("--root", help="document root, holding mirror/ and server/")
    parser.add_argument("--main-port", type=int, default=47443, help="the main listener's")
    parser.add_argument("--mirror-prefix", default="/velmora-online/client/main/")
    parser.add_argument("--server-prefix", default="/download/client/")
    parser.add_argument("--lifetime", type=float, default=1800, help="seconds, then it ends")
    args = parser.parse_args()
    if args.command == "stop":
        return stop(args)
    if not args.pki_dir or not args.root:
        parser.error("start and serve need --pki-dir and --root")
    if args.command == "start":
        return start(args)
    serve(args)
    return 0


if __name__ == "__main__":
    sys.exit(main())
