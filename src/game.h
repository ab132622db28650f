// The game record and everything that moves: the build phase, meteors,
// grannies, the magnet field, the battle, the story dialogs and the
// high-score table.
#pragma once
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "game_rules.h"
#include "layout.h"
#include "safe_file.h"  // replace_file_safely, which the score table saves through

// Ground codes of the grid; palette slot = code - 1.
enum { bare_ground = 0, slow_tile, up_tile, down_tile, repulse_tile, attract_tile };

enum { mode_build = 0, mode_battle = 1, mode_dialog = 2 };

// The story's scenes: before the battle, after a won one, after a lost one.
enum { scene_intro = 0, scene_won = 1, scene_lost = 2 };
const int scene_count = 3;

// A state 0 entity is erased in the tick it gets there.
enum { meteor_done = 0, meteor_falling = 1, meteor_exploding = 2 };
enum { granny_gone = 0, granny_walking = 1, granny_at_castle = 2 };

struct meteor {
    int timer;      // falling steps still to go, or explosion ticks left
    int frame_div;  // ticks per animation picture
    float vx;       // leftward movement per falling tick
    float vy;       // downward movement per falling tick
    float x;
    float y;
    int state;  // meteor_done, meteor_falling or meteor_exploding

    meteor(int click_x, int click_y);
    int update();
    int frame() const;
    int getX(int fall_w, int blast_w) const;
    int getY(int fall_h, int blast_h) const;
};

struct granny {
    float vx;  // walking speed to the right
    float vy;  // vertical speed, always 0 but added every step
    float x;   // feet
    float y;
    int state;  // granny_gone, granny_walking or granny_at_castle

    granny();
    int update(int tile, float force_x, float force_y);
};

void magnet_adjust(int attract_x, int attract_y, int repulse_x, int repulse_y, int granny_x,
                   int granny_y, float* force_x, float* force_y);

const int key_slots = 128;  // Allegro's key[] and its scancodes

// What the player does, sampled once at the start of a tick (after the
// window's pending events reached Allegro): the rules, the pause and the
// score screen read this and nothing else, so every part of a tick sees one
// pointer position, one set of buttons and one set of keys. It is taken
// from mouse_x, mouse_y, mouse_b and key[] (and the pad), so whatever sets
// those drives the game. No tap is lost: a button change that a mouse
// driver reported through _handle_mouse_input() since the last tick comes
// first, one a tick, and a key pressed since then counts as held.
struct input_snapshot {
    int x = 0, y = 0;          // the pointer in frame pixels, or the cursor's point while it shows
    bool left = false;         // the left button, or the cursor's click (Space, Enter, the pad's A)
    bool any_key = false;      // a key or a pad button went down since the last tick
    bool pad_pressed = false;  // a pad button went down since the last tick
    bool help = false;         // the pad's Back went down: the help card
    bool options = false;      // the pad's Y went down: the options card
    int move_x = 0, move_y = 0;  // the arrows, the pad's stick or d-pad: -1, 0 or 1 each way
    bool alt = false;            // Alt is held (Alt+Enter switches the screen)
    // key[] as it stood, with the pad's A, B and X held as Y, N and M (the
    // story's answers) and its Start as Pause.
    char keys[key_slots] = {};
};

// The keyboard and pad cursor, shown once a cursor key is used and hidden
// when the mouse moves; the renderer draws it. In the build phase it is a
// frame round the cell, palette slot or START button it stands on, in the
// battle a crosshair.
struct play_cursor {
    bool shown = false;
    int x = 0, y = 0;     // where its click lands, in frame pixels
    screen_rect frame{};  // the build phase's framed place
};

class game {
public:
    bool mouse_down;
    int key_delay;
    int repulse_x;
    int repulse_y;
    int attract_x;
    int attract_y;
    int time_left;
    int battle_time;
    int level;
    int grid[grid_columns][grid_rows];
    int mode;
    int stock[palette_slots];
    int selected;
    int speaker;
    int scene;
    int scene_step;
    int shield;
    int score;
    char dialog_lines[3][128];
    std::vector<granny> grannies;
    std::vector<meteor> meteors;
    std::vector<int> highscores;
    input_snapshot input;  // this tick's input: all the rules read of the player
    play_cursor cursor;

    game();
    ~game();
    game(const game&) = delete;
    game& operator=(const game&) = delete;

    void reset(int level);
    // Takes this tick's input into `input` (see game_input.cpp); `held`:
    // the pause holds the record, so the cursor's click keys count only once
    // let go. The tick loop calls it once a tick.
    void take_input(bool held = false);
    // One step of the record with `input`.
    int step();
    // take_input and step: one tick of the rules with the input as it stands.
    int update();

