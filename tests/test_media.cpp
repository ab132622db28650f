// Media loading: the tables after load_data, the placeholders for missing
// pictures, the header check that keeps bad files away from Allegro's
// loader, the path beside the program, and the sound-effect switch.
#include <gtest/gtest.h>

#include <allegro.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "alfont.h"
#include "data_media.h"
#include "data_paths.h"
#include "harness.h"

namespace {

bool is_dir(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void write_file(const std::string& path, const std::string& bytes) {
    ASSERT_TRUE(write_bytes(path, bytes)) << path;
}

// Deterministic noise, so a failure can be replayed.
std::string noise(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (char& c : s) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return s;
}

BITMAP* solid(int w, int h, int colour) {
    BITMAP* b = create_bitmap(w, h);
    clear_to_color(b, colour);
    return b;
}

void save_solid_bmp(const std::string& path, int w, int h, int colour) {
    BITMAP* b = solid(w, h, colour);
    ASSERT_EQ(save_bitmap(path.c_str(), b, nullptr), 0) << path;
    destroy_bitmap(b);
}

::testing::AssertionResult is_filled(BITMAP* b, int w, int h, int r, int g, int bl) {
    if (!b) return ::testing::AssertionFailure() << "no bitmap";
    if (b->w != w || b->h != h)
        return ::testing::AssertionFailure() << "size " << b->w << "x" << b->h;
    if (bitmap_color_depth(b) != 16)
        return ::testing::AssertionFailure() << "depth " << bitmap_color_depth(b);
    int c = makecol(r, g, bl);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (getpixel(b, x, y) != c)
                return ::testing::AssertionFailure()
                       << "pixel " << x << "," << y << " is " << getr(getpixel(b, x, y)) << ","
                       << getg(getpixel(b, x, y)) << "," << getb(getpixel(b, x, y));
    return ::testing::AssertionSuccess();
}

// A mono 8-bit 11025 Hz WAV file of n silent samples.
std::string wav_of_silence(uint32_t n) {
    std::string w;
    auto le = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; i++) w += static_cast<char>((v >> (8 * i)) & 0xff);
    };
    w += "RIFF", le(36 + n, 4), w += "WAVEfmt ", le(16, 4);
    le(1, 2), le(1, 2), le(11025, 4), le(11025, 4), le(1, 2), le(8, 2);
    w += "data", le(n, 4), w += std::string(n, '\x80');
    return w;
}

std::string media_dir() { return absolute_path("/media"); }

class Media : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(alfont_init(), 0);
        sounds_played.clear();
    }
    void TearDown() override {
        if (loaded) unload_data();
        std::memset(sfx, 0, sizeof sfx);
        music = nullptr;
        fonts[0] = nullptr;
        alfont_exit();
    }
    void load() {
        ASSERT_EQ(load_data(), 0);
        loaded = true;
    }
    bool loaded = false;
};

// A placeholder is one flat colour; every real picture has more than one.
bool is_flat(BITMAP* b) {
    int first = getpixel(b, 0, 0);
    for (int y = 0; y < b->h; y++)
        for (int x = 0; x < b->w; x++)
            if (getpixel(b, x, y) != first) return false;
    return true;
}

TEST_F(Media, TheBuiltMediaLeaveNoPlaceholderWhereAFileExists) {
    if (!is_dir(built_media_folder() + "/")) GTEST_SKIP() << "the media were not built";
    load_built_media();
    loaded = true;
    for (int i = 0; i < 5; i++) EXPECT_FALSE(is_flat(bSpecTiles[i])) << "bSpecTiles " << i;
    for (int i = 0; i < 4; i++) EXPECT_FALSE(is_flat(bOtTiles[i])) << "bOtTiles " << i;
    for (int i = 0; i < 14; i++) EXPECT_FALSE(is_flat(bEtc[i])) << "bEtc " << i;
    EXPECT_TRUE(is_flat(bOtTiles[4]));
    EXPECT_TRUE(is_flat(bEtc[14]) && is_flat(bEtc[15]));
    EXPECT_NE(music, nullptr);
    for (SAMPLE* s : sfx) EXPECT_NE(s, nullptr);
    EXPECT_EQ(fh, 38);
}

