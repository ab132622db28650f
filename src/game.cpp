// The game record and its tick: the level reset, the build phase, the
// battle step, and the main loop that runs them 60 times a second.
#include "game.h"

#include <allegro.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include "data_handler.h"
#include "gfx.h"
#include "main.h"

std::atomic<int> quit{0};

namespace {

// Screen regions, in screen pixels. The palette is measured from the screen
// width; the rest stands where the pictures are drawn.
bool in_palette(int x, int y, int screen_w) {
    return x > screen_w - palette_left_from_right && x < screen_w - palette_right_from_right &&
           y > palette_top && y <= palette_bottom;
}
bool in_start_button(int x, int y) {
    return x > start_button.left && x <= start_button.right && y > start_button.top &&
           y <= start_button.bottom;
}
bool in_grid(int x, int y) { return x > 0 && x < field_width && y > field_top && y < field_bottom; }
bool in_firing_region(int x, int y) {
    return x > 0 && x <= firing_right && y > field_top && y < field_bottom;
}

}  // namespace

std::mutex scores_guard;
static game* running_game = nullptr;  // the game run() plays, under scores_guard

bool should_stop() {
    // Held now, or pressed while a long tick (a switch of the screen mode)
    // held the loop up.
    bool escape = take_escape_press() || key[KEY_ESC];
    return close_button_pressed != 0 || escape || quit != 0 || stop_signal != 0;
}

// ---------------------------------------------------------------- the record

game::game() : level(0), score(0) {
    reset(0);
    load_highscores();
}

game::~game() {
    save_highscores();
    grannies.clear();
    meteors.clear();
}

void game::reset(int new_level) {
    mouse_down = false;
    key_delay = 0;
    repulse_x = repulse_y = attract_x = attract_y = -1;
    time_left = battle_time = battle_ticks(new_level);
    std::memset(grid, 0, sizeof grid);
    mode = mode_build;
    std::copy(stock_at_reset, stock_at_reset + palette_slots, stock);
    selected = 0;
    speaker = 1;
    scene = 0;
    scene_step = 0;
    shield = full_shield;
    for (auto& line : dialog_lines) std::strcpy(line, " ");
    grannies.clear();
    meteors.clear();
}

int game::update() {
    take_input();
    return step();
}

int game::step() {
    if (key_delay != 0) key_delay--;
    if (shield < full_shield && std::rand() % shield_mend_odds == 0) shield++;
    int mode_before = mode;
    switch (mode) {
        case mode_build: build_step(); break;
        case mode_battle: battle_step(); break;
        case mode_dialog:
            // A button let go in the story is let go for the play after it:
            // the first click back in the build phase or the battle counts.
            if (!input.left) mouse_down = false;
            dialog_step();
            break;
        default: break;
    }
    // The dialog that a click or a battle's end opens shows in the same
    // tick; the key of that tick (Space on START, a shot as the battle ends)
    // was meant for the play, not as an answer.
    if (mode_before != mode_dialog && mode == mode_dialog) {
        input.any_key = false;
        story_page_shown = -1;  // a new story: its first page waits for clicks
        dialog_step();
    }
    return 0;
}

// Follows the left button; true only in the tick it goes down.
bool game::new_press() {
    if (!input.left) {
        mouse_down = false;
        return false;
    }
    if (mouse_down) return false;
    mouse_down = true;
    return true;
}

// ---------------------------------------------------------------- build phase

void game::build_step() {
    if (!new_press()) return;
    play(sound_click);
    int x = input.x, y = input.y;
    if (in_palette(x, y, screen_width)) selected = (y - palette_top) / slot_pitch;
    if (in_start_button(x, y)) {
        mode = mode_dialog;
        scene = scene_intro;
        scene_step = 0;
        return;
    }
    if (!in_grid(x, y)) return;
    int& cell = grid[x / cell_size][(y - field_top) / cell_size];
    int slot = selected;
    if (cell == slot + 1) {  // the selected kind: lift it back into the stock
        stock[slot]++;
        cell = bare_ground;
    } else if (stock[slot] > 0) {
        if (cell != bare_ground) stock[cell - 1]++;  // swapped tile goes home
        stock[slot]--;
        cell = slot + 1;
    }
}

void game::place_magnets() {
    for (int column = 0; column < grid_columns; column++) {
        for (int row = 0; row < grid_rows; row++) {
            if (grid[column][row] == repulse_tile) {
                offset at = magnet_point(column, row, repulse_anchor);
                repulse_x = at.x;
                repulse_y = at.y;
            } else if (grid[column][row] == attract_tile) {
                offset at = magnet_point(column, row, attract_anchor);
                attract_x = at.x;
                attract_y = at.y;
            }
        }
    }
}

// ---------------------------------------------------------------- battle

