// The display page manager: the display mode and its pages, joining the
// changed parts of a frame that the renderer reports (the one place they are
// joined), and presenting each finished frame, whole or only those parts, at
// the window's scale. Opening the window at a scale and switching to
// fullscreen are in gfx_window.cpp; the quick way of sending scaled frames,
// straight into the window's XImage, is in gfx_x11.cpp.
#include "gfx.h"

#include <cstdint>
#include <cstring>

#include "gfx_parts.h"

BITMAP* bDraw = nullptr;
BITMAP* vPages[3] = {nullptr, nullptr, nullptr};
BITMAP* bDbuf = nullptr;
BITMAP* bScaled = nullptr;
gfx_view view;

// The mode asked for (page flags less those the card could not give), the
// page drawn next, and the size and depth the window opens with.
static int iMode = 0, iPage = 0;
static int iX = 0, iY = 0, iColours = 0;
static int iHasSetup = 0, iFatalError = 0;
// The view gfx_start opens (see gfx_want_view).
static int iWantScale = 1;
static bool iWantFullscreen = false;
// A new mode shows nothing yet: the next frame goes whole, and in
// fullscreen the bars round it are painted black first.
static bool iWholeDue = false, iBarsDue = false;

// What changed in the back buffer since the last presented frame, when the
// frame is tracked (see gfx_track_changes).
using changed_rect = gfx_rect;
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

void gfx_want_view(int scale, bool fullscreen) {
    iWantScale = scale > 1 ? scale : 1;
    iWantFullscreen = fullscreen;
}

void gfx_send_all_again() { iWholeDue = iBarsDue = true; }

void gfx_lose_display() {
    iFatalError = 1;
    iMode = 0;
}

