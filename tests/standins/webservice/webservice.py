#!/usr/bin/env python3
"""Local stand-in of the web service for the tests.

Listens on 127.0.0.1 port 80 (HTTP) and port 443 (HTTPS, with a server
certificate from a test certificate authority that the test's Wine prefix is
made to trust) and answers the service's calls. 127.0.0.2 answers the same
on both ports, with a certificate of the same authority: another host that
the client trusts as much (a download address on someone else's server).
README.md says which documented behaviour each fault follows.

  POST VApi/Check.aspx          update check: "Cmd=SelfUpdate" with
                                "DownloadUrl"/"DownloadLength" when a newer
                                version is configured, else "Cmd=None"
  POST VApi/GetRepos.aspx       the account's data sets (body: narrow text
                                "ProgType=..\\nEmail=..\\nPwd=..")
  POST VApi/UploadDB.aspx?ACC   stores the body as the account's newest
                                archive; "ErrorCode=0" and its size
  GET  VApi/OnlineRestore.aspx?ACC
                                "ContentLength" and "Url" of the newest archive
  GET  VApi/Backup.aspx?account=ACC&file=NAME
                                the stored archive (the "Url" above)
  GET  Files/Folionex_Setup.exe the configured installer bytes
  GET  _test/bytes?size=N       N bytes of a fixed pattern: byte i is
                                (i % 4099) % 251
  POST _test/echo               the request body back

Control (POST, body of key=value lines, UTF-8):
  _control/reset                forget faults, accounts, update and uploads
  _control/fault                path=<path or *>
                                mode=status|stall|cut|drop|endless|big
                                status=<code> after=<body bytes, -1 before
                                the headers> seconds=<stall, at most 30>
                                times=<requests it applies to, -1 always>
                                size=<bytes of a big answer>
                                announce=<1: a big answer has its
                                Content-Length (the default), 0: it has none>
                                endless: the headers without Content-Length,
                                then pattern bytes until the client lets go
                                (or after=<bytes> of them, then the end);
                                big: instead of the answer, size= bytes of
                                key=value lines "K<n>=<n>"
  _control/account              email=.. password=.. repo=<nr>|<name>|<type>
                                (repeatable)
  _control/update               version=<newest version> size=<bytes>
                                file=<path of the installer to serve; its
                                size is "DownloadLength" unless size= says
                                otherwise>
  _control/reply                path=<path> status=<code, 200> times=<requests
                                it applies to, 1; -1 always> location=<a
                                Location header, for a redirect>, then an
                                empty line and the body bytes to answer with
  _control/requests             the requests received since the reset, one
                                line each: method TAB path TAB query TAB the
                                body bytes in hexadecimal
  _control/stop                 ends the server
  GET _control/ping             "ok"

Commands:
  webservice.py start --state DIR [--lifetime S] [-- WINE-RUN...]
      makes the test authority and the server certificate in DIR (openssl)
      when missing, makes the Wine prefix trust the authority (through the
      given wine-run command), starts the server detached and waits until it
      listens; fails with a clear message when a port is taken.
  webservice.py stop --state DIR
  webservice.py serve --state DIR --lifetime S     (what start runs)
The server ends itself after the lifetime (default 1800 s).
"""

import argparse
import hashlib
import http.server
import os
import shutil
import signal
import socket
import socketserver
import ssl
import struct
import subprocess
import sys
import threading
import time
import urllib.parse
import urllib.request

HOST = "127.0.0.1"
# Another host on the same machine: the same answers, another name.
OTHER_HOST = "127.0.0.2"
MAX_BODY = 256 * 1024 * 1024
MAX_STALL = 30.0
PATTERN = bytes((j % 251) for j in range(4099))
ROOT_STORE_KEY = r"HKLM\Software\Microsoft\SystemCertificates\Root\Certificates"


def pattern_bytes(size):
    reps = size // len(PATTERN) + 1
    return (PATTERN * reps)[:size]


def parse_pairs(text):
    """key=value lines, split at the first "="; repeated keys collect."""
    pairs = {}
    for line in text.split("\n"):
        if "=" not in line:
            continue
        key, value = line.split("=", 1)
        pairs.setdefault(key.strip(), []).append(value.strip())
    return pairs


def first(pairs, key, default=""):
    values = pairs.get(key)
    return values[0] if values else default


