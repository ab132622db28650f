// A fresh game for each test, with input released and the score file gone.
#pragma once
#include <allegro.h>
#include <allegro/internal/aintern.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "game.h"
#include "harness.h"
#include "main.h"

class GameTest : public ::testing::Test {
protected:
    std::unique_ptr<game> g;

    void SetUp() override {
        remove_score_file();
        release_input();
        quit = 0;
        close_button_pressed = 0;
        sounds_played.clear();
        std::srand(1);
        g = std::make_unique<game>();
    }
    void TearDown() override {
        g.reset();
        release_input();
        quit = 0;
        remove_score_file();
    }

    // The pointer and the buttons as a mouse driver hands them to Allegro.
    static void driver_reports(int x, int y, int buttons) {
        _mouse_x = x, _mouse_y = y, _mouse_b = buttons;
        _handle_mouse_input();
    }
    // A tap: pressed at (x, y) and let go before the next tick.
    static void tap_between_ticks(int x, int y) {
        driver_reports(x, y, 1);
        driver_reports(x, y, 0);
    }
    // Presses the left button at (x, y) for one tick, then releases it for one.
    void click(int x, int y) {
        mouse_x = x;
        mouse_y = y;
        mouse_b = 1;
        g->update();
        mouse_b = 0;
        g->update();
    }
    // A key pressed in this tick: held in key[] and waiting in the buffer.
    void press(int scancode) {
        key[scancode] = 1;
        simulate_keypress(scancode << 8);
        g->update();
        key[scancode] = 0;
    }
    void idle(int ticks) {
        for (int i = 0; i < ticks; i++) g->update();
    }
    // Presses a key, then waits out the dialog's key delay.
    void answer(int scancode) {
        press(scancode);
        idle(5);
    }
    // Clicks the middle of the start button.
    void press_start() {
        click((start_button.left + start_button.right) / 2,
              (start_button.top + start_button.bottom + 1) / 2);
    }
    // Opens the battle through the pre-battle dialog.
    void start_battle() {
        press_start();
        answer(KEY_Y);
        answer(KEY_SPACE);
        answer(KEY_SPACE);
        answer(KEY_SPACE);
    }
    // Runs a score step with Enter held, so the score screen closes at once.
    void answer_score_step() {
        go_on = 1;
        key[KEY_ENTER] = 1;
        press(KEY_SPACE);
        key[KEY_ENTER] = 0;
        idle(5);
    }
};
