#!/usr/bin/python3
"""Loopback HTTP test server for the engine's HTTP client tests (standard library only).

Binds 127.0.0.1 on ephemeral ports and prints them as one JSON line on its standard output:
  http         plain HTTP
  https        TLS, certificate signed by the test authority (upd.test, dl.test, localhost,
               127.0.0.1)
  https_self   TLS, self-signed certificate for the same names
  https_wrong  TLS, certificate signed by the test authority for wrong.test only
  proxy        a small HTTP proxy: absolute-form requests and CONNECT; with --proxy-auth it wants
               that user:password in Proxy-Authorization and answers 407 otherwise

Every connection, TLS handshake and request is logged as one JSON line to the --log file. The
server ends when its standard input closes, so it never outlives the test that started it.

Routes (query parameters in brackets):
  /bytes[n, chunked, piece]    n bytes of the pattern i % 251, with Content-Length or chunked
  /throttle[n, piece, delay]   n bytes in pieces, delay milliseconds between them
  /drip[n, delay]              announces n bytes and sends one every delay milliseconds (1000)
  /gzip[n, field, chunked]     n zero bytes gzip-compressed, named by a Transfer-Encoding field
                               (the body ends with the connection; "gzip, chunked" with chunked)
                               or, with field=content, by Content-Encoding
  /ranged[n, whole]            n bytes of the pattern: 206 and the bytes from the start of a
                               "Range: bytes=N-" field, or 200 and all of them with whole=1
  /stall[seconds]              reads the request and sends nothing before closing
  /cut[n]                      announces n bytes, sends half of them and closes
  /status[code]                answers that status with a short body
  /redirect[to, code]          redirects to the target
  /loop                        redirects to itself
  /echo                        answers the POST body
  /dated                       GET or HEAD with a fixed Last-Modified
  /page.html                   an HTML page
  /nothing                     closes without answering
  /garbage                     answers a header block that is not HTTP's

--routes FILE adds routes: the file is run with ROUTES (a dict from path to a function taking
the request handler) in its globals.
"""

import argparse
import base64
import gzip
import json
import os
import select
import socket
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

LOG_LOCK = threading.Lock()
LOG_FILE = None
PORTS = {}
PROXY_AUTH = None
ROUTES = {}
LAST_MODIFIED = "Tue, 15 Nov 1994 12:45:26 GMT"


def log(**event):
    event["time"] = time.time()
    line = json.dumps(event)
    with LOG_LOCK:
        LOG_FILE.write(line + "\n")
        LOG_FILE.flush()


