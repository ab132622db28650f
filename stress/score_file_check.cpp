#include "score_file_check.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "data_handler.h"
#include "game.h"
#include "headless.h"

namespace {

const size_t record_size = score_record_size;
const size_t most_records = score_table_size;
const size_t most_read = 1000;

std::string score_path() { return absolute_path("hi.dat"); }

// A record as the game writes it: the "%9d" text of its own value, then a zero byte.
bool well_formed(const std::string& record) {
    if (record.size() != record_size || record[9] != '\0') return false;
    std::string text = record.substr(0, 9);
    if (text.find('\0') != std::string::npos) return false;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str()) return false;
    return record == score_record(static_cast<int>(value));
}

std::string describe(const std::string& record) {
    std::string out;
    for (unsigned char c : record) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", c);
        out += hex;
    }
    return out;
}

// Loads the file into a fresh game and lets it save again; returns the
// number of scores it loaded.
size_t load_and_save() {
    game g;
    return g.highscores.size();
}

}  // namespace

std::string check_score_round_trip(const std::string& bytes) {
    std::string path = score_path();
    std::remove((path + ".new").c_str());
    if (!write_bytes(path, bytes)) return "cannot write the test's hi.dat at " + path;

    // The game reads a bounded number of records; more than ten it ranks,
    // best first and one of each value, so the ten it keeps are the best.
    size_t in_file = std::min(bytes.size() / record_size, most_read);
    bool ranked = in_file > most_records;
    size_t loaded = load_and_save();
    if (ranked ? loaded == 0 || loaded > in_file : loaded != in_file)
        return "loaded " + std::to_string(loaded) + " scores from " + std::to_string(bytes.size()) +
               " bytes";

    std::string saved;
    if (!read_bytes(path, &saved)) return "hi.dat is gone after saving";
    size_t records = std::min(loaded, most_records);
    if (saved.size() != records * record_size)
        return "saved " + std::to_string(saved.size()) + " bytes for " + std::to_string(records) +
               " scores";
    for (size_t i = 0; i < records; i++) {
        std::string out = saved.substr(i * record_size, record_size);
        if (!well_formed(out))
            return "record " + std::to_string(i) + " is malformed: " + describe(out);
        // A record that was sound to begin with comes back unchanged.
        std::string in = bytes.substr(i * record_size, record_size);
        if (!ranked && well_formed(in) && in != out)
            return "record " + std::to_string(i) + " changed from " + describe(in) + " to " +
                   describe(out);
        if (ranked && i > 0 &&
            std::atol(out.c_str()) >= std::atol(saved.c_str() + (i - 1) * record_size))
            return "record " + std::to_string(i) + " is not below the one before: " + describe(out);
    }
    std::FILE* left = std::fopen((path + ".new").c_str(), "rb");
    if (left) {
        std::fclose(left);
        return "the temporary hi.dat.new was left behind";
    }

    // What the game wrote, it reads back and writes again the same.
    load_and_save();
    std::string again;
    if (!read_bytes(path, &again) || again != saved)
        return "a second round changed the saved table";
    return "";
}
