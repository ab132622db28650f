// A battle runs sixty ticks a second for minutes on end; once its crowd is
// steady, a tick (update, redraw, present) must not touch the heap at all.
//
// Counting: without AddressSanitizer this file stands in for malloc and its
// relatives for the whole test program. The stand-ins only count, on the
// thread that asked for counting, and hand every request on to glibc's own
// allocator unchanged. Under AddressSanitizer, which owns malloc itself, the
// count comes from its allocation hooks instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "alfont.h"
#include "data_media.h"
#include "game.h"
#include "gfx.h"
#include "harness.h"

#if defined(__SANITIZE_ADDRESS__)
#define TOLLY_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOLLY_ASAN 1
#endif
#endif

namespace {

thread_local bool counting = false;
thread_local long allocations = 0;

inline void note_allocation() {
    if (counting) allocations++;
}

}  // namespace

#ifdef TOLLY_ASAN

extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             size_t),
                                                         void (*free_hook)(const volatile void*));

namespace {
void sanitizer_malloc_hook(const volatile void*, size_t) { note_allocation(); }
void sanitizer_free_hook(const volatile void*) {}
bool hooks_installed() {
    static bool installed =
        __sanitizer_install_malloc_and_free_hooks(sanitizer_malloc_hook, sanitizer_free_hook) != 0;
    return installed;
}
}  // namespace

#else

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);

void* malloc(size_t size) noexcept {
    note_allocation();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) noexcept {
    note_allocation();
    return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) noexcept {
    note_allocation();
    return __libc_realloc(block, size);
}
void* memalign(size_t alignment, size_t size) noexcept {
    note_allocation();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) noexcept {
    note_allocation();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** block, size_t alignment, size_t size) noexcept {
    note_allocation();
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
    void* got = __libc_memalign(alignment, size);
    if (!got && size != 0) return 12;  // ENOMEM
    *block = got;
    return 0;
}
}

namespace {
bool hooks_installed() { return true; }
}  // namespace

#endif

namespace {

// Counts the heap requests made by the calling thread while fn runs.
template <class Fn>
long allocations_during(Fn fn) {
    allocations = 0;
    counting = true;
    fn();
    counting = false;
    return allocations;
}

// The attract magnet in the middle of the field, nothing else laid. A granny
// that starts close to it walks into its pull and circles there for good,
// inside the grid and clear of the shots.
const int trap_column = 3, trap_row = 2;
const offset trap = magnet_point(trap_column, trap_row, attract_anchor);
const int trap_x = trap.x, trap_y = trap.y;

void trap_crowd(game& g, int count) {
    g.level = 23;  // from level 23 on no granny comes
    g.reset(g.level);
    g.grid[trap_column][trap_row] = attract_tile;
    g.stock[attract_tile - 1] = 0;
    g.attract_x = trap_x;
    g.attract_y = trap_y;
    g.mode = mode_battle;
    for (int i = 0; i < count; i++) {
        granny gr;
        gr.x = static_cast<float>(trap_x - 30 + (i % 10) * 6);
        gr.y = static_cast<float>(trap_y - 20 + (i / 10) * 8);
        g.grannies.push_back(gr);
    }
}

// A shot every eight ticks, landing in the bottom-left corner, far from the
// crowd: some fourteen meteors are in the air or exploding at any time.
void shoot_now_and_then(int tick_number) {
    mouse_x = 60;
    mouse_y = 400;
    mouse_b = tick_number % 8 < 4 ? 1 : 0;
}

struct population {
    size_t fewest_grannies = SIZE_MAX, most_grannies = 0;
    size_t fewest_meteors = SIZE_MAX, most_meteors = 0;
    size_t most_exploding = 0;

    void note(const game& g) {
        fewest_grannies = std::min(fewest_grannies, g.grannies.size());
        most_grannies = std::max(most_grannies, g.grannies.size());
        fewest_meteors = std::min(fewest_meteors, g.meteors.size());
        most_meteors = std::max(most_meteors, g.meteors.size());
        size_t exploding = std::count_if(g.meteors.begin(), g.meteors.end(), [](const meteor& m) {
            return m.state == meteor_exploding;
        });
        most_exploding = std::max(most_exploding, exploding);
    }
};

}  // namespace

TEST(Allocations, CountingSeesTheHeapRequestsOfThisThread) {
    ASSERT_TRUE(hooks_installed());
    EXPECT_EQ(allocations_during([] {}), 0);
    static int* volatile kept;  // so the compiler cannot leave the requests out
    long seen = allocations_during([] {
        kept = new int[40];
        delete[] kept;
        void* q = std::malloc(100);
        q = std::realloc(q, 5000);
        std::free(q);
    });
    EXPECT_GE(seen, 3);
}

// A battle drawn with the media tables, its sounds not listened to: the
// harness keeps them in a list that grows.
class SteadyBattle : public ::testing::Test {
protected:
    void SetUp() override {
        remove_score_file();
        release_input();
        alfont_init();
        load_data();
        listener = on_play;
        on_play = nullptr;
        // Drawn into a back buffer and presented, as in the game: only what
        // changed is repainted and sent.
        back = present_through_back_buffer();
    }
    void TearDown() override {
        draw_on_screen_again(back);
        on_play = listener;
        unload_data();  // leaves every table empty for the tests after this one
        alfont_exit();
        release_input();
        remove_score_file();
    }
    void (*listener)(int) = nullptr;
    BITMAP* back = nullptr;
};

TEST_F(SteadyBattle, TenThousandTicksAllocateNothing) {
    ASSERT_TRUE(hooks_installed());
    game g;
    trap_crowd(g, 50);
    // Warm up: the meteor list reaches its working size, the crowd settles
    // round the magnet and every digit of the score has been drawn once.
    int t = 0;
    for (; t < 2000; t++) {
        shoot_now_and_then(t);
        tick(g);
    }
    ASSERT_EQ(g.mode, mode_battle);
    ASSERT_EQ(g.grannies.size(), 50u) << "the crowd must hold steady";

    population seen;
    long count = allocations_during([&] {
        for (int end = t + 10000; t < end; t++) {
            shoot_now_and_then(t);
            tick(g);
            seen.note(g);
        }
    });
    EXPECT_EQ(count, 0) << "heap requests in 10,000 steady battle ticks";

    EXPECT_EQ(g.mode, mode_battle);
    EXPECT_EQ(seen.fewest_grannies, 50u);
    EXPECT_EQ(seen.most_grannies, 50u);
    EXPECT_GE(seen.fewest_meteors, 10u);
    EXPECT_LE(seen.most_meteors, seen.fewest_meteors + 1);
    EXPECT_GE(seen.most_exploding, 3u);
}