def pattern(start, n):
    return bytes((i % 251) for i in range(start, start + n))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def query(self, name, default=None):
        values = self.params.get(name)
        return values[0] if values else default

    def send_body(self, code, body, content_type="application/octet-stream", extra=()):
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for key, value in extra:
            self.send_header(key, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def dispatch(self):
        length = int(self.headers.get("Content-Length", "0") or "0")
        self.body = self.rfile.read(length) if length > 0 else b""
        log(event="request", listener=self.server.name, peer=self.client_address[1],
            method=self.command, target=self.path, headers=list(self.headers.items()),
            body_length=len(self.body))
        parsed = urllib.parse.urlsplit(self.path)
        self.params = urllib.parse.parse_qs(parsed.query)
        route = ROUTES.get(parsed.path) or BUILTIN.get(parsed.path)
        if route is None:
            self.send_body(404, b"not found", "text/plain")
            return
        route(self)

    do_GET = dispatch
    do_POST = dispatch
    do_HEAD = dispatch


def route_bytes(h):
    n = int(h.query("n", "0"))
    piece = int(h.query("piece", "65536"))
    if h.query("chunked"):
        h.send_response(200)
        h.send_header("Content-Type", "application/octet-stream")
        h.send_header("Transfer-Encoding", "chunked")
        h.end_headers()
        sent = 0
        while sent < n:
            size = min(piece, n - sent)
            h.wfile.write(b"%x\r\n" % size + pattern(sent, size) + b"\r\n")
            sent += size
        h.wfile.write(b"0\r\n\r\n")
        return
    h.send_body(200, pattern(0, n))


def route_throttle(h):
    n = int(h.query("n", "0"))
    piece = max(1, int(h.query("piece", "1000")))
    delay = int(h.query("delay", "50")) / 1000.0
    h.send_response(200)
    h.send_header("Content-Type", "application/octet-stream")
    h.send_header("Content-Length", str(n))
    h.end_headers()
    sent = 0
    while sent < n:
        size = min(piece, n - sent)
        h.wfile.write(pattern(sent, size))
        h.wfile.flush()
        sent += size
        if sent < n:
            time.sleep(delay)


def route_drip(h):
    n = int(h.query("n", "10"))
    delay = int(h.query("delay", "1000")) / 1000.0
    h.send_response(200)
    h.send_header("Content-Type", "application/octet-stream")
    h.send_header("Content-Length", str(n))
    h.end_headers()
    try:
        for i in range(n):
            h.wfile.write(pattern(i, 1))
            h.wfile.flush()
            if i + 1 < n:
                time.sleep(delay)
    except OSError:
        # The client gave up.
        h.close_connection = True


def route_gzip(h):
    n = int(h.query("n", "100000"))
    h.send_response(200)
    h.send_header("Content-Type", "application/octet-stream")
    if h.query("field", "transfer") == "content":
        body = gzip.compress(bytes(n))
        h.send_header("Content-Encoding", "gzip")
        h.send_header("Content-Length", str(len(body)))
        h.end_headers()
        h.wfile.write(body)
        return
    # The header block leaves before the body is made, so that it is there at once.
    h.send_header("Transfer-Encoding", "gzip, chunked" if h.query("chunked") else "gzip")
    h.end_headers()
    h.wfile.flush()
    h.close_connection = True
    body = gzip.compress(bytes(n), compresslevel=1)
    if h.query("chunked"):
        body = b"%x\r\n" % len(body) + body + b"\r\n0\r\n\r\n"
    try:
        h.wfile.write(body)
        h.wfile.flush()
    except OSError:
        # The client refused the answer.
        pass


def route_ranged(h):
    n = int(h.query("n", "1000"))
    field = h.headers.get("Range", "")
    if h.query("whole") or not field.startswith("bytes=") or not field.endswith("-"):
        h.send_body(200, pattern(0, n))
        return
    start = min(int(field[6:-1]), n)
    h.send_body(206, pattern(start, n - start), extra=[
        ("Content-Range", "bytes %d-%d/%d" % (start, n - 1, n))])


def route_stall(h):
    deadline = time.time() + min(float(h.query("seconds", "10")), 30.0)
    # Sends nothing; ends early when the client goes away.
    while time.time() < deadline:
        readable, _, _ = select.select([h.connection], [], [], 0.1)
        if readable:
            try:
                if not h.connection.recv(1, socket.MSG_PEEK):
                    break
            except OSError:
                break
    h.close_connection = True


def route_cut(h):
    n = int(h.query("n", "1000"))
    h.send_response(200)
    h.send_header("Content-Length", str(n))
    h.end_headers()
    h.wfile.write(pattern(0, n // 2))
    h.wfile.flush()
    h.close_connection = True


def route_status(h):
    code = int(h.query("code", "200"))
    h.send_body(code, b"status %d" % code, "text/plain")


def route_redirect(h):
    code = int(h.query("code", "302"))
    h.send_body(code, b"moved", "text/plain", [("Location", h.query("to", "/"))])


def route_loop(h):
    h.send_body(302, b"again", "text/plain", [("Location", "/loop")])


def route_echo(h):
    h.send_body(200, h.body, "application/binary")


def route_dated(h):
    h.send_body(200, b"dated", "text/plain", [("Last-Modified", LAST_MODIFIED)])


def route_page(h):
    page = (b"<html><head><title>Test page</title></head>\n"
            b"<body><p>0;OK</p></body></html>\n")
    h.send_body(200, page, "text/html")


def route_nothing(h):
    h.close_connection = True


def route_garbage(h):
    h.wfile.write(b"HTTP/1.1 200 OK\r\nA field without its colon\r\n\r\n")
    h.wfile.flush()
    h.close_connection = True


BUILTIN = {
    "/bytes": route_bytes,
    "/throttle": route_throttle,
    "/drip": route_drip,
    "/gzip": route_gzip,
    "/ranged": route_ranged,
    "/stall": route_stall,
    "/cut": route_cut,
    "/status": route_status,
    "/redirect": route_redirect,
    "/loop": route_loop,
    "/echo": route_echo,
    "/dated": route_dated,
    "/page.html": route_page,
    "/nothing": route_nothing,
    "/garbage": route_garbage,
}


class Server(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 64

    def __init__(self, name, handler, context=None):
        self.name = name
        self.context = context
        super().__init__(("127.0.0.1", 0), handler)

    def process_request(self, request, client_address):
        log(event="connection", listener=self.name, peer=client_address[1])
        super().process_request(request, client_address)

    def finish_request(self, request, client_address):
        if self.context is None:
            super().finish_request(request, client_address)
            return
        names = []
        self.context.sni_callback = lambda sock, name, ctx: names.append(name)
        try:
            request.settimeout(10)
            tls = self.context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError) as error:
            log(event="handshake", listener=self.name, peer=client_address[1], ok=False,
                error=str(error))
            return
        log(event="handshake", listener=self.name, peer=client_address[1], ok=True,
            sni=names[0] if names else None)
        tls.settimeout(None)
        try:
            self.RequestHandlerClass(tls, client_address, self)
        finally:
            try:
                tls.close()
            except OSError:
                pass


def relay(a, b):
    """Copies bytes both ways until one side closes."""
    sockets = [a, b]
    while True:
        readable, _, _ = select.select(sockets, [], [], 30)
        if not readable:
            return
        for s in readable:
            try:
                data = s.recv(65536)
            except OSError:
                return
            if not data:
                return
            (b if s is a else a).sendall(data)


def read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(4096)
        if not chunk:
            return None, b""
        data += chunk
        if len(data) > 65536:
            return None, b""
    head, rest = data.split(b"\r\n\r\n", 1)
    return head.decode("latin-1"), rest


def origin_port(host, port):
    """Every host is this machine: port 80 is the plain listener, 443 the CA-signed TLS one."""
    if port == 80:
        return PORTS["http"]
    if port == 443:
        return PORTS["https"]
    return port


class ProxyHandler:
    def __init__(self, conn, peer):
        self.conn = conn
        self.peer = peer

    def refuse(self):
        body = b"proxy authentication required"
        self.conn.sendall(b"HTTP/1.1 407 Proxy Authentication Required\r\n"
                          b"Proxy-Authenticate: Basic realm=\"test\"\r\n"
                          b"Content-Length: %d\r\nConnection: close\r\n\r\n" % len(body) + body)

    def run(self):
        head, rest = read_head(self.conn)
        if head is None:
            return
        lines = head.split("\r\n")
        method, target, _ = (lines[0].split(" ") + ["", "", ""])[:3]
        fields = [line.split(":", 1) for line in lines[1:] if ":" in line]
        headers = [(k.strip(), v.strip()) for k, v in fields]
        auth = next((v for k, v in headers if k.lower() == "proxy-authorization"), None)
        log(event="proxy", peer=self.peer, method=method, target=target, headers=headers)
        if PROXY_AUTH is not None:
            expected = "Basic " + base64.b64encode(PROXY_AUTH.encode()).decode()
            if auth != expected:
                self.refuse()
                return
        if method == "CONNECT":
            host, _, port = target.rpartition(":")
            upstream = socket.create_connection(("127.0.0.1", origin_port(host, int(port))))
            self.conn.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
            if rest:
                upstream.sendall(rest)
            relay(self.conn, upstream)
            upstream.close()
            return
        url = urllib.parse.urlsplit(target)
        port = url.port or 80
        path = url.path or "/"
        if url.query:
            path += "?" + url.query
        upstream = socket.create_connection(("127.0.0.1", origin_port(url.hostname, port)))
        kept = [(k, v) for k, v in headers
                if k.lower() not in ("proxy-authorization", "proxy-connection", "connection")]
        request = "%s %s HTTP/1.1\r\n" % (method, path)
        request += "".join("%s: %s\r\n" % (k, v) for k, v in kept)
        request += "Connection: close\r\n\r\n"
        upstream.sendall(request.encode("latin-1") + rest)
        relay(self.conn, upstream)
        upstream.close()


class ProxyServer:
    def __init__(self):
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(64)
        self.server_address = self.sock.getsockname()

    def serve_forever(self):
        while True:
            conn, peer = self.sock.accept()
            log(event="connection", listener="proxy", peer=peer[1])
            threading.Thread(target=self.handle, args=(conn, peer[1]), daemon=True).start()

    def handle(self, conn, peer):
        try:
            ProxyHandler(conn, peer).run()
        except OSError:
            pass
        finally:
            conn.close()


def tls_context(certs, name):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(certs, name + ".pem"), os.path.join(certs, name + ".key"))
    return context


def watch_stdin():
    try:
        while sys.stdin.buffer.read(4096):
            pass
    finally:
        os._exit(0)


def main():
    global LOG_FILE, PROXY_AUTH
    parser = argparse.ArgumentParser()
    parser.add_argument("--certs", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--proxy-auth")
    parser.add_argument("--routes")
    args = parser.parse_args()
    LOG_FILE = open(args.log, "a", encoding="utf-8")
    PROXY_AUTH = args.proxy_auth
    if args.routes:
        with open(args.routes, encoding="utf-8") as f:
            exec(compile(f.read(), args.routes, "exec"),
                 {"ROUTES": ROUTES, "pattern": pattern, "log": log})

    servers = {
        "http": Server("http", Handler),
        "https": Server("https", Handler, tls_context(args.certs, "server")),
        "https_self": Server("https_self", Handler, tls_context(args.certs, "self")),
        "https_wrong": Server("https_wrong", Handler, tls_context(args.certs, "wrong")),
        "proxy": ProxyServer(),
    }
    for name, server in servers.items():
        PORTS[name] = server.server_address[1]
        threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdout.write(json.dumps(PORTS) + "\n")
    sys.stdout.flush()
    watch_stdin()


if __name__ == "__main__":
    main()