    void load_highscores();
    // Saves under the table folder's lock, merged with what other copies of
    // the game saved since: the table on disk gets the scores this run
    // entered, the ten best kept as the score screen ranks them. Written
    // only when that changes the file; `highscores` becomes what was saved.
    void save_highscores();
    void show_highscores();
    // A score joins the table (and is added to the file at the next save).
    void add_score(int value);
    // Tests only: the score $TOLLYBROOK_TEST_SCORE entered and shown at the start.
    void enter_test_score();

private:
    bool scores_unreadable = false;   // hi.dat exists but could not be read
    std::string score_path;           // where the table is kept, chosen when it is loaded
    bool save_failure_told = false;   // a failed save is reported once
    bool save_failed = false;         // the last save failed: the score screen says so
    bool table_was_there = false;     // the file existed when it was last read or saved
    std::vector<int> scores_as_read;  // the file's table when it was last read or saved
    std::vector<int> entered_scores;  // entered since then

    void tell_save_failure();

    int story_page_shown = -1;  // the scene and step the story showed last tick
    int story_page_ticks = 0;   // how long that page has shown

    struct input_memory {  // what take_input compares with the tick before
        int mouse_x = -1, mouse_y = -1, mouse_b = 0;
        int pad_buttons = 0;                  // a bit for each button held
        int build_column = 0, build_row = 0;  // the cursor's place in the build phase
        float aim_x = field_width / 2, aim_y = (field_top + field_bottom) / 2;  // in the battle
        int moving_ticks = 0;         // how long a direction has been held
        int held_x = 0, held_y = 0;   // the direction held the tick before
        bool key_click_held = false;  // a click key clicked the tick before
        int last_mode = -1;
        bool click_armed = false;  // the click keys were let go in play
    } memory;
    void move_cursor(const input_snapshot& in, bool in_play);

    bool new_press();
    void build_step();
    void battle_step();
    void dialog_step();
    void place_magnets();
    void move_grannies();
    void explode_grannies();
    void erase_finished();
    void say(int portrait, const char* line1, const char* line2, const char* line3);
    bool key_taken();
    void take_story_click();
    void carry_out(int action);  // a story step's action
};

// Where the table lives. `beside` (hi.dat beside the program) when the
// program runs from its own folder (not installed) and the player may read
// and write that file, or make it in its folder; otherwise (a table the
// player made read-only or may not read is left alone) hi.dat in
// $XDG_DATA_HOME/tollybrook (~/.local/share/tollybrook), whose folders are
// made private, started from the table beside the program the first time.
// Empty, with the reason on stderr, when there is no such place.
std::string choose_score_file(const std::string& beside);

// The hi.dat format: headerless records of score_record_size bytes, at most
// score_table_size of them, best first.
const int score_record_size = 10;
const int score_table_size = 10;
// One record: the value printed with "%9d" (clamped to what nine characters
// hold) and a zero byte. The one writer of the format; the test tools and
// the scripted player (through layout.json) check theirs against it.
std::string score_record(int value);

// How many steps a scene of the story has.
int scene_length(int scene);

// True at the steps where a key enters the score and opens the score screen.
bool opens_score_screen(int scene, int step);

// What the options card shows: the row picked, the volumes in %, the
// screen and the window's scale (scale 0: no such row).
struct options_view {
    int row = 0;
    int music = 100, effects = 100;
    bool fullscreen = false;
    int scale = 0;
};

// The options card's rows, top to bottom; the window's scale is there only
// where the window can be scaled.
enum { option_music = 0, option_effects, option_screen, option_scale };

// The options card: the music's and the effects' volumes, the window or
// full screen and the window's scale, each changed at once and remembered.
// Up and down (the arrows, the pad) pick a row, left and right (or - and +,
// or a click on a row's buttons) change it, Enter, Space or the pad's A
// switch the screen; any other key or button, or a click beside the card,
// closes it.
class options_card {
public:
    int row = option_music;
    // One tick of the open card; `clicked`: the left button went down (at
    // in.x, in.y). False when it closes.
    bool take(const input_snapshot& in, bool clicked);
    int rows() const;
    // What the card shows, for the renderer.
    options_view view() const;

private:
    int held_ticks = 0;               // how long a direction has been held
    int held_way = 0, held_move = 0;  // which
    void change(int by);
    bool click(int x, int y);
};

