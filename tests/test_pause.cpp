// The pause: a paused tick is no game tick, so a paused battle stands still
// and, once resumed, plays on exactly as if it had never stopped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "alfont.h"
#include "data_handler.h"
#include "game_fixture.h"

namespace {

// Everything of the record that a tick can move.
std::vector<float> snapshot(const game& g) {
    std::vector<float> s = {float(g.mode), float(g.time_left), float(g.score), float(g.shield),
                            float(g.scene)};
    for (const granny& gr : g.grannies) s.insert(s.end(), {gr.x, gr.y, float(gr.state)});
    for (const meteor& m : g.meteors) s.insert(s.end(), {m.x, m.y, float(m.timer)});
    return s;
}

class Pause : public GameTest {
protected:
    std::unique_ptr<tick_loop> loop;
    pause_control& pause() { return loop->pause; }
    // The loop draws: with the placeholders.
    void SetUp() override {
        GameTest::SetUp();
        alfont_init();
        load_data();
        fresh_loop();
    }
    void TearDown() override {
        loop.reset();
        unload_data();
        alfont_exit();
        GameTest::TearDown();
    }
    void fresh_loop() {
        loop = std::make_unique<tick_loop>(*g);
        loop->waits = false;
    }

    // One main-loop tick: the pause, or else one game tick. `pressed` is
    // pressed in this tick, `held` stays down and repeats. True for a game tick.
    bool loop_tick(int pressed, int held = 0) {
        for (int k : {pressed, held})
            if (k) {
                key[k] = 1;
                simulate_keypress(k << 8);
            }
        bool stepped = loop->tick();
        if (pressed) key[pressed] = 0;
        return stepped;
    }
    // The record after every game tick of a battle with a shot every 50 game
    // ticks. With pause_at >= 0, P goes down at that main-loop tick and is
    // held for half a second; 600 ticks later Space resumes.
    std::vector<std::vector<float>> battle(int pause_at) {
        std::srand(7);
        g = std::make_unique<game>();
        fresh_loop();
        start_battle();
        std::vector<std::vector<float>> record;
        int paused_ticks = 0;
        for (int loop = 0; record.size() < 1500 && g->mode == mode_battle; loop++) {
            size_t n = record.size();
            mouse_x = 60 + n % 300, mouse_y = 100 + n % 250;
            mouse_b = n % 50 == 0;
            int since = pause_at < 0 ? -1 : loop - pause_at;
            int pressed = since == 0 ? KEY_P : since == 600 ? KEY_SPACE : 0;
            int held = since > 0 && since < 30 ? KEY_P : 0;
            if (loop_tick(pressed, held)) {
                record.push_back(snapshot(*g));
            } else {
                paused_ticks++;
                if (n > 0) {
                    EXPECT_EQ(snapshot(*g), record.back()) << "paused tick " << since;
                }
            }
            if (since == 29) key[KEY_P] = 0;
        }
        mouse_b = 0;
        EXPECT_EQ(paused_ticks, pause_at < 0 ? 0 : 600);
        return record;
    }
};

TEST_F(Pause, APausedBattleStandsStillAndResumesAsIfNeverPaused) {
    auto straight = battle(-1);
    auto paused = battle(300);
    ASSERT_EQ(straight.size(), 1500u);
    ASSERT_EQ(straight.size(), paused.size());
    for (size_t t = 0; t < straight.size(); t++) ASSERT_EQ(straight[t], paused[t]) << "tick " << t;
}

// P answers a dialog like any key; focus loss pauses the battle only.
TEST_F(Pause, DialogsKeepTheirKeysAndOnlyABattlePausesOnFocusLoss) {
    press_start();
    ASSERT_EQ(g->mode, mode_dialog);
    key[KEY_Y] = 1;
    EXPECT_TRUE(loop_tick(KEY_P));  // taken as an answer, with Y held: Y
    key[KEY_Y] = 0;
    EXPECT_EQ(g->scene_step, 1);
    EXPECT_FALSE(pause().active());

    g->reset(0);
    window_lost_focus = 1;
    EXPECT_TRUE(loop_tick(0));
    EXPECT_FALSE(pause().active()) << "the build phase waits for nobody";
    start_battle();
    window_lost_focus = 1;
    EXPECT_FALSE(loop_tick(0));
    for (int i = 0; i < 100; i++) EXPECT_FALSE(loop_tick(0));
    EXPECT_TRUE(loop_tick(KEY_ENTER));
    EXPECT_FALSE(pause().active());
}

// The help card holds the game and the click that closes it lays no tile;
// a key the game adds counts once however long it is held, and never
// reaches the story, where M stays an answer.
TEST_F(Pause, TheHelpCardsClickLaysNoTileAndTheAddedKeysStayOutOfTheStory) {
    auto tick = [&](int down) {  // one main-loop tick; `down` is held and repeats
        if (down) {
            key[down] = 1;
            simulate_keypress(down << 8);
        }
        loop->tick();
    };
    tick(KEY_F1);
    EXPECT_TRUE(pause().help_shown());
    loop->pause = pause_control();
    tick(KEY_F1);
    EXPECT_FALSE(pause().help_shown()) << "a held key counts once";
    key[KEY_F1] = 0;
    loop->pause.open_help();
    mouse_x = 100, mouse_y = 100, mouse_b = 1;
    for (int i = 0; i < 5; i++) tick(0);
    EXPECT_FALSE(pause().help_shown());
    EXPECT_TRUE(pause().active()) << "held until the button is let go";
    mouse_b = 0;
    tick(0);
    EXPECT_FALSE(pause().active());
    EXPECT_EQ(g->grid[1][0], bare_ground) << "the closing click laid a tile";
    mouse_b = 1;
    tick(0);
    mouse_b = 0;
    tick(0);
    EXPECT_EQ(g->grid[1][0], slow_tile);
    loop->pause.open_help();
    tap_between_ticks(2 * cell_size + 10, 100);
    tick(0);
    EXPECT_FALSE(pause().help_shown()) << "a tap closes the card";
    tick(0);
    EXPECT_FALSE(pause().active());
    EXPECT_EQ(g->grid[2][0], bare_ground) << "the closing tap laid a tile";

    // In the story a key that counts starts the key delay.
    press_start();
    ASSERT_EQ(g->mode, mode_dialog);
    for (int i = 0; i < 5; i++) tick(0);
    for (int k : {KEY_F1, KEY_F11}) {
        tick(k);
        key[k] = 0;
    }
    EXPECT_EQ(g->key_delay, 0) << "F1 or F11 reached the story";
    EXPECT_FALSE(pause().active());
    bool sound_before = sound_on();
    tick(KEY_M);
    key[KEY_M] = 0;
    EXPECT_EQ(sound_on(), sound_before);
    EXPECT_EQ(g->key_delay, dialog_key_delay) << "M is a key of the story";
}

// The options card holds the game like the help card and changes each
// volume at once, through Allegro's own (where the sound and the browser
// read it), remembering it; a click on its control opens it and a click
// beside it closes it without laying a tile.
TEST_F(Pause, TheOptionsCardSetsTheVolumesAtOnceAndRemembersThem) {
    char folder[] = "/tmp/tollybrook-options.XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    setenv("XDG_CONFIG_HOME", folder, 1);
    set_volumes(100, 100);
    auto remembered = [] {
        std::stringstream file;
        file << std::ifstream(choices_file_path()).rdbuf();
        return file.str();
    };
    auto click_at = [&](int x, int y) {
        mouse_x = x, mouse_y = y, mouse_b = 1;
        loop_tick(0);
        mouse_b = 0;
        loop_tick(0);
    };
    EXPECT_FALSE(loop_tick(KEY_O));
    ASSERT_TRUE(pause().options_shown());
    for (int k : {int(KEY_LEFT), 0, int(KEY_LEFT), int(KEY_DOWN)}) loop_tick(k);
    sounds_played.clear();
    loop_tick(KEY_MINUS);
    int digital = -1, midi = -1;
    get_volume(&digital, &midi);
    EXPECT_EQ(music_volume(), 80);
    EXPECT_EQ(effects_volume(), 90);
    EXPECT_EQ(midi, 80 * 255 / 100);
    EXPECT_EQ(digital, 90 * 255 / 100);
    EXPECT_EQ(sounds_played, std::vector<int>{sound_click}) << "an effect at its new volume";
    EXPECT_NE(remembered().find("music_volume = 80\n"), std::string::npos) << remembered();
    EXPECT_NE(remembered().find("effects_volume = 90\n"), std::string::npos) << remembered();
    // The music row's raise button, by a click.
    const int raise_x = options_card_box.left + options_raise_x + options_button_width / 2;
    click_at(raise_x, options_first_row_y + options_row_height / 2);
    EXPECT_EQ(music_volume(), 90);
    EXPECT_TRUE(pause().options_shown());
    EXPECT_TRUE(loop_tick(KEY_X)) << "a key that is not the card's closes it and plays on";
    EXPECT_FALSE(pause().active());

    // The control in the ground strip opens it, and lays nothing; a click
    // beside the card closes it, and lays nothing either.
    click_at(options_control.left + 4, options_control.top + 4);
    EXPECT_TRUE(pause().options_shown());
    click_at(96, 80);
    EXPECT_FALSE(pause().active());
    EXPECT_EQ(g->grid[1][0], bare_ground);
    // Over the help card O brings the options card; O closes it again.
    loop_tick(KEY_F1);
    loop_tick(KEY_O);
    EXPECT_TRUE(pause().options_shown());
    EXPECT_FALSE(pause().help_shown());
    loop_tick(0);
    loop_tick(KEY_O);
    EXPECT_FALSE(pause().active());
    set_volumes(100, 100);
    unsetenv("XDG_CONFIG_HOME");
    std::system((std::string("rm -rf ") + folder).c_str());
}

// F11 and Alt+Enter are counted as they go down, on the input thread, and
// each press is a switch, one a tick: a key's repeats count once, presses
// that come within one tick all count, plain Enter is no switch. Escape is
// caught as it goes down too.
TEST_F(Pause, EveryFullscreenPressIsOneSwitchInTurn) {
    take_added_keys(false);  // the counter listens from now on
    auto press = [](int scancode, int repeats = 0) {
        for (int i = 0; i <= repeats; i++) keyboard_lowlevel_callback(scancode);
        keyboard_lowlevel_callback(scancode | 0x80);
    };
    auto switches = [] {
        int n = 0;
        for (int tick = 0; tick < 10; tick++) n += take_added_keys(false).fullscreen;
        return n;
    };
    press(KEY_F11, 30);
    press(KEY_ENTER);
    EXPECT_EQ(switches(), 1) << "a held F11 repeats; a plain Enter";
    key_shifts |= KB_ALT_FLAG;
    press(KEY_F11);
    press(KEY_ENTER, 5);
    press(KEY_F11);
    press(KEY_ENTER);
    key_shifts &= ~KB_ALT_FLAG;
    EXPECT_EQ(switches(), 4) << "four presses in one tick";

    // An Escape that came and went while a switch held the tick up ends
    // the game all the same, at the next look.
    press(KEY_ESC);
    EXPECT_TRUE(should_stop());
    EXPECT_FALSE(should_stop()) << "an Escape taken stays taken";
}

// Alt+Enter is a switch and never also an Enter, whichever key is let go
// first: an Enter still held (and repeating) after Alt went up clicks
// nothing and turns no page of the story.
TEST_F(Pause, AltEnterIsNeverAlsoAnEnterWhicheverKeyGoesUpFirst) {
    auto tick = [&] {
        take_added_keys(true);
        g->update();
    };
    auto enter = [](bool down) {
        key[KEY_ENTER] = down;
        keyboard_lowlevel_callback(down ? KEY_ENTER : KEY_ENTER | 0x80);
        if (down) simulate_keypress(KEY_ENTER << 8);
    };
    auto alt_enter = [&](bool alt_first) {
        key_shifts |= KB_ALT_FLAG;
        enter(true);
        tick();
        if (alt_first)
            key_shifts &= ~KB_ALT_FLAG;
        else
            enter(false);
        for (int i = 0; i < 5; i++) {
            if (key[KEY_ENTER]) simulate_keypress(KEY_ENTER << 8);  // the key's repeats
            tick();
        }
        if (alt_first)
            enter(false);
        else
            key_shifts &= ~KB_ALT_FLAG;
        tick();
    };
    tick();  // the counter listens from now on
    key[KEY_RIGHT] = 1;
    tick();
    key[KEY_RIGHT] = 0;
    tick();
    ASSERT_TRUE(g->cursor.shown);
    for (bool alt_first : {true, false}) {
        alt_enter(alt_first);
        EXPECT_EQ(g->grid[0][0], bare_ground) << (alt_first ? "Alt" : "Enter") << " let go first";
    }
    enter(true);
    tick();
    enter(false);
    tick();
    EXPECT_EQ(g->grid[0][0], slow_tile) << "a plain Enter clicks";

    press_start();
    answer(KEY_Y);  // ready: the next pages turn with any key
    ASSERT_EQ(g->mode, mode_dialog);
    int step = g->scene_step;
    alt_enter(true);
    EXPECT_EQ(g->scene_step, step) << "the story took the Enter of an Alt+Enter";
}

}  // namespace
