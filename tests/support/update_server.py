#!/usr/bin/env python3
"""A loopback update server: serves a folder over HTTP/1.1 and can be told to misbehave.

  update_server.py DOCROOT STATEDIR [CERT KEY]

Binds 127.0.0.1 on a free port, prints the port on the first line of stdout and serves
until it is killed; with a certificate and its key, HTTPS too, on the port of the
second line. Every request is appended to STATEDIR/requests as one line,
"METHOD TARGET". Before each request the file STATEDIR/faults is read (when it exists);
each of its lines is "PATH KIND [ARG]" for the target PATH as requested (percent
escapes kept):

  PATH status CODE   that status with a short text body
  PATH html          200 with an HTML error page in place of the file
  PATH cut N         the file's full Content-Length, its first N bytes, then the
                     connection is closed
  PATH slow MS       the file in ten pieces spread over MS milliseconds
  PATH close N       200 without a Content-Length, the file's first N bytes, then the
                     connection is closed (a body whose end is the close)
  PATH trickle MS [N]  the file's full Content-Length (or N), then one byte of it
                     every MS milliseconds until the client gives up
  PATH endless       200 with a chunked body of the file over and over, never ending
  PATH redirect URL  302 to URL
  PATH header N      the file behind a header line of N bytes
"""
import os
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

DOCROOT, STATE = sys.argv[1], sys.argv[2]
LOG_LOCK = threading.Lock()

HTML_PAGE = (b"<!DOCTYPE html>\r\n<html><head><title>Service unavailable</title></head>"
             b"<body><h1>The service is down for maintenance</h1></body></html>\r\n")


def faults():
    try:
        with open(os.path.join(STATE, "faults"), encoding="utf-8") as f:
            lines = [l.split() for l in f.read().splitlines()]
    except FileNotFoundError:
        return {}
    return {l[0]: l[1:] for l in lines if len(l) >= 2}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, code, body, ctype="text/plain", *header):
        self.send_response(code)
        self.send_header("Content-Type", ctype)
        if header:
            self.send_header(*header)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_GET(self):
        with LOG_LOCK, open(os.path.join(STATE, "requests"), "a", encoding="utf-8") as log:
            log.write("%s %s\n" % (self.command, self.path))
        fault = faults().get(self.path)
        if fault and fault[0] == "status":
            code = int(fault[1])
            return self.reply(code, b"status %d" % code)
        if fault and fault[0] == "html":
            return self.reply(200, HTML_PAGE, "text/html")
        if fault and fault[0] == "redirect":
            return self.reply(302, b"", "text/plain", "Location", fault[1])
        rel = urllib.parse.unquote(self.path.split("?", 1)[0]).lstrip("/")
        path = os.path.realpath(os.path.join(DOCROOT, rel))
        if not path.startswith(os.path.realpath(DOCROOT) + os.sep) or not os.path.isfile(path):
            return self.reply(404, b"not found")
        with open(path, "rb") as f:
            data = f.read()
        if fault and fault[0] == "cut":
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data[: int(fault[1])])
            self.wfile.flush()
            self.close_connection = True
            return
        if fault and fault[0] == "close":
            self.send_response(200)
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(data[: int(fault[1])])
            self.wfile.flush()
            self.close_connection = True
            return
        if fault and fault[0] == "slow":
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            piece = max(1, -(-len(data) // 10))
            for at in range(0, len(data), piece):
                self.wfile.write(data[at : at + piece])
                self.wfile.flush()
                time.sleep(int(fault[1]) / 10000.0)
            return
        if fault and fault[0] == "header":
            try:
                return self.reply(200, data, "text/plain", "X-Padding", "p" * int(fault[1]))
            except OSError:
                return
        if fault and fault[0] == "endless":
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            try:
                while True:
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(data), data))
                    time.sleep(0.05)
            except OSError:
                pass
            self.close_connection = True
            return
        if fault and fault[0] == "trickle":
            length = int(fault[2]) if len(fault) > 2 else len(data)
            self.send_response(200)
            self.send_header("Content-Length", str(length))
            self.end_headers()
            try:
                for at in range(length):
                    self.wfile.write(data[at % len(data) : at % len(data) + 1])
                    self.wfile.flush()
                    time.sleep(int(fault[1]) / 1000.0)
            except OSError:
                pass
            self.close_connection = True
            return
        self.reply(200, data, "application/octet-stream")

    do_HEAD = do_GET


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    if len(sys.argv) > 4:
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(sys.argv[3], sys.argv[4])
        secure = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        secure.daemon_threads = True
        secure.socket = tls.wrap_socket(secure.socket, server_side=True)
        print(secure.server_address[1], flush=True)
        threading.Thread(target=secure.serve_forever, daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
