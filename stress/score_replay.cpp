// Replays corrupt score tables through the load-and-save round of the
// fuzzer, so every build checks them, with or without clang. Files named
// on the command line (a fuzzer's finds, say) are replayed as well.
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "headless.h"
#include "score_file_check.h"

namespace {

struct seed {
    std::string name;
    std::string bytes;
};

std::string record(const char* text) {  // nine characters and the zero byte
    std::string r(text);
    r.resize(9, ' ');
    return r + '\0';
}

std::string random_bytes(size_t size, unsigned seed_value) {
    std::mt19937 rng(seed_value);
    std::string out(size, '\0');
    for (char& c : out) c = static_cast<char>(rng() & 0xff);
    return out;
}

std::vector<seed> corrupt_tables() {
    std::vector<seed> seeds;
    seeds.push_back({"empty file", ""});
    seeds.push_back({"one byte", "7"});
    seeds.push_back({"nine bytes, no whole record", "       42"});
    seeds.push_back({"1 MiB of random bytes", random_bytes(1 << 20, 7)});
    std::string many;
    while (many.size() + 10 <= (1 << 20)) many += record("       12");
    many += "123456";
    seeds.push_back({"1 MiB of records and a tail", many});
    seeds.push_back({"records without a zero byte",
                     "1234567890"
                     "         7"
                     "-000000001"});
    seeds.push_back({"digits run into the next record",
                     "999999999"
                     "9"
                     "00000000000000000000"});
    seeds.push_back({"huge numbers", record("999999999") + "9999999999" + "2147483648" +
                                         "4294967296" + record("+99999999")});
    seeds.push_back({"negative numbers", record("-99999999") + "-999999999" + "-2147483649" +
                                             "-9223372036854775809" + record("       -5")});
    seeds.push_back({"zero bytes only", std::string(40, '\0')});
    seeds.push_back({"text without numbers", record("   abc") + record("-") + record("+") +
                                                 record(" - 5") +
                                                 "\xff\xfe\xfd\xfc\xfb\xfa\xf9\xf8\xf7\xf6"});
    seeds.push_back({"white space and leading zeros",
                     std::string("\t\n\v\f\r  12", 9) + '\0' + record("000000042") + record("-0")});
    seeds.push_back({"eleven records", records({100, 90, 80, 70, 60, 50, 40, 30, 20, 10, 0})});
    seeds.push_back({"a record and a half", record("       90") + "     "});
    return seeds;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<seed> seeds = corrupt_tables();
    for (int i = 1; i < argc; i++) {
        seed s{argv[i], ""};
        if (!read_bytes(argv[i], &s.bytes)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        seeds.push_back(s);
    }
    if (!work_in_own_folder("replay-run") || !start_headless(false)) return 1;
    int failures = 0;
    for (const seed& s : seeds) {
        std::string problem = check_score_round_trip(s.bytes);
        if (!problem.empty()) {
            std::printf("FAIL %s: %s\n", s.name.c_str(), problem.c_str());
            failures++;
        }
    }
    std::printf("%zu corrupt score tables replayed, %d failed\n", seeds.size(), failures);
    return failures == 0 ? 0 : 1;
}
