#!/usr/bin/env bash
# The scripted player's level played with the keyboard alone (see scripted_player.sh).
#
# Usage: bash tests/e2e/keyboard_player.sh [BUILD_DIR]
exec bash "$(dirname "${BASH_SOURCE[0]}")/scripted_player.sh" "${1:-build}" keys
