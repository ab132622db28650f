#include "game.h"

#include <allegro.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <string>
#include <system_error>

#include "data_handler.h"
#include "gfx.h"
#include "main.h"

std::atomic<int> quit{0};

namespace {

const int stock_at_reset[palette_slots] = {2, 2, 2, 1, 1};
const int dialog_key_delay = 5;

// Screen regions, in screen pixels. The palette is measured from the screen
// width; the rest stands where the pictures are drawn.
bool in_palette(int x, int y, int screen_w) {
    return x > screen_w - palette_left_from_right && x < screen_w - palette_right_from_right &&
           y > palette_top && y <= palette_bottom;
}
bool in_start_button(int x, int y) {
    return x > start_button.left && x <= start_button.right && y > start_button.top &&
           y <= start_button.bottom;
}
bool in_grid(int x, int y) { return x > 0 && x < field_width && y > field_top && y < field_bottom; }
bool in_firing_region(int x, int y) {
    return x > 0 && x <= firing_right && y > field_top && y < field_bottom;
}

bool left_button() { return mouse_b & 1; }

}  // namespace

// The table may be saved from another thread when the display is lost (see
// save_running_game_scores); its changes and that save take turns.
static std::mutex scores_guard;
static game* running_game = nullptr;  // the game run() plays, under scores_guard

bool should_stop() {
    return close_button_pressed != 0 || key[KEY_ESC] || quit != 0 || stop_signal != 0;
}

// ---------------------------------------------------------------- meteors

meteor::meteor(int click_x, int click_y)
    : timer(static_cast<int>(click_y / 6.0)),
      frame_div(5),
      vx(2.0f),
      vy(6.0f),
      x(static_cast<float>(click_x + 2 * timer)),
      y(0.0f),
      state(meteor_falling) {}

int meteor::update() {
    if (state == meteor_falling) {
        if (timer != 0) {
            timer--;
            x -= vx;
            y += vy;
        } else {  // landed: it explodes where it stands
            state = meteor_exploding;
            timer = 40;
            frame_div = 10;
            play(1);
        }
    } else if (state == meteor_exploding) {
        if (timer != 0)
            timer--;
        else
            state = meteor_done;
    }
    return state;
}

int meteor::frame() const {
    if (state == meteor_falling) return (timer / frame_div) % 3;
    return (timer / frame_div) % 4 + 3;
}

// A falling meteor hangs above its head; an explosion is centred on it.
int meteor::getX(int fall_w, int blast_w) const {
    return static_cast<int>(x) - (state == meteor_falling ? fall_w : blast_w) / 2;
}
int meteor::getY(int fall_h, int blast_h) const {
    return static_cast<int>(y) - (state == meteor_falling ? fall_h : blast_h / 2);
}

// ---------------------------------------------------------------- grannies

granny::granny() : vx(0.0f), vy(0.0f), x(0.0f), y(0.0f), state(granny_walking) {
    // Height first, then speed: the order of the draws keeps battles replayable.
    y = static_cast<float>(feet_top + std::rand() % feet_spawn_rows);
    vx = static_cast<float>((std::rand() % 4) / 10.0 + 0.6);
}

int granny::update(int tile, float force_x, float force_y) {
    if (state != granny_walking) return state;
    // The magnets shift the granny this tick; they do not build up speed.
    float moved_x = x + force_x;
    float moved_y = y + force_y;
    switch (tile) {
        case slow_tile:
            x = moved_x + vx / slow_tile_divisor;
            y = moved_y + vy;
            break;
        case up_tile:
            x = moved_x + vx;
            y = moved_y + (vy - tile_drift);
            break;
        case down_tile:
            x = moved_x + vx;
            y = moved_y + (vy + tile_drift);
            break;
        default:
            x = moved_x + vx;
            y = moved_y + vy;
            break;
    }
    if (x > castle_line) state = granny_at_castle;
    if (y < feet_top || y > feet_bottom) {  // walked off the top or bottom: gone
        state = granny_gone;
        return granny_gone;
    }
    return state;
}