// Out of file descriptors every file is there but none opens: each one is
// refused for that reason, not blamed for its content.
TEST_F(Media, AFileThatCannotBeOpenedIsRefusedWithTheSystemsReason) {
    if (!is_dir(built_media_folder() + "/")) GTEST_SKIP() << "the media were not built";
    rlimit before;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    testing::internal::CaptureStderr();
    int lowest_free = open("/dev/null", O_RDONLY);
    close(lowest_free);
    rlimit none = before;
    none.rlim_cur = static_cast<rlim_t>(lowest_free);  // no new descriptor at all
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    load_built_media();
    loaded = true;
    setrlimit(RLIMIT_NOFILE, &before);
    std::string said = testing::internal::GetCapturedStderr();
    for (const media_file& m : media_files)
        EXPECT_NE(said.find(std::string("/") + m.name + ": " + std::strerror(EMFILE) + "; "),
                  std::string::npos)
            << m.name << " in:\n"
            << said;
    EXPECT_EQ(said.find(": not a"), std::string::npos) << said;
}

TEST_F(Media, EveryMissingPictureGetsItsTablesPlaceholder) {
    if (is_dir(media_dir())) GTEST_SKIP() << "a media folder stands beside the test program";
    load();
    for (int i = 0; i < 3; i++) {
        EXPECT_TRUE(is_filled(bSpecTiles[i], 64, 64, 255, 0, 0)) << "bSpecTiles " << i;
        EXPECT_FALSE(is_sub_bitmap(bSpecTiles[i]))
            << "the strip is released, tiles must own their pixels";
    }
    EXPECT_NE(bSpecTiles[0], bSpecTiles[1]);
    for (int i = 3; i < 5; i++)
        EXPECT_TRUE(is_filled(bSpecTiles[i], 64, 64, 0, 255, 0)) << "bSpecTiles " << i;
    for (int i = 0; i < 5; i++)
        EXPECT_TRUE(is_filled(bOtTiles[i], 32, 32, 0, 255, 255)) << "bOtTiles " << i;
    for (int i = 0; i < 16; i++)
        EXPECT_TRUE(is_filled(bEtc[i], 32, 32, 50, 255, 255)) << "bEtc " << i;
    // No game font here either: a system font stands in, at the game's size.
    ASSERT_NE(fonts[0], nullptr);
    EXPECT_EQ(fh, 38);
    EXPECT_EQ(alfont_get_font_height(fonts[0]), 38);
    EXPECT_EQ(music, nullptr);
    for (SAMPLE* s : sfx) EXPECT_EQ(s, nullptr);
}

// Builds a media folder beside the test program for one test and removes it
// afterwards. A marker file tells a leftover of ours from a real folder.
class MediaFolder : public Media {
protected:
    std::string dir, marker;
    std::vector<std::string> made;

    void SetUp() override {
        Media::SetUp();
        dir = media_dir();
        marker = dir + "/.made_by_unit_tests";
        if (is_dir(dir) && file_bytes(marker).empty())
            GTEST_SKIP() << "a real media folder is there";
        remove_folder();
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        write_file(marker, "x");
    }
    void TearDown() override {
        Media::TearDown();
        remove_folder();
    }
    std::string file(const char* name) {
        made.push_back(dir + "/" + name);
        return made.back();
    }
    void remove_folder() {
        for (const std::string& f : made) std::remove(f.c_str());
        std::remove(marker.c_str());
        rmdir(dir.c_str());
    }
};

