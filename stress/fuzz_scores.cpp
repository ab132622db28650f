// libFuzzer target: whatever hi.dat holds, loading it and saving it again
// must neither crash nor leave a malformed table. Built by stress/fuzz.sh.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "headless.h"
#include "score_file_check.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!start_headless(false)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string problem =
        check_score_round_trip(std::string(reinterpret_cast<const char*>(data), size));
    if (!problem.empty()) {
        std::fprintf(stderr, "hi.dat round trip: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