int gfx_start() {
    if (!iHasSetup) return -1;
    set_color_depth(iColours);
    int card = (iMode & GFX_PAGE_ANY_DRIVER) ? GFX_AUTODETECT : GFX_AUTODETECT_WINDOWED;
    // Only the back buffer alone is shown scaled: video pages are the window's own size.
    bool scalable = (iMode & GFX_PAGE_BACKBUFFER) && !(iMode & (GFX_PAGE_TRIPLE | GFX_PAGE_FLIP));
    int scale = scalable ? iWantScale : 1;
    bool fullscreen = scalable && iWantFullscreen;
    if (gfx_show(card, iX, iY, scale, fullscreen) != 0) {
        gfx_lose_display();
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
    if (!bDbuf && (view.scale != 1 || view.fullscreen)) {  // nothing to scale from
        if (gfx_show(card, iX, iY, 1, false) != 0) {
            gfx_lose_display();
            return -1;
        }
        bDraw = screen;
    }
    return 0;
}

// The copy always covers the screen's own size, whatever was requested.
static void copy_back_buffer_to(BITMAP* page) {
    blit(bDbuf, page, 0, 0, 0, 0, screen->w, screen->h);
}

// A frame that had too many changed rectangles stays whole until presented.
void gfx_track_changes() { iTracked = iChanged < max_changed; }

static changed_rect rect_union(const changed_rect& a, const changed_rect& b) {
    int l = a.x < b.x ? a.x : b.x, t = a.y < b.y ? a.y : b.y;
    int r = a.x + a.w > b.x + b.w ? a.x + a.w : b.x + b.w;
    int d = a.y + a.h > b.y + b.h ? a.y + a.h : b.y + b.h;
    return {l, t, r - l, d - t};
}

// What sending a w x h rectangle to the window costs, counted in pixels
// converted. Allegro converts a rectangle for the window row by row, and in
// the window a row costs about as much again as converting 150 pixels: 20x384
// pixels cost 50 us a frame here, 640x100 pixels 63 us. Scaled, the
// rectangle costs its window pixels and rows: scale x scale times the pixels,
// so fewer rectangles are worth joining.
static long send_cost(int w, int h) {
    const long row_cost = 150;
    const long s = view.scale;
    return static_cast<long>(h) * s * (w * s + row_cost);
}

// Two rectangles are joined when the joined one costs less to repaint and
// send than the two apart. Each rectangle costs its sending, and its
// repainting (the renderer copies it from its scene and clips every sprite
// to it) and the call that sends it about 500 pixels more. In a crowded
// battle that ends in a few large rectangles round the crowd; a lone walker
// stays a small rectangle of its own.
static bool worth_joining(const changed_rect& a, const changed_rect& b) {
    const long rect_cost = 500;
    changed_rect both = rect_union(a, b);
    return send_cost(both.w, both.h) <= send_cost(a.w, a.h) + send_cost(b.w, b.h) + rect_cost;
}

void gfx_changed(int x, int y, int w, int h) {
    if (!iTracked || !screen) return;
    const BITMAP* frame = bDbuf ? bDbuf : screen;
    if (x < 0) w += x, x = 0;
    if (y < 0) h += y, y = 0;
    if (x + w > frame->w) w = frame->w - x;
    if (y + h > frame->h) h = frame->h - y;
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

const gfx_rect* gfx_changed_rects(int* count) {
    static changed_rect whole;
    if (iTracked && screen) {
        *count = iChanged;
        return aChanged;
    }
    const BITMAP* frame = bDbuf ? bDbuf : screen;
    whole = {0, 0, frame ? frame->w : 0, frame ? frame->h : 0};
    *count = frame ? 1 : 0;
    return &whole;
}

bool gfx_is_back_buffer(const BITMAP* b) { return b && b == bDbuf; }

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
static void send_frame() { gfx_native_flush(); }

// Copies a rectangle of the back buffer into the scaled buffer, each pixel
// a square of scale x scale pixels: a row is widened once and copied down.
template <int scale>
static void widen_rows(int x, int y, int w, int h, int s = scale) {
    const size_t bytes = static_cast<size_t>(w) * s * sizeof(uint16_t);
    for (int row = y; row < y + h; row++) {
        const uint16_t* from = reinterpret_cast<const uint16_t*>(bDbuf->line[row]) + x;
        uint16_t* to = reinterpret_cast<uint16_t*>(bScaled->line[row * s]) + x * s;
        for (int i = 0; i < w; i++)
            for (int k = 0; k < s; k++) to[i * s + k] = from[i];
        for (int k = 1; k < s; k++) std::memcpy(bScaled->line[row * s + k] + x * s * 2, to, bytes);
    }
}

static void scale_rect(int x, int y, int w, int h) {
    const int s = view.scale;
    if (bitmap_color_depth(bDbuf) != 16) {
        stretch_blit(bDbuf, bScaled, x, y, w, h, x * s, y * s, w * s, h * s);
        return;
    }
    if (s == 2)
        widen_rows<2>(x, y, w, h);
    else if (s == 3)
        widen_rows<3>(x, y, w, h);
    else if (s == 4)
        widen_rows<4>(x, y, w, h);
    else
        widen_rows<0>(x, y, w, h, s);
}

// A rectangle of the frame to its place on the screen, scaled.
static void send_scaled(int x, int y, int w, int h) {
    const int s = view.scale;
    if (s == 1) {
        blit(bDbuf, screen, x, y, view.x + x, view.y + y, w, h);
        return;
    }
    scale_rect(x, y, w, h);
    blit(bScaled, screen, x * s, y * s, view.x + x * s, view.y + y * s, w * s, h * s);
}

// The screen round the scaled frame, black.
static void paint_bars() {
    int left = view.x, top = view.y;
    int right = left + iX * view.scale, bottom = top + iY * view.scale;
    int black = makecol(0, 0, 0);
    if (top > 0) rectfill(screen, 0, 0, SCREEN_W - 1, top - 1, black);
    if (bottom < SCREEN_H) rectfill(screen, 0, bottom, SCREEN_W - 1, SCREEN_H - 1, black);
    if (left > 0) rectfill(screen, 0, top, left - 1, bottom - 1, black);
    if (right < SCREEN_W) rectfill(screen, right, top, SCREEN_W - 1, bottom - 1, black);
}

int gfx_update() {
    if (iFatalError) return -1;
    if (iWholeDue) {
        iWholeDue = false;
        end_tracking();
    }
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
    if ((iMode & GFX_PAGE_BACKBUFFER) && (view.scale != 1 || view.x || view.y)) {
        acquire_screen();
        if (iBarsDue) paint_bars();
        iBarsDue = false;
        const changed_rect whole{0, 0, iX, iY};
        const changed_rect* rects = iTracked ? aChanged : &whole;
        int count = iTracked ? iChanged : 1;
        if (view.scale == 1 || !gfx_native_send_scaled(bDbuf, rects, count))
            for (int i = 0; i < count; i++)
                send_scaled(rects[i].x, rects[i].y, rects[i].w, rects[i].h);
        release_screen();
    } else if (iMode & GFX_PAGE_BACKBUFFER) {
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
    if (bScaled) destroy_bitmap(bScaled);
    bScaled = nullptr;
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
