#!/usr/bin/env bash
# The scripted player's level played with the pad alone (see scripted_player.sh).
#
# Usage: bash tests/e2e/pad_player.sh [BUILD_DIR]
exec bash "$(dirname "${BASH_SOURCE[0]}")/scripted_player.sh" "${1:-build}" pad
