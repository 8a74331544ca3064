"""Debian's headless Chromium driven over the DevTools protocol, with only
Python's standard library: start it, open a page, evaluate JavaScript, read
the console, take screenshots."""
import base64
import json
import os
import shutil
import socket
import struct
import subprocess
import tempfile
import time
import urllib.request


class BrowserError(Exception):
    pass


class Browser:
    def __init__(self, width=1024, height=768, extra_flags=()):
        self.profile = tempfile.mkdtemp(prefix="velmora-chromium-")
        self.process = subprocess.Popen(
            ["chromium", "--headless=new", "--no-sandbox", "--use-angle=swiftshader",
             "--enable-unsafe-swiftshader", "--remote-debugging-port=0", "--no-first-run",
             "--user-data-dir=" + self.profile, f"--window-size={width},{height}",
             "--autoplay-policy=no-user-gesture-required", *extra_flags, "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port_file = os.path.join(self.profile, "DevToolsActivePort")
        for _ in range(300):
            if os.path.exists(port_file) and open(port_file).read().count("\n") >= 1:
                break
            time.sleep(0.1)
        else:
            self.close()
            raise BrowserError("chromium did not open its DevTools port")
        port = int(open(port_file).read().split("\n")[0])
        targets = json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list"))
        page = next(t for t in targets if t["type"] == "page")
        self.socket = _connect(page["webSocketDebuggerUrl"])
        self.next_id = 0
        self.console = []
        self.call("Runtime.enable")
        self.call("Page.enable")

    def close(self):
        self.process.kill()
        self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def call(self, method, **params):
        self.next_id += 1
        sent = self.next_id
        _send(self.socket, json.dumps({"id": sent, "method": method, "params": params}))
        while True:
            message = json.loads(_receive(self.socket))
            if message.get("method") == "Runtime.consoleAPICalled":
                args = message["params"]["args"]
                self.console.append(" ".join(str(a.get("value", a.get("description", ""))) for a in args))
            if message.get("id") == sent:
                if "error" in message:
                    raise BrowserError(f"{method}: {message['error']}")
                return message["result"]

    def open(self, url):
        self.call("Page.navigate", url=url)

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, awaitPromise=True, returnByValue=True)
        if "exceptionDetails" in result:
            raise BrowserError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def wait_for(self, expression, timeout, poll=0.25):
        """Evaluates `expression` until it is truthy; returns its value."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(poll)
        raise BrowserError(f"timed out after {timeout} s waiting for {expression}")

    def key(self, key, code, key_code):
        for kind in ("keyDown", "keyUp"):
            self.call("Input.dispatchKeyEvent", type=kind, key=key, code=code, windowsVirtualKeyCode=key_code)

    def click(self, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left", clickCount=1)

    def screenshot(self, path):
        data = self.call("Page.captureScreenshot", format="png")["data"]
        with open(path, "wb") as out:
            out.write(base64.b64decode(data))


def _connect(url):
    host, rest = url[len("ws://"):].split("/", 1)
    address, port = host.split(":")
    sock = socket.create_connection((address, int(port)))
    key = base64.b64encode(os.urandom(16)).decode()
    sock.sendall((f"GET /{rest} HTTP/1.1\r\nHost: {host}\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                  f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n").encode())
    response = b""
    while b"\r\n\r\n" not in response:
        response += sock.recv(1)
    if b" 101 " not in response.split(b"\r\n")[0]:
        raise BrowserError("the DevTools WebSocket refused the connection")
    return sock


def _send(sock, text):
    data = text.encode()
    header = bytes([0x81])
    if len(data) < 126:
        header += bytes([0x80 | len(data)])
    elif len(data) < 65536:
        header += bytes([0x80 | 126]) + struct.pack(">H", len(data))
    else:
        header += bytes([0x80 | 127]) + struct.pack(">Q", len(data))
    mask = os.urandom(4)
    sock.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))


def _read(sock, count):
    data = b""
    while len(data) < count:
        chunk = sock.recv(count - len(data))
        if not chunk:
            raise BrowserError("the browser closed the DevTools connection")
        data += chunk
    return data


def _receive(sock):
    message = b""
    while True:
        first, second = _read(sock, 2)
        length = second & 0x7F
        if length == 126:
            length = struct.unpack(">H", _read(sock, 2))[0]
        elif length == 127:
            length = struct.unpack(">Q", _read(sock, 8))[0]
        message += _read(sock, length)
        if first & 0x80:
            return message.decode()
