// The high-score table: the hi.dat format, where the table is kept,
// loading and saving it, and the modal score screen.
#include <allegro.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>

#include "data_handler.h"
#include "game.h"
#include "gfx.h"
#include "main_flags.h"
#include "platform.h"
#include "safe_file.h"

namespace fs = std::filesystem;

// ---------------------------------------------------------------- high scores

namespace {

const int record_size = score_record_size;
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

std::string choose_score_file(const std::string& beside) {
    if (beside.empty()) return "";
    // A copy that runs from its own folder (the build folder, a portable
    // copy) keeps its table beside itself; an installed one never writes
    // into its install, even for a user who may (root, or the prefix's
    // owner), and only reads a table left there by an older version.
    if (!runs_installed() && writable_place(beside)) return beside;
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
    // A table there that the player may not read is left as it is, and said
    // once; so is something there that is no plain file (a named pipe, a
    // device, a folder), which is never opened.
    std::error_code error;
    fs::file_status there = fs::status(fs::u8path(beside), error);
    if (fs::exists(there) && !fs::is_regular_file(there))
        std::fprintf(stderr, "tollybrook: %s is not a plain file; it is left alone\n",
                     beside.c_str());
    else if (int why = platform_unreadable(beside.c_str()); why != 0 && why != ENOENT)
        std::fprintf(stderr, "tollybrook: cannot read the high scores in %s: %s\n", beside.c_str(),
                     std::strerror(why));
    std::string seed;
    folder_lock lock(own);  // every writer of the table takes turns
    if (!fs::exists(fs::symlink_status(fs::u8path(own), error)) && read_whole_file(beside, &seed))
        replace_file_safely(own, seed);
    std::fprintf(stderr, "tollybrook: scores are kept in %s\n", own.c_str());
    return own;
}

// ---------------------------------------------------------------- reading and writing the table

namespace {

// What a table file holds: its records as the game reads them, and its bytes.
struct table_file {
    bool there = false;       // a file (or something) is at the path
    bool readable = false;    // it could be read
    int why = 0;              // errno when it could not be opened
    std::string bytes;        // the first records_read_at_most records
    int64_t size = 0;         // the file's size
    std::vector<int> scores;  // as read, ranked when longer than ten
};

table_file read_table(const std::string& path) {
    table_file t;
    std::error_code error;
    if (path.empty() || !fs::exists(fs::u8path(path), error)) return t;
    t.there = true;
    // Only a plain file: opening a named pipe would wait for a writer forever.
    std::string bytes;
    if (!read_plain_file(path, records_read_at_most * record_size, &bytes, &t.size)) {
        t.why = errno;
        return t;
    }
    t.readable = true;
    for (size_t at = 0; at + record_size <= bytes.size(); at += record_size) {
        char record[record_size + 1] = {0};
        std::memcpy(record, bytes.data() + at, record_size);
        t.bytes.append(record, record_size);
        t.scores.push_back(record_value(record));
    }
    // Only ten go back to the file: with more, make them the ten best.
    if (t.scores.size() > static_cast<size_t>(score_table_size)) rank_scores(t.scores);
    return t;
}

std::string table_bytes(const std::vector<int>& scores) {
    std::string table;
    size_t count = std::min<size_t>(scores.size(), score_table_size);
    for (size_t i = 0; i < count; i++) table += score_record(scores[i]);
    return table;
}

}  // namespace

void game::load_highscores() {
    score_path = choose_score_file(absolute_path("hi.dat"));
    table_file t = read_table(score_path);
    table_was_there = t.there;
    scores_as_read = t.scores;
    if (!t.there) {
        use_default_table(highscores);
        return;
    }
    if (!t.readable) {  // there is a table, but not for us: show the default, keep theirs
        std::fprintf(stderr, "tollybrook: cannot read the high scores in %s: %s\n",
                     score_path.c_str(), std::strerror(t.why));
        scores_unreadable = true;
        use_default_table(highscores);
        return;
    }
    highscores = t.scores;
}

std::string score_record(int value) {
    char record[16];
    std::snprintf(record, sizeof record, "%9d", std::clamp(value, record_min, record_max));
    return std::string(record, record_size);
}

void game::add_score(int value) {
    std::lock_guard<std::mutex> lock(scores_guard);
    highscores.push_back(value);
    entered_scores.push_back(value);
}

// Other copies of the game may have saved since this one read the table:
// under the folder's lock the table on disk is read again and only the
// scores this run entered are added to it. A failed write never costs the
// scores already saved: see replace_file_safely.
void game::save_highscores() {
    if (scores_unreadable || score_path.empty()) return;
    folder_lock lock(score_path);
    // With the lock held no other copy is saving: a temporary there is what
    // a save killed midway left.
    if (lock.held()) remove_stale_temporaries(score_path);
    table_file disk = read_table(score_path);
    if (disk.there && !disk.readable) {
        errno = disk.why;
        tell_save_failure();
        return;
    }
    std::vector<int> table;
    if (disk.there == table_was_there && disk.scores == scores_as_read) {
        // Nobody else saved: the table as this run holds it, ranked when a
        // score was entered, or one added at its end would fall off.
        table = highscores;
        if (!entered_scores.empty()) rank_scores(table);
    } else if (entered_scores.empty() && disk.there) {
        table = disk.scores;  // another copy saved, this one has nothing to add
    } else {
        if (disk.there)
            table = disk.scores;
        else
            use_default_table(table);
        table.insert(table.end(), entered_scores.begin(), entered_scores.end());
        rank_scores(table);
    }
    std::string bytes = table_bytes(table);
    if (!disk.there || bytes != disk.bytes || disk.size != static_cast<int64_t>(bytes.size())) {
        if (!replace_file_safely(score_path, bytes)) {
            tell_save_failure();
            return;
        }
    }
    save_failed = false;
    highscores = table;  // all of them: the screen shows the ten best
    if (table.size() > static_cast<size_t>(score_table_size)) table.resize(score_table_size);
    scores_as_read = table;
    table_was_there = true;
    entered_scores.clear();
}

void game::tell_save_failure() {
    save_failed = true;
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
        // The new score is safe even if the game never ends cleanly; the
        // screen shows the table merged with what other copies saved.
        save_highscores();
    }
    // The main loop's tick, with the table for the record: Enter (not
    // Alt+Enter, the fullscreen) or a pad button closes it.
    while (!should_stop()) {
        wait_for_tick();
        gfx_pump_input();
        read_mouse();
        bool fullscreen = take_added_keys(false).fullscreen;
        take_input(true);
        if (fullscreen) switch_fullscreen();
        draw_score(bDraw, &highscores, score);
        if (save_failed) draw_notice(bDraw, "This score could not be saved");
        if ((input.keys[KEY_ENTER] && !input.alt) || input.pad_pressed) break;
        gfx_update();
    }
}

// A shortcut for the end-to-end tests, never met in play: with
// TOLLYBROOK_TEST_SCORE=N in the environment the game enters the score N at
// its start, as a battle's end does, and opens the score screen; Enter goes
// on to the build phase.
void game::enter_test_score() {
    const char* value = std::getenv("TOLLYBROOK_TEST_SCORE");
    if (!value || !*value) return;
    add_score(record_value(value));
    show_highscores();
}
