#!/usr/bin/env python3
"""Loopback server for bench/http: GET /fixed sends SIZE bytes with a Content-Length, GET
/chunked sends the same bytes in 64 KiB chunks. Usage: http_server.py PORT SIZE"""
import http.server
import sys

PORT = int(sys.argv[1])
SIZE = int(sys.argv[2])
BODY = bytes(range(256)) * (SIZE // 256)
CHUNK = 64 * 1024


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.send_response(200)
        self.send_header("Connection", "close")
        if self.path == "/chunked":
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            view = memoryview(BODY)
            for at in range(0, len(BODY), CHUNK):
                piece = view[at:at + CHUNK]
                self.wfile.write(b"%x\r\n" % len(piece))
                self.wfile.write(piece)
                self.wfile.write(b"\r\n")
            self.wfile.write(b"0\r\n\r\n")
        else:
            self.send_header("Content-Length", str(len(BODY)))
            self.end_headers()
            self.wfile.write(BODY)


http.server.ThreadingHTTPServer(("127.0.0.1", PORT), Handler).serve_forever()