TEST_F(MediaFolder, PicturesAreCutOrderedAndBadOnesReplaced) {
    // The strip: three bands, one per tile.
    BITMAP* strip = create_bitmap(192, 64);
    const int band[3] = {makecol(248, 0, 0), makecol(0, 252, 0), makecol(0, 0, 248)};
    for (int i = 0; i < 3; i++) rectfill(strip, 64 * i, 0, 64 * i + 63, 63, band[i]);
    ASSERT_EQ(save_bitmap(file("sliding.bmp").c_str(), strip, nullptr), 0);
    destroy_bitmap(strip);
    save_solid_bmp(file("repulse.bmp"), 64, 64, makecol(120, 120, 0));
    // attract.bmp is missing.

    // Every other picture gets a width of its own, so the order shows.
    int width = 40;
    for (const media_file& m : media_files)
        if (m.kind == picture && m.table != spec_tiles)
            save_solid_bmp(file(m.name), width++, 8, makecol(8, 8, 8));
    ASSERT_EQ(width, 40 + 18) << "four ground tiles and fourteen other pictures";
    // Bad files become placeholders: noise, a header cut short, nothing at all.
    write_file(file("flame1.bmp"), "BM" + noise(3000, 1));
    std::string castle = file_bytes(dir + "/castle.bmp");
    write_file(file("castle.bmp"), castle.substr(0, castle.size() / 2));
    write_file(file("hole.bmp"), "");

    write_file(file("fire.wav"), wav_of_silence(64));
    // Named pipes would block the start if they were opened.
    ASSERT_EQ(mkfifo(file("nbk.mid").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo(file("sel.wav").c_str(), 0644), 0);

    load();
    static const int rgb[3][3] = {{248, 0, 0}, {0, 252, 0}, {0, 0, 248}};
    for (int i = 0; i < 3; i++)
        EXPECT_TRUE(is_filled(bSpecTiles[i], 64, 64, rgb[i][0], rgb[i][1], rgb[i][2]))
            << "tile " << i;
    EXPECT_TRUE(is_filled(bSpecTiles[3], 64, 64, 120, 120, 0));
    EXPECT_TRUE(is_filled(bSpecTiles[4], 64, 64, 0, 255, 0));

    EXPECT_EQ(bOtTiles[0]->w, 40);
    EXPECT_EQ(bOtTiles[1]->w, 41);
    EXPECT_EQ(bOtTiles[2]->w, 42);
    EXPECT_TRUE(is_filled(bOtTiles[3], 32, 32, 0, 255, 255));  // empty hole.bmp
    EXPECT_TRUE(is_filled(bOtTiles[4], 32, 32, 0, 255, 255));  // never has a file
    for (int i = 0; i < 14; i++) {
        if (i == 4 || i == 8) continue;
        EXPECT_EQ(bEtc[i]->w, 44 + i) << "bEtc " << i << " holds the wrong file";
    }
    // The explosions are stored backwards: bEtc 10 is exp3, bEtc 13 is exp0.
    EXPECT_EQ(bEtc[10]->w, 40 + 14);
    EXPECT_EQ(bEtc[13]->w, 40 + 17);
    EXPECT_TRUE(is_filled(bEtc[4], 32, 32, 50, 255, 255));  // cut-off castle
    EXPECT_TRUE(is_filled(bEtc[8], 32, 32, 50, 255, 255));  // noise
    EXPECT_TRUE(is_filled(bEtc[14], 32, 32, 50, 255, 255));
    EXPECT_TRUE(is_filled(bEtc[15], 32, 32, 50, 255, 255));

    ASSERT_NE(sfx[0], nullptr);
    for (int i = 1; i < 4; i++) EXPECT_EQ(sfx[i], nullptr);
    // With only one sample there, the others are silent; nothing fails.
    for (int i = 0; i < 4; i++) play(i);
    play(0);
    EXPECT_EQ(sounds_played, (std::vector<int>{0, 1, 2, 3, 0}));
}

class CheckedBitmap : public ::testing::Test {
protected:
    std::string path = ::testing::TempDir() + "checked.bmp";
    void TearDown() override { std::remove(path.c_str()); }
    BITMAP* load_bytes(const std::string& bytes) {
        write_file(path, bytes);
        return load_checked_bitmap(path.c_str());
    }
    std::string valid_bmp(int w, int h) {
        save_solid_bmp(path, w, h, makecol(0, 128, 248));
        return file_bytes(path);
    }
};

TEST_F(CheckedBitmap, AcceptsAPlainTwentyFourBitFile) {
    BITMAP* src = create_bitmap(5, 3);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++) putpixel(src, x, y, makecol(40 * x, 80 * y, 200));
    putpixel(src, 4, 2, makecol(255, 0, 255));
    ASSERT_EQ(save_bitmap(path.c_str(), src, nullptr), 0);
    ASSERT_EQ(file_bytes(path)[28], 24);

    BITMAP* got = load_checked_bitmap(path.c_str());
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->w, 5);
    EXPECT_EQ(got->h, 3);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++)
            EXPECT_EQ(getpixel(got, x, y), getpixel(src, x, y)) << x << "," << y;
    EXPECT_EQ(getpixel(got, 4, 2), bitmap_mask_color(got));  // sprites stay transparent
    destroy_bitmap(got);
    destroy_bitmap(src);
}

