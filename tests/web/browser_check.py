#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
"""Plays the web page in Debian's headless Chromium, as a new player would,
and checks it against the Linux game's own frames:

  browser_check.py URL LAYOUT_JSON LINUX_FRAMES_DIR

LINUX_FRAMES_DIR holds help.rgb, build.rgb and laid.rgb (640x480, 8-bit RGB):
the Linux game's help card at its first start, its first build-phase frame
after a key closed it, and the frame after the first palette slot and then
cell (1, 1) were clicked. Colours are compared at the 16-bit frame's
precision. Prints the page's figures; exits 1 with a line on each failure.
Run with Debian's /usr/bin/python3 (Selenium is Debian's package)."""
import argparse
import base64
import json
import os
import shutil
import signal
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

W, H = 640, 480
KEEP = (0xF8, 0xFC, 0xF8)  # the bits a 5-6-5 pixel holds
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def at_16_bits(rgb):
    return bytes(b & KEEP[i % 3] for i, b in enumerate(rgb))


class Page:
    def __init__(self, url, profile):
        options = webdriver.ChromeOptions()
        for a in ("--headless=new", "--no-sandbox", "--window-size=1400,1100",
                  "--user-data-dir=" + profile, "--disable-gpu", "--mute-audio"):
            options.add_argument(a)
        options.binary_location = "/usr/bin/chromium"
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        self.d = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.url = url
        self.log = []
        # Records what the page's sound plays: every buffer started, with its
        # loudest sample (heard, not only asked for).
        self.d.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": """
            window.__heard = [];
            const start = AudioBufferSourceNode.prototype.start;
            AudioBufferSourceNode.prototype.start = function (...args) {
              let peak = 0;
              if (this.buffer) for (let c = 0; c < this.buffer.numberOfChannels; c++)
                for (const v of this.buffer.getChannelData(c)) peak = Math.max(peak, Math.abs(v));
              window.__heard.push({peak: peak, state: this.context.state,
                                   length: this.buffer ? this.buffer.duration : 0});
              return start.apply(this, args);
            };
            // A stand-in pad in the Gamepad API's standard layout, at rest
            // until the test holds its buttons (window.__pad).
            window.__pad = {id: 'stand-in pad', index: 0, connected: true, mapping: 'standard',
                            axes: [0, 0, 0, 0], timestamp: 0,
                            buttons: Array.from({length: 17}, () => ({pressed: false, value: 0}))};
            navigator.getGamepads = () => [window.__pad, null, null, null];
            window.__stopped = [];
            const stop = AudioBufferSourceNode.prototype.stop;
            AudioBufferSourceNode.prototype.stop = function (...args) {
              window.__stopped.push(this.buffer ? this.buffer.duration : 0);
              return stop.apply(this, args);
            };"""})

    def open(self):
        self.d.get(self.url)
        for _ in range(200):
            if self.d.execute_script("return window.Module && Module.frames > 0"):
                return True
            time.sleep(0.05)
        return False

    def frame(self):
        """The canvas's pixels as 8-bit RGB, at the 16-bit frame's precision."""
        data = self.d.execute_script("""
            const c = document.getElementById('frame');
            const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
            let s = '';
            for (let i = 0; i < d.length; i += 4)
              s += String.fromCharCode(d[i], d[i + 1], d[i + 2]);
            return btoa(s);""")
        return at_16_bits(base64.b64decode(data))

    def settle(self, seconds=0.4):
        """Waits until the game has taken every queued event (one change of
        a key or button a tick), then `seconds` more."""
        for _ in range(100):
            if not self.d.execute_script("return window.Module ? Module.inputQueue.length : 0"):
                break
            time.sleep(0.02)
        time.sleep(seconds)

    def key(self, code, key, vk, text="", hold=0.05):
        down = {"type": "keyDown", "code": code, "key": key, "windowsVirtualKeyCode": vk}
        if text:
            down["text"] = text
        self.d.execute_cdp_cmd("Input.dispatchKeyEvent", down)
        time.sleep(hold)
        self.d.execute_cdp_cmd("Input.dispatchKeyEvent",
                               {"type": "keyUp", "code": code, "key": key, "windowsVirtualKeyCode": vk})

    def click(self, x, y, hold=0.05):
        """A left click at frame pixel (x, y), through the canvas's place and scale."""
        box = self.d.execute_script(
            "const r = document.getElementById('frame').getBoundingClientRect();"
            "return [r.left, r.top, r.width / 640];")
        px, py = box[0] + (x + 0.5) * box[2], box[1] + (y + 0.5) * box[2]
        for kind in ("mouseMoved", "mousePressed", "mouseReleased"):
            event = {"type": kind, "x": px, "y": py, "button": "left" if kind != "mouseMoved" else "none",
                     "clickCount": 1, "buttons": 1 if kind == "mousePressed" else 0}
            self.d.execute_cdp_cmd("Input.dispatchMouseEvent", event)
            time.sleep(hold)

    def tap(self, x, y):
        """A finger's tap at frame pixel (x, y), through the canvas's place and scale."""
        box = self.d.execute_script(
            "const r = document.getElementById('frame').getBoundingClientRect();"
            "return [r.left, r.top, r.width / 640];")
        point = {"x": box[0] + (x + 0.5) * box[2], "y": box[1] + (y + 0.5) * box[2]}
        self.d.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchStart", "touchPoints": [point]})
        time.sleep(0.05)
        self.d.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchEnd", "touchPoints": []})

    def pad(self, button, hold=0.06):
        """A press of the stand-in pad's button (standard layout numbers)."""
        self.d.execute_script("window.__pad.buttons[arguments[0]].pressed = true", button)
        time.sleep(hold)
        self.d.execute_script("window.__pad.buttons[arguments[0]].pressed = false", button)
        time.sleep(hold)

    def errors(self):
        self.log += self.d.get_log("browser")
        return [e for e in self.log if e["level"] in ("SEVERE", "WARNING")]

    def stored_file(self, name):
        """A file of the page's kept folder, as the browser's storage holds it."""
        return self.d.execute_async_script("""
            const done = arguments[arguments.length - 1];
            const open = indexedDB.open('/save');
            open.onerror = () => done(null);
            open.onsuccess = () => {
              const db = open.result;
              if (!db.objectStoreNames.contains('FILE_DATA')) return done(null);
              const get = db.transaction('FILE_DATA').objectStore('FILE_DATA').get('/save/' + arguments[0]);
              get.onsuccess = () => done(get.result && get.result.contents
                  ? btoa(String.fromCharCode(...get.result.contents)) : null);
              get.onerror = () => done(null);
            };""", name)


