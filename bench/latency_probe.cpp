// Input-to-screen latency of the game against the bare loop, in one X server,
// for tools/latency.sh. XTest presses the left button (or the space bar) over
// each window in turn, at random moments against their 60 Hz ticks, and the
// X server's DAMAGE extension says when each window changes where the press
// shows: the latency is the time from the press to the first change there.
// A change counts only when the pixels really differ from the ones before
// the press, so a part sent for something else nearby is not taken for it.
//
//   build   a click on a grid cell of the game lays a tile or lifts it,
//   dialog  the space bar turns the game's dialog page (a new portrait),
//   battle  a click on the field drops a meteor, whose first frame shows at
//           the top of the screen;
// the bare loop answers every press by recolouring its square. Alongside,
// the probe times every frame that reaches each window (the changes of one
// frame arrive together; a pause of over 5 ms starts the next frame).
//
//   latency_probe build|dialog|battle GAME_WINDOW BARE_WINDOW PRESSES [SEED]
//
// Prints one line per window with the press count, the misses (no change
// within two seconds) and the mean, median, 90th percentile and maximum in
// milliseconds, then the frames per second and the gaps between frames.
// Exits 1 when a press was missed, 2 when it cannot start.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "bare_square.h"
#include "layout.h"

namespace {

double now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct rect {
    int x, y, w, h;
};

rect intersection(const rect& a, const rect& b) {
    int l = std::max(a.x, b.x), t = std::max(a.y, b.y);
    int r = std::min(a.x + a.w, b.x + b.w), d = std::min(a.y + a.h, b.y + b.h);
    return {l, t, std::max(0, r - l), std::max(0, d - t)};
}

struct target {
    const char* name = "";
    Window window = 0;
    int press_x = 0, press_y = 0;  // in the window
    rect watch{};                  // where the press shows
    Damage damage = 0;
    std::vector<double> latencies;
    int missed = 0;
    std::vector<double> frames;  // when each frame began to reach the window
    double last_change = -1e9;
};

Display* dpy;
int damage_event_base;

// A window may go away under the probe (a program that ended early): its
// requests fail, and the press counts as missed.
int note_error(Display*, XErrorEvent* e) {
    std::fprintf(stderr, "latency_probe: X error %d on request %d\n", e->error_code,
                 e->request_code);
    return 0;
}

// The press being waited for: its target, what the watched part held before,
// and when its change was seen.
struct wait_state {
    target* who = nullptr;
    XImage* before = nullptr;
    double pressed_at = 0, seen_at = -1;
};
wait_state waiting;

bool differs_from_before(const rect& part) {
    const rect& w = waiting.who->watch;
    XImage* now = waiting.before ? XGetImage(dpy, waiting.who->window, part.x, part.y, part.w,
                                             part.h, AllPlanes, ZPixmap)
                                 : nullptr;
    if (!now) return false;
    bool changed = false;
    for (int y = 0; y < part.h && !changed; y++)
        for (int x = 0; x < part.w; x++)
            if (XGetPixel(now, x, y) !=
                XGetPixel(waiting.before, part.x - w.x + x, part.y - w.y + y)) {
                changed = true;
                break;
            }
    XDestroyImage(now);
    return changed;
}

void on_damage(const XDamageNotifyEvent& e, std::vector<target>& targets, double at) {
    for (target& t : targets) {
        if (t.window != e.drawable) continue;
        if (at - t.last_change > 5) t.frames.push_back(at);
        t.last_change = at;
        if (waiting.who != &t || waiting.seen_at >= 0) return;
        rect part = intersection(t.watch, {e.area.x, e.area.y, e.area.width, e.area.height});
        if (part.w > 0 && part.h > 0 && differs_from_before(part)) waiting.seen_at = at;
        return;
    }
}

// Takes every event until `until` (monotonic ms), or until the awaited
// change, when `stop_when_seen`.
void pump(std::vector<target>& targets, double until, bool stop_when_seen) {
    for (;;) {
        while (XPending(dpy)) {
            XEvent e;
            XNextEvent(dpy, &e);
            double at = now_ms();
            if (e.type == damage_event_base + XDamageNotify)
                on_damage(*reinterpret_cast<XDamageNotifyEvent*>(&e), targets, at);
        }
        if (stop_when_seen && waiting.seen_at >= 0) return;
        double left = until - now_ms();
        if (left <= 0) return;
        pollfd fd{ConnectionNumber(dpy), POLLIN, 0};
        poll(&fd, 1, static_cast<int>(left) + 1);
    }
}

void press(bool key, bool down) {
    if (key)
        XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, XK_space), down, CurrentTime);
    else
        XTestFakeButtonEvent(dpy, 1, down, CurrentTime);
    XFlush(dpy);
}

