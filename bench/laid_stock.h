// The grid and the crowded battle the benchmarks and the CPU and latency
// probes play on.
#pragma once
#include "game.h"

// The player's whole stock on the grid, magnets in the left column.
inline void lay_stock(game& g) {
    g.grid[1][1] = slow_tile;
    g.grid[4][4] = slow_tile;
    g.grid[2][4] = up_tile;
    g.grid[5][2] = up_tile;
    g.grid[3][1] = down_tile;
    g.grid[5][5] = down_tile;
    g.grid[0][0] = repulse_tile;
    g.grid[0][5] = attract_tile;
    for (int& s : g.stock) s = 0;
}

// The magnets where the battle's start puts them for the laid ones.
inline void aim_laid_magnets(game& g) {
    offset repulse = magnet_point(0, 0, repulse_anchor);
    offset attract = magnet_point(0, 5, attract_anchor);
    g.repulse_x = repulse.x, g.repulse_y = repulse.y;
    g.attract_x = attract.x, g.attract_y = attract.y;
}

// A battle on the laid grid at a level where nobody comes on their own, so
// the crowd the caller sends in is held there.
inline void hold_crowded_battle(game& g) {
    g.level = 23;
    g.reset(23);
    lay_stock(g);
    aim_laid_magnets(g);
    g.mode = mode_battle;
}
