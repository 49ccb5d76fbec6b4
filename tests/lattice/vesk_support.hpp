// Running Vesk programs in tests and looking at what they produced.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lattice/vesk.hpp"
#include "support/test_support.hpp"

struct VeskOutcome {
    std::unique_ptr<Vesk> env;
    std::vector<std::string> texts;  // every text handed to the callback, in order
    int stop = 0;

    std::string joined() const {
        std::string all;
        for (const std::string& t : texts) all += t;
        return all;
    }
    // The printed form of a variable after the run.
    std::string var(std::string_view name) const { return Value_print(Vesk_variable(*env, name)); }
};

enum class VeskMode { Code, Lattice };

// Lattice mode is how lattice files run: text with code from a '#' to the
// next '#' or the end of the line. `stopAt`: the callback returns 1 on that
// call (counted from 1); 0 never.
inline VeskOutcome runVesk(std::string_view program, VeskMode mode = VeskMode::Code, int stopAt = 0,
                           int64_t maxLoopSteps = kVeskMaxLoopSteps) {
    VeskOutcome out;
    out.env = Vesk_new();
    if (mode == VeskMode::Lattice) {
        Vesk_setdelimiters(*out.env, "#", "#", VESK_START_IN_TEXT | VESK_NEWLINE_RESETS);
    }
    out.env->maxLoopSteps = maxLoopSteps;
    std::vector<std::string>* texts = &out.texts;
    Vesk_setcallback(*out.env, [texts, stopAt](std::string_view text) {
        texts->emplace_back(text);
        return static_cast<int>(texts->size()) == stopAt ? 1 : 0;
    });
    out.stop = Vesk_run(*out.env, program);
    return out;
}

// The dump of the reduced tree of a program, without running it.
inline std::string veskTree(std::string_view program, VeskMode mode = VeskMode::Code) {
    std::unique_ptr<Vesk> env = Vesk_new();
    if (mode == VeskMode::Lattice) {
        Vesk_setdelimiters(*env, "#", "#", VESK_START_IN_TEXT | VESK_NEWLINE_RESETS);
    }
    std::unique_ptr<VeskNode> root = Vesk_parse(*env, program);
    return Vesk_dump(*root);
}

// Runs a test inside a fresh scratch folder, for the files that Vesk writes
// into the working directory.
class VeskScratchTest : public testing::Test {
  protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_.path());
    }
    void TearDown() override { std::filesystem::current_path(previous_); }
    ScratchFolder folder_;
    std::filesystem::path previous_;
};