void one_press(std::vector<target>& targets, target& t, bool key, std::mt19937& random) {
    // A button is held until its answer shows (the game reads the button's
    // state once a tick, and a press let go before a stalled tick would be
    // lost); a key, which Allegro queues, for 50 ms.
    const double hold_ms = 50, give_up_ms = 2000;
    int root_x, root_y;
    Window child;
    XTranslateCoordinates(dpy, t.window, DefaultRootWindow(dpy), t.press_x, t.press_y, &root_x,
                          &root_y, &child);
    XTestFakeMotionEvent(dpy, -1, root_x, root_y, CurrentTime);
    XFlush(dpy);
    // At least three ticks for the pointer to settle, then a random phase.
    std::uniform_real_distribution<double> settle(50, 50 + 3 * 1000.0 / 60);
    pump(targets, now_ms() + settle(random), false);
    waiting = wait_state{};
    waiting.who = &t;
    waiting.before =
        XGetImage(dpy, t.window, t.watch.x, t.watch.y, t.watch.w, t.watch.h, AllPlanes, ZPixmap);
    pump(targets, now_ms(), false);  // whatever came before the press is not its answer
    press(key, true);
    waiting.pressed_at = now_ms();
    pump(targets, waiting.pressed_at + (key ? hold_ms : give_up_ms), true);
    pump(targets, waiting.pressed_at + hold_ms, false);
    press(key, false);
    pump(targets, waiting.pressed_at + give_up_ms, true);
    if (waiting.seen_at >= 0)
        t.latencies.push_back(waiting.seen_at - waiting.pressed_at);
    else
        t.missed++;
    if (waiting.before) XDestroyImage(waiting.before);
    waiting = wait_state{};
}

double at_share(const std::vector<double>& sorted, double share) {
    return sorted[static_cast<size_t>(share * (sorted.size() - 1) + 0.5)];
}

void report_latency(const char* scene, const target& t) {
    std::printf("%-6s %-4s presses %3zu missed %d", scene, t.name, t.latencies.size() + t.missed,
                t.missed);
    if (!t.latencies.empty()) {
        std::vector<double> l = t.latencies;
        std::sort(l.begin(), l.end());
        double sum = 0;
        for (double v : l) sum += v;
        std::printf("  mean %5.1f  p50 %5.1f  p90 %5.1f  max %5.1f ms", sum / l.size(),
                    at_share(l, 0.5), at_share(l, 0.9), l.back());
    }
    std::printf("\n");
}

