// The incremental renderer: what each frame shows, which places of the back
// buffer changed since the frame before, and draw(), which hands those to
// the page manager and repaints the parts it joins them into.
#include <allegro.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "data_render_parts.h"
#include "game.h"
#include "gfx.h"
#include "media_files.h"

using namespace drawing;

// ---------------------------------------------------------------- drawing
//
// A frame is the scene (background, scenery rows, laid tiles, castle), the
// meteors and grannies over it and the overlay of the mode on top. The scene
// is composed once into a cached layer and copied with blit. The back buffer
// keeps the last frame, so a tick tells the page manager where something
// moved or a shown value changed, and repaints the parts the page manager
// joins those places into, which are the parts it sends. Every repainted
// part is drawn exactly as a full redraw would draw it: the cached scene,
// then every sprite and overlay touching the part, in the same order,
// clipped to it.

BITMAP* drawing::framed_target = nullptr;  // the bitmap that holds `shown`, untouched since

namespace {

// ---- what a frame shows

struct placed {  // a sprite where it stands
    const span_sprite* sprite;
    area at;
    bool operator==(const placed& o) const {
        return sprite == o.sprite && at.x == o.at.x && at.y == o.at.y;
    }
};

struct shown_text {
    char text[64];
    int left, width;
    area reach;
};

struct frame_record {
    int w, h, mode;
    ALFONT_FONT* font;
    int font_height;
    int stock[palette_slots];
    int selected;
    shown_text battle[4];
    int speaker;
    char lines[3][sizeof game::dialog_lines[0]];
    BITMAP* box;
    BITMAP* portrait;
    area dialog_reach;
    area cursor;  // empty while no cursor shows
    std::vector<placed> meteors, grannies;
};

frame_record shown, next_frame;

// A text of the battle overlay, measured only when it differs from the one shown.
void place_battle_text(shown_text& t, const shown_text& before, bool comparable, const char* text,
                       int index) {
    std::snprintf(t.text, sizeof t.text, "%s", text);
    int y = battle_text_places[index].y_from_top + battle_text_places[index].y_per_font_height * fh;
    if (comparable && std::strcmp(t.text, before.text) == 0) {
        t.left = before.left;
        t.width = before.width;
    } else {
        t.width = alfont_text_length(fonts[0], t.text);
        t.left = battle_text_places[index].x - t.width / 2;
    }
    t.reach = text_reach(t.left - 1, y - 1, t.width + 2);
}

bool same_dialog(const frame_record& a, const frame_record& b) {
    return a.speaker == b.speaker && a.box == b.box && a.portrait == b.portrait &&
           std::memcmp(a.lines, b.lines, sizeof a.lines) == 0;
}

area dialog_reach(const frame_record& f) {
    int top = f.h - f.box->h;
    int l = 0, t = top, r = f.box->w, b = f.h;
    auto take = [&](const area& a) {
        l = std::min(l, a.x), t = std::min(t, a.y);
        r = std::max(r, a.x + a.w), b = std::max(b, a.y + a.h);
    };
    take({dialog_portrait.x, top + dialog_portrait.y, f.portrait->w, f.portrait->h});
    for (int i = 0; i < 3; i++)
        take(text_reach(dialog_text.x, top + dialog_text.y + dialog_line_pitch * i,
                        alfont_text_length(fonts[0], f.lines[i])));
    return {l, t, r - l, b - t};
}

void place_sprites(frame_record& f, const game* g) {
    f.meteors.clear();
    BITMAP* fall = bEtc[meteor_pictures];
    BITMAP* blast = bEtc[meteor_pictures + 3];
    for (const meteor& m : g->meteors) {
        const span_sprite& s = scene.meteor_frames[m.frame()];
        f.meteors.push_back({&s, {m.getX(fall->w, blast->w), m.getY(fall->h, blast->h), s.w, s.h}});
    }
    f.grannies.clear();
    const span_sprite* s = &scene.walker;
    for (const granny& gr : g->grannies)
        f.grannies.push_back(
            {s, {static_cast<int>(gr.x) - s->w / 2, static_cast<int>(gr.y) - s->h, s->w, s->h}});
}

// Fills `f` with what this frame shows; `before` is the frame in the target.
void describe_frame(frame_record& f, const frame_record& before, bool comparable,
                    const BITMAP* target, const game* g) {
    f.w = target->w;
    f.h = target->h;
    f.mode = g->mode;
    f.font = fonts[0];
    f.font_height = fh;
    comparable = comparable && before.mode == f.mode && before.font == f.font &&
                 before.font_height == fh && before.w == f.w && before.h == f.h;
    place_sprites(f, g);
    f.cursor = cursor_reach(g);
    if (f.mode == mode_build) {
        std::memcpy(f.stock, g->stock, sizeof f.stock);
        f.selected = g->selected;
    } else if (f.mode == mode_battle) {
        std::snprintf(tmp, sizeof tmp, "%03d", g->shield);
        place_battle_text(f.battle[0], before.battle[0], comparable, "Shield Strength:", 0);
        place_battle_text(f.battle[1], before.battle[1], comparable, tmp, 1);
        std::snprintf(tmp, sizeof tmp, "%3d", g->score);
        place_battle_text(f.battle[2], before.battle[2], comparable, "Score:", 2);
        place_battle_text(f.battle[3], before.battle[3], comparable, tmp, 3);
    } else if (f.mode == mode_dialog) {
        f.speaker = g->speaker;
        f.box = bEtc[dialog_box_picture];
        f.portrait = bEtc[g->speaker];
        std::memcpy(f.lines, g->dialog_lines, sizeof f.lines);
        f.dialog_reach =
            comparable && same_dialog(f, before) ? before.dialog_reach : dialog_reach(f);
    }
}

// ---- the parts to repaint
//
// Each changed place is handed to the page manager, which joins the places
// into the parts to repaint and send; the renderer repaints those parts.
// What was drawn over the frame after it (a banner, say) is repainted with
// the next frame.

const size_t max_overdrawn = 16;  // past that, the next frame is repainted whole
std::vector<area> overdrawn;

void mark(const area& a) { gfx_changed(a.x, a.y, a.w, a.h); }

void mark_changed_sprites(const std::vector<placed>& before, const std::vector<placed>& now) {
    size_t n = std::max(before.size(), now.size());
    for (size_t i = 0; i < n; i++) {
        bool was = i < before.size(), is = i < now.size();
        if (was && is && before[i] == now[i]) continue;
        if (was) mark(before[i].at);
        if (is) mark(now[i].at);
    }
}

// Marks what differs between the frame in the target and the next one.
void mark_changes(const frame_record& before, const frame_record& now) {
    if (before.mode != now.mode || before.font != now.font ||
        before.font_height != now.font_height) {
        mark({0, 0, now.w, now.h});
        return;
    }
    mark_changed_sprites(before.meteors, now.meteors);
    mark_changed_sprites(before.grannies, now.grannies);
    const area &was = before.cursor, &is = now.cursor;
    if (was.x != is.x || was.y != is.y || was.w != is.w || was.h != is.h) {
        mark(was);
        mark(is);
    }
    if (now.mode == mode_build) {
        if (before.selected != now.selected ||
            std::memcmp(before.stock, now.stock, sizeof now.stock) != 0)
            mark({0, 0, now.w, now.h});
    } else if (now.mode == mode_battle) {
        for (int i = 0; i < 4; i++)
            if (std::strcmp(before.battle[i].text, now.battle[i].text) != 0) {
                mark(before.battle[i].reach);
                mark(now.battle[i].reach);
            }
    } else if (now.mode == mode_dialog) {
        if (!same_dialog(before, now)) {
            mark(before.dialog_reach);
            mark(now.dialog_reach);
        }
    }
}

void draw_overlapping(BITMAP* target, const std::vector<placed>& sprites, const area& part) {
    for (const placed& p : sprites)
        if (overlap(p.at, part)) p.sprite->draw(target, p.at.x, p.at.y);
}

// One part of the frame, drawn as the whole frame would draw it there.
void paint(BITMAP* target, const game* g, const frame_record& f, const area& part) {
    blit(scene.layer, target, part.x, part.y, part.x, part.y, part.w, part.h);
    int cl, ct, cr, cb;
    get_clip_rect(target, &cl, &ct, &cr, &cb);
    set_clip_rect(target, part.x, part.y, part.x + part.w - 1, part.y + part.h - 1);
    draw_overlapping(target, f.meteors, part);
    draw_overlapping(target, f.grannies, part);
    switch (f.mode) {
        case mode_build: draw_build_overlay(target, g); break;
        case mode_battle:
            for (int i = 0; i < 4; i++)
                if (overlap(f.battle[i].reach, part))
                    outlined_text(target, f.battle[i].text, f.battle[i].left,
                                  battle_text_places[i].y_from_top +
                                      battle_text_places[i].y_per_font_height * fh);
            break;
        case mode_dialog:
            if (overlap(f.dialog_reach, part)) draw_dialog(target, g);
            break;
        default: break;
    }
    if (f.cursor.w && overlap(f.cursor, part)) draw_cursor(target, g);
    set_clip_rect(target, cl, ct, cr, cb);
}

}  // namespace

