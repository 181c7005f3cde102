#!/usr/bin/python3
"""End-to-end test of the page (build-web/dist) in headless Chromium over CDP, served from
127.0.0.1 by a plain static file server (no special headers), at a 1024x768 viewport:
  1. the menu appears within 5 s of the navigation, and the page's screenshot equals the Linux
     program's start-up screenshot pixel for pixel (the game area is the whole viewport: 1:1);
  2. the music reaches the audio graph: what the page's analysers tap is loud and is the stored
     music (checked by e2e_check audio);
  3. Optionen -> Gameplay -> Sprache -> English: the settings are written, the page reloads into
     English on the language page, the new instance puts MenuPage back to Main, and the settings
     file read back from IndexedDB says Language = English;
  4. F12 stores a complete PNG of the frame in Files/Screenshots (also in IndexedDB);
  5. Escape, Escape: the loop ends, the page says so (exit code 0);
  6. hostile settings files in the store (10 MB of random bytes, UTF-16 text, garbage): the menu
     comes up at the defaults; a width of 0: the page's message box names the settings file and
     holds the program until OK, then it ends with a non-zero exit code; and with the store
     refused the game runs and says once that settings cannot be saved.
Usage: e2e_web_test.py DIST REFERENCE_PNG E2E_CHECK TITLE_MUSIC_WAV"""
import base64
import io
import os
import struct
import subprocess
import sys
import tempfile
import time

from PIL import Image, ImageChops

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cdp  # noqa: E402

W, H = 1024, 768
dist, reference, check, music = sys.argv[1:5]


def fail(message):
    print(f"FAIL: {message}")
    sys.exit(1)


def shot(page):
    data = page.send("Page.captureScreenshot", format="png")["data"]
    return Image.open(io.BytesIO(base64.b64decode(data))).convert("RGB")


def differing(a, b, box=None):
    if box:
        a, b = a.crop(box), b.crop(box)
    diff = ImageChops.difference(a, b).convert("L").point(lambda v: 255 if v else 0)
    return sum(1 for v in diff.getdata() if v)