TEST_F(CheckedBitmap, RejectsCompressedCutShortAndForeignFiles) {
    EXPECT_EQ(load_checked_bitmap((::testing::TempDir() + "no_such.bmp").c_str()), nullptr);
    EXPECT_EQ(load_bytes(""), nullptr);
    EXPECT_EQ(load_bytes("BM"), nullptr);
    EXPECT_EQ(load_bytes(noise(5000, 7)), nullptr);
    EXPECT_EQ(load_bytes("BM" + noise(5000, 9)), nullptr);

    std::string good = valid_bmp(40, 40);
    ASSERT_EQ(good.size(), 54u + 40 * 120);
    EXPECT_EQ(load_bytes(good.substr(0, 54)), nullptr);
    EXPECT_EQ(load_bytes(good.substr(0, good.size() - 1)), nullptr);
    EXPECT_EQ(load_bytes(good.substr(0, 2000)), nullptr);

    auto patched = [&](int at, std::initializer_list<unsigned char> bytes) {
        std::string s = good;
        for (unsigned char b : bytes) s[at++] = static_cast<char>(b);
        return s;
    };
    EXPECT_EQ(load_bytes(patched(18, {0, 0, 0, 0x40})), nullptr);           // width 1 << 30
    EXPECT_EQ(load_bytes(patched(22, {0xff, 0xff, 0xff, 0x7f})), nullptr);  // height
    EXPECT_EQ(load_bytes(patched(22, {0xd8, 0xff, 0xff, 0xff})), nullptr);  // -40: top-down
    EXPECT_EQ(load_bytes(patched(28, {16, 0})), nullptr);                   // 16-bit fields
    EXPECT_EQ(load_bytes(patched(10, {0xf0, 0xff, 0xff, 0xff})), nullptr);  // pixels past the end
    std::string big_palette = patched(28, {8, 0});  // 8-bit, with 65536 palette colours
    big_palette[48] = 1;
    EXPECT_EQ(load_bytes(big_palette), nullptr);

    // A genuine 4x2 RLE8 picture: two colours, one run per row.
    std::string rle = "BM";
    auto le = [&](uint32_t v, int n) {
        for (int i = 0; i < n; i++) rle += static_cast<char>((v >> (8 * i)) & 0xff);
    };
    const std::string data("\x04\x01\x00\x00\x04\x02\x00\x01", 8);
    le(14 + 40 + 12 + data.size(), 4);
    le(0, 4);
    le(14 + 40 + 12, 4);
    le(40, 4), le(4, 4), le(2, 4), le(1, 2), le(8, 2), le(1, 4), le(data.size(), 4);
    le(2835, 4), le(2835, 4), le(3, 4), le(0, 4);
    le(0, 4), le(0x0000ff, 4), le(0x00ff00, 4);
    rle += data;
    EXPECT_EQ(load_bytes(rle), nullptr);
    rle[30] = 2;  // and as RLE4
    EXPECT_EQ(load_bytes(rle), nullptr);
}

// A MIDI file: header, then one chunk per track body (each given without
// its end-of-track event, which is added).
std::string midi(int format, int tracks, int division, const std::vector<std::string>& bodies) {
    auto be = [](uint32_t v, int bytes) {
        std::string s;
        for (int i = bytes - 1; i >= 0; i--) s += static_cast<char>((v >> (8 * i)) & 0xff);
        return s;
    };
    std::string out = "MThd" + be(6, 4) + be(format, 2) + be(tracks, 2) + be(division, 2);
    for (const std::string& body : bodies) {
        std::string track = body + std::string("\x00\xff\x2f\x00", 4);
        out += "MTrk" + be(track.size(), 4) + track;
    }
    return out;
}