void magnet_adjust(int attract_x, int attract_y, int repulse_x, int repulse_y, int granny_x,
                   int granny_y, float* force_x, float* force_y) {
    if (repulse_x != -1 && repulse_y != -1) {
        float dx = static_cast<float>(repulse_x - granny_x);
        float dy = static_cast<float>(repulse_y - granny_y);
        float d = std::sqrt(dx * dx + dy * dy);
        if (d > repulse_reach_from) {  // strong close up, fades fast; pushes away
            float force = magnet_power / (std::pow(d, repulse_falloff) * repulse_divisor);
            *force_x = force * (-dx) / d;
            *force_y = force * (-dy) / d;
        }
    }
    if (attract_x != -1 && attract_y != -1) {
        float dx = static_cast<float>(attract_x - granny_x);
        float dy = static_cast<float>(attract_y - granny_y);
        float d = std::sqrt(dx * dx + dy * dy);
        if (d > attract_reach_from) {  // weaker close up, reaches further; pulls closer
            float force = magnet_power / (std::pow(d, attract_falloff) * attract_divisor);
            *force_x += force * dx / d;
            *force_y += force * dy / d;
        }
    }
}

// ---------------------------------------------------------------- the record

game::game() : level(0), score(0) {
    reset(0);
    load_highscores();
}

game::~game() {
    save_highscores();
    grannies.clear();
    meteors.clear();
}

void game::reset(int new_level) {
    mouse_down = false;
    key_delay = 0;
    repulse_x = repulse_y = attract_x = attract_y = -1;
    time_left = battle_time = 600 * new_level + 4200;
    std::memset(grid, 0, sizeof grid);
    mode = mode_build;
    std::copy(stock_at_reset, stock_at_reset + palette_slots, stock);
    selected = 0;
    speaker = 1;
    scene = 0;
    scene_step = 0;
    shield = full_shield;
    for (auto& line : dialog_lines) std::strcpy(line, " ");
    grannies.clear();
    meteors.clear();
}

int game::update() {
    if (key_delay != 0) key_delay--;
    if (shield < full_shield && std::rand() % 66 == 0) shield++;
    int mode_before = mode;
    switch (mode) {
        case mode_build: build_step(); break;
        case mode_battle: battle_step(); break;
        case mode_dialog: dialog_step(); break;
        default: break;
    }
    // The dialog that a click or a battle's end opens shows in the same tick.
    if (mode_before != mode_dialog && mode == mode_dialog) dialog_step();
    clear_keybuf();
    return 0;
}

// Follows the left button; true only in the tick it goes down.
bool game::new_press() {
    if (!left_button()) {
        mouse_down = false;
        return false;
    }
    if (mouse_down) return false;
    mouse_down = true;
    return true;
}

// ---------------------------------------------------------------- build phase

void game::build_step() {
    if (!new_press()) return;
    play(3);
    int x = mouse_x, y = mouse_y;
    if (in_palette(x, y, SCREEN_W)) selected = (y - palette_top) / slot_pitch;
    if (in_start_button(x, y)) {
        mode = mode_dialog;
        scene = scene_intro;
        scene_step = 0;
        return;
    }
    if (!in_grid(x, y)) return;
    int& cell = grid[x / cell_size][(y - field_top) / cell_size];
    int slot = selected;
    if (cell == slot + 1) {  // the selected kind: lift it back into the stock
        stock[slot]++;
        cell = bare_ground;
    } else if (stock[slot] > 0) {
        if (cell != bare_ground) stock[cell - 1]++;  // swapped tile goes home
        stock[slot]--;
        cell = slot + 1;
    }
}

void game::place_magnets() {
    for (int column = 0; column < grid_columns; column++) {
        for (int row = 0; row < grid_rows; row++) {
            if (grid[column][row] == repulse_tile) {
                offset at = magnet_point(column, row, repulse_anchor);
                repulse_x = at.x;
                repulse_y = at.y;
            } else if (grid[column][row] == attract_tile) {
                offset at = magnet_point(column, row, attract_anchor);
                attract_x = at.x;
                attract_y = at.y;
            }
        }
    }
}