# The second tab's score, entered at its start through the game's test
# shortcut (set in its environment before the game runs).
SECOND_RECORD = "     4321"
SECOND_SCORE = """
    let module;
    Object.defineProperty(window, 'Module', { configurable: true,
      get: () => module,
      set: (m) => {
        (m.preRun = m.preRun || []).push(() => { ENV.TOLLYBROOK_TEST_SCORE = '4321'; });
        module = m;
      } });"""


# What the page loads, each kept for playing offline.
PAGE_FILES = ("", "index.html", "page.js", "page.css", "favicon.png", "manifest.json",
              "icon-192.png", "icon-512.png", "tollybrook.js", "tollybrook.wasm",
              "tollybrook.data", "tune.ogg")


def check_manifest(page):
    """The app's manifest as Chromium reads it: what installing asks for,
    and each icon at the size it names."""
    got = page.d.execute_cdp_cmd("Page.getAppManifest", {})
    errors = [e["message"] for e in got.get("errors", [])]
    check(got.get("data") and not errors, "the manifest is read without errors" +
          "".join("\n     " + e for e in errors))
    manifest = json.loads(got.get("data") or "{}")
    check(manifest.get("display") == "standalone" and manifest.get("orientation") == "landscape"
          and manifest.get("background_color") == "#000000" and manifest.get("name")
          and manifest.get("start_url"),
          "the manifest names the game, a black background, landscape and standalone")
    icons = manifest.get("icons", [])
    sizes = page.d.execute_async_script("""
        const done = arguments[arguments.length - 1];
        Promise.all(arguments[0].map((icon) => new Promise((loaded) => {
          const image = new Image();
          image.onload = () => loaded(image.naturalWidth + 'x' + image.naturalHeight);
          image.onerror = () => loaded('missing');
          image.src = icon.src;
        }))).then(done);""", icons)
    named = [i["sizes"] for i in icons]
    check(named and sizes == named and {"192x192", "512x512"} <= set(named),
          "the manifest's icons exist at the sizes it names (%s; found %s)" % (named, sizes))


