// The story between battles: the dialog pages of each scene, what a key
// does on each page, and the steps that lead to the battle, the score
// screen, the next level or the end.
#include <allegro.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <mutex>

#include "data_handler.h"
#include "game.h"

// ---------------------------------------------------------------- dialogs

namespace {

const int same_portrait = 0;  // the step keeps whoever spoke before
const int you = portrait_you, old_lady = portrait_old_lady, chuck = portrait_chuck;

// What a step does with a key, after it has moved to its next state.
enum story_action {
    nothing,
    back_to_build,  // "not yet": the build phase, just as it was left
    start_battle,   // the magnets stand where their tiles lie
    enter_score,    // the score joins the table and the score screen runs
    next_level,     // the next level's build phase; the score is kept
    new_game,       // level 0, score 0
    beg_for_mercy,  // 50 points off
    face_the_end,   // 50 points on
    farewell,       // the program ends
};

const int no_key = 0;    // an unused transition
const int any_key = -1;  // any key at all; otherwise the key that must be held
const int unchanged = -1;

// A line of the state table: with `key` held when a key is taken, the story
// goes to (next_scene, next_step), leaving the unchanged ones as they are,
// and then carries out `action`.
struct transition {
    int key;
    int next_scene;
    int next_step;
    story_action action;
};

// One step: who speaks, the three lines, and what a key does there. Every
// transition whose key is held applies, in order; a key that matches none is
// taken and swallowed.
struct dialog_page {
    int portrait;
    const char* lines[3];
    transition on_key[2];
};

const dialog_page before_battle[] = {
    {you,
     {"Are you READY?", "-YES, bring the grannies on! (PRESS Y)", "-No, not yet... (PRESS N)"},
     {{KEY_N, unchanged, unchanged, back_to_build}, {KEY_Y, unchanged, 1, nothing}}},
    {chuck,
     {"Save me granny!  :-(", " ", "(Press any key to continue...)"},
     {{any_key, unchanged, 2, nothing}}},
    {old_lady,
     {"Have no fear, for I is here!", " ",
      "And YOU (points finger) should start running, you evilo!"},
     {{any_key, unchanged, 3, nothing}}},
    {you,
     {"Be my guest... HAHAHHAHA!", " ", " ( press any key and start the battle ) "},
     {{any_key, unchanged, 0, start_battle}}},
};

const int farewell_step = 4;  // in the scene after a won battle; a lost one ends there too

const dialog_page after_win[] = {
    {chuck,
     {"NOOOOOOOOOOO..... :-(", " ", "(Press any key to continue...)"},
     {{any_key, unchanged, 1, nothing}}},
    {you,
     {"Muahaha... i'm SOO evil...", "I killed all the old ladies!", " "},
     {{any_key, unchanged, 2, nothing}}},
    {same_portrait,
     {"You're score: %d", "Do you want to play again?",
      " (you're score will increase, as the difficulty) "},
     {{any_key, unchanged, 3, enter_score}}},
    {you,
     {"YES, it was fun! ( press Y )", " ", "NO, i've had enough ( press N )"},
     {{KEY_Y, unchanged, unchanged, next_level}, {KEY_N, unchanged, farewell_step, nothing}}},
    {same_portrait,
     {"I'll keep Chuck locked, don't worry.", " ", "Come back whenever you want!"},
     {{any_key, unchanged, unchanged, farewell}}},
};

const dialog_page after_loss[] = {
    {old_lady, {" ", "At last you will meet your end!", "..."}, {{any_key, unchanged, 1, nothing}}},
    {you,
     {"( press N ) NOOO, please spare me!", " ", "( press M ) My time has come at last..."},
     {{KEY_N, unchanged, 2, beg_for_mercy}, {KEY_M, unchanged, 3, face_the_end}}},
    {you,
     {"You should be ASHAMED", "Crying for your life... TSE!", " ( SCORE -50 )"},
     {{any_key, unchanged, 4, nothing}}},
    {you, {"GOOD, thats the spirit!", " ", " ( SCORE + 50! )"}, {{any_key, unchanged, 4, nothing}}},
    {same_portrait,
     {"You're score: %d", "Do you want to play again?", " "},
     {{any_key, unchanged, 5, enter_score}}},
    {you,
     {"YES, it was fun! ( press Y )", " ", "NO, i've had enough ( press N )"},
     {{KEY_Y, unchanged, unchanged, new_game}, {KEY_N, scene_won, farewell_step, nothing}}},
};

struct dialog_scene {
    const dialog_page* pages;
    int length;
};

template <size_t n>
constexpr dialog_scene scene_of(const dialog_page (&pages)[n]) {
    return {pages, static_cast<int>(n)};
}

// In the order of the scene numbers.
const dialog_scene scenes[] = {scene_of(before_battle), scene_of(after_win), scene_of(after_loss)};
static_assert(std::size(scenes) == scene_count, "a page list for every scene");

const dialog_page* page_at(int scene, int step) {
    if (scene < 0 || scene >= scene_count || step < 0 || step >= scenes[scene].length)
        return nullptr;
    return &scenes[scene].pages[step];
}

// The key a story line offers as an answer: the letter after its "press"
// ("(PRESS Y)", "( press N )"), 0 for a line that offers none.
int answer_on_line(const char* line) {
    static const char word[] = "press ";
    for (const char* at = line; *at; at++) {
        size_t i = 0;
        while (word[i] && std::tolower(static_cast<unsigned char>(at[i])) == word[i]) i++;
        if (word[i]) continue;
        const char* letter = at + i;
        while (*letter == ' ') letter++;
        if (std::isalpha(static_cast<unsigned char>(letter[1]))) continue;  // "press any key"
        switch (std::tolower(static_cast<unsigned char>(*letter))) {
            case 'y': return KEY_Y;
            case 'n': return KEY_N;
            case 'm': return KEY_M;
            default: break;
        }
    }
    return 0;
}

// Which of the box's three lines (x, y) is on, or -1.
int story_line_at(int x, int y) {
    int first = screen_height - dialog_box_height + dialog_text.y;
    if (x < 0 || x >= screen_width || y < first) return -1;
    int line = (y - first) / dialog_line_pitch;
    return line < 3 ? line : -1;
}

}  // namespace

