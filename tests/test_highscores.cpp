// The high-score table: hi.dat read by the game record's constructor and
// written by its destructor, and the modal score screen.
#include <gtest/gtest.h>

#include <allegro.h>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "alfont.h"
#include "data_handler.h"
#include "game.h"
#include "gfx.h"
#include "harness.h"
#include "main.h"
#include "safe_file.h"

namespace {

using Scores = std::vector<int>;

std::string path() { return score_file_path(); }

// Files beside hi.dat whose names start "hi.dat." (a save's temporaries).
std::vector<std::string> leftovers() {
    std::vector<std::string> names;
    std::string folder = path().substr(0, path().rfind('/'));
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::strncmp(e->d_name, "hi.dat.", 7) == 0) names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

bool is_there(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

void write_file_at(const std::string& where, const std::string& bytes) {
    ASSERT_TRUE(write_bytes(where, bytes)) << where;
}
void write_file(const std::string& bytes) { write_file_at(path(), bytes); }

std::string read_file() {
    std::string bytes;
    read_bytes(path(), &bytes);
    return bytes;
}

const Scores kDefault{0, 10, 20, 30, 40, 50, 60, 70, 80, 90};

// The table a fresh game record reads from whatever hi.dat holds now.
Scores loaded() {
    game g;
    return g.highscores;
}

// Lets a game read hi.dat, replaces its list, and lets it write on the way out.
void save(const Scores& values) {
    game g;
    g.highscores = values;
}

class HiDat : public ::testing::Test {
protected:
    void SetUp() override { clean(); }
    void TearDown() override { clean(); }
    static void clean() {
        rmdir(path().c_str());
        remove_score_file();
        for (const std::string& name : leftovers())
            std::remove((path().substr(0, path().rfind('/') + 1) + name).c_str());
    }
};

TEST_F(HiDat, WithoutAFileTheDefaultTableIsUsedAndWrittenAtTheEnd) {
    {
        game g;
        EXPECT_EQ(g.highscores, kDefault);
        EXPECT_FALSE(is_there(path())) << "written before the game ended";
    }
    std::string file = read_file();
    EXPECT_EQ(file, records(kDefault));
    EXPECT_EQ(file.substr(90, 10), std::string("       90\0", 10));
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(HiDat, ValuesComeBackInListOrderWithTheirSigns) {
    write_file(records({5, -12, 300, 7, -5}));
    EXPECT_EQ(loaded(), (Scores{5, -12, 300, 7, -5}));
    EXPECT_EQ(read_file(), records({5, -12, 300, 7, -5}))
        << "a run without battles changes nothing";

    save({42, -7, 0});
    EXPECT_EQ(read_file(), records({42, -7, 0}));
    EXPECT_EQ(read_file().substr(10, 10), std::string("       -7\0", 10));
    EXPECT_EQ(loaded(), (Scores{42, -7, 0}));

    save({});
    EXPECT_EQ(read_file(), "");
    EXPECT_EQ(loaded(), Scores{}) << "an empty file is an empty table, not the default";
}

TEST_F(HiDat, ALongTableKeepsItsTenBestAndAnySizeLoadsAtOnce) {
    // More than ten: ranked as the score screen ranks them, so the best go back.
    write_file(records({3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5, 8, 9}));
    const Scores ranked{9, 8, 6, 5, 4, 3, 2, 1};
    EXPECT_EQ(loaded(), ranked);
    EXPECT_EQ(read_file(), records(ranked));

    // Only the first thousand records are read, however large the file.
    Scores many;
    for (int i = 0; i < 1500; i++) many.push_back(i);
    write_file(records(many));
    ASSERT_EQ(truncate(path().c_str(), 10LL << 30), 0);  // sparse: 10 GiB of zero bytes
    auto start = std::chrono::steady_clock::now();
    Scores got = loaded();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    ASSERT_EQ(got.size(), 1000u);
    EXPECT_EQ(got.front(), 999);
    EXPECT_EQ(got.back(), 0);
    EXPECT_EQ(read_file(), records({999, 998, 997, 996, 995, 994, 993, 992, 991, 990}));
}

TEST_F(HiDat, AnIncompleteLastRecordIsIgnored) {
    write_file(records({11, 22, 33}) + "       44");
    EXPECT_EQ(loaded(), (Scores{11, 22, 33}));
    for (const char* stub : {"7", "       99"}) {
        write_file(stub);
        EXPECT_EQ(loaded(), Scores{}) << "'" << stub << "'";
    }
}

TEST_F(HiDat, OddRecordsAreReadOneByOneWithoutOverrunning) {
    const std::string odd[][2] = {
        {std::string("abcdefghi\0", 10), "0"},
        {std::string("         \0", 10), "0"},
        {std::string(10, '\0'), "0"},
        {std::string("  12abc  \0", 10), "12"},
        {std::string("   -0042 \0", 10), "-42"},
        {"1234567890", "1234567890"},  // no zero byte
        {std::string("  +15\0 99\0", 10), "15"},
    };
    std::string file;
    Scores want;
    for (const auto& r : odd) {
        file += r[0];
        want.push_back(std::stoi(r[1]));
    }
    file += records({42});  // read on its own, not run into the digits before it
    want.push_back(42);
    write_file(file);
    EXPECT_EQ(loaded(), want);

    // Ten nines do not fit an int: read without failing, written back clamped.
    write_file("9999999999" + records({1}));
    Scores got = loaded();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_GT(got[0], 0);
    EXPECT_EQ(got[1], 1);
    EXPECT_EQ(read_file().substr(0, 10), std::string("999999999\0", 10));
}

TEST_F(HiDat, EveryWrittenRecordIsWellFormedEvenForHugeValues) {
    const Scores values{INT_MAX, INT_MIN, 1000000000, -100000000, 999999999, -99999999, 123, -1};
    const Scores fitted{999999999, -99999999, 999999999, -99999999, 999999999, -99999999, 123, -1};
    save(values);
    std::string file = read_file();
    ASSERT_EQ(file.size(), 10 * values.size());
    for (size_t i = 0; i < values.size(); i++) {
        std::string r = file.substr(10 * i, 10);
        EXPECT_EQ(r[9], '\0') << i;
        size_t digits = r.find_first_not_of(' ');
        if (r[digits] == '-') digits++;
        EXPECT_EQ(r.find_first_not_of("0123456789", digits), 9u) << i << ": '" << r << "'";
        EXPECT_EQ(std::atoi(r.c_str()), fitted[i]) << i;
    }
    EXPECT_EQ(loaded(), fitted);
}

TEST_F(HiDat, AFailedWriteKeepsTheOldTableAndSaysSoOnce) {
    write_file(records({1, 2, 3}));
    // A file-size limit makes every write past 15 bytes fail, as a full disk would.
    rlimit before;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit small = before;
    small.rlim_cur = 15;
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    // Standard error goes to a pipe, which the limit does not touch.
    int pipe_ends[2], saved_stderr = dup(2);
    ASSERT_EQ(pipe(pipe_ends), 0);
    dup2(pipe_ends[1], 2);
    {
        game g;
        g.highscores = {9, 9, 9};
        g.save_highscores();
    }
    dup2(saved_stderr, 2);
    close(saved_stderr);
    close(pipe_ends[1]);
    char text[1024];
    ssize_t got = read(pipe_ends[0], text, sizeof text);
    close(pipe_ends[0]);
    std::string said(text, got > 0 ? got : 0);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_EQ(read_file(), records({1, 2, 3}));
    EXPECT_TRUE(leftovers().empty());
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("cannot save the high scores to " + path()), std::string::npos) << said;
}

// Copies of the game share one table: each save adds only its own entered
// scores to what is on disk, and a copy that entered nothing writes nothing.
TEST_F(HiDat, CopiesOnOneTableLoseNoEnteredScore) {
    write_file(records({5, 3}));
    {
        game idle, player;
        player.add_score(50);
        player.save_highscores();  // the score screen's save
    }  // the player leaves first, then the idle copy, with the table it read
    // In any order: the table is ranked when the score screen shows it.
    auto on_disk = [] {
        Scores s = loaded();
        std::sort(s.rbegin(), s.rend());
        return s;
    };
    EXPECT_EQ(on_disk(), (Scores{50, 5, 3}));

    // Forked copies, each entering scores or only starting and leaving, at
    // once: ten entered in all, so every one fits the table.
    int* next = static_cast<int*>(
        mmap(nullptr, sizeof(int), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(next, MAP_FAILED);
    for (int round = 0; round < 15; round++) {
        write_file("");
        *next = 100;
        std::vector<pid_t> copies;
        for (int c = 0; c < 8; c++) {
            pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                for (int run = 0; run < 2; run++) {
                    game g;
                    usleep(static_cast<useconds_t>((getpid() * 7 + run * 13) % 3000));
                    if (c < 5) g.add_score(__atomic_fetch_add(next, 1, __ATOMIC_SEQ_CST));
                }
                _exit(0);
            }
            copies.push_back(pid);
        }
        for (pid_t pid : copies) {
            int status = 0;
            waitpid(pid, &status, 0);
            EXPECT_EQ(status, 0);
        }
        ASSERT_EQ(on_disk(), (Scores{109, 108, 107, 106, 105, 104, 103, 102, 101, 100}))
            << "round " << round;
    }
    munmap(next, sizeof(int));
    EXPECT_TRUE(leftovers().empty());
}

// A save killed midway leaves its temporary beside the table: the next save
// removes it, under the folder's lock, which shows no other copy is saving.
// A file of the player's that only looks alike stays, and so does every
// temporary while another copy holds the lock.
TEST_F(HiDat, TheNextSaveRemovesWhatAKilledSaveLeft) {
    std::string folder = path().substr(0, path().rfind('/') + 1);
    write_file_at(path() + ".part-k1LLed", records({4}));
    write_file_at(path() + ".part-backup.old", "the player's");
    {
        folder_lock other(path());
        ASSERT_TRUE(other.held());
        save({1});  // waits for the lock, then saves unguarded
    }
    EXPECT_TRUE(is_there(path() + ".part-k1LLed")) << "removed while another copy held the lock";
    save({2});
    EXPECT_EQ(read_file(), records({2}));
    EXPECT_EQ(leftovers(), std::vector<std::string>{"hi.dat.part-backup.old"});
}

// A link planted where a careless save would put its temporary, and a table
// that is itself a link: the link stays, the planted one leads nowhere.
TEST_F(HiDat, LinksLeadOnlyWhereTheTableIs) {
    std::string folder = path().substr(0, path().rfind('/'));
    std::string real = folder + "/real-hi.dat", victim = folder + "/victim";
    std::remove(real.c_str());
    std::remove(victim.c_str());
    write_file_at(real, records({1}));
    write_file_at(victim, "keep me");
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(symlink("real-hi.dat", path().c_str()), 0);
    ASSERT_EQ(symlink("victim", (path() + ".new").c_str()), 0);
    save({7, 8});
    struct stat st;
    ASSERT_EQ(lstat(path().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "hi.dat is no longer a link";
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the table lost its permissions";
    EXPECT_EQ(read_file(), records({7, 8}));
    std::string kept;
    ASSERT_TRUE(read_bytes(victim, &kept));
    EXPECT_EQ(kept, "keep me");
    EXPECT_EQ(leftovers(), std::vector<std::string>{"hi.dat.new"});
    std::remove((path() + ".new").c_str());
    std::remove(real.c_str());
    std::remove(victim.c_str());
}

// The score screen draws with a real font; the test plays the frame timer.
class ScoreScreen : public HiDat {
protected:
    void SetUp() override {
        HiDat::SetUp();
        release_input();
        quit = 0;
        close_button_pressed = 0;
        go_on = 0;
        ASSERT_EQ(alfont_init(), 0);
        use_system_font();
        ASSERT_NE(fonts[0], nullptr);
        clear_to_color(screen, blue());
    }
    void TearDown() override {
        release_input();
        quit = 0;
        close_button_pressed = 0;
        go_on = 0;
        restore_game_font();
        alfont_exit();
        HiDat::TearDown();
    }
    static int blue() { return makecol(0, 0, 248); }

    // Runs the screen while another thread plays the timer for `ticks`
    // frames, then calls `leave`. After five seconds it closes the window
    // and holds Enter rather than hang, and returns false.
    bool run(game& g, int ticks, const std::function<void()>& leave) {
        std::atomic<bool> done{false}, stuck{false};
        std::thread timer([&] {
            auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            auto wait_taken = [&] {  // until the screen has taken the tick
                while (go_on != 0 && !done) {
                    if (std::chrono::steady_clock::now() > give_up) return false;
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                return true;
            };
            bool ok = true;
            for (int i = 0; i < ticks && ok; i++) {
                go_on = 1;
                ok = wait_taken();
            }
            if (ok) leave();
            while (!done) {
                go_on = 1;
                if (std::chrono::steady_clock::now() > give_up) {
                    stuck = true;
                    close_button_pressed = -1;
                    key[KEY_ENTER] = 1;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        g.show_highscores();
        done = true;
        timer.join();
        return !stuck;
    }
    // Red pixels in the glyph band of score row i.
    static int red_in_row(BITMAP* b, int i) {
        int red = makecol(190, 0, 0), n = 0;
        for (int y = 48 + 38 * i; y <= 70 + 38 * i; y++)
            for (int x = 182; x <= 458; x++) n += getpixel(b, x, y) == red;
        return n;
    }
};

TEST_F(ScoreScreen, SortsDescendingAndDropsRepeats) {
    game g;
    g.highscores = {5, 90, 5, -3, 40, 90, 0, -3, 12345};
    key[KEY_ENTER] = 1;
    go_on = 1;
    g.show_highscores();
    EXPECT_EQ(g.highscores, (Scores{12345, 90, 40, 5, 0, -3}));
}

TEST_F(ScoreScreen, EnterHeldClosesItAtTheFirstFrameUnpresented) {
    // A back buffer between the drawing and the screen shows what is presented.
    BITMAP* back = present_through_back_buffer();
    clear_to_color(back, blue());
    {
        game g;
        g.score = 35;
        simulate_keypress(KEY_SPACE << 8);  // waiting since before the screen opened
        key[KEY_ENTER] = 1;
        go_on = 1;
        g.show_highscores();
        EXPECT_EQ(go_on, 0) << "the frame was not waited for";
        EXPECT_FALSE(keypressed()) << "the keyboard buffer was not cleared";
    }
    EXPECT_EQ(getpixel(back, 300, 12), makecol(190, 190, 190)) << "the frame was not drawn";
    int changed = 0;
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) changed += getpixel(screen, x, y) != blue();
    EXPECT_EQ(changed, 0) << "the closing frame was presented";
    draw_on_screen_again(back);
}

TEST_F(ScoreScreen, EscapeHeldEndsItBeforeAnyFrame) {
    game g;
    key[KEY_ESC] = 1;
    go_on = 0;  // were the screen to wait for a frame, it would never come
    std::atomic<bool> returned{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 5000 && !returned; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!returned) close_button_pressed = -1, key[KEY_ENTER] = 1, go_on = 1;
    });
    g.show_highscores();
    returned = true;
    watchdog.join();
    EXPECT_EQ(close_button_pressed, 0) << "it waited for a frame";
    EXPECT_EQ(getpixel(screen, 300, 12), blue()) << "it drew a frame";
}

TEST_F(ScoreScreen, EachWayOutEndsARunningScreen) {
    BITMAP* back = present_through_back_buffer();
    const struct {
        const char* name;
        std::function<void()> leave;
    } exits[] = {
        {"Escape", [] { key[KEY_ESC] = 1; }},
        {"close button", [] { close_button_pressed = -1; }},
        {"end of the story", [] { quit = 1; }},
        {"Enter", [] { key[KEY_ENTER] = 1; }},
        {"stop signal", [] { stop_signal = 1; }},
    };
    for (const auto& e : exits) {
        clear_to_color(screen, blue());
        game g;
        EXPECT_TRUE(run(g, 3, e.leave)) << e.name << " did not end the screen";
        EXPECT_EQ(getpixel(screen, 300, 12), makecol(190, 190, 190))
            << e.name << ": frames presented";
        release_input();
        quit = 0;
        close_button_pressed = 0;
        stop_signal = 0;
    }
    draw_on_screen_again(back);
}

TEST_F(ScoreScreen, FirstRunWithThirtyFiveShowsItSeventhAndDropsZero) {
    const Scores shown{90, 80, 70, 60, 50, 40, 35, 30, 20, 10};
    {
        game g;
        g.score = 35;
        g.highscores.push_back(35);
        key[KEY_ENTER] = 1;
        go_on = 1;
        g.show_highscores();
        EXPECT_EQ(Scores(g.highscores.begin(), g.highscores.begin() + 10), shown);
        for (int i = 0; i < 10; i++) EXPECT_EQ(red_in_row(bDraw, i) > 0, i == 6) << "row " << i;
        EXPECT_EQ(read_file(), records(shown)) << "not saved when the score entered the table";

        // The same score again keeps one entry, still marked.
        g.highscores.push_back(35);
        go_on = 1;
        g.show_highscores();
        EXPECT_EQ(Scores(g.highscores.begin(), g.highscores.begin() + 10), shown);
        EXPECT_GT(red_in_row(bDraw, 6), 0);
    }
    EXPECT_EQ(read_file(), records(shown));
}

}  // namespace