def stored_scores(page):
    stored = page.stored_file("hi.dat")
    return base64.b64decode(stored).decode("latin-1") if stored else ""


def differing(a, b):
    return sum(1 for i in range(0, len(a), 3) if a[i:i + 3] != b[i:i + 3])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("url")
    parser.add_argument("layout")
    parser.add_argument("linux_frames")
    parser.add_argument("--server-pid", type=int, help="stopped before the offline reload")
    args = parser.parse_args()
    L = json.load(open(args.layout))
    linux = {n: at_16_bits(open(os.path.join(args.linux_frames, n + ".rgb"), "rb").read())
             for n in ("help", "build", "laid")}
    cell = lambda c, r: (L["cell_size"] * c + L["cell_size"] // 2,
                         L["field_top"] + L["cell_size"] * r + L["cell_size"] // 2)
    slot = lambda s: (L["screen_width"] - L["palette_left_from_right"] + L["slot_pitch"] // 2,
                      L["palette_top"] + L["slot_pitch"] * s + L["slot_pitch"] // 2)
    sb = L["start_button"]
    start_button = ((sb[0] + sb[2]) // 2, (sb[1] + sb[3]) // 2)

    profile = tempfile.mkdtemp(prefix="tollybrook-chromium-")
    page = Page(args.url, profile)
    try:
        check(page.open(), "the page shows a first frame")
        check_manifest(page)
        first_ms = page.d.execute_script("return Module.firstFrameMs")
        page.settle(0.6)
        shown = page.frame()
        check(differing(shown, linux["help"]) == 0,
              "the first visit opens on the help card, as the Linux game's first start "
              "(%d pixels differ)" % differing(shown, linux["help"]))

        page.key("KeyX", "x", 88, "x")
        page.settle()
        shown = page.frame()
        check(differing(shown, linux["build"]) == 0,
              "after the help card, the frame is the Linux game's first build-phase frame "
              "(%d pixels differ)" % differing(shown, linux["build"]))

        # Clicks as short as they come (press and release in one go): none is lost.
        page.click(*slot(0), hold=0)
        page.click(*cell(1, 1), hold=0)
        page.settle()
        shown = page.frame()
        check(differing(shown, linux["laid"]) == 0,
              "palette and cell clicks, however short, lay the tile the Linux game lays "
              "(%d pixels differ)" % differing(shown, linux["laid"]))

        # The keyboard alone: the cursor appears on an arrow key; walk it to
        # the palette's first slot, take it, and lay it in another cell.
        before = page.frame()
        for _ in range(8):
            page.key("ArrowRight", "ArrowRight", 39, hold=0)
        page.key("Space", " ", 32, " ", hold=0)
        for _ in range(8):
            page.key("ArrowLeft", "ArrowLeft", 37, hold=0)
        page.key("Space", " ", 32, " ", hold=0)
        page.settle()
        after = page.frame()
        # The frame starts in the top left cell: the first slot's tile now
        # fills it as the clicks' tile fills cell (1, 1) (inside the cursor's frame).
        inset = 8
        def inside(rgb, c, r):
            x0, y0 = L["cell_size"] * c + inset, L["field_top"] + L["cell_size"] * r + inset
            side = L["cell_size"] - 2 * inset
            return b"".join(rgb[((y0 + y) * W + x0) * 3:((y0 + y) * W + x0 + side) * 3]
                            for y in range(side))
        check(inside(before, 0, 0) != inside(after, 0, 0)
              and inside(after, 0, 0) == inside(linux["laid"], 1, 1),
              "the keyboard alone lays the first slot's tile in the top left cell")

        # The story's question, answered by a click on its "(PRESS N)" line:
        # back to the build phase, the dialog box gone.
        line_y = lambda i: (H - L["dialog_box_height"] + L["dialog_text"][1]
                            + L["dialog_line_pitch"] * i + 12)
        low = lambda rgb: rgb[W * 3 * (H - 100):W * 3 * (H - 20)]
        page.click(*start_button)
        page.settle(0.7)  # a story page takes no click in its first half second
        question = page.frame()
        page.click(320, line_y(2))
        page.settle(0.3)
        check(low(question) != low(after) and low(page.frame()) == low(after),
              "a click on the story's answer line answers it")

        # A pad the browser sees (the stand-in): the d-pad walks the frame to
        # the palette's third slot, A takes it and lays it in cell (0, 2),
        # and B answers the story's question with N.
        UP, DOWN, LEFT, RIGHT, A, B = 12, 13, 14, 15, 0, 1
        bare = page.frame()
        for button, times in ((UP, 6), (LEFT, 8), (RIGHT, 8), (DOWN, 2), (A, 1), (LEFT, 8), (A, 1)):
            for _ in range(times):
                page.pad(button)
        page.settle()
        check(inside(bare, 0, 2) != inside(page.frame(), 0, 2), "the pad's d-pad and A lay a tile")
        before_start = page.frame()
        page.click(*start_button)
        page.settle(0.7)
        question = page.frame()
        page.pad(B)
        page.settle(0.3)
        check(low(question) != low(before_start) and low(page.frame()) == low(before_start),
              "the pad's B answers the story's question")

        # A touch screen: a tap lays a tile where the finger lands, and a tap
        # on the question's "(PRESS Y)" line answers it.
        page.d.execute_cdp_cmd("Emulation.setTouchEmulationEnabled", {"enabled": True, "maxTouchPoints": 1})
        bare = page.frame()
        page.tap(*slot(1))  # the first slot's two tiles are laid
        page.tap(*cell(2, 3))
        page.settle()
        check(inside(bare, 2, 3) != inside(page.frame(), 2, 3), "taps pick a tile and lay it")
        page.tap(*start_button)
        page.settle(0.7)
        question = page.frame()
        page.tap(320, line_y(1))
        page.settle(0.3)
        check(low(page.frame()) != low(question) and low(page.frame()) != low(after),
              "a tap on the story's answer line answers it")
        page.d.execute_cdp_cmd("Emulation.setTouchEmulationEnabled", {"enabled": False})
        for code, key, vk, text in (("Space", " ", 32, " "),
                                    ("Space", " ", 32, " "), ("Space", " ", 32, " ")):
            page.key(code, key, vk, text, hold=0.07)
            page.settle(0.15)
        page.settle(1.0)
        a = page.frame()
        page.settle(0.5)
        b = page.frame()
        check(differing(a, b) > 0, "START and the story's keys reach the battle (the field moves)")

        # The effects are heard: a meteor's sounds reach WebAudio with sound in them.
        page.click(*cell(3, 3))
        page.settle(1.5)
        heard = page.d.execute_script("return window.__heard")
        effects = [h for h in heard if h["length"] < 1 and h["peak"] > 0.01 and h["state"] == "running"]
        check(effects, "the effects are heard in WebAudio (%d of %d mixed pieces carry sound)"
              % (len(effects), sum(1 for h in heard if h["length"] < 1)))
        check(any(h["length"] > 10 and h["peak"] > 0.01 for h in heard), "the tune plays")
        # M turns the sound off, the tune with it, and on again.
        page.key("KeyM", "m", 77, "m", hold=0.07)
        page.settle(0.3)
        stopped = page.d.execute_script("return window.__stopped.filter((d) => d > 10).length")
        tunes = page.d.execute_script("return window.__heard.filter((h) => h.length > 10).length")
        page.key("KeyM", "m", 77, "m", hold=0.07)
        # The tune sounds again with its next note.
        for _ in range(30):
            page.settle(0.1)
            tunes_again = page.d.execute_script(
                "return window.__heard.filter((h) => h.length > 10).length")
            if tunes_again > tunes:
                break
        check(stopped >= 1 and tunes_again == tunes + 1, "M stops the tune and starts it again")

        # The battle's frame rate (the page's frames a second, over 5 s).
        f0, t0 = page.d.execute_script("return [Module.frames, performance.now()]")
        time.sleep(5)
        f1, t1 = page.d.execute_script("return [Module.frames, performance.now()]")
        fps = (f1 - f0) * 1000.0 / (t1 - t0)

        # Another tab in front hides the page: the battle pauses as when the
        # window loses the focus, and a key goes on.
        # That tab is a second game on the same table: it enters a score of
        # its own (the tests' score shortcut, as a battle's end enters one)
        # and saves it while this one plays on, holding the table it read.
        main = page.d.current_window_handle
        page.d.switch_to.new_window("tab")
        page.d.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": SECOND_SCORE})
        page.d.get(args.url)
        for _ in range(100):
            if SECOND_RECORD in stored_scores(page):
                break
            time.sleep(0.1)
        check(SECOND_RECORD in stored_scores(page), "a second tab's score is kept")
        page.d.close()
        page.d.switch_to.window(main)
        page.settle(0.5)
        a = page.frame()
        page.settle(0.5)
        still = differing(a, page.frame()) == 0
        page.key("KeyX", "x", 88, "x")
        page.settle(0.5)
        a = page.frame()
        page.settle(0.5)
        check(still and differing(a, page.frame()) > 0,
              "a hidden page pauses the battle, and a key goes on")
        check(page.stored_file("hi.dat") is not None, "a hidden page saves the table")

        # Play the battle to its end, to the score table, then close it.
        sheet_left, sheet_top, sheet_right, _ = L["score_sheet"]
        sheet = [(sheet_left + 4, sheet_top + 4), (sheet_right - 4, sheet_top + 4),
                 (sheet_left + 4, 460), (sheet_right - 4, 460)]

        def score_table_shown():
            f = page.frame()
            return all(abs(f[(y * W + x) * 3 + i] - L["score_sheet_colour"][i]) <= 8
                       for x, y in sheet for i in range(3))

        deadline = time.time() + 150
        shot = 0
        while time.time() < deadline and not score_table_shown():
            # Meteors where the grannies gather, before the castle; then the
            # story's pages after the battle (N answers a lost one's question).
            for _ in range(4):
                page.click(*cell(5 + shot % 2, shot % 6))
                shot += 1
            page.key("KeyN", "n", 78, "n", hold=0.07)
            page.key("Space", " ", 32, " ", hold=0.07)
        check(score_table_shown(), "the battle ends in the score table")
        page.settle(0.5)
        stored = page.stored_file("hi.dat")
        check(stored is not None, "the finished battle's table is kept in the browser's storage")
        own = page.d.execute_script("return btoa(String.fromCharCode(...FS.readFile('/save/hi.dat')))")
        check(SECOND_RECORD in stored_scores(page) and own == stored,
              "two tabs lose no score: the table this one saved holds the other's score")
        for _ in range(6):
            page.key("Enter", "Enter", 13, "\r", hold=0.07)
            page.settle(0.3)

        # The page is kept for playing offline: with the server stopped, a
        # reload starts the game from what the service worker keeps.
        kept = page.d.execute_async_script("""
            const done = arguments[arguments.length - 1];
            navigator.serviceWorker.ready.then(async (r) => {
              const names = await caches.keys();
              const cache = await caches.open(names.find((n) => n.startsWith('tollybrook-')));
              done((await cache.keys()).map((q) => new URL(q.url).pathname));
            }).catch(() => done([]));""")
        check(all("/" + f in kept for f in PAGE_FILES), "the service worker keeps every file the page loads")
        if args.server_pid:
            os.kill(args.server_pid, signal.SIGTERM)
            time.sleep(0.5)
        # A reload: no help card, and the game keeps the table it finds.
        page.d.refresh()
        check(page.open(), "the page shows a first frame after a reload, the server stopped")
        page.settle(0.8)
        shown = page.frame()
        check(differing(shown, linux["help"]) > 0, "the help card does not open again after a reload")
        page.key("Escape", "Escape", 27)
        ended = False
        for _ in range(100):
            if page.d.execute_script("return !document.getElementById('ended').hidden"):
                ended = True
                break
            time.sleep(0.1)
        check(ended, "Escape ends the game and the page offers to start again")
        time.sleep(1)
        check(stored is not None and page.stored_file("hi.dat") == stored,
              "the table survives the reload and the game's end")

        errors = page.errors()
        check(not errors, "the console stays clean" + "".join("\n     " + e["message"] for e in errors))
        print("figures: navigation to first frame %.0f ms; battle %.1f frames a second" % (first_ms, fps))
    finally:
        page.d.quit()
        shutil.rmtree(profile, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
