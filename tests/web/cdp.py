"""Headless Chromium driven over the DevTools protocol (CDP), for the tests of the page: starts the
browser with its own profile folder and a free debugging port, serves a folder on 127.0.0.1, and
sends commands to one page. Relies on: chromium, python3-websocket."""
import base64
import http.server
import json
import os
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import urllib.request

import websocket


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class Server:
    """A static file server on 127.0.0.1 (what a player's web host does), in a thread."""

    def __init__(self, folder):
        handler = lambda *a, **k: _QuietHandler(*a, directory=folder, **k)
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.port = self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def url(self, path=""):
        return f"http://127.0.0.1:{self.port}/{path}"

    def close(self):
        self.httpd.shutdown()


class Browser:
    """Headless Chromium with a profile folder of its own (kept across start() calls of the same
    object, so that the browser's store survives a browser restart)."""

    def __init__(self, profile=None):
        self.profile = profile or tempfile.mkdtemp(prefix="tarnwood-chromium-")
        self.own_profile = profile is None
        self.process = None

    def start(self, extra_args=()):
        self.port = free_port()
        args = ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                "--disable-extensions", "--mute-audio", "--autoplay-policy=no-user-gesture-required",
                f"--remote-debugging-port={self.port}", f"--user-data-dir={self.profile}",
                "--window-size=1024,768", *extra_args, "about:blank"]
        self.process = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 30
        while time.time() < deadline:
            try:
                with urllib.request.urlopen(f"http://127.0.0.1:{self.port}/json/list", timeout=1) as r:
                    pages = [t for t in json.load(r) if t.get("type") == "page"]
                if pages:
                    return Page(pages[0]["webSocketDebuggerUrl"])
            except OSError:
                pass
            time.sleep(0.1)
        raise RuntimeError("Chromium did not start")

    def stop(self):
        if self.process:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            self.process = None

    def close(self):
        self.stop()
        if self.own_profile:
            shutil.rmtree(self.profile, ignore_errors=True)


class Page:
    def __init__(self, ws_url):
        self.ws = websocket.create_connection(ws_url, timeout=60, suppress_origin=True)
        self.next_id = 0
        self.events = []

    def send(self, method, **params):
        self.next_id += 1
        my_id = self.next_id
        self.ws.send(json.dumps({"id": my_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.ws.recv())
            if message.get("id") == my_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message.get("result", {})
            self.events.append(message)

    def eval(self, expression, await_promise=True):
        result = self.send("Runtime.evaluate", expression=expression, awaitPromise=await_promise,
                           returnByValue=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def wait_for(self, expression, timeout, step=0.02):
        """Polls the expression until it is truthy; returns its value, or None on timeout."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            try:
                value = self.eval(expression)
            except RuntimeError:
                value = None
            if value:
                return value
            time.sleep(step)
        return None

    def screenshot(self, path):
        data = self.send("Page.captureScreenshot", format="png")["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def mouse(self, kind, x, y, button="none", clicks=0):
        self.send("Input.dispatchMouseEvent", type=kind, x=x, y=y, button=button, clickCount=clicks)

    def key(self, kind, code, key, vk):
        self.send("Input.dispatchKeyEvent", type=kind, code=code, key=key, windowsVirtualKeyCode=vk)

    def close(self):
        self.ws.close()