void report_frames(const char* scene, const target& t) {
    if (t.frames.size() < 3) return;
    std::vector<double> gaps;
    for (size_t i = 1; i < t.frames.size(); i++) gaps.push_back(t.frames[i] - t.frames[i - 1]);
    std::sort(gaps.begin(), gaps.end());
    size_t under = std::lower_bound(gaps.begin(), gaps.end(), 18.0) - gaps.begin();
    std::printf(
        "%-6s %-4s frames %.2f a second  gaps p50 %4.1f  p99 %4.1f  max %5.1f ms  %.1f%% under "
        "18 ms\n",
        scene, t.name, gaps.size() * 1000.0 / (t.frames.back() - t.frames.front()),
        at_share(gaps, 0.5), at_share(gaps, 0.99), gaps.back(), 100.0 * under / gaps.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr,
                     "usage: latency_probe build|dialog|battle GAME_WINDOW BARE_WINDOW PRESSES "
                     "[SEED [SCALE]]\n");
        return 2;
    }
    std::string scene = argv[1];
    Window game_window = std::strtoul(argv[2], nullptr, 0);
    Window bare_window = std::strtoul(argv[3], nullptr, 0);
    int presses = std::atoi(argv[4]);
    unsigned seed = argc > 5 ? std::strtoul(argv[5], nullptr, 0) : std::time(nullptr);
    int scale = argc > 6 ? std::max(1, std::atoi(argv[6])) : 1;  // the game window's
    if (!(dpy = XOpenDisplay(nullptr))) {
        std::fprintf(stderr, "latency_probe: cannot open the display\n");
        return 2;
    }
    XSetErrorHandler(note_error);
    int error_base, major, minor;
    if (!XDamageQueryExtension(dpy, &damage_event_base, &error_base) ||
        !XTestQueryExtension(dpy, &error_base, &error_base, &major, &minor)) {
        std::fprintf(stderr, "latency_probe: the X server lacks DAMAGE or XTEST\n");
        return 2;
    }
    bool key = scene == "dialog";
    target game;
    game.name = "game";
    game.window = game_window;
    if (scene == "build") {  // the cell in the third column, third row
        game.watch = {2 * cell_size, field_top + 2 * cell_size, cell_size, cell_size};
    } else if (scene == "dialog") {  // the speaker's portrait
        const int box_h = 128;
        game.watch = {dialog_portrait.x, screen_height - box_h + dialog_portrait.y, 100, 100};
    } else if (scene == "battle") {  // the top rows, where a meteor's fall begins
        game.watch = {0, 0, field_width, 8};
    } else {
        std::fprintf(stderr, "latency_probe: no scene '%s'\n", scene.c_str());
        return 2;
    }
    if (scene == "battle")  // the meteor falls from above and right of (200, 300)
        game.press_x = 200, game.press_y = 300;
    else
        game.press_x = game.watch.x + game.watch.w / 2,
        game.press_y = game.watch.y + game.watch.h / 2;
    game.watch = {game.watch.x * scale, game.watch.y * scale, game.watch.w * scale,
                  game.watch.h * scale};
    game.press_x *= scale, game.press_y *= scale;
    target bare;
    bare.name = "bare";
    bare.window = bare_window;
    bare.watch = {bare_square_x, bare_square_y, bare_square_size, bare_square_size};
    bare.press_x = bare_square_x + bare_square_size / 2;
    bare.press_y = bare_square_y + bare_square_size / 2;
    std::vector<target> targets = {game, bare};
    for (target& t : targets) t.damage = XDamageCreate(dpy, t.window, XDamageReportRawRectangles);
    // Keys go to the window under the pointer.
    XSetInputFocus(dpy, PointerRoot, RevertToPointerRoot, CurrentTime);
    XSync(dpy, False);

    std::mt19937 random(seed);
    for (int i = 0; i < presses; i++) {
        int first = random() % 2;
        one_press(targets, targets[first], key, random);
        one_press(targets, targets[1 - first], key, random);
    }
    std::printf("seed %u\n", seed);
    int missed = 0;
    for (const target& t : targets) {
        report_latency(scene.c_str(), t);
        missed += t.missed;
    }
    if (scene == "battle")
        for (const target& t : targets) report_frames(scene.c_str(), t);
    for (target& t : targets) XDamageDestroy(dpy, t.damage);
    XCloseDisplay(dpy);
    return missed ? 1 : 0;
}
