// The high-score table: the hi.dat format, where the table is kept,
// loading and saving it, and the modal score screen.
#include <allegro.h>
#include <sys/stat.h>

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

std::string score_record(int value) {
    char record[16];
    std::snprintf(record, sizeof record, "%9d", std::clamp(value, record_min, record_max));
    return std::string(record, record_size);
}

// A failed write never costs the scores already saved: see replace_file_safely.
void game::save_highscores() {
    if (scores_unreadable || score_path.empty()) return;
    std::string table;
    size_t count = std::min<size_t>(highscores.size(), score_table_size);
    for (size_t i = 0; i < count; i++) table += score_record(highscores[i]);
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
