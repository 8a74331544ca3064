#!/usr/bin/env python3
"""Serves a folder on 127.0.0.1. With --frames DIR it also takes the PNG
frames a capture page PUTs to capture/NAME and writes them into DIR.

web_server.py SITE [PORT] [--frames DIR]: PORT 0 picks a free port; the first
line printed is the address."""
import functools
import http.server
import os
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    frames = None
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript"}

    def do_PUT(self):
        name = os.path.basename(self.path)
        if self.frames is None or not self.path.startswith("/capture/") or not name.endswith(".png"):
            self.send_error(405)
            return
        body = self.rfile.read(int(self.headers["Content-Length"]))
        with open(os.path.join(self.frames, name), "wb") as out:
            out.write(body)
        self.send_response(204)
        self.end_headers()

    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # a page that goes away mid-download is no fault of the server


def serve(site, port=0, frames=None):
    """Starts the server; returns it (serve_forever on a thread to run it)."""
    handler = functools.partial(Handler, directory=site)
    Handler.frames = frames
    return Server(("127.0.0.1", port), handler)


if __name__ == "__main__":
    args = sys.argv[1:]
    frames = None
    if "--frames" in args:
        i = args.index("--frames")
        frames = args[i + 1]
        del args[i:i + 2]
    if not args or not os.path.isdir(args[0]):
        sys.exit("web_server.py: no site folder (run scripts/web first)")
    server = serve(args[0], int(args[1]) if len(args) > 1 else 0, frames)
    print(f"http://127.0.0.1:{server.server_address[1]}/", flush=True)
    server.serve_forever()
