// What moves in a battle: the meteors, the grannies and the magnet field
// that pushes and pulls them.
#include <cmath>
#include <cstdlib>

#include "data_handler.h"
#include "game.h"

// ---------------------------------------------------------------- meteors

meteor::meteor(int click_x, int click_y)
    : timer(static_cast<int>(click_y / static_cast<double>(meteor_step_down))),
      frame_div(meteor_fall_frame_ticks),
      vx(meteor_step_left),
      vy(meteor_step_down),
      x(static_cast<float>(click_x + meteor_step_left * timer)),
      y(0.0f),
      state(meteor_falling) {}

int meteor::update() {
    if (state == meteor_falling) {
        if (timer != 0) {
            timer--;
            x -= vx;
            y += vy;
        } else {  // landed: it explodes where it stands
            state = meteor_exploding;
            timer = meteor_blast_timer;
            frame_div = meteor_blast_frame_ticks;
            play(sound_blast);
        }
    } else if (state == meteor_exploding) {
        if (timer != 0)
            timer--;
        else
            state = meteor_done;
    }
    return state;
}

int meteor::frame() const {
    if (state == meteor_falling) return (timer / frame_div) % 3;
    return (timer / frame_div) % 4 + 3;
}

// A falling meteor hangs above its head; an explosion is centred on it.
int meteor::getX(int fall_w, int blast_w) const {
    return static_cast<int>(x) - (state == meteor_falling ? fall_w : blast_w) / 2;
}
int meteor::getY(int fall_h, int blast_h) const {
    return static_cast<int>(y) - (state == meteor_falling ? fall_h : blast_h / 2);
}

// ---------------------------------------------------------------- grannies

granny::granny() : vx(0.0f), vy(0.0f), x(0.0f), y(0.0f), state(granny_walking) {
    // Height first, then speed: the order of the draws keeps battles replayable.
    y = static_cast<float>(feet_top + std::rand() % feet_spawn_rows);
    vx = static_cast<float>((std::rand() % 4) / 10.0 + 0.6);
}

int granny::update(int tile, float force_x, float force_y) {
    if (state != granny_walking) return state;
    // The magnets shift the granny this tick; they do not build up speed.
    float moved_x = x + force_x;
    float moved_y = y + force_y;
    switch (tile) {
        case slow_tile:
            x = moved_x + vx / slow_tile_divisor;
            y = moved_y + vy;
            break;
        case up_tile:
            x = moved_x + vx;
            y = moved_y + (vy - tile_drift);
            break;
        case down_tile:
            x = moved_x + vx;
            y = moved_y + (vy + tile_drift);
            break;
        default:
            x = moved_x + vx;
            y = moved_y + vy;
            break;
    }
    if (x > castle_line) state = granny_at_castle;
    if (y < feet_top || y > feet_bottom) {  // walked off the top or bottom: gone
        state = granny_gone;
        return granny_gone;
    }
    return state;
}

namespace {

struct magnet_kind {
    float reach_from;  // no force this close or closer
    double falloff;    // force = magnet_power / (distance^falloff * divisor)
    double divisor;
};
const magnet_kind repulse = {repulse_reach_from, repulse_falloff, repulse_divisor};
const magnet_kind attract = {attract_reach_from, attract_falloff, attract_divisor};

// The force of a magnet at (mx, my) on a granny at (gx, gy), pointing from
// her to the magnet; false when she stands within its reach_from.
bool pull_of(const magnet_kind& kind, int mx, int my, int gx, int gy, float* pull_x,
             float* pull_y) {
    float dx = static_cast<float>(mx - gx);
    float dy = static_cast<float>(my - gy);
    float d = std::sqrt(dx * dx + dy * dy);
    if (!(d > kind.reach_from)) return false;
    float force = magnet_power / (std::pow(d, kind.falloff) * kind.divisor);
    *pull_x = force * dx / d;
    *pull_y = force * dy / d;
    return true;
}

}  // namespace

// The repulse magnet is strong close up and fades fast; the attract magnet
// is weaker close up and reaches further.
void magnet_adjust(int attract_x, int attract_y, int repulse_x, int repulse_y, int granny_x,
                   int granny_y, float* force_x, float* force_y) {
    float pull_x, pull_y;
    if (repulse_x != -1 && repulse_y != -1 &&
        pull_of(repulse, repulse_x, repulse_y, granny_x, granny_y, &pull_x, &pull_y)) {
        *force_x = -pull_x;  // pushes away
        *force_y = -pull_y;
    }
    if (attract_x != -1 && attract_y != -1 &&
        pull_of(attract, attract_x, attract_y, granny_x, granny_y, &pull_x, &pull_y)) {
        *force_x += pull_x;
        *force_y += pull_y;
    }
}
