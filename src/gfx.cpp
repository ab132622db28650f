#include "gfx.h"

BITMAP* bDraw = nullptr;
BITMAP* vPages[3] = {nullptr, nullptr, nullptr};
BITMAP* bDbuf = nullptr;

static int iMode = 0;
static int iFatalError = 0;
static int iPage = 0;
static int iY = 0;
static int iX = 0;
static int iColours = 0;
static int iHasSetup = 0;

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

int gfx_update() {
    if (iFatalError) return -1;
    if (iMode & GFX_PAGE_TRIPLE) {
        if (iMode & GFX_PAGE_BACKBUFFER) copy_back_buffer_to(vPages[iPage]);
        while (poll_scroll()) {
        }
        request_video_bitmap(vPages[iPage]);
        iPage = (iPage + 1) % 3;
        if (!(iMode & GFX_PAGE_BACKBUFFER)) bDraw = vPages[iPage];
        return 0;
    }
    if (iMode & GFX_PAGE_FLIP) {
        if (iMode & GFX_PAGE_BACKBUFFER) copy_back_buffer_to(vPages[iPage]);
        show_video_bitmap(vPages[iPage]);
        iPage = 1 - iPage;
        if (!(iMode & GFX_PAGE_BACKBUFFER)) bDraw = vPages[iPage];
        return 0;
    }
    if (iMode & GFX_PAGE_BACKBUFFER) {
        acquire_screen();
        copy_back_buffer_to(screen);
        release_screen();
    }
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
