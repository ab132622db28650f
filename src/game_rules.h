// The numbers of the rules: the stock, the battle's clock, how often
// grannies come, how a granny moves, the shield, the meteors and the
// story's score changes. The rules, the tests and the scripted player
// (through layout.json) read them from here; where things stand is in
// layout.h.
#pragma once

#include "layout.h"

// ---- the build phase

// Tiles of each palette slot at the start of a level.
constexpr int stock_at_reset[palette_slots] = {2, 2, 2, 1, 1};

// ---- the battle

// A battle lasts battle_ticks_per_level * level + battle_ticks_at_level_0 ticks.
const int battle_ticks_per_level = 600;
const int battle_ticks_at_level_0 = 4200;
constexpr int battle_ticks(int level) {
    return battle_ticks_per_level * level + battle_ticks_at_level_0;
}
// Each tick a granny comes when rand() % odds equals the level; in the last
// quarter of the clock the odds are shorter.
const int granny_odds = 23;
const int late_granny_odds = 13;
const int late_part_of_battle = 4;  // the last 1/4 of the clock

// ---- how a granny moves

// force = magnet_power / (distance^falloff * divisor), nothing this close or closer
const double magnet_power = 1000;
const double repulse_falloff = 1.87;
const double repulse_divisor = 1.15;
const float repulse_reach_from = 3;
const double attract_falloff = 1.2;
const double attract_divisor = 20;
const float attract_reach_from = 7;
const double slow_tile_divisor = 2.5;  // the walking speed is divided by this on a slow tile
const double tile_drift = 0.65;        // pixels an up or down tile moves her each tick
// An explosion reaches this far each way from a point blast_drop below its centre.
const int blast_reach = 24;
const int blast_drop = 5;

// ---- the shield

const int full_shield = 666;
const int shield_mend_odds = 66;  // while below full, 1 point back with a chance of 1/66 a tick
const int castle_wear_odds = 30;  // each granny at the castle takes 1 point with a chance of 1/30

// ---- meteors

const int meteor_step_left = 2;         // pixels a falling meteor moves left each tick
const int meteor_step_down = 6;         // and down: it lands click_y / 6 ticks after the click
const int meteor_fall_frame_ticks = 5;  // ticks per flame picture
const int meteor_blast_timer = 40;      // the explosion counts down from here: 41 ticks
const int meteor_blast_frame_ticks = 10;

// ---- the story

const int dialog_key_delay = 5;  // ticks between two keys a dialog takes
// A click this soon on a new page is not taken: a player still firing as
// the battle ends must not skip what the story says (half a second).
const int dialog_click_wait = 30;
const int story_score_change = 50;  // begging costs it, facing the end earns it