const char* fault(const std::string& bytes) {
    return midi_fault(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(MidiCheck, SaneTunesPassAndEachBrokenRuleIsNamed) {
    std::string built = file_bytes(absolute_path("/../media/nbk.mid"));
    if (!built.empty()) {
        EXPECT_EQ(fault(built), nullptr) << fault(built);
    }

    const std::string notes("\x00\x90\x3c\x64\x60\x3e\x64\x83\x60\x80\x3c\x00", 12);
    const std::string tempo("\x00\xff\x51\x03\x07\xa1\x20", 7);
    const std::string sysex("\x00\xf0\x03\x7e\x09\xf7", 6);
    const std::string long_delta("\xff\xff\xff\x7f\xc0\x05", 6);  // four bytes, a program
    EXPECT_EQ(fault(midi(1, 2, 480, {tempo + sysex, notes + long_delta})), nullptr);
    EXPECT_EQ(fault(midi(0, 1, 96, {""})), nullptr);
    EXPECT_EQ(fault(midi(0, 32, 0x7fff, std::vector<std::string>(32, notes))), nullptr);

    const std::string good = midi(0, 1, 480, {notes});
    std::string bad_magic = good, long_header = good;
    bad_magic[0] = 'R';
    long_header[7] = 7;
    const struct {
        std::string file;
        const char* rule;
    } broken[] = {
        {"", "no MIDI header"},
        {bad_magic, "no MIDI header"},
        {long_header, "header that is not six"},
        {midi(2, 1, 480, {notes}), "format other than 0 or 1"},
        {midi(1, 0, 480, {}), "track count outside"},
        {midi(1, 33, 480, std::vector<std::string>(33, notes)), "track count outside"},
        {midi(0, 1, 0, {notes}), "division of 0"},
        {midi(0, 1, 0xe728, {notes}), "SMPTE"},
        {midi(1, 2, 480, {notes}), "fewer tracks"},
        {good.substr(0, good.size() - 1), "past the end of the file"},
        {midi(0, 1, 480, {notes}).replace(14, 4, "XTrk"), "chunk where a track should be"},
        {midi(0, 1, 480, {std::string("\x80\x80\x80\x80\x00\x90\x3c\x64", 8)}),
         "longer than four bytes"},
        {midi(0, 1, 480, {std::string("\x00\xff\x01\xff\xff\xff\x7f", 7)}),
         "past the end of its track"},
        {midi(0, 1, 480, {std::string("\x00\xf0\x7f\x00", 4)}), "past the end of its track"},
        {midi(0, 1, 480, {std::string("\x00\x3c\x64", 3)}), "running status without"},
        {midi(0, 1, 480, {tempo + std::string("\x00\x3c\x64", 3)}), "running status without"},
        {midi(0, 1, 480, {std::string("\x00\x90\x3c\xe4", 4)}), "above 127"},
        {midi(0, 1, 480, {std::string("\x00\xc0\x85", 3)}), "above 127"},
        {midi(0, 1, 480, {std::string("\x00\xf3\x01", 3)}), "no place in a file"},
        {midi(0, 1, 480, {std::string("\x00\xff\x51\x02\x07\xa1", 6)}), "tempo"},
        {midi(0, 1, 480, {std::string("\x00\xff\x51\x03\x00\x00\x00", 7)}), "tempo"},
        {good.substr(0, good.size() - 4).replace(18, 4, std::string("\x00\x00\x00\x0c", 4)),
         "without an end-of-track"},
    };
    for (const auto& b : broken) {
        const char* why = fault(b.file);
        ASSERT_NE(why, nullptr) << "passed, but has " << b.rule;
        EXPECT_NE(std::strstr(why, b.rule), nullptr) << why << " / expected " << b.rule;
    }
}

TEST(Play, OnlyTheFourEffectsSoundAndEmptySamplesStaySilent) {
    sounds_played.clear();
    SAMPLE* saved[4];
    std::memcpy(saved, sfx, sizeof sfx);
    std::memset(sfx, 0, sizeof sfx);
    for (int index : {4, -1, 5, 1000, INT_MIN, INT_MAX}) play(index);
    EXPECT_TRUE(sounds_played.empty());
    for (int i = 0; i < 4; i++) play(i);  // empty samples: nothing to play, nothing breaks
    EXPECT_EQ(sounds_played, (std::vector<int>{0, 1, 2, 3}));

    // A real sample overlaps itself when played twice in one tick.
    sounds_played.clear();
    sfx[1] = create_sample(8, 0, 11025, 256);
    play(1);
    play(1);
    EXPECT_EQ(sounds_played, (std::vector<int>{1, 1}));
    destroy_sample(sfx[1]);
    std::memcpy(sfx, saved, sizeof sfx);
}

// Headless, the program's folder is the working folder (build/tests).
TEST(MediaSearch, TheVariableThenBesideTheProgramThenTheInstallsDataFolder) {
    std::string here = executable_folder();
    std::string beside = here + "/media", share = here + "/../share";
    std::string installed = share + "/tollybrook";
    if (is_dir(beside) || is_dir(share))
        GTEST_SKIP() << "media folders stand beside the test program";
    std::string chosen = std::getenv("TOLLYBROOK_DATA") ? std::getenv("TOLLYBROOK_DATA") : "";
    unsetenv("TOLLYBROOK_DATA");
    ASSERT_EQ(mkdir(share.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(installed.c_str(), 0755), 0);
    std::string normal_installed = std::filesystem::path(installed).lexically_normal().string();
    EXPECT_EQ(media_folder(), normal_installed);
    EXPECT_EQ(std::string(absolute_path("/media/tile.bmp")), normal_installed + "/tile.bmp");
    ASSERT_EQ(mkdir(beside.c_str(), 0755), 0);
    EXPECT_EQ(media_folder(), beside);
    setenv("TOLLYBROOK_DATA", "/nowhere/else", 1);
    EXPECT_EQ(media_folder(), "/nowhere/else");
    EXPECT_EQ(std::string(absolute_path("/media/tile.bmp")), "/nowhere/else/tile.bmp");
    EXPECT_EQ(std::string(absolute_path("hi.dat")), here + "/hi.dat") << "the table is not media";
    rmdir(beside.c_str());
    rmdir(installed.c_str());
    rmdir(share.c_str());
    setenv("TOLLYBROOK_DATA", chosen.c_str(), 1);
}

TEST_F(Media, MissingFilesAreCountedInOneLineNamingTheFolder) {
    std::string empty = absolute_path("empty-media");
    ASSERT_EQ(mkdir(empty.c_str(), 0755), 0);
    std::string chosen = std::getenv("TOLLYBROOK_DATA");
    setenv("TOLLYBROOK_DATA", empty.c_str(), 1);
    testing::internal::CaptureStderr();
    load();
    std::string said = testing::internal::GetCapturedStderr();
    setenv("TOLLYBROOK_DATA", chosen.c_str(), 1);
    rmdir(empty.c_str());
    const std::string all = std::to_string(std::size(media_files));
    EXPECT_EQ(said, "tollybrook: " + all + " of " + all + " media files missing in " + empty + "\n");
}

TEST(PatchIndex, PatchFilesBecomeAbsoluteAfterTheLatestDirLine) {
    const std::string timidity =
        "# a comment\ndir /a/b/\n\ndrumset 0\n 35\tDrum/035.pat amp=100\nbank 0\n"
        "0 Tone/000.pat\ndir /c\n1 /abs/001.pat\n2 Tone/002.pat\nsource other.cfg\n";
    EXPECT_EQ(absolute_patch_index(timidity, "/etc/t"),
              "drumset 0\n35 /a/b/Drum/035.pat amp=100\nbank 0\n0 /a/b/Tone/000.pat\n"
              "1 /abs/001.pat\n2 /c/Tone/002.pat\n");
    EXPECT_EQ(absolute_patch_index("0 p.pat\n", "/etc/t"), "0 /etc/t/p.pat\n");
    EXPECT_EQ(absolute_patch_index("# none\nbank 0\n", "/etc/t"), "") << "no patch, no index";
}

TEST(AbsolutePath, NamesAFileBesideTheProgramInOneSharedBuffer) {
    // Headless, Allegro names the program "./", so "beside it" is the
    // working directory; the real system driver gives the full path.
    char exe[256], dir[PATH_MAX];
    get_executable_name(exe, sizeof exe);
    *std::strrchr(exe, '/') = '\0';
    ASSERT_NE(realpath(exe, dir), nullptr);
    char* first = absolute_path("/media/tile.bmp");
    EXPECT_EQ(first, fname.c_str());
    EXPECT_EQ(std::string(first), std::string(dir) + "/media/tile.bmp");
    char* second = absolute_path("hi.dat");
    EXPECT_EQ(second, first);
    EXPECT_EQ(std::string(first), std::string(dir) + "/hi.dat");
}

}  // namespace
