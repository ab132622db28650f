#!/usr/bin/env python3
"""A scripted player for Tollybrook: it sees the game only through screenshots
of its X window and plays it only through xdotool, as a person at the screen.

Subcommands:
  play      lay tiles, start the battle, win it, reach the next build phase
            (with --until-score: stop at the score screen after the battle)
  battle    press start and answer the dialog until a battle runs
  close     send WM_DELETE_WINDOW, as a window manager's close button does
  wait-build  wait until the build phase has been drawn
  hiscores  check a hi.dat written after a played battle

The game runs with no pictures in its media folder, so every picture is a flat
placeholder: grannies, meteors, explosions, the castle and the dialog box are
32x32 squares of one colour, the ground is another, plain cyan.
"""

import argparse
import ctypes
import json
import math
import os
import re
import struct
import subprocess
import sys
import time

TICK = 1.0 / 60.0
CONVERT = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"

# Screen layout of the game, from layout.json in the build folder (--layout),
# which the build writes from the game's own layout and rules headers.
L = None


def load_layout(path):
    global L, CASTLE_PIXEL, CASTLE_LINE, FEET_TOP, FEET_BOTTOM, START_BUTTON
    global PANEL, SCORE_PANEL, GROUND, WHITE, RED, GREEN, STRIP, LONGEST_FALL, CURSOR
    with open(path) as f:
        L = argparse.Namespace(**json.load(f))
    PANEL = tuple(L.panel_colour)
    SCORE_PANEL = tuple(L.score_sheet_colour)
    GROUND = tuple(L.ground_placeholder)  # the pictures are placeholders here
    WHITE = tuple(L.grid_line_colour)
    RED = tuple(L.selection_colour)
    CURSOR = tuple(L.cursor_colour)
    GREEN = tuple(L.palette_placeholder)
    STRIP = tuple(L.strip_placeholder)
    # Falling steps of a meteor clicked on the field's lowest row.
    LONGEST_FALL = (L.field_bottom - 1) // L.meteor_step_down
    for value, record in L.score_record_samples.items():
        if score_record(int(value)) != record.encode("latin-1"):
            raise Failure("the scripts write hi.dat records unlike the game: %r for %s"
                          % (score_record(int(value)), value))
    CASTLE_PIXEL = (L.castle_at[0] + 15, L.castle_at[1] + 10)  # inside the castle placeholder
    CASTLE_LINE = L.castle_line
    FEET_TOP, FEET_BOTTOM = L.feet_top, L.feet_bottom
    left, top, right, bottom = L.start_button
    START_BUTTON = ((left + right) // 2, (top + bottom + 1) // 2)


# Colours the player looks for, from the layout as well.
PANEL = SCORE_PANEL = GROUND = WHITE = RED = GREEN = STRIP = CURSOR = None
LONGEST_FALL = None
SCAN_TOP, SCAN_BOTTOM = 52, 445  # rows that can hold a granny's bottom edge

# Grid cells the player builds on, (column, row), and the palette slots.
SLOT_SLOW, SLOT_UP, SLOT_DOWN, SLOT_REPULSE, SLOT_ATTRACT = range(5)
# Repulse magnet far in the bottom-left corner where it only scatters grannies
# that have just come in; attract magnet in the middle, where grannies gather
# and are easy to hit; an up tile top left and a down tile bottom left push
# newcomers off the field.
LAYOUT = [
    (SLOT_REPULSE, (0, 5)),
    (SLOT_ATTRACT, (3, 2)),
    (SLOT_UP, (0, 0)),
    (SLOT_DOWN, (1, 5)),
]


class Failure(Exception):
    pass


def log(msg):
    print("[player %7.2f] %s" % (time.monotonic() - T0, msg), flush=True)


T0 = time.monotonic()


# ---------------------------------------------------------------- X access

class Screen:
    """One screenshot of the window, from xwd, as 32-bit pixels."""

    def __init__(self, window, raw=None):
        t = time.monotonic()
        if raw is None:
            raw = subprocess.run(["xwd", "-silent", "-id", str(window)],
                                 stdout=subprocess.PIPE, check=True).stdout
        self.time = t
        self.raw = raw
        (hsize, _ver, _fmt, depth, width, height, _xo, byte_order, _unit,
         _bo, _pad, bpp, bpl, _vc, rmask, gmask, bmask, _bits, _ents,
         ncolors) = struct.unpack(">20I", raw[:80])
        if bpp != 32 or depth != 24:
            raise Failure("unexpected screenshot format: %d bpp, depth %d" % (bpp, depth))
        if (rmask, gmask, bmask) != (0xFF0000, 0xFF00, 0xFF):
            raise Failure("unexpected colour masks in the screenshot")
        self.little = byte_order == 0
        self.width, self.height, self.stride = width, height, bpl
        self.data = raw[hsize + 12 * ncolors:]
        if len(self.data) < bpl * height:
            raise Failure("short screenshot")

    def pixel(self, x, y):
        o = y * self.stride + 4 * x
        p = self.data[o:o + 4]
        if self.little:
            return (p[2], p[1], p[0])
        return (p[1], p[2], p[3])

    def encode(self, rgb):
        r, g, b = rgb
        return bytes((b, g, r)) if self.little else bytes((0, r, g))

    def runs(self, rgb, y, x0=0, x1=None):
        """Runs [a, b] of pixels of exactly colour rgb in row y."""
        x1 = self.width if x1 is None else x1
        key = self.encode(rgb)
        pat = _run_pattern(key, self.little)
        row = self.data[y * self.stride + 4 * x0:y * self.stride + 4 * x1]
        out = []
        for m in pat.finditer(row):
            if m.start() % 4:
                continue
            out.append((x0 + m.start() // 4, x0 + m.end() // 4 - 1))
        return out

    def save_png(self, path):
        """Keeps a copy for a person to look at when a run fails."""
        try:
            subprocess.run([CONVERT, "xwd:-", path], input=self.raw, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except (OSError, subprocess.CalledProcessError):
            with open(path + ".xwd", "wb") as f:
                f.write(self.raw)


_patterns = {}


def _run_pattern(key, little):
    if key not in _patterns:
        pix = re.escape(key) + b"." if little else b"." + re.escape(key[1:])
        _patterns[key] = re.compile(b"(?:" + pix + b")+", re.S)
    return _patterns[key]


def near(a, b, tol=12):
    return all(abs(p - q) <= tol for p, q in zip(a, b))


def xdotool(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], check=True)


def click(x, y, hold=0.05, after=0.04):
    xdotool("mousemove", x, y, "mousedown", 1, "sleep", hold, "mouseup", 1)
    time.sleep(after)


def quick_click(x, y, after=0.04):
    """A tap: the press and its release back to back, both likely between
    two of the game's ticks."""
    xdotool("mousemove", x, y, "click", 1)
    time.sleep(after)


def hold_key(key, hold=0.07):
    xdotool("keydown", key, "sleep", hold, "keyup", key)


def send_close(window):
    """WM_DELETE_WINDOW in a WM_PROTOCOLS client message, as a window manager sends."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                               ctypes.c_long, ctypes.c_void_p]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                    ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                    ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("l", ctypes.c_long * 5),
                    ("pad", ctypes.c_long * 24)]  # an XEvent is 24 longs

    dpy = x11.XOpenDisplay(None)
    if not dpy:
        raise Failure("cannot open the display %s" % os.environ.get("DISPLAY"))
    ev = ClientMessage()
    ev.type = 33  # ClientMessage
    ev.window = window
    ev.message_type = x11.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
    ev.format = 32
    ev.l[0] = x11.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
    ev.l[1] = 0  # CurrentTime
    if not x11.XSendEvent(dpy, window, 0, 0, ctypes.byref(ev)):
        raise Failure("XSendEvent refused the close message")
    x11.XSync(dpy, 0)
    x11.XCloseDisplay(dpy)


# ------------------------------------------------------------ what is shown

class View:
    """Reads the game's state off a screenshot."""

    def __init__(self, window):
        self.window = window
        self.sprite = None  # the placeholder colour as the X server shows it
        self.last = None

    def grab(self):
        self.last = Screen(self.window)
        return self.last

    def calibrate(self, s):
        self.sprite = s.pixel(*CASTLE_PIXEL)
        if not near(self.sprite, (50, 255, 255)):
            raise Failure("the castle is not a placeholder square: %s; are pictures in media/?"
                          % (self.sprite,))

    def is_dialog(self, s):
        # The dialog box placeholder and the portrait on it cover the
        # bottom-left corner, where the bottom ground strip is otherwise.
        return all(s.pixel(x, y) == self.sprite for x, y in ((4, 470), (20, 476), (40, 478)))

    def dialog_has_first_line(self, s):
        """Black text on the first dialog line, the top of which shows at the
        foot of the window when the dialog box is a placeholder."""
        dark = 0
        for y in range(460, 480, 2):
            for x in range(L.dialog_text[0], 600):
                r, g, b = s.pixel(x, y)
                if max(r, g, b) < 90:
                    dark += 1
        return dark >= 20

    def is_build(self, s):
        # a little inside the corners of the grey panel behind the palette
        left = L.screen_width - L.panel_left_from_right + 10
        right = L.screen_width - 10
        top = L.panel_top + 8
        bottom = L.screen_height - L.panel_bottom_from_bottom - 6
        return all(near(s.pixel(x, y), PANEL) for x, y in ((left, top), (right, top), (left, bottom), (right, 240)))

    def is_score_screen(self, s):
        left, top, right, _ = L.score_sheet
        left, top, right = left + 4, top + 4, right - 4
        return all(near(s.pixel(x, y), SCORE_PANEL, 6) for x, y in ((left, top), (right, top), (left, 460), (right, 460)))

    def is_battle(self, s):
        return not (self.is_dialog(s) or self.is_build(s) or self.is_score_screen(s))

    def state(self, s):
        if self.is_score_screen(s):
            return "score"
        if self.is_dialog(s):
            return "dialog"
        if self.is_build(s):
            return "build"
        return "battle"


def cell_centre(col, row):
    half = L.cell_size // 2
    return L.cell_size * col + half, L.field_top + L.cell_size * row + half


def slot_centre(slot):
    return (L.screen_width - L.palette_left_from_right + L.slot_pitch // 2,
            L.palette_top + L.slot_pitch * slot + L.slot_pitch // 2)


def slot_marked(s, slot):
    # The red frame of the selected slot runs down just right of the palette
    # tiles, over the grey panel.
    x = L.screen_width - L.palette_right_from_right
    return near(s.pixel(x, L.palette_top + L.slot_pitch * slot + 40), RED, 40)


def cell_colour(s, col, row):
    x, y = cell_centre(col, row)
    return s.pixel(x, y)


def wait_for(view, what, secs, describe):
    deadline = time.monotonic() + secs
    while time.monotonic() < deadline:
        s = view.grab()
        if what(s):
            return s
        time.sleep(0.05)
    raise Failure("timed out waiting for %s" % describe)


def shows_soon(view, what, secs=0.5):
    """Whether what(screen) holds within secs, for a press to show."""
    deadline = time.monotonic() + secs
    while True:
        if what(view.grab()):
            return True
        if time.monotonic() > deadline:
            return False
        time.sleep(0.03)


# ------------------------------------------------------------ the battlefield

def magnet_point(col, row, anchor):
    return L.cell_size * col + anchor[0], L.cell_size * row + anchor[1]


def tdiv(a, b):
    q = abs(a) // b
    return q if a >= 0 else -q


class Field:
    """The ground and magnets of the battle, to foresee where a granny walks."""

    def __init__(self, layout):
        self.grid = [[0] * L.grid_rows for _ in range(L.grid_columns)]
        self.attract = self.repulse = None
        for slot, (col, row) in layout:
            self.grid[col][row] = slot + 1
            if slot == SLOT_REPULSE:
                self.repulse = magnet_point(col, row, L.repulse_anchor)
            if slot == SLOT_ATTRACT:
                self.attract = magnet_point(col, row, L.attract_anchor)

    def force(self, gx, gy):
        fx = fy = 0.0
        if self.repulse:
            dx, dy = self.repulse[0] - gx, self.repulse[1] - gy
            d = math.sqrt(dx * dx + dy * dy)
            if d > L.repulse_reach_from:
                f = L.magnet_power / (d ** L.repulse_falloff * L.repulse_divisor)
                fx, fy = f * -dx / d, f * -dy / d
        if self.attract:
            dx, dy = self.attract[0] - gx, self.attract[1] - gy
            d = math.sqrt(dx * dx + dy * dy)
            if d > L.attract_reach_from:
                f = L.magnet_power / (d ** L.attract_falloff * L.attract_divisor)
                fx += f * dx / d
                fy += f * dy / d
        return fx, fy

    def path(self, x, y, vx, ticks):
        """Feet positions after 0..ticks steps; None once the granny has left."""
        out = [(x, y)]
        walking = x <= CASTLE_LINE
        for _ in range(ticks):
            if walking:
                col, row = tdiv(int(x), L.cell_size), tdiv(int(y - FEET_TOP), L.cell_size)
                if 0 <= col < L.grid_columns and 0 <= row < L.grid_rows:
                    tile = self.grid[col][row]
                    fx, fy = self.force(int(x), int(y))
                else:
                    tile, fx, fy = 0, 0.0, 0.0
                x, y = x + fx, y + fy
                if tile == 1:
                    x += vx / L.slow_tile_divisor
                elif tile == 2:
                    x, y = x + vx, y - L.tile_drift
                elif tile == 3:
                    x, y = x + vx, y + L.tile_drift
                else:
                    x += vx
                if y < FEET_TOP or y > FEET_BOTTOM:
                    out.extend([None] * (ticks + 1 - len(out)))
                    break
                if x > CASTLE_LINE:
                    walking = False
            out.append((x, y))
        return out


class Shot:
    def __init__(self, cx, cy, when):
        self.cx, self.cy, self.when = cx, cy, when
        self.t = cy // L.meteor_step_down  # falling steps before it lands

    def ticks_since(self, t):
        return (t - self.when) / TICK

    def blast_window(self, t):
        """Ticks after time t during which the explosion can hit, (first, last)."""
        d = (self.when - t) / TICK + 1
        return d + self.t, d + self.t + L.meteor_blast_timer

    def covers(self, p):
        reach = L.blast_reach - 4  # a little inside the blast
        return abs(p[0] - self.cx) <= reach and abs(p[1] - (L.meteor_step_down * self.t + L.blast_drop)) <= reach

    def hides(self, x, y, t):
        """Whether (x, y) of a screenshot taken at t may be this meteor's own square."""
        j_est = self.ticks_since(t)
        lo, hi = j_est - 9, j_est + 4
        if lo <= self.t + 45 and hi >= self.t + 1:
            ey = L.meteor_step_down * self.t
            if self.cx - 18 <= x <= self.cx + 17 and ey - 18 <= y <= ey + 17:
                return True
        j0, j1 = max(1, int(lo)), min(self.t, int(hi) + 1)
        if j0 > j1:
            return False
        left, down = L.meteor_step_left, L.meteor_step_down
        hx0 = self.cx + left * self.t - left * j1
        hx1 = self.cx + left * self.t - left * j0
        return hx0 - 18 <= x <= hx1 + 17 and down * j0 - 34 <= y <= down * j1 + 2


def bottom_edges(s, colour):
    """Bottom edges of the placeholder squares: (row, x0, x1) segments."""
    rows = {}
    for y in range(SCAN_TOP, SCAN_BOTTOM + 1):
        rows[y] = s.runs(colour, y)
    edges = []
    for y in range(SCAN_TOP, SCAN_BOTTOM):
        below = rows[y + 1]
        for a, b in rows[y]:
            # parts of [a, b] not continued in the row below
            x = a
            for c, d in below:
                if d < x or c > b:
                    continue
                if c > x:
                    edges.append((y, x, c - 1))
                x = max(x, d + 1)
                if x > b:
                    break
            if x <= b:
                edges.append((y, x, b))
    return [e for e in edges if e[2] - e[1] >= 3]


def feet_from_edge(y, x0, x1):
    """The feet point of the square an edge belongs to: its bottom centre."""
    if x1 - x0 >= 30:
        return (x0 + x1 + 1) // 2, y + 1
    if x0 == 0:  # clipped by the left border
        return x1 - 15, y + 1
    return ((x1 - 15) + (x0 + 16)) // 2, y + 1


class Battle:
    def __init__(self, view, field, shots_log, hands):
        self.view, self.field, self.hands = view, field, hands
        self.shots = []
        self.fired = 0
        self.frames = 0
        self.max_targets = 0
        self.shots_log = shots_log
        self.castle_ticks = 0.0  # granny-ticks spent at the castle, about
        self.last_frame = None

    def targets(self, s):
        pts = []
        for y, x0, x1 in bottom_edges(s, self.view.sprite):
            fx, fy = feet_from_edge(y, x0, x1)
            if any(sh.hides(fx, y, s.time) for sh in self.shots):
                continue
            pts.append((fx, fy))
        # the ones nearest the castle first
        pts.sort(key=lambda p: -p[0])
        merged = []
        for p in pts:
            if all(abs(p[0] - q[0]) > 12 or abs(p[1] - q[1]) > 12 for q in merged):
                merged.append(p)
        return merged

    def aim(self, path, t_shot, t_seen):
        """Click point whose blast meets a granny that walks along path, seen
        at time t_seen, for a click at t_shot; None if it leaves by itself."""
        d = (t_shot - t_seen) / TICK + 1  # ticks until the click's tick
        steps = max(8, min(LONGEST_FALL, int(path[0][1] - 5) // L.meteor_step_down))
        for _ in range(3):
            # meet it a little after the blast begins, so that it walks
            # into the middle of the blast while the blast lasts
            q = path[min(int(d + steps + 12), len(path) - 1)]
            if q is None:
                return None
            steps = max(8, min(LONGEST_FALL, int(round((q[1] - 5) / float(L.meteor_step_down)))))
        return max(1, min(L.firing_right, int(round(q[0])))), L.meteor_step_down * steps + 3

    def covered(self, path, t_seen):
        for sh in self.shots:
            a, b = sh.blast_window(t_seen)
            if b < 0:
                continue
            for n in range(max(0, int(a) + 1), min(int(b), len(path) - 1) + 1, 2):
                q = path[n]
                if q is not None and sh.covers(q):
                    return True
        return False

    def fire(self, cx, cy):
        t = self.hands.shoot(self.view, cx, cy)
        self.shots.append(Shot(cx, cy, t))
        self.fired += 1
        self.shots_log.write("%.3f %d %d\n" % (t - T0, cx, cy))

    def step(self, s):
        self.frames += 1
        now = s.time
        self.shots = [sh for sh in self.shots if sh.blast_window(now)[1] > -30]
        pts = self.targets(s)
        self.max_targets = max(self.max_targets, len(pts))
        at_castle = sum(1 for p in pts if p[0] > CASTLE_LINE)
        self.castle_ticks += at_castle * (now - self.last_frame) / TICK if self.last_frame else 0
        self.last_frame = now
        shots_here = 0
        for p in pts:
            path = self.field.path(p[0] + 0.5, p[1] + 0.5, 0.75, 160)
            if path[1] is None:  # leaving over the edge by itself
                continue
            if self.covered(path, s.time):
                continue
            near_x, near_y = path[min(60, len(path) - 1)] or p
            lead = self.hands.travel_time(near_x, near_y)
            target = self.aim(path, time.monotonic() + lead, s.time)
            if target is None:
                continue
            self.fire(*target)
            shots_here += 1
            if shots_here >= self.hands.shots_per_look:
                break
        return shots_here

    def run(self, limit):
        start = time.monotonic()
        last_note = start
        while True:
            s = self.view.grab()
            if self.view.is_dialog(s):
                return s
            if not self.view.is_battle(s):
                raise Failure("the battle screen went away without a dialog (state %s)"
                              % self.view.state(s))
            self.step(s)
            now = time.monotonic()
            if now - last_note > 10:
                log("battle %.0f s: %d shots, %d frames" % (now - start, self.fired, self.frames))
                last_note = now
            if now - start > limit:
                raise Failure("the battle did not end within %d s" % limit)
            time.sleep(0.01)


# ---------------------------------------------------------------- hands

def stop_of(place):
    """Where the keyboard's frame stands for a place: (column, row), the
    palette and START being the column right of the grid."""
    if place[0] == "cell":
        return place[1], place[2]
    if place[0] == "slot":
        return L.grid_columns, place[1]
    return L.grid_columns, L.palette_slots  # START


def stop_corner(stop):
    """A pixel just inside the top-left corner of the frame at a stop."""
    col, row = stop
    if col < L.grid_columns:
        return L.cell_size * col + 1, L.field_top + L.cell_size * row + 1
    if row < L.palette_slots:
        return L.screen_width - L.palette_left_from_right + 1, L.palette_top + L.slot_pitch * row + 1
    return L.start_button[0] + 1, L.start_button[1] + 1


def ramp_ticks(d):
    """Ticks a held direction takes to glide the crosshair d pixels."""
    n, gone = 0, 0.0
    while gone + 0.5 < d:
        gone += min(1 + 0.25 * n, 8)
        n += 1
    return n


class MouseHands:
    """Plays with the mouse and the keyboard, as the game always could; every
    click a tap (xdotool click), which must count at the first press."""
    name = "mouse"
    score_key = "Return"
    shots_per_look = 5
    taps = True

    def press_place(self, view, place):
        if place[0] == "cell":
            xy = cell_centre(place[1], place[2])
        elif place[0] == "slot":
            xy = slot_centre(place[1])
        else:
            xy = START_BUTTON
        quick_click(*xy, after=0.1)

    def answer(self):
        xdotool("key", "y")  # a tap of the key too
        return "y"

    def close_score(self):
        xdotool("key", "Return")
        return self.score_key

    def travel_time(self, x, y):
        return 0.005

    def shoot(self, view, x, y):
        """Drops a meteor at (x, y); returns when the press began."""
        t = time.monotonic()
        quick_click(x, y, after=0.035)
        return t


class CursorHands:
    """Plays without the mouse: the arrows (or the pad's d-pad and stick) move
    the game's cursor, Space (or the pad's A) clicks where it stands."""

    shots_per_look = 1  # the cursor takes its time to get there: look again after each
    press_hold, shot_hold = 0.06, 0.04  # how long a click holds its key or button

    def __init__(self):
        self.aim = None  # where the crosshair was last seen

    # the frame of the build phase, found at the corners of its places
    def frame_at(self, s):
        for col in range(L.grid_columns + 1):
            for row in range(L.grid_rows):
                if near(s.pixel(*stop_corner((col, row))), CURSOR, 40):
                    return col, row
        return None

    def press_place(self, view, place):
        want = stop_of(place)
        for _ in range(40):
            at = self.frame_at(view.grab())
            if at == want:
                break
            if at is None:
                self.step(-1, 0)  # the first press shows the frame where it stood
            elif at[0] != want[0]:
                self.step(1 if want[0] > at[0] else -1, 0)
            else:
                self.step(0, 1 if want[1] > at[1] else -1)
            time.sleep(0.05)
        else:
            raise Failure("the keyboard frame never reached %s" % (place,))
        self.click(self.press_hold)
        time.sleep(0.1)

    def crosshair(self, s):
        """The crosshair's centre on a screenshot, or None."""
        xs, ys = [], []
        for y in range(L.field_top, L.field_bottom):
            for a, b in s.runs(self.cursor_pixel, y, 0, L.firing_right + L.crosshair_reach + 1):
                xs += [a, b]
                ys.append(y)
        if not xs:
            return None
        return (min(xs) + max(xs)) // 2, (min(ys) + max(ys)) // 2

    def find_aim(self, view):
        s = view.grab()
        self.cursor_pixel = self.exact_cursor(s)
        return self.crosshair(s) if self.cursor_pixel else None

    def exact_cursor(self, s):
        """The cursor's colour as this X server shows it, read off the screen."""
        if getattr(self, "cursor_pixel", None):
            return self.cursor_pixel
        for y in range(L.field_top, L.field_bottom, 2):
            for x in range(0, L.firing_right, 2):
                if near(s.pixel(x, y), CURSOR, 30):
                    return s.pixel(x, y)
        return None

    def travel_time(self, x, y):
        if self.aim is None:
            return 0.6
        return (max(ramp_ticks(abs(x - self.aim[0])), ramp_ticks(abs(y - self.aim[1]))) + 4) * TICK

    def shoot(self, view, x, y):
        if self.aim is None:
            self.step(1, 0)  # shows the crosshair
            time.sleep(0.1)
            self.aim = self.find_aim(view)
            if self.aim is None:
                raise Failure("no crosshair after an arrow in the battle")
        for _ in range(3):
            dx, dy = x - self.aim[0], y - self.aim[1]
            if abs(dx) <= 4 and abs(dy) <= 4:
                break
            self.glide(dx, dy)
            time.sleep(0.03)
            seen = self.crosshair(view.grab())
            self.aim = seen if seen else (x, y)
        t = time.monotonic()
        self.click(self.shot_hold)
        time.sleep(0.035)
        return t

    def glide(self, dx, dy):
        nx, ny = ramp_ticks(abs(dx)), ramp_ticks(abs(dy))
        sx, sy = (dx > 0) - (dx < 0), (dy > 0) - (dy < 0)
        self.hold_axes(sx if nx else 0, nx * TICK, sy if ny else 0, ny * TICK)


class KeyHands(CursorHands):
    name = "keys"
    score_key = "Return"
    arrows = {(1, 0): "Right", (-1, 0): "Left", (0, 1): "Down", (0, -1): "Up"}

    def step(self, dx, dy):
        hold_key(self.arrows[(dx, dy)], 0.07)

    def click(self, hold):
        hold_key("space", hold)

    def hold_axes(self, sx, tx, sy, ty):
        keys = [(self.arrows[(sx, 0)], tx)] if sx else []
        keys += [(self.arrows[(0, sy)], ty)] if sy else []
        keys.sort(key=lambda k: k[1])
        args, waited = [], 0.0
        for k, _ in keys:
            args += ["keydown", k]
        for k, t in keys:
            args += ["sleep", "%.3f" % max(0.0, t - waited), "keyup", k]
            waited = t
        if args:
            xdotool(*args)

    # the story and the score table: the keys, as with the mouse
    answer = MouseHands.answer
    close_score = MouseHands.close_score


class PadHands(CursorHands):
    """The pad, through the FIFO the game reads as its joystick device:
    Linux joystick events, 8 bytes each."""
    name = "pad"
    score_key = "A on the score screen"
    A, B, Y, STICK_X, STICK_Y, DPAD_X, DPAD_Y = 0, 1, 3, 0, 1, 6, 7
    # A tap of A, shorter than a tick, lays a tile or presses START at the first press.
    press_hold, taps = 0.012, True

    def __init__(self, fifo):
        super().__init__()
        self.fd = os.open(fifo, os.O_WRONLY)

    def event(self, kind, number, value):
        stamp = int(time.monotonic() * 1000) & 0xFFFFFFFF
        os.write(self.fd, struct.pack("<IhBB", stamp, value, kind, number))

    def button(self, hold):
        self.event(1, self.A, 1)
        time.sleep(hold)
        self.event(1, self.A, 0)

    def step(self, dx, dy):  # the d-pad
        axis = self.DPAD_X if dx else self.DPAD_Y
        self.event(2, axis, 32767 * (dx or dy))
        time.sleep(0.07)
        self.event(2, axis, 0)

    def click(self, hold):
        self.button(hold)

    def hold_axes(self, sx, tx, sy, ty):  # the left stick
        moves = [(self.STICK_X, sx, tx), (self.STICK_Y, sy, ty)]
        moves = sorted((m for m in moves if m[1]), key=lambda m: m[2])
        for axis, sign, _ in moves:
            self.event(2, axis, 32767 * sign)
        waited = 0.0
        for axis, _, t in moves:
            time.sleep(max(0.0, t - waited))
            self.event(2, axis, 0)
            waited = t

    def answer(self):  # A answers Y, and is any key
        self.button(0.07)
        return "A"

    def press(self, number):
        self.event(1, number, 1)
        time.sleep(0.07)
        self.event(1, number, 0)

    def options_and_back(self, view):
        """Y opens the options card over the build phase, B closes it."""
        card = L.options_card_box
        inside = (card[0] + 10, card[1] + 10)  # the card's black, over the field
        self.press(self.Y)
        wait_for(view, lambda s: s.pixel(*inside) == (0, 0, 0), 5, "the options card after Y")
        self.press(self.B)
        wait_for(view, lambda s: s.pixel(*inside) != (0, 0, 0), 5, "B to close the options card")
        log("the pad's Y opened the options card and B closed it")

    def close_score(self):
        self.button(0.08)
        return self.score_key


# ---------------------------------------------------------------- the game

def build_phase(view, artifacts, hands):
    s = wait_for(view, view.is_build, 30, "the build phase")
    view.calibrate(s)
    for col, row in [c for _, c in LAYOUT]:
        if not near(cell_colour(s, col, row), GROUND):
            raise Failure("cell %d,%d is not bare ground at the start" % (col, row))
    presses, first_time = 0, 0  # the places pressed, those that took at the first press

    def press_until(place, shown):
        nonlocal presses, first_time
        presses += 1
        for attempt in range(4):
            hands.press_place(view, place)
            if shows_soon(view, shown):
                first_time += attempt == 0
                if attempt:
                    log("%s took at press %d" % (place, attempt + 1))
                return True
        return False

    for slot, (col, row) in LAYOUT:
        if not press_until(("slot", slot), lambda s: slot_marked(s, slot)):
            raise Failure("palette slot %d never got selected" % slot)
        want = GREEN if slot >= SLOT_REPULSE else STRIP
        if not press_until(("cell", col, row), lambda s: near(cell_colour(s, col, row), want)):
            view.last.save_png(os.path.join(artifacts, "build.png"))
            raise Failure("the tile of slot %d did not appear in cell %d,%d" % (slot, col, row))
        log("laid slot %d at cell %d,%d" % (slot, col, row))
    if not press_until(("start",), view.is_dialog):
        raise Failure("the start button did not open the dialog")
    s = view.last
    log("%d of %d presses took at the first press" % (first_time, presses))
    if getattr(hands, "taps", False) and first_time < presses:
        raise Failure("only %d of %d taps took at the first press" % (first_time, presses))
    if view.is_build(s):
        raise Failure("the build panel is still drawn under the dialog")
    log("pre-battle dialog open")


def answer_until(view, goal, secs, describe, hands=None):
    """Answers every dialog step with Y (a Y is also 'any key'), closes the
    score screen with Enter, until goal(screen) holds. Presses are spaced well
    beyond the dialog's five-tick key delay."""
    deadline = time.monotonic() + secs
    presses = []
    while time.monotonic() < deadline:
        s = view.grab()
        if goal(s):
            return s, presses
        st = view.state(s)
        hands = hands or MouseHands()
        if st == "score":
            presses.append(hands.close_score())
        elif st == "dialog":
            presses.append(hands.answer())
        time.sleep(0.2)
    raise Failure("timed out waiting for %s (presses: %s)" % (describe, " ".join(presses)))


def play(args):
    view = View(args.window)
    os.makedirs(args.artifacts, exist_ok=True)
    hands = {"mouse": MouseHands, "keys": KeyHands}.get(args.input)
    hands = hands() if hands else PadHands(args.pad)
    try:
        xdotool("mousemove", 320, 240)
        if isinstance(hands, PadHands):
            wait_for(view, view.is_build, 30, "the build phase")
            hands.options_and_back(view)
        build_phase(view, args.artifacts, hands)
        log("played with the %s" % hands.name)
        s, presses = answer_until(view, view.is_battle, 20, "the battle to start", hands)
        log("battle started after %s" % " ".join(presses))
        field = Field(LAYOUT)
        with open(os.path.join(args.artifacts, "shots.txt"), "w") as shots_log:
            battle = Battle(view, field, shots_log, hands)
            t0 = time.monotonic()
            s = battle.run(limit=240)
        length = time.monotonic() - t0
        log("battle over after %.1f s, %d shots, up to %d targets seen at once, "
            "about %.0f shield points lost at the castle"
            % (length, battle.fired, battle.max_targets, battle.castle_ticks / 30))
        if length < 60:
            raise Failure("the battle ended after %.1f s, before its 70 s clock" % length)
        s.save_png(os.path.join(args.artifacts, "after_battle.png"))
        if not view.dialog_has_first_line(s):
            # After a lost battle the first step's first line is blank.
            raise Failure("the battle was lost: the dialog after it has no first line")

        if args.until_score:
            answer_until(view, view.is_score_screen, 30, "the score screen", hands)
            log("score screen open")
            with open(args.summary, "w") as f:
                json.dump({"shots": battle.fired, "battle_seconds": round(length, 1),
                           "frames": battle.frames}, f)
            return
        seen = {"score": False}

        def level_one(s):
            if view.is_score_screen(s):
                seen["score"] = True
            return view.is_build(s) and not view.is_dialog(s)

        s, presses = answer_until(view, level_one, 30, "the next build phase", hands)
        log("next build phase after %s" % " ".join(presses))
        if not seen["score"] and hands.score_key not in presses:
            raise Failure("no score screen was seen between the battle and the next level")
        check_fresh_level(s)
        s.save_png(os.path.join(args.artifacts, "level1.png"))
        if hands.name == "pad":
            pad_goes_away(view, hands, args.artifacts)
        with open(args.summary, "w") as f:
            json.dump({"shots": battle.fired, "battle_seconds": round(length, 1),
                       "frames": battle.frames}, f)
    except Failure:
        if view.last is not None:
            view.last.save_png(os.path.join(args.artifacts, "failure.png"))
        raise


def start_battle(args):
    view = View(args.window)
    xdotool("mousemove", 320, 240)
    view.calibrate(wait_for(view, view.is_build, 30, "the build phase"))
    for attempt in range(4):
        click(*START_BUTTON, hold=0.06, after=0.15)
        if view.is_dialog(view.grab()):
            break
    else:
        raise Failure("the start button did not open the dialog")
    answer_until(view, view.is_battle, 20, "the battle to start")


def pad_goes_away(view, hands, artifacts):
    """The pad goes away with its stick pushed (the FIFO's writer closes
    after an axis at full tilt): the mouse must still pick a slot and lay a
    tile, neither taken by the cursor the stick left behind."""
    hands.event(2, hands.STICK_X, 32767)
    time.sleep(0.3)
    os.close(hands.fd)
    time.sleep(0.3)
    mouse = MouseHands()
    col, row = 2, 4
    for attempt in range(4):
        mouse.press_place(view, ("slot", SLOT_DOWN))
        s = view.grab()
        if slot_marked(s, SLOT_DOWN):
            break
    else:
        s.save_png(os.path.join(artifacts, "pad_gone.png"))
        raise Failure("with the pad gone, stick pushed, the mouse does not pick a slot")
    for attempt in range(4):
        mouse.press_place(view, ("cell", col, row))
        s = view.grab()
        if near(cell_colour(s, col, row), STRIP):
            break
    else:
        s.save_png(os.path.join(artifacts, "pad_gone.png"))
        raise Failure("with the pad gone, stick pushed, the mouse does not lay a tile")
    s.save_png(os.path.join(artifacts, "pad_gone.png"))
    log("pad gone with its stick pushed: the mouse picked a slot and laid a tile")


def check_fresh_level(s):
    """The next level starts from an empty grid with full stock."""
    for _, (col, row) in LAYOUT:
        if not near(cell_colour(s, col, row), GROUND):
            raise Failure("cell %d,%d still holds a tile in the new level" % (col, row))
    for x in (0, L.cell_size, L.field_width):
        if s.pixel(x, 200) != WHITE:
            raise Failure("no grid line at x=%d in the new build phase" % x)
    if not slot_marked(s, SLOT_SLOW):
        raise Failure("the new level does not start with slot 0 selected")


# ------------------------------------------------------------ score file

def score_record(value):
    """A hi.dat record as the game writes it (checked against the game's own
    records in layout.json when the layout is loaded)."""
    return b"%9d\x00" % max(-99999999, min(999999999, value))


def read_records(path):
    data = open(path, "rb").read()
    size = L.score_record_size
    if len(data) % size:
        raise Failure("%s is %d bytes, not whole %d-byte records" % (path, len(data), size))
    values = []
    for i in range(0, len(data), size):
        rec = data[i:i + size]
        m = re.fullmatch(rb" *(-?\d+)\x00", rec)
        if not m or rec != score_record(int(m.group(1))):
            raise Failure("record %d of %s is not as the game writes it: %r" % (i // size, path, rec))
        values.append(int(m.group(1)))
    return values


def write_records(path, values):
    with open(path, "wb") as f:
        for v in values:
            f.write(score_record(v))


# A table below any score a battle can give, so that the battle's score must
# come out on top of the table that the game writes back.
SEED = [-99999905, -99999901, -99999910, -99999903, -99999902,
        -99999909, -99999904, -99999908, -99999906, -99999907]


def hiscores(args):
    if args.seed:
        write_records(args.file, SEED)
        return
    values = read_records(args.file)
    summary = json.load(open(args.summary))
    shots = summary["shots"]
    if len(values) != L.score_table_size:
        raise Failure("hi.dat holds %d records, not %d" % (len(values), L.score_table_size))
    rest = sorted(SEED, reverse=True)[:9]
    if values[1:] != rest:
        raise Failure("hi.dat should hold the score and then the nine best old ones "
                      "in falling order, holds %s" % values)
    score = values[0]
    # A battle is won only when every granny that came has gone, each for a
    # point, and each shot cost a point: score = grannies - shots. Level 0
    # brings 218 grannies on average (sd about 15).
    grannies = score + shots
    log("hi.dat: score %d after %d shots, so %d grannies" % (score, shots, grannies))
    if not 120 <= grannies <= 320:
        raise Failure("score %d with %d shots means %d grannies, not a level-0 battle"
                      % (score, shots, grannies))


# ---------------------------------------------------------------- main

def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--layout", help="layout.json from the build folder")
    sub = ap.add_subparsers(dest="cmd", required=True)
    p = sub.add_parser("play")
    p.add_argument("--window", type=int, required=True)
    p.add_argument("--artifacts", required=True)
    p.add_argument("--summary", required=True)
    p.add_argument("--until-score", action="store_true")
    p.add_argument("--input", choices=("mouse", "keys", "pad"), default="mouse",
                   help="play with the mouse, the keyboard alone or the pad alone")
    p.add_argument("--pad", help="with --input pad: the FIFO the game reads as its pad")
    p = sub.add_parser("battle")
    p.add_argument("--window", type=int, required=True)
    p = sub.add_parser("close")
    p.add_argument("--window", type=int, required=True)
    p = sub.add_parser("wait-build")
    p.add_argument("--window", type=int, required=True)
    p = sub.add_parser("hiscores")
    p.add_argument("--file", required=True)
    p.add_argument("--summary")
    p.add_argument("--seed", action="store_true")
    p = sub.add_parser("table", help="print a hi.dat table of the VALUES")
    p.add_argument("values", nargs="*", type=int)
    args = ap.parse_args()
    try:
        if args.layout:
            load_layout(args.layout)
        elif args.cmd != "close":
            raise Failure("%s needs --layout" % args.cmd)
        if args.cmd == "play":
            play(args)
        elif args.cmd == "battle":
            start_battle(args)
        elif args.cmd == "close":
            send_close(args.window)
        elif args.cmd == "wait-build":
            v = View(args.window)
            wait_for(v, v.is_build, 30, "the build phase")
        elif args.cmd == "hiscores":
            hiscores(args)
        elif args.cmd == "table":
            sys.stdout.buffer.write(b"".join(score_record(v) for v in args.values))
    except Failure as e:
        print("FAIL: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