int scene_length(int scene) { return scene >= 0 && scene < scene_count ? scenes[scene].length : 0; }

bool opens_score_screen(int scene, int step) {
    const dialog_page* page = page_at(scene, step);
    if (!page) return false;
    for (const transition& t : page->on_key)
        if (t.key != no_key && t.action == enter_score) return true;
    return false;
}

void game::say(int portrait, const char* line1, const char* line2, const char* line3) {
    if (portrait != same_portrait) speaker = portrait;
    const char* lines[3] = {line1, line2, line3};
    for (int i = 0; i < 3; i++) {
        // Only the score lines carry a "%d"; the rest print as they stand.
        if (std::strstr(lines[i], "%d"))
            std::snprintf(dialog_lines[i], sizeof dialog_lines[i], lines[i], score);
        else
            std::snprintf(dialog_lines[i], sizeof dialog_lines[i], "%s", lines[i]);
    }
}

// A key counts when the delay has run out and a press is waiting; it is
// taken, whatever key it was, and the next one waits five ticks.
bool game::key_taken() {
    if (key_delay != 0 || !input.any_key) return false;
    key_delay = dialog_key_delay;
    return true;
}

// A click in the story goes on as any key does, and a click on a line that
// offers an answer gives that answer, as its key would. Not in the page's
// first half second, and a button held on from the play before never counts.
void game::take_story_click() {
    int page = scene * 64 + scene_step;
    story_page_ticks = page == story_page_shown ? story_page_ticks + 1 : 0;
    story_page_shown = page;
    if (!new_press() || story_page_ticks < dialog_click_wait) return;
    input.any_key = true;
    int line = story_line_at(input.x, input.y);
    int answer = line < 0 ? 0 : answer_on_line(dialog_lines[line]);
    if (answer) input.keys[answer] = 1;
}

void game::carry_out(int action) {
    switch (action) {
        case back_to_build: mode = mode_build; break;
        case start_battle:
            mode = mode_battle;
            place_magnets();
            break;
        case enter_score: {
            add_score(score);
            show_highscores();
            break;
        }
        case next_level:
            mode = mode_build;
            level++;
            reset(level);
            key_delay = dialog_key_delay;
            break;
        case new_game:
            level = 0;
            mode = mode_build;
            score = 0;
            reset(0);
            key_delay = dialog_key_delay;
            break;
        case beg_for_mercy: score -= story_score_change; break;
        case face_the_end: score += story_score_change; break;
        case farewell:
            quit = 1;
            key_delay = 0;  // the last key: nothing waits for another
            break;
        default: break;
    }
}

void game::dialog_step() {
    const dialog_page* page = page_at(scene, scene_step);
    if (!page) return;
    say(page->portrait, page->lines[0], page->lines[1], page->lines[2]);
    take_story_click();
    if (!key_taken()) return;
    for (const transition& t : page->on_key) {
        if (t.key == no_key || (t.key != any_key && !input.keys[t.key])) continue;
        if (t.next_scene != unchanged) scene = t.next_scene;
        if (t.next_step != unchanged) scene_step = t.next_step;
        carry_out(t.action);
    }
    // The page a key turns to shows in the frame of that key's tick, not one
    // tick later (the next tick would say the same page again).
    const dialog_page* next = page_at(scene, scene_step);
    if (mode == mode_dialog && next && next != page)
        say(next->portrait, next->lines[0], next->lines[1], next->lines[2]);
}
