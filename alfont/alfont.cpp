// SPDX-FileCopyrightText: 2026 Tollybrook developers
// SPDX-License-Identifier: MIT
// alfont: anti-aliased TrueType text on Allegro 4 bitmaps (see alfont.h).

#include "alfont.h"

#include <allegro.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace {

constexpr int default_size = 16;
constexpr int max_size = 2048;
constexpr int first_glyph = 32;  // space
constexpr int end_glyph = 127;   // DEL and above draw nothing
constexpr int glyph_slots = 128;
// No glyph may be larger than this many line heights either way: a face
// whose line metrics are tiny next to its outlines would otherwise be
// scaled up until each glyph bitmap takes gigabytes.
constexpr int glyph_bound = 4;

// One rasterised character: an 8-bit coverage map (row-major, w * h) and the
// metrics to place it. The map's top-left pixel goes at
// (pen + left, baseline - top).
struct glyph {
    bool ready = false;
    int left = 0;
    int top = 0;
    int w = 0;
    int h = 0;
    int advance = 0;
    std::vector<unsigned char> coverage;
};

struct size_cache {
    int ascent = 0;  // top of line to baseline, in pixels
    glyph glyphs[glyph_slots];
};

FT_Library library = nullptr;
int init_count = 0;  // alfont_init calls not yet matched by alfont_exit
unsigned long glyphs_rendered = 0;

}  // namespace

struct ALFONT_FONT {
    FT_Face face = nullptr;
    int size = default_size;
    int face_size = 0;        // size the FreeType face is currently scaled to
    int width_percent = 100;  // narrowing of every glyph
    // Ascender and descender (negative) in font units, and units per em.
    long ascender = 0;
    long descender = 0;
    long units_per_em = 0;
    std::map<int, std::unique_ptr<size_cache>> caches;
    size_cache* current = nullptr;     // cache for `size`
    std::vector<unsigned char> bytes;  // the font file, for a face read from memory
};