class ServiceState:
    def __init__(self, state_dir):
        self.lock = threading.Lock()
        self.stop_event = threading.Event()
        self.upload_dir = os.path.join(state_dir, "uploads")
        self.reset()

    def reset(self):
        with self.lock:
            self.faults = []
            self.accounts = {}
            self.update = None
            self.upload_seq = 0
            self.replies = []
            self.requests = []
            shutil.rmtree(self.upload_dir, ignore_errors=True)
            os.makedirs(self.upload_dir, exist_ok=True)

    def take(self, entries, path):
        """The first entry for the path ("*" matches any); an entry with a
        count of requests goes when the count is used up."""
        with self.lock:
            for entry in entries:
                if entry["path"] == "*" or entry["path"].lower() == path.lower():
                    if entry["times"] > 0:
                        entry["times"] -= 1
                        if entry["times"] == 0:
                            entries.remove(entry)
                    return dict(entry)
        return None

    def take_fault(self, path):
        return self.take(self.faults, path)

    def take_reply(self, path):
        return self.take(self.replies, path)


def safe_account(account):
    return account and all(c.isalnum() or c in "_.@-+" for c in account) and len(account) <= 200


def parse_reply(body):
    """The control lines of _control/reply, an empty line, the body bytes."""
    head, _, data = body.partition(b"\n\n")
    pairs = parse_pairs(head.decode("utf-8"))
    return {
        "path": first(pairs, "path"),
        "status": int(first(pairs, "status", "200")),
        "times": int(first(pairs, "times", "1")),
        "location": first(pairs, "location"),
        "body": data,
    }


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "FolionexStandIn/1.0"
    timeout = 60

    def log_message(self, fmt, *args):
        sys.stdout.write("%s %s\n" % (time.strftime("%H:%M:%S"), fmt % args))
        sys.stdout.flush()

    @property
    def state(self):
        return self.server.service

    def base_url(self):
        return ("https" if self.server.secure else "http") + "://%s/" % self.server.server_address[0]

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        if length < 0 or length > MAX_BODY:
            raise ValueError("body too large")
        chunks = []
        while length > 0:
            chunk = self.rfile.read(min(length, 65536))
            if not chunk:
                break
            chunks.append(chunk)
            length -= len(chunk)
        return b"".join(chunks)

    def pause(self, seconds):
        self.state.stop_event.wait(min(max(seconds, 0.0), MAX_STALL))

    def answer(self, body, status=200, content_type="text/plain; charset=utf-8", location=""):
        """Sends the answer, as the fault of this path (if any) says."""
        self.close_connection = True
        path = urllib.parse.urlsplit(self.path).path
        fault = self.state.take_fault(path)
        mode = fault["mode"] if fault else None
        if mode == "drop":
            return
        if mode == "endless":
            self.send_endless(content_type, fault["after"])
            return
        if mode == "big":
            self.send_big(fault["size"], fault["announce"])
            return
        if mode == "status":
            status = fault["status"]
            body = ("ErrorCode=%d\n" % status).encode()
        after = fault["after"] if fault else 0
        if mode == "stall" and after < 0:
            self.pause(fault["seconds"])
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        if location:
            self.send_header("Location", location)
        self.send_header("Connection", "close")
        self.end_headers()
        if mode in ("stall", "cut") and after >= 0:
            self.wfile.write(body[:after])
            self.wfile.flush()
            if mode == "cut":
                try:
                    self.connection.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
                return
            self.pause(fault["seconds"])
            body = body[after:]
        self.wfile.write(body)
        self.wfile.flush()

    def send_chunks(self, chunks):
        """Writes the chunks until they end, the client lets go or the server
        stops."""
        try:
            for chunk in chunks:
                if self.state.stop_event.is_set():
                    return
                self.wfile.write(chunk)
            self.wfile.flush()
        except OSError:
            pass

    def send_endless(self, content_type, limit):
        """A body without Content-Length (it would end only with the
        connection) that goes on and on: pattern bytes, or only the first
        limit of them when limit is 0 or more."""
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        self.send_header("Connection", "close")
        self.end_headers()

        def chunks():
            sent = 0
            block = pattern_bytes(len(PATTERN) * 16)
            while limit < 0 or sent < limit:
                piece = block if limit < 0 else block[:limit - sent]
                sent += len(piece)
                yield piece
        self.send_chunks(chunks())

    def send_big(self, size, announce):
        """size bytes of key=value lines, made as they are sent."""
        self.send_response(200)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        if announce:
            self.send_header("Content-Length", str(size))
        self.send_header("Connection", "close")
        self.end_headers()

        def chunks():
            left = size
            n = 0
            while left > 0:
                lines = []
                length = 0
                while length < 65536:
                    line = "K%d=%d\n" % (n, n)
                    n += 1
                    lines.append(line)
                    length += len(line)
                piece = "".join(lines).encode()[:left]
                left -= len(piece)
                yield piece
        self.send_chunks(chunks())

    def do_GET(self):
        self.dispatch("GET", b"")

    def do_POST(self):
        try:
            body = self.read_body()
        except (ValueError, OSError):
            self.send_error(400)
            return
        self.dispatch("POST", body)

    def dispatch(self, method, body):
        parts = urllib.parse.urlsplit(self.path)
        path = parts.path.lower()
        query = parts.query
        if not path.startswith("/_control/"):
            with self.state.lock:
                self.state.requests.append((method, parts.path, query, body))
            fixed = self.state.take_reply(path)
            if fixed:
                self.answer(fixed["body"], fixed["status"], location=fixed["location"])
                return
        route = {
            ("POST", "/vapi/check.aspx"): self.check,
            ("POST", "/vapi/getrepos.aspx"): self.get_repos,
            ("POST", "/vapi/uploaddb.aspx"): self.upload,
            ("GET", "/vapi/onlinerestore.aspx"): self.online_restore,
            ("GET", "/vapi/backup.aspx"): self.backup,
            ("GET", "/files/folionex_setup.exe"): self.installer,
            ("GET", "/_test/bytes"): self.test_bytes,
            ("POST", "/_test/echo"): self.echo,
            ("GET", "/_control/ping"): self.ping,
            ("POST", "/_control/reset"): self.control_reset,
            ("POST", "/_control/fault"): self.control_fault,
            ("POST", "/_control/account"): self.control_account,
            ("POST", "/_control/update"): self.control_update,
            ("POST", "/_control/reply"): self.control_reply,
            ("POST", "/_control/requests"): self.control_requests,
            ("GET", "/_control/requests"): self.control_requests,
            ("POST", "/_control/stop"): self.control_stop,
        }.get((method, path))
        if not route:
            self.answer(b"ErrorCode=404\n", 404)
            return
        route(query, body)

    # --- the service -------------------------------------------------------

    def check(self, query, body):
        pairs = parse_pairs(body.decode("utf-8", "replace"))
        with self.state.lock:
            update = self.state.update
        if update and first(pairs, "Version") != update["version"]:
            text = "Cmd=SelfUpdate\nDownloadUrl=%sFiles/Folionex_Setup.exe\nDownloadLength=%d\n" % (
                self.base_url(), update["size"])
        else:
            text = "Cmd=None\n"
        self.answer(text.encode())

    def get_repos(self, query, body):
        pairs = parse_pairs(body.decode("latin-1"))
        email = first(pairs, "Email")
        with self.state.lock:
            account = self.state.accounts.get(email)
        if not account or account["password"] != first(pairs, "Pwd"):
            self.answer("ErrorCode=1\nErrorText=Hibás e-mail cím vagy jelszó\n".encode())
            return
        lines = ["Count=%d" % len(account["repos"])]
        for i, (nr, name, kind) in enumerate(account["repos"]):
            lines += ["ProgType%d=%s" % (i, kind), "RepoNr%d=%s" % (i, nr), "RepoName%d=%s" % (i, name)]
        self.answer(("\n".join(lines) + "\n").encode())

    def upload(self, query, body):
        account = urllib.parse.unquote(query)
        if not safe_account(account):
            self.answer(b"ErrorCode=2\n")
            return
        if not body:
            self.answer(b"ErrorCode=3\n")
            return
        folder = os.path.join(self.state.upload_dir, account)
        with self.state.lock:
            self.state.upload_seq += 1
            name = "backup_%04d.zip" % self.state.upload_seq
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, name), "wb") as f:
                f.write(body)
        self.answer(("ErrorCode=0\nSize=%d\n" % len(body)).encode())

    def newest_upload(self, account):
        folder = os.path.join(self.state.upload_dir, account)
        with self.state.lock:
            names = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
        return names[-1] if names else None

    def online_restore(self, query, body):
        account = urllib.parse.unquote(query)
        name = self.newest_upload(account) if safe_account(account) else None
        if not name:
            self.answer(b"ErrorCode=4\nContentLength=0\n")
            return
        size = os.path.getsize(os.path.join(self.state.upload_dir, account, name))
        url = "%sVApi/Backup.aspx?account=%s&file=%s" % (self.base_url(), urllib.parse.quote(account), name)
        self.answer(("ContentLength=%d\nUrl=%s\n" % (size, url)).encode())

    def backup(self, query, body):
        args = urllib.parse.parse_qs(query)
        account = args.get("account", [""])[0]
        name = args.get("file", [""])[0]
        path = os.path.join(self.state.upload_dir, account, name)
        if not safe_account(account) or not safe_account(name) or not os.path.isfile(path):
            self.answer(b"ErrorCode=404\n", 404)
            return
        with open(path, "rb") as f:
            data = f.read()
        self.answer(data, content_type="application/octet-stream")

    def installer(self, query, body):
        with self.state.lock:
            update = self.state.update
        if not update:
            self.answer(b"ErrorCode=404\n", 404)
            return
        data = update["file"] if update["file"] is not None else pattern_bytes(update["size"])
        self.answer(data, content_type="application/octet-stream")

    def test_bytes(self, query, body):
        size = int(urllib.parse.parse_qs(query).get("size", ["0"])[0])
        self.answer(pattern_bytes(max(0, min(size, MAX_BODY))), content_type="application/octet-stream")

    def echo(self, query, body):
        self.answer(body, content_type="application/octet-stream")

    # --- control -----------------------------------------------------------

    def ping(self, query, body):
        self.answer(b"ok")

    def control_reset(self, query, body):
        self.state.reset()
        self.answer(b"ok")

    def control_fault(self, query, body):
        pairs = parse_pairs(body.decode("utf-8"))
        fault = {
            "path": first(pairs, "path", "*"),
            "mode": first(pairs, "mode", "status"),
            "status": int(first(pairs, "status", "500")),
            "after": int(first(pairs, "after", "0")),
            "seconds": float(first(pairs, "seconds", "1")),
            "times": int(first(pairs, "times", "1")),
            "size": int(first(pairs, "size", "0")),
            "announce": first(pairs, "announce", "1") != "0",
        }
        if fault["mode"] == "endless" and "after" not in pairs:
            fault["after"] = -1
        if fault["mode"] not in ("status", "stall", "cut", "drop", "endless", "big"):
            self.answer(b"unknown mode", 400)
            return
        with self.state.lock:
            self.state.faults.append(fault)
        self.answer(b"ok")

    def control_account(self, query, body):
        pairs = parse_pairs(body.decode("utf-8"))
        repos = []
        for repo in pairs.get("repo", []):
            nr, name, kind = (repo.split("|") + ["", "", "2"])[:3]
            repos.append((nr, name, kind or "2"))
        with self.state.lock:
            self.state.accounts[first(pairs, "email")] = {"password": first(pairs, "password"), "repos": repos}
        self.answer(b"ok")

    def control_update(self, query, body):
        pairs = parse_pairs(body.decode("utf-8"))
        update = {"version": first(pairs, "version"), "file": None}
        path = first(pairs, "file")
        try:
            if path:
                with open(path, "rb") as f:
                    update["file"] = f.read(MAX_BODY + 1)
                if len(update["file"]) > MAX_BODY:
                    raise ValueError("installer too large")
            default_size = len(update["file"]) if update["file"] is not None else 0
            update["size"] = int(first(pairs, "size", str(default_size)))
        except (OSError, ValueError):
            self.answer(b"bad update", 400)
            return
        with self.state.lock:
            self.state.update = update
        self.answer(b"ok")

    def control_reply(self, query, body):
        try:
            reply = parse_reply(body)
        except (ValueError, UnicodeDecodeError):
            self.answer(b"bad reply", 400)
            return
        if not reply["path"].startswith("/") or not 100 <= reply["status"] <= 599:
            self.answer(b"bad reply", 400)
            return
        with self.state.lock:
            self.state.replies.append(reply)
        self.answer(b"ok")

    def control_requests(self, query, body):
        with self.state.lock:
            requests = list(self.state.requests)
        lines = ["%s\t%s\t%s\t%s\n" % (m, p, q, b.hex()) for (m, p, q, b) in requests]
        self.answer("".join(lines).encode())

    def control_stop(self, query, body):
        self.answer(b"ok")
        self.state.stop_event.set()


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, host, port, service, tls_context=None):
        self.service = service
        self.secure = tls_context is not None
        self.tls_context = tls_context
        super().__init__((host, port), Handler)

    def get_request(self):
        sock, addr = self.socket.accept()
        if self.tls_context:
            # The handshake happens on the handler's thread, so that a client
            # that never finishes it cannot hold up the accept loop.
            sock = self.tls_context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, addr

    def handle_error(self, request, client_address):
        sys.stdout.write("connection from %s ended with %s\n" % (client_address, sys.exc_info()[1]))
        sys.stdout.flush()


