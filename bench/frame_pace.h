// When a loop presented its frames, and what that says about its pace: the
// frames a second and the gaps between frames (median, 99th percentile,
// longest, and the share under 18 ms, a frame at 60 Hz plus 1.3 ms).
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

class frame_pace {
public:
    using clock = std::chrono::steady_clock;
    // Room for SECONDS of frames at 60 a second; later frames are not kept.
    explicit frame_pace(double seconds) { times.reserve(static_cast<size_t>(seconds * 61) + 10); }
    void presented() {
        if (times.size() < times.capacity()) times.push_back(clock::now());
    }
    // One line on standard output, headed by `who`.
    void report(const char* who) const {
        if (times.size() < 3) return;
        std::vector<double> gaps;
        for (size_t i = 1; i < times.size(); i++) gaps.push_back(ms(times[i - 1], times[i]));
        std::sort(gaps.begin(), gaps.end());
        auto at = [&](double share) {
            return gaps[static_cast<size_t>(share * (gaps.size() - 1) + 0.5)];
        };
        size_t under = std::lower_bound(gaps.begin(), gaps.end(), 18.0) - gaps.begin();
        std::printf(
            "%s presented %.2f frames a second  gaps p50 %4.1f  p99 %4.1f  max %5.1f ms  %.1f%% "
            "under 18 ms\n",
            who, gaps.size() * 1000.0 / ms(times.front(), times.back()), at(0.5), at(0.99),
            gaps.back(), 100.0 * under / gaps.size());
        std::fflush(stdout);
    }

private:
    std::vector<clock::time_point> times;
    static double ms(clock::time_point a, clock::time_point b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    }
};
