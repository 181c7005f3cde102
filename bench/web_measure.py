#!/usr/bin/python3
"""Measures the page (build-web/dist) in headless Chromium over CDP, served from 127.0.0.1:
download size (raw and gzip), time from the navigation to the first menu frame (median of 5,
each in a fresh profile), the browser's CPU share (all its processes, from /proc) at rest on the
main menu and while the pointer moves, frame times p50/p95 (between animation frames the program
waited for), the longest frame around an F12 screenshot (the page has no threads: the picture is
compressed a slice after each frame; target <= 100 ms) and the time until its file is complete, and
what a tab in the background costs.
Usage: web_measure.py [DIST]. Relies on: chromium, python3-websocket, tests/web/cdp.py."""
import gzip
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
import cdp  # noqa: E402

dist = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "build-web", "dist")
tick = os.sysconf("SC_CLK_TCK")


def browser_cpu_seconds(root_pid):
    """utime + stime of the browser and every process below it."""
    children = {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            children.setdefault(int(fields[1]), []).append((int(pid), int(fields[11]) + int(fields[12])))
        except (OSError, IndexError):
            pass
    total, todo = 0, [root_pid]
    with open(f"/proc/{root_pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
        total += int(fields[11]) + int(fields[12])
    while todo:
        for pid, ticks in children.get(todo.pop(), []):
            total += ticks
            todo.append(pid)
    return total / tick


def frame_stats(page, since):
    times = page.eval(f"Module.tarnwoodVideo.frameTimes.filter(function (t) {{ return t >= {since}; }})")
    gaps = sorted(b - a for a, b in zip(times, times[1:]))
    return gaps


def frames_since(page, since):
    return page.eval(f"Module.tarnwoodVideo.frameTimes.filter(function (t) {{ return t >= {since}; }}).length")


def pct(values, p):
    return values[min(len(values) - 1, int(len(values) * p / 100))] if values else float("nan")


def open_game(browser, server):
    """A 1024x768 tab on the game's page, kept windowed; returns the tab and the time of the first
    menu frame since navigation began (ms)."""
    page = browser.start()
    page.send("Page.enable")
    page.send("Emulation.setDeviceMetricsOverride", width=1024, height=768, deviceScaleFactor=1, mobile=False)
    page.send("Page.navigate", url=server.url("index.html?windowed"))
    return page, page.wait_for("window.Module && Module.tarnwoodVideo && Module.tarnwoodVideo.firstFrameAt", 20)


def main():
    files = [os.path.join(dist, f) for f in sorted(os.listdir(dist))]
    raw = sum(os.path.getsize(f) for f in files)
    packed = sum(len(gzip.compress(open(f, "rb").read(), 9)) for f in files)
    print(f"download: {raw / 1e6:.2f} MB raw, {packed / 1e6:.2f} MB gzip -9 ({len(files)} files)")
    server = cdp.Server(os.path.abspath(dist))
    firsts = []
    try:
        for _ in range(5):
            browser = cdp.Browser()
            try:
                page, first = open_game(browser, server)
                firsts.append(first)
                page.close()
            finally:
                browser.close()
        print(f"navigation to the first menu frame: median {statistics.median(firsts):.0f} ms "
              f"(runs: {', '.join(f'{v:.0f}' for v in firsts)})")

        browser = cdp.Browser()
        try:
            page, _ = open_game(browser, server)
            time.sleep(3)
            span = 10
            now = page.eval("performance.now()")
            cpu = browser_cpu_seconds(browser.process.pid)
            time.sleep(span)
            rest = (browser_cpu_seconds(browser.process.pid) - cpu) / span
            gaps = frame_stats(page, now)
            print(f"at rest on the main menu: browser {rest * 100:.1f} % of a core; "
                  f"frame time p50 {pct(gaps, 50):.1f} ms, p95 {pct(gaps, 95):.1f} ms")
            now = page.eval("performance.now()")
            cpu = browser_cpu_seconds(browser.process.pid)
            page.mouse("mouseMoved", 512, 748)
            started = time.time()
            i = 0
            while time.time() - started < span:
                i += 1
                x = 300 + (i * 7) % 400
                page.mouse("mouseMoved", x, 300 + (i * 3) % 200)
                time.sleep(1 / 120)
            moving = (browser_cpu_seconds(browser.process.pid) - cpu) / span
            gaps = frame_stats(page, now)
            print(f"pointer moving: browser {moving * 100:.1f} % of a core; "
                  f"frame time p50 {pct(gaps, 50):.1f} ms, p95 {pct(gaps, 95):.1f} ms")
            # F12 three times, each once the file of the one before is complete: the longest gap
            # between two frames from the key to the complete file, and the time to the file.
            longest, written = [], []
            for n in range(1, 4):
                now = page.eval("performance.now()")
                page.key("rawKeyDown", "F12", "F12", 123)
                time.sleep(0.05)
                page.key("keyUp", "F12", "F12", 123)
                done = page.wait_for(f"(function () {{ try {{ FS.stat('/tarnwood/Files/Screenshots/Screenshot_{n}.png');"
                                     " return performance.now(); } catch (e) { return null; } })()", 20)
                time.sleep(0.3)
                gaps = frame_stats(page, now)
                longest.append(max(gaps) if gaps else float("nan"))
                written.append(done - now if done else float("nan"))
            verdict = "met" if max(longest) <= 100 else "NOT met"
            print(f"F12 screenshot at 1024x768, 3 presses: longest frame {', '.join(f'{v:.0f}' for v in longest)} ms "
                  f"(target <= 100 ms: {verdict}); key to complete file {', '.join(f'{v:.0f}' for v in written)} ms")
            # A tab in the background: another tab in front hides this one.
            target = page.send("Target.createTarget", url="about:blank")["targetId"]
            time.sleep(2)
            now = page.eval("performance.now()")
            cpu = browser_cpu_seconds(browser.process.pid)
            time.sleep(span)
            hidden = (browser_cpu_seconds(browser.process.pid) - cpu) / span
            print(f"tab in the background ({page.eval('document.visibilityState')}, sound "
                  f"{page.eval('Module.tarnwoodAudio.context.state')}): "
                  f"{frames_since(page, now)} frames in {span} s, "
                  f"browser {hidden * 100:.1f} % of a core")
            page.send("Target.closeTarget", targetId=target)
            ours = [t["targetId"] for t in page.send("Target.getTargets")["targetInfos"] if "index.html" in t["url"]]
            if ours:
                page.send("Target.activateTarget", targetId=ours[0])
            time.sleep(1)
            now = page.eval("performance.now()")
            time.sleep(1)
            print(f"back in front ({page.eval('document.visibilityState')}, sound "
                  f"{page.eval('Module.tarnwoodAudio.context.state')}): "
                  f"{frames_since(page, now)} frames in 1 s")
            page.close()
        finally:
            browser.close()
    finally:
        server.close()


main()
