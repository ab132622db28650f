// Where the table lives when the program's folder is not the player's to
// write, and how a save treats a table the player cannot replace. Root
// passes every permission check, so these run in a child process as an
// unprivileged user.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "game.h"
#include "harness.h"

namespace {

const uid_t nobody = 65534;
const gid_t nogroup = 65534;

// Runs `body` in a child process, as nobody when we are root; its exit status.
int as_player(const std::function<int()>& body) {
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(nogroup) != 0 || setuid(nobody) != 0))
            _exit(100);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

unsigned mode_of(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xffff;
}

class ScoreHome : public ::testing::Test {
protected:
    std::string root, game_dir, home, beside;

    void SetUp() override {
        char pattern[] = "/tmp/tollybrook-scores.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        game_dir = root + "/game";
        home = root + "/home";
        beside = game_dir + "/hi.dat";
        ASSERT_EQ(chmod(root.c_str(), 0755), 0);
        ASSERT_EQ(mkdir(game_dir.c_str(), 0755), 0);  // the player cannot write here
        ASSERT_EQ(mkdir(home.c_str(), 0755), 0);
        if (geteuid() == 0) {
            ASSERT_EQ(chown(home.c_str(), nobody, nogroup), 0);
        } else {
            ASSERT_EQ(chmod(game_dir.c_str(), 0555), 0);
        }
    }
    void TearDown() override {
        chmod(game_dir.c_str(), 0755);
        std::filesystem::remove_all(root);
    }
    void put(const std::string& path, const std::string& bytes, bool players) {
        chmod(game_dir.c_str(), 0755);
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs(bytes.c_str(), f);
        std::fclose(f);
        if (players && geteuid() == 0) {
            ASSERT_EQ(chown(path.c_str(), nobody, nogroup), 0);
        }
        if (!players) {
            ASSERT_EQ(chmod(path.c_str(), 0444), 0);
        }
        if (geteuid() != 0) chmod(game_dir.c_str(), 0555);
    }
};

