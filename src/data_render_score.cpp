// The score panel of the high-score screen, kept between frames: its
// filled rectangles are copied, and only text reaching past them is drawn
// again.
#include <allegro.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "data_render_parts.h"
#include "gfx.h"
#include "layout.h"

using namespace drawing;

// ---------------------------------------------------------------- score panel
//
// The score screen draws the same panel frame after frame. Inside its filled
// rectangles every frame paints the same pixels, so those are kept and copied.
// Text that runs out of them blends again over what it left the frame before,
// so there it is drawn again, clipped to the parts outside the rectangles.
// The page manager is told only of what a frame drew again, and sends only
// that.

namespace {

const int panel_rows = 10;

struct panel_text {
    char text[64];
    int left, y, colour;
    area reach;
};

struct score_panel_cache {
    BITMAP* target = nullptr;  // holds the panel as last drawn, untouched since
    int values[panel_rows];
    int count, current, w, h, font_height;
    ALFONT_FONT* font;
    BITMAP* drawn = nullptr;  // the target after the panel's first drawing
    area fills[3];
    area outside[32];  // the target outside the filled rectangles
    int outside_count;
} panel;

}  // namespace

void drawing::forget_score_panel() { panel.target = nullptr; }

namespace {

bool same_panel(BITMAP* target, const std::vector<int>* scores, int current) {
    int count = static_cast<int>(std::min<size_t>(scores->size(), panel_rows));
    if (panel.target != target || !panel.drawn || panel.count != count ||
        panel.current != current || panel.w != target->w || panel.h != target->h ||
        panel.font != fonts[0] || panel.font_height != fh)
        return false;
    return std::equal(scores->begin(), scores->begin() + count, panel.values);
}

// The panel's texts in drawing order: title, prompt, then the rows.
int panel_texts(panel_text (&out)[panel_rows + 2], BITMAP* target, const std::vector<int>* scores,
                int current) {
    int red = colour(text_red), dark = colour(black);
    int n = 0;
    auto add = [&](int centre, int y, int colour) {
        panel_text& t = out[n++];
        int width = alfont_text_length(fonts[0], t.text);
        t.left = centre - width / 2;
        t.y = y;
        t.colour = colour;
        t.reach = text_reach(t.left, y, width);
    };
    std::snprintf(out[n].text, sizeof out[n].text, "Scores:");
    add(screen_width / 2, score_title_y, red);
    std::snprintf(out[n].text, sizeof out[n].text, "%s", score_prompt);
    add(screen_width / 2, score_prompt_lines * fh + score_prompt_y, red);
    for (size_t i = 0; i < scores->size() && i < panel_rows; i++) {
        int value = (*scores)[i];
        std::snprintf(out[n].text, sizeof out[n].text, "%2d. Evil Creature:   %4d",
                      static_cast<int>(i + 1), value);
        add(target->w / 2, score_rows_y + static_cast<int>(i) * fh, value == current ? red : dark);
    }
    return n;
}

// A filled rectangle as rectfill fills it: corners in any order, both included.
area filled_area(int x1, int y1, int x2, int y2) {
    return {std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1) + 1, std::abs(y2 - y1) + 1};
}

// Splits the target outside the filled rectangles into rectangles: bands of
// rows between the rectangles' edges, and the runs of columns in each band
// that no rectangle covers.
void find_outside(int w, int h) {
    int edges[2 + 2 * std::size(panel.fills)] = {0, h};
    int n = 2;
    for (const area& f : panel.fills) {
        edges[n++] = std::clamp(f.y, 0, h);
        edges[n++] = std::clamp(f.y + f.h, 0, h);
    }
    std::sort(std::begin(edges), std::end(edges));  // every entry is filled
    panel.outside_count = 0;
    for (int e = 0; e + 1 < n; e++) {
        int top = edges[e], bottom = edges[e + 1];
        if (top == bottom) continue;
        area covering[3];
        int c = 0;
        for (const area& f : panel.fills)
            if (f.y <= top && f.y + f.h >= bottom) covering[c++] = f;
        for (int i = 1; i < c; i++)  // left to right
            for (int j = i; j > 0 && covering[j].x < covering[j - 1].x; j--)
                std::swap(covering[j], covering[j - 1]);
        int x = 0;
        for (int i = 0; i <= c; i++) {
            int until = i < c ? std::clamp(covering[i].x, 0, w) : w;
            if (until > x) panel.outside[panel.outside_count++] = {x, top, until - x, bottom - top};
            if (i < c) x = std::max(x, std::min(covering[i].x + covering[i].w, w));
        }
    }
}

