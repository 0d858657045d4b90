#!/usr/bin/env python3
"""A loopback HTTP peer for replies that a real web server cannot be made to send.

Binds 127.0.0.1 on a free port, prints the port on the first line of stdout and serves
until it is killed. Bodies are the pattern of pattern() (the C++ fixture has the same).

  /nolength/N           200, N bytes, no Content-Length, the connection closed after them
  /chunked/N            200, N bytes in chunks of at most 1000
  /gzip/N, /deflate/N   200, N bytes coded with that Content-Encoding, Content-Length given
  /cut/TOTAL/SENT       Content-Length TOTAL, SENT bytes, then the connection is closed
  /reset/TOTAL/SENT     as /cut, but the connection is reset
  /stall/TOTAL/SENT     as /cut, but the peer then sends nothing more for 30 s
  /redirect             302 to /nolength/10
  /status/CODE          that status with the body "status CODE body"
  /headers              200, the body is the request's header block as received
  /auth/USER/PASSWORD   401 with a Basic challenge, or 200 "welcome USER" to a request
                        that carries these credentials
"""
import base64
import gzip
import http
import socket
import socketserver
import struct
import sys
import time
import zlib


BLOCK = bytes(((i ^ (i >> 8)) * 31 + 7) & 0xFF for i in range(65536))


def pattern(n):
    out = bytearray()
    i = 0
    while len(out) < n:
        # Each 64 KiB block differs from the one before by its index.
        k = (i * 13) & 0xFF
        out += BLOCK.translate(bytes(b ^ k for b in range(256)))
        i += 1
    return bytes(out[:n])


def reason(code):
    try:
        return http.HTTPStatus(code).phrase
    except ValueError:
        return "Unknown"


class Handler(socketserver.BaseRequestHandler):
    def read_head(self):
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = self.request.recv(4096)
            if not chunk:
                return None
            data += chunk
            if len(data) > 65536:
                return None
        return data[: data.index(b"\r\n\r\n") + 4]

    def send_head(self, code, headers):
        lines = ["HTTP/1.1 %d %s" % (code, reason(code))] + headers
        self.request.sendall(("\r\n".join(lines) + "\r\n\r\n").encode())

    def handle(self):
        head = self.read_head()
        if head is None:
            return
        target = head.split(b"\r\n", 1)[0].split(b" ")[1].decode()
        if "://" in target:  # absolute form, as proxies get it
            target = "/" + target.split("://", 1)[1].split("/", 1)[1]
        target = target.split("?", 1)[0]
        parts = [p for p in target.split("/") if p]
        kind, args = parts[0], [int(p) for p in parts[1:] if p.isdigit()]
        send = self.request.sendall
        if kind == "nolength":
            self.send_head(200, ["Connection: close"])
            send(pattern(args[0]))
        elif kind == "chunked":
            self.send_head(200, ["Transfer-Encoding: chunked", "Connection: close"])
            body = pattern(args[0])
            for i in range(0, len(body), 1000):
                piece = body[i:i + 1000]
                send(b"%x\r\n" % len(piece) + piece + b"\r\n")
            send(b"0\r\nX-Checksum: none\r\n\r\n")  # with a trailer
        elif kind in ("gzip", "deflate"):
            raw = pattern(args[0])
            body = gzip.compress(raw) if kind == "gzip" else zlib.compress(raw)
            self.send_head(200, ["Content-Encoding: " + kind,
                                 "Content-Length: %d" % len(body), "Connection: close"])
            send(body)
        elif kind in ("cut", "reset", "stall"):
            total, sent = args
            self.send_head(200, ["Content-Length: %d" % total, "Connection: close"])
            send(pattern(sent))
            if kind == "reset":
                self.request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                        struct.pack("ii", 1, 0))
            elif kind == "stall":
                self.request.settimeout(30)
                try:
                    self.request.recv(1)  # until the client gives up
                except OSError:
                    pass
        elif kind == "redirect":
            body = b"moved"
            self.send_head(302, ["Location: /nolength/10", "Content-Length: %d" % len(body),
                                 "Connection: close"])
            send(body)
        elif kind == "status":
            body = b"status %d body" % args[0]
            self.send_head(args[0], ["Content-Length: %d" % len(body), "Connection: close"])
            send(body)
        elif kind == "headers":
            self.send_head(200, ["Content-Length: %d" % len(head), "Connection: close"])
            send(head)
        elif kind == "auth":
            user, password = parts[1], parts[2]
            token = base64.b64encode(("%s:%s" % (user, password)).encode()).decode()
            fields = [l.split(":", 1) for l in head.decode("latin-1").split("\r\n") if ":" in l]
            if any(n.strip().lower() == "authorization" and v.strip() == "Basic " + token
                   for n, v in fields):
                body = ("welcome " + user).encode()
                self.send_head(200, ["Content-Length: %d" % len(body), "Connection: close"])
            else:
                body = b"who are you"
                self.send_head(401, ['WWW-Authenticate: Basic realm="odd"',
                                     "Content-Length: %d" % len(body), "Connection: close"])
            send(body)
        else:
            self.send_head(404, ["Content-Length: 0", "Connection: close"])


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    with Server(("127.0.0.1", 0), Handler) as server:
        print(server.server_address[1], flush=True)
        server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
