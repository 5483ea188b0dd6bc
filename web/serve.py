#!/usr/bin/env python3
"""Serves the package folder (build-web/package: dist/ and demo/) with the
headers that make a page cross-origin isolated (SharedArrayBuffer, threads).
Usage: web/serve.py [PORT] [FOLDER]"""
import functools
import http.server
import os
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".mjs": "text/javascript", ".js": "text/javascript",
                      ".wasm": "application/wasm"}

    def end_headers(self):
        self.send_header("Cross-Origin-Opener-Policy", "same-origin")
        self.send_header("Cross-Origin-Embedder-Policy", "require-corp")
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def log_message(self, *args):
        pass


def main():
    port = int(sys.argv[1]) if len(sys.argv) > 1 else 8080
    root = sys.argv[2] if len(sys.argv) > 2 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "build-web", "package")
    handler = functools.partial(Handler, directory=root)
    with http.server.ThreadingHTTPServer(("127.0.0.1", port), handler) as server:
        print(f"serving {os.path.abspath(root)} on http://127.0.0.1:{server.server_address[1]}/demo/",
              flush=True)
        server.serve_forever()


if __name__ == "__main__":
    main()