class Player:
    """Moves the game's pointer as a player's mouse would: by relative motion from where it is
    (the game starts it at the bottom centre)."""

    def __init__(self, page):
        self.page = page
        self.x, self.y = W // 2, H - 20
        # The first event of a pointer that was nowhere moves nothing.
        page.mouse("mouseMoved", self.x, self.y)

    def move(self, x, y):
        steps = 8
        for i in range(1, steps + 1):
            self.page.mouse("mouseMoved", self.x + (x - self.x) * i // steps, self.y + (y - self.y) * i // steps)
        self.x, self.y = x, y
        time.sleep(0.1)

    def click(self, x, y):
        self.move(x, y)
        self.page.mouse("mousePressed", x, y, "left", 1)
        time.sleep(0.1)
        self.page.mouse("mouseReleased", x, y, "left", 1)
        time.sleep(0.25)

    def key(self, code, key, vk):
        self.page.key("rawKeyDown", code, key, vk)
        time.sleep(0.1)
        self.page.key("keyUp", code, key, vk)
        time.sleep(0.1)


def open_page(page, url):
    page.send("Page.enable")
    page.send("Runtime.enable")
    page.send("Emulation.setDeviceMetricsOverride", width=W, height=H, deviceScaleFactor=1, mobile=False)
    page.send("Page.navigate", url=url)


def wait_menu(page, what, timeout=5):
    """Waits for the program's first frame; returns the time from the navigation in ms."""
    first = page.wait_for("window.Module && Module.tarnwoodVideo && Module.tarnwoodVideo.firstFrameAt", timeout)
    if not first:
        fail(f"{what}: no frame within {timeout} s")
    return first


# What the analysers hold, stitched into one stretch: each snapshot overlaps the one before it,
# found by where the older one's last samples lie in the newer one.
TAP_JS = r"""
(async function (seconds) {
  var a = Module.tarnwoodAudio.analysers;
  if (!a) return null;
  var size = a[0].fftSize, keep = 256;
  var grab = function () {
    var l = new Float32Array(size), r = new Float32Array(size);
    a[0].getFloatTimeDomainData(l); a[1].getFloatTimeDomainData(r);
    return [l, r];
  };
  var out = grab(), left = Array.from(out[0]), right = Array.from(out[1]);
  while (left.length < seconds * 44100) {
    await new Promise(function (r) { setTimeout(r, 300); });
    var next = grab(), tail = left.slice(left.length - keep), found = -1;
    for (var s = 0; s + keep <= size && found < 0; s++) {
      var k = 0;
      while (k < keep && next[0][s + k] === tail[k]) k++;
      if (k === keep) found = s + keep;
    }
    if (found < 0) return {gap: true, frames: left.length};
    left = left.concat(Array.from(next[0].subarray(found)));
    right = right.concat(Array.from(next[1].subarray(found)));
  }
  var pcm = new Int16Array(left.length * 2);
  for (var i = 0; i < left.length; i++) {
    pcm[2 * i] = Math.max(-32768, Math.min(32767, Math.round(left[i] * 32768)));
    pcm[2 * i + 1] = Math.max(-32768, Math.min(32767, Math.round(right[i] * 32768)));
  }
  var bytes = new Uint8Array(pcm.buffer), text = '';
  for (var j = 0; j < bytes.length; j += 8192) text += String.fromCharCode.apply(null, bytes.subarray(j, j + 8192));
  return btoa(text);
})(%s)
"""

# The settings file as the browser's store holds it (IDBFS: one record per path).
IDB_READ_JS = r"""
new Promise(function (resolve) {
  var open = indexedDB.open('/tarnwood/Files');
  open.onerror = function () { resolve(null); };
  open.onsuccess = function () {
    var db = open.result;
    try {
      var get = db.transaction(['FILE_DATA'], 'readonly').objectStore('FILE_DATA').get(%s);
      get.onsuccess = function () {
        var r = get.result;
        if (!r || !r.contents) { resolve(null); return; }
        var bytes = new Uint8Array(r.contents), text = '';
        for (var j = 0; j < bytes.length; j += 8192) text += String.fromCharCode.apply(null, bytes.subarray(j, j + 8192));
        resolve(btoa(text));
        db.close();
      };
      get.onerror = function () { resolve(null); };
    } catch (e) { resolve(null); }
  };
})
"""


def idb_file(page, path):
    data = page.eval(IDB_READ_JS % repr(path))
    return base64.b64decode(data) if data else None


def main():
    started = time.time()
    work = tempfile.mkdtemp(prefix="tarnwood-web-e2e-")
    server = cdp.Server(dist)
    browser = cdp.Browser()
    try:
        page = browser.start()
        page.send("Page.setDownloadBehavior", behavior="allow", downloadPath=work)
        open_page(page, server.url("index.html?windowed"))

        # 1. The menu, as the Linux program shows it.
        first = wait_menu(page, "start-up")
        print(f"ok: first menu frame {first:.0f} ms after the navigation")
        player = Player(page)
        time.sleep(0.5)
        main_de = shot(page)
        ref = Image.open(reference).convert("RGB")
        if ref.size != (W, H) or main_de.size != (W, H):
            fail(f"sizes: page {main_de.size}, reference {ref.size}")
        n = differing(main_de, ref)
        if n:
            main_de.save(os.path.join(work, "main_de.png"))
            fail(f"{n} pixels of the game area differ from the Linux program's start-up screenshot ({work})")
        print("ok: the main menu equals the Linux program's, pixel for pixel")

        # 2. The music in the audio graph.
        def music_check(what):
            data = page.eval(TAP_JS % 1.6)
            if not data or isinstance(data, dict):
                fail(f"{what}: the audio tap gave {data}")
            raw = os.path.join(work, f"{what}.raw")
            with open(raw, "wb") as f:
                f.write(base64.b64decode(data))
            result = subprocess.run([check, "audio", raw, music], capture_output=True, text=True)
            print(f"{what}: {result.stdout.strip()}")
            if result.returncode != 0:
                fail(f"{what}: the sound in the audio graph is not the title music")
        time.sleep(1.0)
        music_check("music")
        print("ok: the title music reaches the audio graph")

        # 3. The language change, a reload, English.
        player.click(512, 683)  # Optionen
        player.click(352, 255)  # Gameplay
        player.click(512, 255)  # Sprache
        time.sleep(0.3)
        language_de = shot(page)
        if not differing(language_de, main_de):
            fail("the clicks did not leave the main menu")
        page.eval("window.tarnwoodOldPage = 1")
        player.click(672, 295)  # English: restart
        if not page.wait_for("typeof window.tarnwoodOldPage === 'undefined' && window.Module && "
                             "Module.tarnwoodVideo && Module.tarnwoodVideo.firstFrameAt", 10):
            fail("the page did not reload into a new instance after the language change")
        player = Player(page)
        time.sleep(0.7)
        language_en = shot(page)
        for x, y in ((277, 200), (277, 280), (277, 320), (597, 240), (597, 280), (437, 668)):
            if differing(language_de, language_en, (x + 10, y + 5, x + 140, y + 25)) <= 20:
                fail(f"text at {x}, {y} is the same in German and English")
        print("ok: the page reloaded into English on the language page")
        settings = None
        deadline = time.time() + 5
        while time.time() < deadline:
            settings = idb_file(page, "/tarnwood/Files/Tarnwood.cfg")
            if settings and b"MenuPage = Main" in settings:
                break
            time.sleep(0.2)
        if not settings or b"\nLanguage = English" not in settings:
            fail(f"the store's settings file does not say English: {settings!r:.300}")
        if b"MenuPage = Main" not in settings:
            fail("the new instance did not put MenuPage back to Main in the store")
        print("ok: IndexedDB holds Language = English and MenuPage = Main")
        music_check("music_after_reload")

        # 4. F12: a complete PNG of the frame in Files/Screenshots, in the store, and a download.
        frame = shot(page)
        player.key("F12", "F12", 123)
        name = page.wait_for("(function () { var n = FS.readdir('/tarnwood/Files/Screenshots')"
                             ".filter(function (f) { return /^Screenshot_\\d+\\.png$/.test(f); });"
                             " return n.length ? n[0] : null; })()", 10)
        if not name:
            fail("no screenshot in Files/Screenshots after F12")
        stored = None
        deadline = time.time() + 5
        while time.time() < deadline and not stored:
            stored = idb_file(page, "/tarnwood/Files/Screenshots/" + name)
            time.sleep(0.1)
        if not stored:
            fail(f"{name} is not in the browser's store")
        picture = Image.open(io.BytesIO(stored))
        picture.load()  # a truncated file fails here
        picture = picture.convert("RGB")
        if picture.size != (W, H) or differing(picture, frame):
            fail(f"{name} is not the frame on the page ({picture.size})")
        print(f"ok: F12 stored {name}, a complete PNG of the frame, in the store")
        downloaded = os.path.join(work, name)
        deadline = time.time() + 5
        while time.time() < deadline and not os.path.exists(downloaded):
            time.sleep(0.1)
        if not os.path.exists(downloaded) or open(downloaded, "rb").read() != stored:
            fail(f"{name} was not offered as a download")
        print("ok: the screenshot was offered as a download")

        # 5. Escape on the language page, then on the main menu: the end.
        player.key("Escape", "Escape", 27)
        time.sleep(0.3)
        player.key("Escape", "Escape", 27)
        if not page.wait_for("Module.tarnwoodPage.ended === true", 10):
            fail("Escape on the main menu did not end the loop")
        if page.eval("Module.tarnwoodPage.exitCode") != 0:
            fail(f"exit code {page.eval('Module.tarnwoodPage.exitCode')}")
        if page.eval("getComputedStyle(document.getElementById('ended')).display") == "none":
            fail("the page does not say that Tarnwood has ended")
        print("ok: Escape ended the loop; the page says so")

        # 6. Hostile settings files in the store: the menu at the defaults, no crash.
        cases = {
            "random": "(function () { var b = new Uint8Array(10485760); for (var i = 0; i < b.length;"
                      " i += 65536) crypto.getRandomValues(b.subarray(i, i + 65536)); return b; })()",
            "utf16": "new Uint8Array([0xff, 0xfe].concat(Array.from('[Screen]\\r\\nScreenW=800\\r\\n')"
                     ".flatMap(function (c) { return [c.charCodeAt(0), 0]; })))",
            "garbage": "new TextEncoder().encode('\\u0000\\u00ff[[[\\n=\\n]]] = =\\n\\u00e4\\u00f6\\ud83d\\ude00')",
        }
        for what, contents in cases.items():
            page.eval("new Promise(function (resolve) { FS.writeFile('/tarnwood/Files/Tarnwood.cfg', %s);"
                      " FS.syncfs(false, function () { resolve(1); }); })" % contents)
            page.eval("window.tarnwoodOldPage = 1")
            page.send("Page.reload")
            if not page.wait_for("typeof window.tarnwoodOldPage === 'undefined'", 5):
                fail(f"{what}: no reload")
            wait_menu(page, what, 10)
            time.sleep(0.5)
            now = shot(page)
            if now.size != (W, H) or differing(now, main_de, (0, 600, W, H)):
                fail(f"{what}: the menu is not the default one")
            if page.eval("Module.tarnwoodPage.ended === true"):
                fail(f"{what}: the program ended")
            print(f"ok: {what} settings in the store: the menu at the defaults")

        # A display that cannot open: the message box on the page holds the program until OK.
        page.eval("new Promise(function (resolve) { FS.writeFile('/tarnwood/Files/Tarnwood.cfg',"
                  " '[Screen]\\r\\nScreenW = 0\\r\\n'); FS.syncfs(false, function () { resolve(1); }); })")
        page.send("Page.reload")
        text = page.wait_for("getComputedStyle(document.getElementById('dialog')).display !== 'none' &&"
                             " document.querySelector('#dialog .text').textContent", 10)
        if not text or "Tarnwood.cfg" not in text:
            fail(f"no message box naming the settings file for a width of 0: {text!r}")
        time.sleep(0.5)
        if page.eval("Module.tarnwoodPage.ended === true"):
            fail("the program went on past its message box")
        page.eval("document.querySelector('#dialog button').click()")
        if not page.wait_for("Module.tarnwoodPage.ended === true", 5):
            fail("the program did not end after its message box was closed")
        if page.eval("Module.tarnwoodPage.exitCode") == 0:
            fail("a display that cannot open ended with exit code 0")
        print("ok: a display that cannot open: the page's message box holds the program until OK")
        page.close()
        browser.stop()

        # 7. The store refused: the game runs with the defaults and says so once.
        refusing = cdp.Browser()
        try:
            page = refusing.start()
            page.send("Page.enable")
            page.send("Page.addScriptToEvaluateOnNewDocument", source=
                      "Object.defineProperty(window, 'indexedDB', { get: function () {"
                      " throw new DOMException('refused', 'SecurityError'); } });")
            open_page(page, server.url("index.html?windowed"))
            wait_menu(page, "store refused", 10)
            time.sleep(0.5)
            now = shot(page)
            if differing(now, main_de, (0, 0, W, 600)):
                fail("store refused: not the default menu")
            notice = page.eval("document.getElementById('notice').textContent")
            if "cannot be saved" not in (notice or ""):
                fail(f"store refused: no notice ({notice!r})")
            player = Player(page)
            player.click(512, 683)  # Optionen: the game goes on
            if page.eval("Module.tarnwoodPage.ended === true"):
                fail("store refused: the program ended")
            print("ok: with the store refused the game runs and says once that settings cannot be saved")
            page.close()
        finally:
            refusing.close()
    finally:
        browser.close()
        server.close()
    print(f"e2e_web_test: passed in {time.time() - started:.1f} s")


main()