// ---------------------------------------------------------------- battle

void game::battle_step() {
    if (time_left != 0) time_left--;

    if (new_press() && in_firing_region(mouse_x, mouse_y)) {
        meteors.push_back(meteor(mouse_x, mouse_y));
        play(0);
        score--;
    }

    if (time_left != 0) {
        // The last quarter of the battle brings grannies faster.
        int r = time_left < battle_time / 4 ? std::rand() % 13 : std::rand() % 23;
        if (r == level) grannies.push_back(granny());
    }

    move_grannies();
    for (auto& m : meteors) m.update();
    explode_grannies();
    erase_finished();

    if (time_left == 0 && grannies.empty()) {
        mode = mode_dialog;
        scene = scene_won;
        scene_step = 0;
        play(2);
    }
    if (shield <= 0) {  // a lost battle outweighs a won one in the same tick
        mode = mode_dialog;
        scene = scene_lost;
        scene_step = 0;
    }
}

void game::move_grannies() {
    for (auto& g : grannies) {
        // Rows are counted from seven pixels below the top of the field.
        int column = static_cast<int>(g.x) / cell_size;
        int row = static_cast<int>(g.y - feet_top) / cell_size;
        if (column < 0 || column >= grid_columns || row < 0 || row >= grid_rows) {
            std::printf("\nERROR %d %d", column, row);
            if (g.state == granny_walking) g.update(bare_ground, 0, 0);
            continue;
        }
        float force_x = 0, force_y = 0;
        magnet_adjust(attract_x, attract_y, repulse_x, repulse_y, static_cast<int>(g.x),
                      static_cast<int>(g.y), &force_x, &force_y);
        g.update(grid[column][row], force_x, force_y);
        if (g.state == granny_at_castle && std::rand() % 30 == 0) shield--;
    }
}

// An explosion reaches blast_reach pixels each way from a point blast_drop below its centre.
void game::explode_grannies() {
    for (const auto& m : meteors) {
        if (m.state != meteor_exploding) continue;
        for (auto& g : grannies) {
            int dx = static_cast<int>(g.x - m.x);
            int dy = static_cast<int>(g.y - (m.y + blast_drop));
            if (dx >= -blast_reach && dx <= blast_reach && dy >= -blast_reach && dy <= blast_reach)
                g.state = granny_gone;
        }
    }
}

void game::erase_finished() {
    auto gone = std::remove_if(grannies.begin(), grannies.end(),
                               [](const granny& g) { return g.state == granny_gone; });
    score += static_cast<int>(grannies.end() - gone);  // a point for each granny gone
    grannies.erase(gone, grannies.end());
    meteors.erase(std::remove_if(meteors.begin(), meteors.end(),
                                 [](const meteor& m) { return m.state == meteor_done; }),
                  meteors.end());
}

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
    if (key_delay != 0 || !keypressed()) return false;
    key_delay = dialog_key_delay;
    return true;
}

