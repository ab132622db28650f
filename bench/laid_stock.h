// The grid the benchmarks and the CPU probe play on.
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
