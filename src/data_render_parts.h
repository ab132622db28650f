// What the playfield, frame and score-panel drawing share: rectangles on
// the frame, outlined and measured text, and the cached scene with the
// sprites drawn as runs of opaque pixels. Only the drawing files use it.
#pragma once
#include <allegro.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "data_media.h"
#include "data_render.h"
#include "game.h"

extern char tmp[64];  // scratch text for numbers on screen

namespace drawing {

struct area {  // a rectangle on the frame
    int x, y, w, h;
};

bool overlap(const area& a, const area& b);

// Red text with a black outline, its left end at `left` (measured once by
// the caller, not once per pass).
void outlined_text(BITMAP* target, const char* text, int left, int y);

// Where a line of text may leave ink: glyphs can reach a little past their
// advance and above or below the line, so the measured box gets a margin.
area text_reach(int left, int y, int width);

const int scene_picture_count = 3 + palette_slots + 2 + meteor_frame_count;

// Everything the scene layer and the sprites are made from.
struct scene_source {
    int w = 0, h = 0;
    int grid[grid_columns][grid_rows] = {};
    BITMAP* pictures[scene_picture_count] = {};

    bool operator==(const scene_source& o) const {
        return w == o.w && h == o.h && std::memcmp(grid, o.grid, sizeof grid) == 0 &&
               std::memcmp(pictures, o.pictures, sizeof pictures) == 0;
    }
};

scene_source source_of(const BITMAP* target, const game* g);

// A masked picture as the runs of pixels that are not the mask colour, row
// by row: drawn by copying the runs, it leaves the same pixels as draw_sprite
// without testing each one.
struct span_sprite {
    struct run {
        int x, length;
    };
    BITMAP* picture = nullptr;
    int w = 0, h = 0;
    std::vector<int> row_start;  // h + 1 entries into runs
    std::vector<run> runs;

    void make(BITMAP* from) {
        picture = from;
        w = from->w;
        h = from->h;
        row_start.assign(1, 0);
        runs.clear();
        int mask = bitmap_mask_color(from);
        for (int y = 0; y < h; y++) {
            for (int x = 0; x < w;) {
                if (getpixel(from, x, y) == mask) {
                    x++;
                    continue;
                }
                int start = x;
                while (x < w && getpixel(from, x, y) != mask) x++;
                runs.push_back({start, x - start});
            }
            row_start.push_back(static_cast<int>(runs.size()));
        }
    }

    void draw(BITMAP* target, int x, int y) const {
        if (!is_memory_bitmap(target) || !is_memory_bitmap(picture) ||
            bitmap_color_depth(target) != bitmap_color_depth(picture)) {
            draw_sprite(target, picture, x, y);
            return;
        }
        int l = 0, t = 0, r = target->w, b = target->h;  // r and b exclusive
        if (target->clip) {
            l = std::max(l, target->cl), t = std::max(t, target->ct);
            r = std::min(r, target->cr), b = std::min(b, target->cb);
        }
        int bytes = (bitmap_color_depth(target) + 7) / 8;
        int first = std::max(0, t - y), last = std::min(h, b - y);
        for (int row = first; row < last; row++) {
            unsigned char* to = target->line[y + row];
            const unsigned char* from = picture->line[row];
            for (int i = row_start[row]; i < row_start[row + 1]; i++) {
                int from_x = std::max(runs[i].x, l - x);
                int end_x = std::min(runs[i].x + runs[i].length, r - x);
                if (end_x > from_x)
                    std::memcpy(to + (x + from_x) * bytes, from + from_x * bytes,
                                static_cast<size_t>(end_x - from_x) * bytes);
            }
        }
    }
};

struct scene_cache {
    bool valid = false;
    scene_source source;
    BITMAP* layer = nullptr;  // background, scenery rows, laid tiles, castle
    span_sprite walker;
    span_sprite meteor_frames[meteor_frame_count];
};

extern scene_cache scene;

void compose_scene(const scene_source& source);

// The keyboard and pad cursor: where it may leave ink (nothing while it is
// hidden or outside the build phase and the battle), and drawing it.
area cursor_reach(const game* g);
void draw_cursor(BITMAP* target, const game* g);
// The small control that opens the options card, part of the scenery.
void draw_options_control(BITMAP* target);

extern BITMAP* framed_target;  // the bitmap that holds `shown`, untouched since

// The score panel kept from the last score-screen frame is no longer on screen.
void forget_score_panel();

}  // namespace drawing