# --- certificates and the prefix's trust ----------------------------------

def run(cmd, **kw):
    return subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          timeout=120, **kw)


SERVER_EXT = ("basicConstraints=critical,CA:FALSE\n"
              "keyUsage=critical,digitalSignature,keyEncipherment\n"
              "extendedKeyUsage=serverAuth\n"
              "subjectAltName=IP:127.0.0.1,IP:127.0.0.2,DNS:127.0.0.1,DNS:127.0.0.2,DNS:localhost\n")


def make_certificates(cert_dir):
    """The authority when it is missing; the server certificate when it is
    missing or was made for other names."""
    ca_pem = os.path.join(cert_dir, "ca.pem")
    ca_key = os.path.join(cert_dir, "ca.key")
    server_pem = os.path.join(cert_dir, "server.pem")
    server_key = os.path.join(cert_dir, "server.key")
    ext = os.path.join(cert_dir, "server.ext")
    try:
        with open(ext) as f:
            same_names = f.read() == SERVER_EXT
    except OSError:
        same_names = False
    have_ca = all(os.path.isfile(p) for p in (ca_pem, ca_key))
    if have_ca and same_names and all(os.path.isfile(p) for p in (server_pem, server_key)):
        return ca_pem, server_pem, server_key
    if not shutil.which("openssl"):
        raise RuntimeError("openssl is missing (tools/setup-debian.sh installs it)")
    os.makedirs(cert_dir, exist_ok=True)
    csr = os.path.join(cert_dir, "server.csr")
    with open(ext, "w") as f:
        f.write(SERVER_EXT)
    steps = [] if have_ca else [
        ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "3650",
         "-keyout", ca_key, "-out", ca_pem, "-subj", "/CN=Folionex Test Authority",
         "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"]]
    steps += [
        ["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-sha256", "-keyout", server_key, "-out", csr,
         "-subj", "/CN=127.0.0.1"],
        ["openssl", "x509", "-req", "-in", csr, "-CA", ca_pem, "-CAkey", ca_key, "-CAcreateserial",
         "-sha256", "-days", "3650", "-out", server_pem, "-extfile", ext],
    ]
    for step in steps:
        result = run(step)
        if result.returncode != 0:
            raise RuntimeError("%s failed:\n%s" % (" ".join(step[:2]), result.stdout.decode(errors="replace")))
    return ca_pem, server_pem, server_key


