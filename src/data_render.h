// The renderer, beyond the drawing calls data_handler.h gives the rest of
// the game: the pieces a frame is made of, and keeping the frame it drew.
#pragma once
#include <allegro.h>

#include "data_handler.h"

void draw_dialog(BITMAP* target, const game* g);
// The build phase's grid lines and palette panel, drawn whole over the field.
void draw_build_overlay(BITMAP* target, const game* g);
// Frees the help card's picture (it is made again when next shown).
void forget_help_card();

// Forgets the composed scene and the frame kept in the back buffer: call it
// whenever a picture of the media tables is replaced or changed. (Changes in
// the game record are found by draw itself.)
void invalidate_scene();
// Something other than draw painted over the frame in target (a banner drawn
// last, say): the part is presented with this frame and repainted with the next.
void frame_overdrawn(BITMAP* target, int x, int y, int w, int h);
