// Where the bare loop answers a press: this square of its window takes its
// other colour. The latency probe presses there and watches it.
#pragma once

const int bare_square_x = 288, bare_square_y = 208, bare_square_size = 64;