def trust_in_prefix(ca_pem, wine_run):
    """Puts the authority into the prefix's machine root store, as the
    registry store keeps it: a subkey named by the certificate's SHA-1 with
    a "Blob" of serialised properties (here only the certificate itself,
    property 32)."""
    with open(ca_pem) as f:
        der = ssl.PEM_cert_to_DER_cert(f.read())
    thumbprint = hashlib.sha1(der).hexdigest().upper()
    blob = struct.pack("<III", 32, 1, len(der)) + der
    cmd = list(wine_run) + ["reg", "add", ROOT_STORE_KEY + "\\" + thumbprint, "/v", "Blob", "/t", "REG_BINARY",
                            "/d", blob.hex().upper(), "/f"]
    result = run(cmd)
    if result.returncode != 0:
        raise RuntimeError("could not add the test authority to the prefix:\n%s"
                           % result.stdout.decode(errors="replace"))


# --- commands --------------------------------------------------------------

def serve(args):
    state_dir = os.path.abspath(args.state)
    for name in ("ready", "failed"):
        try:
            os.remove(os.path.join(state_dir, name))
        except FileNotFoundError:
            pass
    cert_dir = os.path.join(state_dir, "certs")
    service = ServiceState(state_dir)
    servers = []
    try:
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(os.path.join(cert_dir, "server.pem"), os.path.join(cert_dir, "server.key"))
        for host in (HOST, OTHER_HOST):
            for port, context in ((80, None), (443, tls)):
                try:
                    servers.append(Server(host, port, service, context))
                except OSError as e:
                    raise RuntimeError("cannot listen on %s port %d: %s (is another server running?)"
                                       % (host, port, e))
    except Exception as e:
        with open(os.path.join(state_dir, "failed"), "w") as f:
            f.write(str(e) + "\n")
        for s in servers:
            s.server_close()
        return 2

    signal.signal(signal.SIGTERM, lambda *a: service.stop_event.set())
    threads = [threading.Thread(target=s.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True)
               for s in servers]
    for t in threads:
        t.start()
    with open(os.path.join(state_dir, "webservice.pid"), "w") as f:
        f.write(str(os.getpid()))
    with open(os.path.join(state_dir, "ready"), "w") as f:
        f.write("ok\n")
    print("listening on %s and %s ports 80 and 443 for at most %d s" % (HOST, OTHER_HOST, args.lifetime), flush=True)
    service.stop_event.wait(args.lifetime)
    service.stop_event.set()
    for s in servers:
        s.shutdown()
        s.server_close()
    try:
        os.remove(os.path.join(state_dir, "webservice.pid"))
    except FileNotFoundError:
        pass
    print("stopped", flush=True)
    return 0