namespace {

std::set<ALFONT_FONT*> live_fonts;  // live fonts, released on alfont_exit

size_cache& cache_for_size(ALFONT_FONT* f) {
    if (f->current) return *f->current;
    std::unique_ptr<size_cache>& slot = f->caches[f->size];
    if (!slot) {
        slot = std::make_unique<size_cache>();
        double span = double(f->ascender - f->descender);
        slot->ascent = int(std::lround(f->size * f->ascender / span));
    }
    f->current = slot.get();
    return *slot;
}

// Scales the face so that ascender - descender spans f->size pixels.
bool scale_face(ALFONT_FONT* f) {
    if (!f->face) return false;
    if (f->face_size == f->size) return true;
    double span = double(f->ascender - f->descender);
    long char_height = std::lround(f->size * 64.0 * f->units_per_em / span);
    if (char_height < 1) char_height = 1;
    if (FT_Set_Char_Size(f->face, 0, char_height, 72, 72) != 0) {
        f->face_size = 0;
        return false;
    }
    // Narrowing scales outlines and advances alike (hinting is unchanged).
    FT_Matrix narrow = {FT_Fixed(f->width_percent * 0x10000L / 100), 0, 0, 0x10000L};
    FT_Set_Transform(f->face, f->width_percent == 100 ? nullptr : &narrow, nullptr);
    f->face_size = f->size;
    return true;
}

// Whether the face's glyph box, scaled so its line spans `size` pixels,
// stays within glyph_bound line heights in both directions.
bool glyphs_fit(const ALFONT_FONT* f, int size) {
    const FT_BBox& box = f->face->bbox;
    double span = double(f->ascender - f->descender);
    double limit = double(glyph_bound) * size;
    return double(box.xMax - box.xMin) * size / span <= limit &&
           double(box.yMax - box.yMin) * size / span <= limit;
}

void rasterise(ALFONT_FONT* f, glyph& g, unsigned char c) {
    g.ready = true;  // a glyph that fails to render stays blank; never retried
    if (!scale_face(f)) return;
    FT_UInt index = FT_Get_Char_Index(f->face, c);
    if (FT_Load_Glyph(f->face, index, FT_LOAD_NO_BITMAP) != 0) return;
    FT_GlyphSlot slot = f->face->glyph;
    // The face's box may lie: measure this outline before it is rendered.
    const long bound = 64L * glyph_bound * f->size;  // 26.6 pixels
    if (slot->metrics.width > bound || slot->metrics.height > bound) return;
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return;
    ++glyphs_rendered;

    g.advance = int((slot->advance.x + 32) >> 6);
    const FT_Bitmap& bm = slot->bitmap;
    if (bm.pixel_mode != FT_PIXEL_MODE_GRAY || bm.width == 0 || bm.rows == 0 || !bm.buffer) return;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.w = int(bm.width);
    g.h = int(bm.rows);
    g.coverage.resize(size_t(g.w) * size_t(g.h));
    const int max_level = bm.num_grays > 1 ? bm.num_grays - 1 : 255;
    for (int row = 0; row < g.h; ++row) {
        const unsigned char* src = bm.buffer + std::ptrdiff_t(row) * bm.pitch;
        if (bm.pitch < 0)  // bottom-up bitmap: pitch is negative from row 0
            src = bm.buffer + std::ptrdiff_t(g.h - 1 - row) * -bm.pitch;
        unsigned char* dst = &g.coverage[size_t(row) * size_t(g.w)];
        for (int x = 0; x < g.w; ++x)
            dst[x] = max_level == 255 ? src[x] : (unsigned char)(src[x] * 255 / max_level);
    }
}

const glyph* glyph_for(ALFONT_FONT* f, size_cache& sc, unsigned char c) {
    if (c < first_glyph || c >= end_glyph) return nullptr;
    glyph& g = sc.glyphs[c];
    if (!g.ready) rasterise(f, g, c);
    return &g;
}

long long text_length(ALFONT_FONT* f, const char* s) {
    size_cache& sc = cache_for_size(f);
    long long w = 0;
    for (const unsigned char* p = (const unsigned char*)s; *p; ++p)
        if (const glyph* g = glyph_for(f, sc, *p)) w += g->advance;
    return w;
}

// Drawable area: the clip rectangle (when clipping is on) within the bitmap.
// Right and bottom are exclusive.
struct Area {
    int l, t, r, b;
    bool empty() const { return l >= r || t >= b; }
};

Area drawable_area(BITMAP* bmp) {
    Area a{0, 0, bmp->w, bmp->h};
    if (bmp->clip) {
        a.l = std::max(a.l, bmp->cl);
        a.t = std::max(a.t, bmp->ct);
        a.r = std::min(a.r, bmp->cr);
        a.b = std::min(a.b, bmp->cb);
    }
    return a;
}

inline int mix(int bg, int fg, unsigned a) {
    return int((unsigned(bg) * (255 - a) + unsigned(fg) * a + 127) / 255);
}

// Pixel access for each memory-bitmap depth. `line` is bmp->line[y].
struct Pixels15 {
    static int read(unsigned char* line, int x) { return ((uint16_t*)line)[x]; }
    static void write(unsigned char* line, int x, int c) { ((uint16_t*)line)[x] = uint16_t(c); }
    static int r(int c) { return getr15(c); }
    static int g(int c) { return getg15(c); }
    static int b(int c) { return getb15(c); }
    static int make(int r, int g, int b) { return makecol15(r, g, b); }
};

struct Pixels16 {
    static int read(unsigned char* line, int x) { return ((uint16_t*)line)[x]; }
    static void write(unsigned char* line, int x, int c) { ((uint16_t*)line)[x] = uint16_t(c); }
    static int r(int c) { return getr16(c); }
    static int g(int c) { return getg16(c); }
    static int b(int c) { return getb16(c); }
    static int make(int r, int g, int b) { return makecol16(r, g, b); }
};

struct Pixels24 {
    static int read(unsigned char* line, int x) { return bmp_read24(uintptr_t(line + x * 3)); }
    static void write(unsigned char* line, int x, int c) {
        bmp_write24(uintptr_t(line + x * 3), c);
    }
    static int r(int c) { return getr24(c); }
    static int g(int c) { return getg24(c); }
    static int b(int c) { return getb24(c); }
    static int make(int r, int g, int b) { return makecol24(r, g, b); }
};

struct Pixels32 {
    static int read(unsigned char* line, int x) { return int(((uint32_t*)line)[x]); }
    static void write(unsigned char* line, int x, int c) { ((uint32_t*)line)[x] = uint32_t(c); }
    static int r(int c) { return getr32(c); }
    static int g(int c) { return getg32(c); }
    static int b(int c) { return getb32(c); }
    static int make(int r, int g, int b) { return makecol32(r, g, b); }
};

// The part of a glyph placed at (gx, gy) that falls inside `area`.
struct Span {
    int x0, y0, x1, y1;  // bitmap coordinates, x1/y1 exclusive
};

bool visible_span(const glyph& g, long long gx, long long gy, const Area& area, Span& out) {
    long long x0 = std::max<long long>(gx, area.l);
    long long y0 = std::max<long long>(gy, area.t);
    long long x1 = std::min<long long>(gx + g.w, area.r);
    long long y1 = std::min<long long>(gy + g.h, area.b);
    if (x0 >= x1 || y0 >= y1) return false;
    out = Span{int(x0), int(y0), int(x1), int(y1)};
    return true;
}

template <class Px>
void blend_memory(BITMAP* bmp, const glyph& g, long long gx, long long gy, const Area& area,
                  int color) {
    Span s;
    if (!visible_span(g, gx, gy, area, s)) return;
    const int fr = Px::r(color), fg = Px::g(color), fb = Px::b(color);
    for (int y = s.y0; y < s.y1; ++y) {
        const unsigned char* src = &g.coverage[size_t(y - gy) * size_t(g.w) + size_t(s.x0 - gx)];
        unsigned char* line = bmp->line[y];
        for (int x = s.x0; x < s.x1; ++x) {
            unsigned a = *src++;
            if (a == 0) continue;
            if (a == 255) {
                Px::write(line, x, color);
                continue;
            }
            int bg = Px::read(line, x);
            Px::write(
                line, x,
                Px::make(mix(Px::r(bg), fr, a), mix(Px::g(bg), fg, a), mix(Px::b(bg), fb, a)));
        }
    }
}

// Any other bitmap (video, system, or an unusual depth): through Allegro's
// own pixel calls.
void blend_generic(BITMAP* bmp, const glyph& g, long long gx, long long gy, const Area& area,
                   int color) {
    Span s;
    if (!visible_span(g, gx, gy, area, s)) return;
    const int depth = bitmap_color_depth(bmp);
    const int fr = getr_depth(depth, color);
    const int fg = getg_depth(depth, color);
    const int fb = getb_depth(depth, color);
    for (int y = s.y0; y < s.y1; ++y) {
        const unsigned char* src = &g.coverage[size_t(y - gy) * size_t(g.w) + size_t(s.x0 - gx)];
        for (int x = s.x0; x < s.x1; ++x) {
            unsigned a = *src++;
            if (a == 0) continue;
            if (a == 255) {
                putpixel(bmp, x, y, color);
                continue;
            }
            int bg = getpixel(bmp, x, y);
            putpixel(bmp, x, y,
                     makecol_depth(depth, mix(getr_depth(depth, bg), fr, a),
                                   mix(getg_depth(depth, bg), fg, a),
                                   mix(getb_depth(depth, bg), fb, a)));
        }
    }
}

using BlendFn = void (*)(BITMAP*, const glyph&, long long, long long, const Area&, int);

BlendFn blender_for(BITMAP* bmp) {
    if (is_memory_bitmap(bmp)) {
        switch (bitmap_color_depth(bmp)) {
            case 15: return blend_memory<Pixels15>;
            case 16: return blend_memory<Pixels16>;
            case 24: return blend_memory<Pixels24>;
            case 32: return blend_memory<Pixels32>;
            default: break;
        }
    }
    return blend_generic;
}

void draw_text(BITMAP* bmp, ALFONT_FONT* f, const char* s, long long x, long long y, int color,
               int backg, long long width) {
    const Area area = drawable_area(bmp);
    if (area.empty()) return;
    size_cache& sc = cache_for_size(f);

    if (backg != -1 && width > 0) {
        long long l = std::max<long long>(x, area.l);
        long long t = std::max<long long>(y, area.t);
        long long r = std::min<long long>(x + width, area.r);
        long long b = std::min<long long>(y + f->size, area.b);
        if (l < r && t < b) rectfill(bmp, int(l), int(t), int(r - 1), int(b - 1), backg);
    }

    const BlendFn blend = blender_for(bmp);
    const long long baseline = y + sc.ascent;
    long long pen = x;
    for (const unsigned char* p = (const unsigned char*)s; *p; ++p) {
        const glyph* g = glyph_for(f, sc, *p);
        if (!g) continue;
        if (g->w > 0) blend(bmp, *g, pen + g->left, baseline - g->top, area, color);
        pen += g->advance;
    }
}

}  // namespace

