#!/usr/bin/env python3
"""Loopback HTTP server for the network tests (standard library only).

Serves the files under --root by URL path, accepts results uploads as the
project's upload page does, and misbehaves on request. Requests may carry an
absolute URL ("GET http://host/path"), as they do when they go through a
proxy; the host is ignored and the path served.

The server listens on 127.0.0.1 only, on a port the system chooses, and
writes that port to --port-file once it is listening.

Behaviour is steered by files under the root, read at every request:
  mode.txt       "<mode> [path part]": misbehave for paths containing the part
                 (every path without one). Modes:
                   drop     announce the full length, send half, close
                   silent   read the request, answer nothing for 60 s
                   500      answer 500 Internal Server Error
                   lie      announce more bytes than are sent, then close
                   chunked  send the body chunked (correctly)
                   cutchunk send the body chunked without the last chunk
                   garbage  answer bytes that are not HTTP
                   drip     answer one byte of a status line every half
                            second, for ten minutes
                   continue answer "100 Continue" every second, for ten
                            minutes
  signal.txt     text put into "<pre id='signal'>...</pre>" of upload answers
Every request line and its Host header are appended to requests.log.
Uploads are stored as uploads/<folder>/<file name>.
"""

import argparse
import http.server
import os
import socketserver
import sys
import time


def read_text(root, name):
    try:
        with open(os.path.join(root, name), encoding="utf-8") as f:
            return f.read()
    except OSError:
        return None


def plain_name(name):
    return bool(name) and name not in (".", "..") and "/" not in name and "\\" not in name \
        and all(ord(c) >= 32 for c in name)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = "."

    def log_message(self, fmt, *args):
        pass

    def url_path(self):
        target = self.path
        if target.startswith("http://"):
            slash = target.find("/", len("http://"))
            target = target[slash:] if slash >= 0 else "/"
        return target.split("?", 1)[0]

    def record(self):
        with open(os.path.join(self.root, "requests.log"), "a", encoding="utf-8") as f:
            f.write("%s %s Host=%s\n" % (self.command, self.path, self.headers.get("Host", "")))

    def mode(self, path):
        text = read_text(self.root, "mode.txt")
        if not text or not text.split():
            return None
        words = text.split()
        if len(words) > 1 and words[1] not in path:
            return None
        return words[0]

    def answer(self, status, body, mode=None):
        if mode == "500":
            status, body = 500, b"<html>server error</html>"
        if mode == "garbage":
            self.wfile.write(b"\x00\x01 this is not an answer\r\n\r\n" + body)
            self.close_connection = True
            return
        if mode == "silent":
            time.sleep(60)
            self.close_connection = True
            return
        if mode in ("drip", "continue"):
            unit = b"HTTP/1.1 200 OK\r\n" if mode == "drip" else b"HTTP/1.1 100 Continue\r\n\r\n"
            pause = 0.5 if mode == "drip" else 1.0
            end = time.monotonic() + 600
            try:
                while time.monotonic() < end:
                    for piece in ([unit[i:i + 1] for i in range(len(unit))] if mode == "drip"
                                  else [unit]):
                        self.wfile.write(piece)
                        self.wfile.flush()
                        time.sleep(pause)
            except OSError:
                pass
            self.close_connection = True
            return
        self.send_response(status)
        self.send_header("Connection", "close")
        if mode in ("chunked", "cutchunk"):
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            half = len(body) // 2
            for part in (body[:half], body[half:]):
                if part:
                    self.wfile.write(b"%X\r\n%s\r\n" % (len(part), part))
            if mode == "chunked":
                self.wfile.write(b"0\r\n\r\n")
        elif mode == "drop":
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body[: len(body) // 2])
        elif mode == "lie":
            self.send_header("Content-Length", str(len(body) + 100))
            self.end_headers()
            self.wfile.write(body)
        else:
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        self.wfile.flush()
        self.close_connection = True

    def do_GET(self):
        self.record()
        path = self.url_path()
        parts = [p for p in path.split("/") if p]
        full = os.path.join(self.root, "files", *parts) if parts else None
        if not parts or ".." in parts or not full or not os.path.isfile(full):
            self.answer(404, b"<html>not found</html>", self.mode(path))
            return
        with open(full, "rb") as f:
            self.answer(200, f.read(), self.mode(path))

    def do_POST(self):
        self.record()
        path = self.url_path()
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        mode = self.mode(path)
        if mode in ("500", "silent", "garbage", "drop", "drip", "continue"):
            self.answer(200, b"<html>refused</html>", mode)
            return
        ctype = self.headers.get("Content-Type", "")
        marker = "boundary="
        if marker not in ctype:
            self.answer(400, b"<html>no boundary</html>")
            return
        boundary = ctype.split(marker, 1)[1].encode()
        fields = {}
        for chunk in body.split(b"--" + boundary):
            if b"\r\n\r\n" not in chunk:
                continue
            head, data = chunk.split(b"\r\n\r\n", 1)
            if data.endswith(b"\r\n"):
                data = data[:-2]
            disposition = head.decode("latin-1")
            name = disposition.split('name="', 1)[1].split('"', 1)[0]
            filename = None
            if 'filename="' in disposition:
                filename = disposition.split('filename="', 1)[1].split('"', 1)[0]
            fields[name] = (filename, data)
        folder = fields.get("folder", (None, b""))[1].decode("latin-1")
        filename, data = fields.get("data", (None, None))
        if data is None or not plain_name(filename) or (folder and not plain_name(folder)):
            self.answer(400, b"<html>bad upload</html>")
            return
        target = os.path.join(self.root, "uploads", folder) if folder else \
            os.path.join(self.root, "uploads")
        os.makedirs(target, exist_ok=True)
        with open(os.path.join(target, filename), "wb") as f:
            f.write(data)
        page = b"<html><body>Thank you"
        signal = read_text(self.root, "signal.txt")
        if signal is not None:
            page += b"<pre id='signal'>" + signal.encode() + b"</pre>"
        self.answer(200, page + b"</body></html>")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()
    Handler.root = os.path.abspath(args.root)
    server = Server(("127.0.0.1", 0), Handler)
    temp = args.port_file + ".tmp"
    with open(temp, "w", encoding="utf-8") as f:
        f.write(str(server.server_address[1]))
    os.replace(temp, args.port_file)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