void remember_panel(BITMAP* target, const std::vector<int>* scores, int current) {
    if (panel.drawn && (panel.drawn->w != target->w || panel.drawn->h != target->h)) {
        destroy_bitmap(panel.drawn);
        panel.drawn = nullptr;
    }
    if (!panel.drawn) panel.drawn = create_bitmap(target->w, target->h);
    if (!panel.drawn) return;
    blit(target, panel.drawn, 0, 0, 0, 0, target->w, target->h);
    panel.count = static_cast<int>(std::min<size_t>(scores->size(), panel_rows));
    std::copy(scores->begin(), scores->begin() + panel.count, panel.values);
    panel.current = current;
    panel.w = target->w;
    panel.h = target->h;
    panel.font = fonts[0];
    panel.font_height = fh;
    find_outside(target->w, target->h);
    panel.target = target;
}

// The panel drawn again over itself: kept fills, text outside them blended again.
void redraw_panel(BITMAP* target, const panel_text* texts, int count) {
    for (const area& f : panel.fills) blit(panel.drawn, target, f.x, f.y, f.x, f.y, f.w, f.h);
    int cl, ct, cr, cb;
    get_clip_rect(target, &cl, &ct, &cr, &cb);
    for (int o = 0; o < panel.outside_count; o++) {
        const area& part = panel.outside[o];
        set_clip_rect(target, part.x, part.y, part.x + part.w - 1, part.y + part.h - 1);
        for (int i = 0; i < count; i++)
            if (overlap(texts[i].reach, part))
                alfont_textout_aa_ex(target, fonts[0], texts[i].text, texts[i].left, texts[i].y,
                                     texts[i].colour, -1);
    }
    set_clip_rect(target, cl, ct, cr, cb);
}

}  // namespace

// Tells the page manager what a panel drawing changed in its back buffer:
// the whole panel when it is drawn anew; when it is drawn again over itself,
// only text reaching past its rectangles (drawn again there), since the
// rectangles come back exactly as they were.
void report_panel(BITMAP* target, const panel_text* texts, int count, bool anew) {
    if (!gfx_is_back_buffer(target)) return;
    gfx_track_changes();
    if (anew)
        for (const area& f : panel.fills) gfx_changed(f.x, f.y, f.w, f.h);
    for (int i = 0; i < count; i++) {
        bool outside = anew;
        for (int o = 0; o < panel.outside_count && !outside; o++)
            outside = overlap(texts[i].reach, panel.outside[o]);
        const area& r = texts[i].reach;
        if (outside) gfx_changed(r.x, r.y, r.w, r.h);
    }
}

void draw_score(BITMAP* target, const std::vector<int>* scores, int current) {
    if (target == framed_target) framed_target = nullptr;
    panel_text texts[panel_rows + 2];
    int count = panel_texts(texts, target, scores, current);
    if (same_panel(target, scores, current)) {
        redraw_panel(target, texts, count);
        report_panel(target, texts, count, false);
        return;
    }
    const screen_rect frame = score_frame;
    screen_rect shadow = score_shadow, sheet = score_sheet;
    shadow.bottom += score_panel_lines * fh;
    sheet.bottom += score_panel_lines * fh;
    const screen_rect* fills[3] = {&frame, &shadow, &sheet};
    const int colours[3] = {colour(score_frame_colour), colour(black), colour(score_sheet_colour)};
    for (int i = 0; i < 3; i++) {
        const screen_rect& r = *fills[i];
        panel.fills[i] = filled_area(r.left, r.top, r.right, r.bottom);
        rectfill(target, r.left, r.top, r.right, r.bottom, colours[i]);
    }
    for (int i = 0; i < count; i++)
        alfont_textout_aa_ex(target, fonts[0], texts[i].text, texts[i].left, texts[i].y,
                             texts[i].colour, -1);
    remember_panel(target, scores, current);
    report_panel(target, texts, count, true);
}