void game::battle_step() {
    if (time_left != 0) time_left--;

    // The region is checked, and the meteor started, at the one point this tick's input holds.
    if (new_press() && in_firing_region(input.x, input.y)) {
        meteors.push_back(meteor(input.x, input.y));
        play(sound_shot);
        score--;
    }

    if (time_left != 0) {
        // The last quarter of the battle brings grannies faster.
        int r = time_left < battle_time / late_part_of_battle ? std::rand() % late_granny_odds
                                                              : std::rand() % granny_odds;
        if (r == level) grannies.push_back(granny());
    }

    move_grannies();
    for (auto& m : meteors) m.update();
    explode_grannies();
    erase_finished();

    if (time_left == 0 && grannies.empty()) {
        mode = mode_dialog;
        scene = scene_won;
        scene_step = 0;
        play(sound_won);
    }
    if (shield <= 0) {  // a lost battle outweighs a won one in the same tick
        mode = mode_dialog;
        scene = scene_lost;
        scene_step = 0;
    }
}

void game::move_grannies() {
    for (auto& g : grannies) {
        // Rows are counted from seven pixels below the top of the field.
        int column = static_cast<int>(g.x) / cell_size;
        int row = static_cast<int>(g.y - feet_top) / cell_size;
        if (column < 0 || column >= grid_columns || row < 0 || row >= grid_rows) {
            // Kept on purpose: the game's one written diagnostic, on standard
            // output, says where a granny stands outside the grid (the repulse
            // magnet can throw her out); she walks on as on bare ground.
            std::printf("\nERROR %d %d", column, row);
            if (g.state == granny_walking) g.update(bare_ground, 0, 0);
            continue;
        }
        float force_x = 0, force_y = 0;
        magnet_adjust(attract_x, attract_y, repulse_x, repulse_y, static_cast<int>(g.x),
                      static_cast<int>(g.y), &force_x, &force_y);
        g.update(grid[column][row], force_x, force_y);
        if (g.state == granny_at_castle && std::rand() % castle_wear_odds == 0) shield--;
    }
}

// An explosion reaches blast_reach pixels each way from a point blast_drop below its centre.
void game::explode_grannies() {
    for (const auto& m : meteors) {
        if (m.state != meteor_exploding) continue;
        for (auto& g : grannies) {
            int dx = static_cast<int>(g.x - m.x);
            int dy = static_cast<int>(g.y - (m.y + blast_drop));
            if (dx >= -blast_reach && dx <= blast_reach && dy >= -blast_reach && dy <= blast_reach)
                g.state = granny_gone;
        }
    }
}

void game::erase_finished() {
    auto gone = std::remove_if(grannies.begin(), grannies.end(),
                               [](const granny& g) { return g.state == granny_gone; });
    score += static_cast<int>(grannies.end() - gone);  // a point for each granny gone
    grannies.erase(gone, grannies.end());
    meteors.erase(std::remove_if(meteors.begin(), meteors.end(),
                                 [](const meteor& m) { return m.state == meteor_done; }),
                  meteors.end());
}

// ---------------------------------------------------------------- main loop

namespace {

// How long the sound note shows after M: about a second.
const int sound_note_ticks = 60;

}  // namespace

// The keys the game adds come out of the keyboard buffer first, so that the
// snapshot never sees them as "any key".
void tick_loop::take_added_keys_and_input() {
    game& g = record;
    bool in_play = g.mode == mode_build || g.mode == mode_battle;
    added_keys k = take_added_keys(in_play || pause.active());
    g.take_input(pause.active());
    if (k.fullscreen) switch_fullscreen();
    if (k.sound) {
        set_sound_on(!sound_on());
        remember_choice("mute", !sound_on());
        sound_note_left = sound_note_ticks;
    }
    if ((k.help || g.input.help) && in_play) pause.open_help();
    // The options card: O, the pad's Y, or a click on its control.
    bool was_down = std::exchange(button_was_down, g.input.left);
    bool clicked = g.input.left && !was_down;
    bool control_clicked = clicked && g.input.x >= options_control.left &&
                           g.input.x <= options_control.right && g.input.y >= options_control.top &&
                           g.input.y <= options_control.bottom;
    if (!(in_play || pause.active())) return;
    if (pause.options_shown() && (k.options || g.input.options))
        pause.close_options();
    else if (k.options || g.input.options || control_clicked)
        pause.open_options();
}

bool tick_loop::tick() {
    if (waits) wait_for_tick();
    gfx_pump_input();
    read_mouse();
    if (sound_note_left > 0) sound_note_left--;  // the note of an M pressed in this tick shows
    take_added_keys_and_input();
    if (before_step) before_step(record);
    bool stepped = !pause.hold(record);
    if (stepped) record.step();
    if (after_step) after_step(record);
    draw(bDraw, &record);
    if (pause.options_shown())
        draw_options_card(bDraw, pause.card().view());
    else if (pause.help_shown())
        draw_help_card(bDraw);
    else if (pause.active())
        draw_pause_banner(bDraw);
    if (sound_note_left > 0) draw_sound_note(bDraw, sound_on());
    gfx_update();
    return stepped;
}

void run(bool help_first) {
    game g;
    {
        std::lock_guard<std::mutex> lock(scores_guard);
        running_game = &g;
    }
    g.enter_test_score();
    tick_loop loop(g);
    if (help_first) loop.pause.open_help();
    while (!should_stop()) loop.tick();
    std::lock_guard<std::mutex> lock(scores_guard);
    running_game = nullptr;
}

void save_running_game_scores() {
    std::lock_guard<std::mutex> lock(scores_guard);
    if (running_game) running_game->save_highscores();
}