def start(args):
    state_dir = os.path.abspath(args.state)
    os.makedirs(state_dir, exist_ok=True)
    if pid_alive(read_pid(state_dir)):
        stop(args)
    try:
        ca_pem, _, _ = make_certificates(os.path.join(state_dir, "certs"))
        if args.wine_run:
            trust_in_prefix(ca_pem, args.wine_run)
    except (RuntimeError, OSError, subprocess.TimeoutExpired) as e:
        print("webservice stand-in: %s" % e, file=sys.stderr)
        return 1
    for name in ("ready", "failed"):
        try:
            os.remove(os.path.join(state_dir, name))
        except FileNotFoundError:
            pass
    log = open(os.path.join(state_dir, "webservice.log"), "ab")
    proc = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", "--state", state_dir,
                             "--lifetime", str(args.lifetime)],
                            stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                            start_new_session=True, close_fds=True)
    log.close()
    deadline = time.time() + 20
    while time.time() < deadline:
        if os.path.exists(os.path.join(state_dir, "ready")):
            print("webservice stand-in listening (pid %d)" % proc.pid)
            return 0
        failed = os.path.join(state_dir, "failed")
        if os.path.exists(failed) or proc.poll() is not None:
            time.sleep(0.1)
            reason = open(failed).read().strip() if os.path.exists(failed) else "it ended at start"
            print("webservice stand-in did not start: %s" % reason, file=sys.stderr)
            return 1
        time.sleep(0.05)
    print("webservice stand-in did not start within 20 s", file=sys.stderr)
    return 1