TEST_F(ScoreHome, AReadOnlyFolderHoldingAWritableTableIsRewrittenInPlace) {
    put(beside, "old table, longer than the new", true);
    struct stat before;
    ASSERT_EQ(stat(beside.c_str(), &before), 0);
    int status = as_player([&] {
        std::string chosen = choose_score_file(beside);
        if (chosen != beside) return 1;
        return replace_file_safely(chosen, "new table") ? 0 : 2;
    });
    EXPECT_EQ(status, 0) << "1: the table was moved elsewhere, 2: the save failed";
    EXPECT_EQ(file_bytes(beside), "new table");
    struct stat after;
    ASSERT_EQ(stat(beside.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST_F(ScoreHome, AReadOnlyTableMovesToAPrivateFolderStartedFromIt) {
    put(beside, "the shared table", false);
    const std::string data = home + "/data", own = data + "/tollybrook/hi.dat";
    int status = as_player([&] {
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        if (choose_score_file(beside) != own) return 1;
        if (file_bytes(own) != "the shared table") return 2;
        if (!replace_file_safely(own, "mine")) return 3;
        // Later runs keep their own table rather than start over.
        return choose_score_file(beside) == own && file_bytes(own) == "mine" ? 0 : 4;
    });
    EXPECT_EQ(status, 0) << "1: wrong place, 2: not started from the shared table, 3: "
                            "the save failed, 4: started over";
    EXPECT_EQ(mode_of(data), 0700u);
    EXPECT_EQ(mode_of(data + "/tollybrook"), 0700u);
    EXPECT_EQ(file_bytes(beside), "the shared table");

    // Without XDG_DATA_HOME: ~/.local/share, each new folder private.
    status = as_player([&] {
        unsetenv("XDG_DATA_HOME");
        setenv("HOME", home.c_str(), 1);
        return choose_score_file(beside) == home + "/.local/share/tollybrook/hi.dat" ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(mode_of(home + "/.local"), 0700u);
    EXPECT_EQ(mode_of(home + "/.local/share/tollybrook"), 0700u);
}

// In a folder the player may write, a table they may not read (mode 000) or
// made read-only is left as it is: the private table takes the run's
// scores, and an unreadable one is named once at the start.
TEST_F(ScoreHome, ATableThePlayerMayNotReadOrWriteIsLeftAloneAndScoresGoHome) {
    if (geteuid() == 0)
        ASSERT_EQ(chown(game_dir.c_str(), nobody, nogroup), 0);
    else
        ASSERT_EQ(chmod(game_dir.c_str(), 0755), 0);
    const std::string data = home + "/data", own = data + "/tollybrook/hi.dat";
    for (unsigned mode : {0000u, 0444u}) {
        std::filesystem::remove(own);
        put(beside, "their table", false);
        ASSERT_EQ(chmod(beside.c_str(), mode), 0);
        struct stat before;
        ASSERT_EQ(stat(beside.c_str(), &before), 0);
        int status = as_player([&] {
            if (chdir(game_dir.c_str()) != 0) return 1;  // headless, the program's folder
            setenv("XDG_DATA_HOME", data.c_str(), 1);
            testing::internal::CaptureStderr();
            {
                game g;
                if (mode == 0 &&
                    g.highscores != std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90})
                    return 3;
                g.add_score(5);
                g.save_highscores();
            }
            std::string said = testing::internal::GetCapturedStderr();
            size_t named = said.find("cannot read the high scores in " + beside);
            if ((mode == 0) != (named != std::string::npos) ||
                said.find("cannot read", named + 1) != std::string::npos)
                return 4;
            return file_bytes(own).find(score_record(5)) != std::string::npos ? 0 : 5;
        });
        EXPECT_EQ(status, 0) << "mode " << mode << ": 1: no folder, 3: not the default table, "
                             << "4: not named once, 5: not in the private table";
        struct stat after;
        ASSERT_EQ(stat(beside.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << "mode " << mode;
        EXPECT_EQ(after.st_mode & 07777, mode);
        ASSERT_EQ(chmod(beside.c_str(), 0644), 0);
        EXPECT_EQ(file_bytes(beside), "their table");
    }
}

// Something at hi.dat that is no plain file (a named pipe, a folder, a link
// to a device) is never opened, which for a pipe would wait for a writer
// for ever, and counts as a table the player may not use: it stays as it
// is, and the run's scores go to the private table.
TEST_F(ScoreHome, AHiDatThatIsNoPlainFileIsLeftAloneAndScoresGoHome) {
    if (geteuid() == 0)
        ASSERT_EQ(chown(game_dir.c_str(), nobody, nogroup), 0);
    else
        ASSERT_EQ(chmod(game_dir.c_str(), 0755), 0);
    const std::string data = home + "/data", own = data + "/tollybrook/hi.dat";
    const struct {
        const char* name;
        std::function<int()> make;
        unsigned type;
    } kinds[] = {
        {"pipe", [&] { return mkfifo(beside.c_str(), 0666); }, S_IFIFO},
        {"folder", [&] { return mkdir(beside.c_str(), 0777); }, S_IFDIR},
        {"link to /dev/zero", [&] { return symlink("/dev/zero", beside.c_str()); }, S_IFLNK},
    };
    for (const auto& kind : kinds) {
        std::filesystem::remove(own);
        ASSERT_EQ(kind.make(), 0) << kind.name;
        if (geteuid() == 0) {
            ASSERT_EQ(lchown(beside.c_str(), nobody, nogroup), 0);  // theirs to write
        }
        int status = as_player([&] {
            alarm(20);  // a read that waits for a pipe's writer ends the test, not hangs it
            if (chdir(game_dir.c_str()) != 0) return 1;
            setenv("XDG_DATA_HOME", data.c_str(), 1);
            testing::internal::CaptureStderr();
            {
                game g;
                if (g.highscores != std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90})
                    return 3;
                g.add_score(5);
                g.save_highscores();
            }
            std::string said = testing::internal::GetCapturedStderr();
            if (file_bytes(own).find(score_record(5)) == std::string::npos) return 5;
            return said.find(beside + " is not a plain file") != std::string::npos ? 0 : 4;
        });
        EXPECT_EQ(status, 0) << kind.name << ": 1: no folder, 3: not the default table, "
                             << "4: not said, 5: not in the private table, 200: hung or crashed";
        struct stat after;
        ASSERT_EQ(lstat(beside.c_str(), &after), 0) << kind.name;
        EXPECT_EQ(after.st_mode & S_IFMT, kind.type) << kind.name;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(game_dir), {}), 1)
            << kind.name << ": something else was left beside it";
        std::filesystem::remove(beside);
    }
}

}  // namespace
