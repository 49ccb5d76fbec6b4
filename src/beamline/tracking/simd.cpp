#include "beamline/tracking/simd.hpp"

#include <hwy/targets.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>

namespace {

struct Width {
    const char* name;
    int64_t targets;  // Highway targets up to this width
};
constexpr int64_t kNarrow = HWY_EMU128 | HWY_SCALAR | HWY_SSSE3;
constexpr Width kWidths[] = {
    {"sse4", kNarrow | HWY_SSE4},
    {"avx2", kNarrow | HWY_SSE4 | HWY_AVX2},
    {"avx512", kNarrow | HWY_SSE4 | HWY_AVX2 | HWY_AVX3 | HWY_AVX3_DL},
};
// The width whose own target marks it as present on the CPU.
constexpr int64_t kOwnTarget[] = {HWY_SSE4, HWY_AVX2, HWY_AVX3};

std::atomic<bool> batched{true};
std::once_flag chosen;

int64_t cpuTargets() {
    // Asked before any width is forced, so it is what the CPU has.
    static const int64_t targets = [] {
        hwy::DisableTargets(0);
        return hwy::SupportedTargets();
    }();
    return targets;
}

bool apply(std::string_view name) {
    int64_t allowed = 0;
    if (name == "scalar" || name == "auto") {
        allowed = ~int64_t{0};
    } else {
        for (const Width& w : kWidths) {
            if (name == w.name) allowed = w.targets;
        }
        if (allowed == 0) return false;
    }
    cpuTargets();
    hwy::DisableTargets(~allowed);
    hwy::GetChosenTarget().Update(hwy::SupportedTargets());
    batched = name != "scalar";
    return true;
}

void fromEnvironment() {
    const char* text = std::getenv("PELTO_SIMD");
    if (!text || !apply(text)) apply("auto");
}

}  // namespace

bool simdSelect(std::string_view name) {
    std::call_once(chosen, [] {});
    return apply(name);
}

bool simdBatched() {
    std::call_once(chosen, fromEnvironment);
    return batched;
}

std::vector<std::string> simdAvailable() {
    std::vector<std::string> names{"scalar"};
    const int64_t have = cpuTargets() & HWY_TARGETS;
    for (size_t i = 0; i < sizeof kOwnTarget / sizeof kOwnTarget[0]; i++) {
        if (have & kOwnTarget[i]) names.push_back(kWidths[i].name);
    }
    return names;
}
