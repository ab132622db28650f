// The display page manager: the display mode and its pages, and presenting
// each finished frame (only its changed parts, when the renderer says which).
#include "gfx.h"

#ifdef ALLEGRO_WITH_XWINDOWS
#include <xalleg.h>
#include <allegro/internal/aintern.h>
#include <allegro/platform/aintunix.h>
#endif

BITMAP* bDraw = nullptr;
BITMAP* vPages[3] = {nullptr, nullptr, nullptr};
BITMAP* bDbuf = nullptr;

// The mode asked for (page flags less those the card could not give), the
// page drawn next, and the size and depth the window opens with.
static int iMode = 0, iPage = 0;
static int iX = 0, iY = 0, iColours = 0;
static int iHasSetup = 0, iFatalError = 0;

// What changed in the back buffer since the last presented frame, when the
// frame is tracked (see gfx_track_changes).
struct changed_rect {
    int x, y, w, h;
};
static const int max_changed = 64;
static int iTracked = 0;
static int iChanged = 0;
static changed_rect aChanged[max_changed];

int gfx_mode() { return iMode; }

int gfx_setup(int mode, int width, int height, int depth) {
    iPage = 0;
    iHasSetup = 1;
    iMode = mode;
    iX = width;
    iY = height;
    iColours = depth;
    iFatalError = 0;
    return 0;
}

static void make_pages(int count) {
    for (int i = 0; i < count; i++) vPages[i] = create_video_bitmap(iX, iY);
    bDraw = vPages[iPage];
}

int gfx_start() {
    if (!iHasSetup) return -1;
    set_color_depth(iColours);
    int card = (iMode & GFX_PAGE_ANY_DRIVER) ? GFX_AUTODETECT : GFX_AUTODETECT_WINDOWED;
    if (set_gfx_mode(card, iX, iY, 0, 0) != 0) {
        iFatalError = 1;
        iMode = 0;
        return -1;
    }
    bDraw = screen;
    if (iMode & GFX_PAGE_TRIPLE) {
        if (!(gfx_capabilities & GFX_CAN_TRIPLE_BUFFER)) enable_triple_buffer();
        if (gfx_capabilities & GFX_CAN_TRIPLE_BUFFER)
            make_pages(3);
        else
            iMode += 2;  // no triple buffering here: flip two pages instead
    }
    if (iMode & GFX_PAGE_FLIP) make_pages(2);
    if (iMode & GFX_PAGE_BACKBUFFER) {
        bDbuf = create_bitmap(iX, iY);
        if (bDbuf)
            bDraw = bDbuf;
        else
            iMode -= 1;  // draw straight into the screen or current page
    }
    return 0;
}

// The copy always covers the screen's own size, whatever was requested.
static void copy_back_buffer_to(BITMAP* page) {
    blit(bDbuf, page, 0, 0, 0, 0, screen->w, screen->h);
}

void gfx_track_changes() { iTracked = 1; }

static changed_rect rect_union(const changed_rect& a, const changed_rect& b) {
    int l = a.x < b.x ? a.x : b.x, t = a.y < b.y ? a.y : b.y;
    int r = a.x + a.w > b.x + b.w ? a.x + a.w : b.x + b.w;
    int d = a.y + a.h > b.y + b.h ? a.y + a.h : b.y + b.h;
    return {l, t, r - l, d - t};
}

long gfx_send_cost(int w, int h) {
    const long row_cost = 150;
    return static_cast<long>(h) * (w + row_cost);
}

// Two rectangles are sent as one when that costs less than sending them apart.
static bool worth_joining(const changed_rect& a, const changed_rect& b) {
    const long rect_cost = 500;  // the call and the request for one more rectangle
    changed_rect both = rect_union(a, b);
    return gfx_send_cost(both.w, both.h) <=
           gfx_send_cost(a.w, a.h) + gfx_send_cost(b.w, b.h) + rect_cost;
}

void gfx_changed(int x, int y, int w, int h) {
    if (!iTracked || !screen) return;
    if (x < 0) w += x, x = 0;
    if (y < 0) h += y, y = 0;
    if (x + w > screen->w) w = screen->w - x;
    if (y + h > screen->h) h = screen->h - y;
    if (w <= 0 || h <= 0) return;
    changed_rect r{x, y, w, h};
    for (int i = 0; i < iChanged; i++) {
        if (!worth_joining(aChanged[i], r)) continue;
        r = rect_union(aChanged[i], r);
        aChanged[i] = aChanged[--iChanged];
        i = -1;  // the grown rectangle may now join one already passed
    }
    if (iChanged == max_changed)
        iTracked = 0;  // too many to be worth it: send the whole frame
    else
        aChanged[iChanged++] = r;
}

static void end_tracking() {
    iTracked = 0;
    iChanged = 0;
}

// Xlib keeps small requests in its buffer until the connection is flushed,
// which Allegro's input thread does only when it reads the input, about every
// 10 ms; a frame's small parts, and a whole frame handed over in shared
// memory, waited there. So each presented frame goes out at once (a click in
// the build phase reached the window 6 ms sooner on average). Without a
// display (headless tests, no X) there is nothing to send.
static void send_frame() {
#ifdef ALLEGRO_WITH_XWINDOWS
    if (!_xwin.display) return;
    XLOCK();
    XFlush(_xwin.display);
    XUNLOCK();
#endif
}

int gfx_update() {
    if (iFatalError) return -1;
    if (iMode & GFX_PAGE_TRIPLE) {
        if (iMode & GFX_PAGE_BACKBUFFER) copy_back_buffer_to(vPages[iPage]);
        while (poll_scroll()) {
        }
        request_video_bitmap(vPages[iPage]);
        iPage = (iPage + 1) % 3;
        if (!(iMode & GFX_PAGE_BACKBUFFER)) bDraw = vPages[iPage];
        end_tracking();
        send_frame();
        return 0;
    }
    if (iMode & GFX_PAGE_FLIP) {
        if (iMode & GFX_PAGE_BACKBUFFER) copy_back_buffer_to(vPages[iPage]);
        show_video_bitmap(vPages[iPage]);
        iPage = 1 - iPage;
        if (!(iMode & GFX_PAGE_BACKBUFFER)) bDraw = vPages[iPage];
        end_tracking();
        send_frame();
        return 0;
    }
    if (iMode & GFX_PAGE_BACKBUFFER) {
        acquire_screen();
        if (iTracked) {  // the screen holds the last frame: send what changed
            for (int i = 0; i < iChanged; i++) {
                const changed_rect& r = aChanged[i];
                blit(bDbuf, screen, r.x, r.y, r.x, r.y, r.w, r.h);
            }
        } else {
            copy_back_buffer_to(screen);
        }
        release_screen();
    }
    end_tracking();
    send_frame();
    return 0;
}

int gfx_end() {
    if (iFatalError) return -1;
    if (iMode & GFX_PAGE_BACKBUFFER) destroy_bitmap(bDbuf);
    if (iMode & GFX_PAGE_FLIP) {
        destroy_bitmap(vPages[0]);
        destroy_bitmap(vPages[1]);
    } else if (iMode & GFX_PAGE_TRIPLE) {
        destroy_bitmap(vPages[0]);
        destroy_bitmap(vPages[1]);
        destroy_bitmap(vPages[2]);
    }
    return 0;
}

// Until the window scales: one window at scale 1, no switching.
int gfx_window_scale(int requested) { return requested > 0 ? requested : 1; }
bool gfx_fullscreen() { return false; }
int gfx_set_fullscreen(bool) { return -1; }
int gfx_scale() { return 1; }