void invalidate_scene() {
    if (scene.layer) destroy_bitmap(scene.layer);
    scene.layer = nullptr;
    scene.valid = false;
    framed_target = nullptr;
    forget_score_panel();
}

void frame_overdrawn(BITMAP* target, int x, int y, int w, int h) {
    if (target == framed_target) {
        if (overdrawn.size() == max_overdrawn) framed_target = nullptr;
        overdrawn.push_back({x, y, w, h});
    }
    forget_score_panel();
    if (gfx_is_back_buffer(target)) gfx_changed(x, y, w, h);
}

void draw(BITMAP* target, const game* g) {
    scene_source source = source_of(target, g);
    bool recomposed = !scene.valid || !(source == scene.source);
    if (recomposed) compose_scene(source);
    forget_score_panel();

    // Only the page manager's back buffer is known to keep the last frame.
    bool kept = !recomposed && target == framed_target;
    describe_frame(next_frame, shown, kept, target, g);
    const area whole = {0, 0, target->w, target->h};
    if (gfx_is_back_buffer(target)) {
        gfx_track_changes();
        for (const area& a : overdrawn) mark(a);
        if (kept)
            mark_changes(shown, next_frame);
        else
            mark(whole);
        int count;
        const gfx_rect* parts = gfx_changed_rects(&count);
        for (int i = 0; i < count; i++)
            paint(target, g, next_frame, {parts[i].x, parts[i].y, parts[i].w, parts[i].h});
        framed_target = target;
    } else {
        paint(target, g, next_frame, whole);
        framed_target = nullptr;
    }
    overdrawn.clear();
    std::swap(shown, next_frame);
}
