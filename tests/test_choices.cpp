// The screen and sound choices: the command line wins and is remembered,
// what it leaves open comes from the remembered file.
#include <gtest/gtest.h>

#include <allegro.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "main.h"

namespace {

launch_choices settled(std::vector<const char*> args) {
    args.insert(args.begin(), "tollybrook");
    args.push_back(nullptr);
    launch_choices c;
    EXPECT_EQ(parse_command_line(int(args.size()) - 1, const_cast<char**>(args.data()), c), -1);
    settle_choices(c);
    return c;
}

TEST(Choices, TheCommandLineWinsAndIsRememberedForNextTime) {
    char folder[] = "/tmp/tollybrook-choices.XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string config_home = std::string(folder) + "/config";
    setenv("XDG_CONFIG_HOME", config_home.c_str(), 1);
    ASSERT_EQ(choices_file_path(), config_home + "/tollybrook/tollybrook.cfg");

    launch_choices first_run = settled({});
    EXPECT_EQ(first_run.fullscreen, 0);
    EXPECT_EQ(first_run.mute, 0);
    EXPECT_EQ(first_run.scale, 0);
    EXPECT_TRUE(first_run.first_start);
    EXPECT_TRUE(exists(choices_file_path().c_str())) << "the first start makes the file";
    EXPECT_FALSE(settled({}).first_start);

    EXPECT_EQ(first_run.music_volume, 100);
    EXPECT_EQ(first_run.effects_volume, 100);

    settled({"--fullscreen", "--mute", "--scale=3", "--music-volume=0", "--effects-volume", "35"});
    launch_choices remembered = settled({});
    EXPECT_EQ(remembered.fullscreen, 1);
    EXPECT_EQ(remembered.mute, 1);
    EXPECT_EQ(remembered.scale, 3);
    EXPECT_EQ(remembered.music_volume, 0);
    EXPECT_EQ(remembered.effects_volume, 35);
    remember_choice("effects_volume", 70);  // the options card while playing
    EXPECT_EQ(settled({"--music-volume", "100"}).effects_volume, 70);
    EXPECT_EQ(settled({}).music_volume, 100);
    EXPECT_EQ(settled({"--scale", "2"}).scale, 2);
    remember_choice("mute", 0);  // M while playing
    EXPECT_EQ(settled({}).mute, 0);
    remember_choice("mute", 1);
    launch_choices overruled = settled({"-w"});
    EXPECT_EQ(overruled.fullscreen, 0);
    EXPECT_EQ(overruled.mute, 1);
    launch_choices last = settled({"--sound"});
    EXPECT_EQ(last.fullscreen, 0);
    EXPECT_EQ(last.mute, 0);

    std::stringstream file;
    file << std::ifstream(choices_file_path()).rdbuf();
    EXPECT_NE(file.str().find("[tollybrook]"), std::string::npos) << file.str();

    // The file is replaced, never rewritten in place, and the lines the game
    // does not own stay as they were.
    const std::string others = "# mine\n[other]\nmute = 7\n[tollybrook]\nscale = 2\nmute = 0\n";
    std::ofstream(choices_file_path()) << others;
    struct stat before, after;
    ASSERT_EQ(stat(choices_file_path().c_str(), &before), 0);
    settled({"--mute"});
    ASSERT_EQ(stat(choices_file_path().c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
    std::stringstream edited;
    edited << std::ifstream(choices_file_path()).rdbuf();
    EXPECT_EQ(edited.str(),
              "# mine\n[other]\nmute = 7\n[tollybrook]\nscale = 2\nmute = 1\nfullscreen = 0\n");
    EXPECT_EQ(settled({}).scale, 2);

    // Allegro's own configuration is left as it was.
    EXPECT_EQ(get_config_int("tollybrook", "fullscreen", -7), -7);
    unsetenv("XDG_CONFIG_HOME");
    std::system((std::string("rm -rf ") + folder).c_str());
}

// getopt_long's forms; a missing or bad value is a usage error (status 2).
TEST(Choices, TheCommandLineIsParsedAsSystemProgramsParseIt) {
    auto status = [](std::vector<const char*> args) {
        args.insert(args.begin(), "tollybrook");
        args.push_back(nullptr);
        launch_choices c;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int s = parse_command_line(int(args.size()) - 1, const_cast<char**>(args.data()), c);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        return s;
    };
    EXPECT_EQ(status({"-h"}), 0);
    EXPECT_EQ(status({"-wf", "--scale=8", "--mute", "--music-volume=100", "--effects-volume", "0"}),
              -1);
    for (auto bad : std::vector<std::vector<const char*>>{{"--scale"},
                                                          {"--scale", "9"},
                                                          {"--scale=-1"},
                                                          {"--scale=2x"},
                                                          {"--scal", "2", "x"},
                                                          {"-q"},
                                                          {"stray"},
                                                          {"--music-volume", "101"},
                                                          {"--music-volume=-1"},
                                                          {"--effects-volume=5%"},
                                                          {"--effects-volume"},
                                                          {"--music-volume="}})
        EXPECT_EQ(status(bad), 2) << bad[0];
}

}  // namespace