def read_pid(state_dir):
    try:
        with open(os.path.join(state_dir, "webservice.pid")) as f:
            return int(f.read().strip())
    except (OSError, ValueError):
        return None


def pid_alive(pid):
    """True while the process runs (a zombie left to a parent that does not
    reap it counts as ended)."""
    if not pid:
        return False
    try:
        os.kill(pid, 0)
    except OSError:
        return False
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (OSError, IndexError):
        return True


def stop(args):
    state_dir = os.path.abspath(args.state)
    pid = read_pid(state_dir)
    if not pid_alive(pid):
        return 0
    try:
        opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
        opener.open(urllib.request.Request("http://%s/_control/stop" % HOST, data=b"", method="POST"), timeout=3)
    except OSError:
        pass
    deadline = time.time() + 5
    while time.time() < deadline and pid_alive(pid):
        time.sleep(0.05)
    if pid_alive(pid):
        os.kill(pid, signal.SIGTERM)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter,
                                     usage="%(prog)s {start,stop,serve} --state DIR [--lifetime S] [-- WINE-RUN...]")
    parser.add_argument("command", choices=("start", "stop", "serve"))
    parser.add_argument("--state", required=True, help="folder for certificates, uploads, log and pid")
    parser.add_argument("--lifetime", type=int, default=1800, help="seconds after which the server ends itself")
    argv = sys.argv[1:]
    wine_run = []
    if "--" in argv:
        at = argv.index("--")
        argv, wine_run = argv[:at], argv[at + 1:]
    args = parser.parse_args(argv)
    args.wine_run = wine_run
    return {"start": start, "stop": stop, "serve": serve}[args.command](args)


if __name__ == "__main__":
    sys.exit(main())