// The pause of the build phase and the battle. P or Pause stops the game
// record where it stands (and the music), the window losing focus stops a
// battle; any key goes on. The help card holds the game too; any key or
// click closes it, and the game stays held until that click's button is let
// go, so the click does nothing else. A paused tick is no game tick: nothing
// is drawn from the random numbers and no clock runs, so a paused game
// resumes exactly where it stood.
class pause_control {
public:
    // Called once a tick, after the input is taken and before the step; true
    // when the record must not be stepped in this tick. Reads g.input.
    bool hold(const game& g);
    bool active() const { return paused; }
    // Shows the help card (in the build phase or the battle, or at the start).
    void open_help();
    bool help_shown() const { return paused && help; }
    // Shows the options card, in place of the help card when that shows;
    // close_options goes back to play, as a key on the card does.
    void open_options();
    void close_options();
    bool options_shown() const { return paused && options; }
    const options_card& card() const { return option_rows; }

private:
    bool paused = false;
    bool help = false;
    bool options = false;
    options_card option_rows;
    int pause_key = 0;            // the key that paused, until it is let go
    bool button_held = false;     // the left button was down at the last tick
    bool awaits_release = false;  // a click closed the card: held until it is let go
    void start(int scancode);
    void stop();
};

// The keys the game adds, taken out of the keyboard buffer once a tick
// (each counts once when it goes down; every other key stays for the rules
// to read). M and O are taken only when `sound_key_counts` (in the build
// phase, the battle and the pause: in the story they are answers).
struct added_keys {
    bool help = false;        // F1
    bool sound = false;       // M
    bool fullscreen = false;  // F11 or Alt+Enter
    bool options = false;     // O
};
added_keys take_added_keys(bool sound_key_counts);
// The Enter held down is an Alt+Enter's, whether or not Alt is still held:
// a switch only, never an Enter for the rules.
bool enter_held_is_a_switch();
// Whether Escape went down since the last call, held or not by now.
bool take_escape_press();
// Between the window and fullscreen, remembered for the next start.
void switch_fullscreen();

// One tick of the main loop, the body that run() repeats 60 times a second
// and the tests, the benchmarks and the soak call: wait for the frame timer,
// hand the window's pending events to Allegro, take the keys the game adds
// and the input snapshot, step the record unless the pause holds it, draw
// the frame and what lies over it (the help card, the pause banner, the
// sound note), present it.
class tick_loop {
public:
    explicit tick_loop(game& g) : record(g) {}
    // True when the record was stepped (the pause did not hold it).
    bool tick();

    game& record;
    pause_control pause;
    bool waits = true;  // false where the caller plays the frame timer (headless)
    // A benchmark's hold on its scene, just before and after the step.
    std::function<void(game&)> before_step, after_step;

private:
    int sound_note_left = 0;       // ticks the sound note still shows
    bool button_was_down = false;  // the left button, the tick before
    void take_added_keys_and_input();
};

// A change of the mouse's buttons and where the pointer stood at it.
struct mouse_change {
    int buttons = 0, x = 0, y = 0;
};
// The oldest button change not yet taken, in the order Allegro's mouse
// driver reported them (game_presses.cpp); false when none waits. The first
// call starts keeping them.
bool take_mouse_change(mouse_change* change);
// The pad's buttons for this tick, as `read` (which polls the pad) gives
// them: the oldest change read since the last tick, else as they are now.
// With a pad there, the first call starts reading it every few
// milliseconds between ticks too (game_presses.cpp). `look_after` runs first
// on the calling thread, while no read runs: it may take the pad away or up.
int take_pad_buttons(int (*read)(), void (*look_after)());
// Polls the mouse only for a driver that must be polled: poll_mouse() puts
// Allegro in polling mode for good, where the driver's reports no longer
// reach mouse_callback and only where the buttons stand at the poll counts.
void read_mouse();

// The pad: Allegro's joystick, if one is there at the start. A pad that is
// absent, unplugged or broken is a pad whose buttons are all up.
void start_pad();

// The score table may be saved from another thread when the display is lost
// (see save_running_game_scores): its changes and that save take turns.
extern std::mutex scores_guard;

// Set to 1 when the story ends the game; the main loop and the score screen stop.
extern std::atomic<int> quit;

// The main loop: one game, 60 ticks a second, until the player leaves;
// `help_first` opens it on the help card (the player's very first start).
void run(bool help_first = false);

// Saves the table of the game run() is playing, if any, from any thread:
// for a shutdown that cannot go back through the main loop.
void save_running_game_scores();

// True once the window was closed, Escape is held or went down since the
// last test, the story has ended or a stop signal came.
bool should_stop();
