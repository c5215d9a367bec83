#!/usr/bin/env python3
"""A stand-in notification and update service for tests.

Listens on 127.0.0.1 (port 0 picks a free one, printed on the first line of
standard output), answers POST /quorel401/vers.asp with the given version and
any other POST with "OK", and appends one JSON line per request to the log.
"""
import argparse
import json
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--version", default="4.0.1")
    parser.add_argument("--log", required=True)
    args = parser.parse_args()

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            body = self.rfile.read(length) if length else b""
            entry = {
                "time": time.time(),
                "path": self.path,
                "content_type": self.headers.get("Content-Type"),
                "content_length": self.headers.get("Content-Length"),
                "body": body.decode("utf-8", "replace"),
            }
            with open(args.log, "a", encoding="utf-8") as log:
                log.write(json.dumps(entry) + "\n")
            answer = (args.version if self.path == "/quorel401/vers.asp" else "OK").encode()
            self.send_response(200)
            self.send_header("Content-Type", "text/plain; charset=utf-8")
            self.send_header("Content-Length", str(len(answer)))
            self.end_headers()
            self.wfile.write(answer)

        def log_message(self, *unused):
            pass

    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