void game::carry_out(int action) {
    switch (action) {
        case back_to_build: mode = mode_build; break;
        case start_battle:
            mode = mode_battle;
            place_magnets();
            break;
        case enter_score: {
            std::unique_lock<std::mutex> lock(scores_guard);
            highscores.push_back(score);
            lock.unlock();
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
        case beg_for_mercy: score -= 50; break;
        case face_the_end: score += 50; break;
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
    if (!key_taken()) return;
    for (const transition& t : page->on_key) {
        if (t.key == no_key || (t.key != any_key && !key[t.key])) continue;
        if (t.next_scene != unchanged) scene = t.next_scene;
        if (t.next_step != unchanged) scene_step = t.next_step;
        carry_out(t.action);
    }
}

// ---------------------------------------------------------------- high scores

namespace {

const int record_size = 10;
// What "%9d" can hold in a record's nine characters.
const int record_max = 999999999;
const int record_min = -99999999;

// The table shows ten scores; a file far longer than that is cut here, so
// any size loads at once.
const int64_t records_read_at_most = 1000;

// Best first, one of each value: the order of the score screen.
void rank_scores(std::vector<int>& scores) {
    std::sort(scores.begin(), scores.end());
    scores.erase(std::unique(scores.begin(), scores.end()), scores.end());
    std::reverse(scores.begin(), scores.end());
}

void use_default_table(std::vector<int>& scores) {
    scores.clear();
    for (int v = 0; v <= 90; v += 10) scores.push_back(v);
}

// Reads a record's number the way atoi would, but without overflow.
int record_value(const char* text) {
    long v = std::strtol(text, nullptr, 10);
    return static_cast<int>(std::clamp<long>(v, INT_MIN, INT_MAX));
}

}  // namespace

// ---------------------------------------------------------------- where the table lives

namespace {

namespace fs = std::filesystem;

std::string folder_of(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a chain of symbolic links ends at (the path itself if no link).
std::string link_target(std::string path) {
    for (int hops = 0; hops < 40; hops++) {
        std::error_code error;
        if (!fs::is_symlink(path, error)) break;
        fs::path to = fs::read_symlink(path, error);
        if (error) break;
        path = to.is_absolute() ? to.string() : (fs::path(folder_of(path)) / to).string();
    }
    return path;
}

bool writable_place(const std::string& path) {
    std::string target = link_target(path);
    return access(target.c_str(), W_OK) == 0 || access(folder_of(target).c_str(), W_OK) == 0;
}

bool read_whole_file(const std::string& path, std::string* bytes) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return false;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes->append(chunk, n);
    std::fclose(file);
    return true;
}

bool write_all(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool rewrite_in_place(const std::string& target, const std::string& bytes) {
    int fd = open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = write_all(fd, bytes) && ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 &&
              fsync(fd) == 0;
    int why = errno;
    ok = close(fd) == 0 && ok;
    if (!ok && errno == 0) errno = why;
    return ok;
}

void sync_folder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

mode_t new_file_mode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

std::string choose_score_file(const std::string& beside) {
    if (beside.empty()) return "";
    if (writable_place(beside)) return beside;
    std::string data = user_folder("XDG_DATA_HOME", ".local/share");
    if (data.empty()) {
        std::fprintf(stderr,
                     "tollybrook: %s is read-only and there is no home folder for the scores\n",
                     beside.c_str());
        return "";
    }
    std::string folder = data + "/tollybrook";
    if (!make_folders(folder, 0700)) {  // private: only the player reads them
        std::fprintf(stderr, "tollybrook: cannot make %s: %s\n", folder.c_str(),
                     std::strerror(errno));
        return "";
    }
    std::string own = folder + "/hi.dat";
    std::string seed;
    struct stat st;
    if (lstat(own.c_str(), &st) != 0 && read_whole_file(beside, &seed))
        replace_file_safely(own, seed);
    std::fprintf(stderr, "tollybrook: scores are kept in %s\n", own.c_str());
    return own;
}

bool replace_file_safely(const std::string& path, const std::string& bytes) {
    std::string target = link_target(path);
    struct stat old;
    bool existed = lstat(target.c_str(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode)) {
        errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    // mkstemp opens with O_EXCL: a file or link planted at the name is never used.
    std::string temporary = target + ".XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0) {
        int why = errno;
        if (existed && access(target.c_str(), W_OK) == 0) return rewrite_in_place(target, bytes);
        errno = why;
        return false;
    }
    if (existed && fchown(fd, old.st_uid, old.st_gid) != 0) {
        // Only root may give the file away; others keep it as their own.
    }
    bool ok = fchmod(fd, existed ? old.st_mode & 07777 : new_file_mode()) == 0 &&
              write_all(fd, bytes) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) ok = std::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        int why = errno;
        unlink(temporary.c_str());
        errno = why;
        return false;
    }
    sync_folder(folder_of(target));
    return true;
}

// ---------------------------------------------------------------- reading and writing the table

void game::load_highscores() {
    score_path = choose_score_file(absolute_path("hi.dat"));
    std::string path = score_path;
    std::error_code missing;
    if (path.empty() || !fs::exists(path, missing)) {
        use_default_table(highscores);
        return;
    }
    // Only a plain file: opening a named pipe would wait for a writer forever.
    std::error_code error;
    FILE* file =
        std::filesystem::is_regular_file(path, error) ? std::fopen(path.c_str(), "rb") : nullptr;
    int64_t size = static_cast<int64_t>(fs::file_size(path, error));
    if (!file) {  // there is a table, but not for us: show the default, keep theirs
        scores_unreadable = true;
        use_default_table(highscores);
        return;
    }
    for (int64_t n = std::min(size / record_size, records_read_at_most); n > 0; n--) {
        char record[record_size + 1] = {0};
        if (std::fread(record, 1, record_size, file) != record_size) break;
        highscores.push_back(record_value(record));
    }
    std::fclose(file);
    // Only ten go back to the file: with more, make them the ten best.
    if (highscores.size() > 10) rank_scores(highscores);
}

// A failed write never costs the scores already saved: see replace_file_safely.
void game::save_highscores() {
    if (scores_unreadable || score_path.empty()) return;
    std::string table;
    size_t count = std::min<size_t>(highscores.size(), 10);
    for (size_t i = 0; i < count; i++) {
        char record[16];
        std::snprintf(record, sizeof record, "%9d",
                      std::clamp(highscores[i], record_min, record_max));
        table.append(record, record_size);
    }
    if (replace_file_safely(score_path, table)) return;
    if (!save_failure_told)
        std::fprintf(stderr, "tollybrook: cannot save the high scores to %s: %s\n",
                     score_path.c_str(), std::strerror(errno));
    save_failure_told = true;
}

void game::show_highscores() {
    rest(100);
    clear_keybuf();
    {
        std::lock_guard<std::mutex> lock(scores_guard);
        rank_scores(highscores);
    }
    save_highscores();  // the new score is safe even if the game never ends cleanly
    while (!should_stop()) {
        wait_for_tick();
        poll_mouse();
        draw_score(bDraw, &highscores, score);
        if (key[KEY_ENTER]) break;
        gfx_update();
    }
}

// ---------------------------------------------------------------- pause

void pause_control::start(int scancode) {
    paused = true;
    pause_key = scancode;
    midi_pause();
}

void pause_control::stop() {
    paused = false;
    midi_resume();
}

// Dialogs and the score table read the keyboard themselves: there P is an
// answer like any other key, so only the build phase and the battle pause.
// As in the dialogs, which key was pressed is read from key[] at the press.
bool pause_control::hold(const game& g) {
    bool lost_focus = window_lost_focus.exchange(0) != 0;
    if (!paused) {
        if (g.mode != mode_build && g.mode != mode_battle) return false;
        bool pause_pressed = keypressed() && (key[KEY_P] || key[KEY_PAUSE]);
        if (!pause_pressed && !(lost_focus && g.mode == mode_battle)) return false;
        start(!pause_pressed ? 0 : key[KEY_P] ? KEY_P : KEY_PAUSE);
        clear_keybuf();
        return true;
    }
    // The key that paused repeats while held: it cannot resume until let go.
    if (pause_key && !key[pause_key]) pause_key = 0;
    if (pause_key == 0 && keypressed()) stop();
    clear_keybuf();
    return paused;
}

// ---------------------------------------------------------------- main loop

void run() {
    game g;
    {
        std::lock_guard<std::mutex> lock(scores_guard);
        running_game = &g;
    }
    pause_control pause;
    while (!should_stop()) {
        wait_for_tick();
        poll_mouse();
        if (!pause.hold(g)) g.update();
        draw(bDraw, &g);
        if (pause.active()) draw_pause_banner(bDraw);
        gfx_update();
    }
    std::lock_guard<std::mutex> lock(scores_guard);
    running_game = nullptr;
}

void save_running_game_scores() {
    std::lock_guard<std::mutex> lock(scores_guard);
    if (running_game) running_game->save_highscores();
}