int alfont_init(void) {
    if (init_count == 0 && FT_Init_FreeType(&library) != 0) {
        library = nullptr;
        return -1;
    }
    ++init_count;
    return 0;
}

void alfont_exit(void) {
    if (init_count == 0 || --init_count > 0) return;
    for (ALFONT_FONT* f : live_fonts) {
        FT_Done_Face(f->face);
        f->face = nullptr;
        f->face_size = 0;
    }
    live_fonts.clear();
    FT_Done_FreeType(library);
    library = nullptr;
}

namespace {

// A font of a face FreeType opened: its metrics taken, scaled to the
// default size; or nullptr (and the face closed) when it is no font.
ALFONT_FONT* font_of_face(FT_Face face, std::unique_ptr<ALFONT_FONT> f) {
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    f->face = face;
    f->units_per_em = face->units_per_EM;
    f->ascender = face->ascender;
    f->descender = face->descender;
    if (f->ascender - f->descender <= 0) {
        // No usable line metrics: fall back to the glyph bounding box, then
        // to a conventional 80/20 split of the em.
        f->ascender = face->bbox.yMax;
        f->descender = face->bbox.yMin;
        if (f->ascender - f->descender <= 0) {
            f->ascender = f->units_per_em * 4 / 5;
            f->descender = f->ascender - f->units_per_em;
        }
    }
    if (!scale_face(f.get())) {
        FT_Done_Face(face);
        return nullptr;
    }
    live_fonts.insert(f.get());
    return f.release();
}

}  // namespace

ALFONT_FONT* alfont_load_font(const char* filepathname) {
    if (!library || !filepathname) return nullptr;
    FT_Face face = nullptr;
    if (FT_New_Face(library, filepathname, 0, &face) != 0) return nullptr;
    return font_of_face(face, std::make_unique<ALFONT_FONT>());
}

ALFONT_FONT* alfont_load_font_from_memory(const void* data, long size) {
    if (!library || !data || size <= 0) return nullptr;
    auto f = std::make_unique<ALFONT_FONT>();
    const unsigned char* first = static_cast<const unsigned char*>(data);
    f->bytes.assign(first, first + size);
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(library, f->bytes.data(), size, 0, &face) != 0) return nullptr;
    return font_of_face(face, std::move(f));
}

int alfont_set_font_size(ALFONT_FONT* f, int h) {
    if (!f || h < 1 || h > max_size || (f->face && !glyphs_fit(f, h))) return -1;
    if (h != f->size) {
        f->size = h;
        f->current = nullptr;
    }
    return 0;
}

int alfont_set_width_percent(ALFONT_FONT* f, int percent) {
    if (!f || percent < 1 || percent > 100) return -1;
    if (percent != f->width_percent) {
        f->width_percent = percent;
        f->caches.clear();  // every cached glyph has the old width
        f->current = nullptr;
        f->face_size = 0;
    }
    return 0;
}

int alfont_get_font_height(ALFONT_FONT* f) { return f ? f->size : 0; }

int alfont_get_width_percent(ALFONT_FONT* f) { return f ? f->width_percent : 0; }

int alfont_text_length(ALFONT_FONT* f, const char* s) {
    if (!f || !s) return 0;
    long long w = text_length(f, s);
    return w > INT32_MAX ? INT32_MAX : int(w);
}

void alfont_textout_aa_ex(BITMAP* bmp, ALFONT_FONT* f, const char* s, int x, int y, int color,
                          int backg) {
    if (!bmp || !f || !s || !*s) return;
    long long width = backg != -1 ? text_length(f, s) : 0;
    draw_text(bmp, f, s, x, y, color, backg, width);
}

void alfont_textout_centre_aa_ex(BITMAP* bmp, ALFONT_FONT* f, const char* s, int x, int y,
                                 int color, int backg) {
    if (!bmp || !f || !s || !*s) return;
    long long width = text_length(f, s);
    draw_text(bmp, f, s, (long long)x - width / 2, y, color, backg, width);
}

void alfont_destroy_font(ALFONT_FONT* f) {
    if (!f) return;
    live_fonts.erase(f);
    if (f->face) FT_Done_Face(f->face);
    delete f;
}

unsigned long alfont_glyphs_rendered(void) { return glyphs_rendered; }
