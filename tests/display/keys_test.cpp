// The key rules on their own: a Keyboard in, view settings and run state out.
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>

#include "display/keys.hpp"
#include "display_fixture.hpp"

namespace {

Key letter(char c) {
    return letterKey(c);
}
Key digit(int n) {
    return static_cast<Key>(Key0 + n);
}
Key fn(int n) {
    return static_cast<Key>(KeyF1 + n - 1);
}

// A pass in which these keys went down (and are still down).
Keyboard press(std::initializer_list<Key> keys, const std::string& typed = "") {
    Keyboard kb;
    for (Key k : keys) kb.down[k] = kb.pressed[k] = true;
    kb.typed = typed;
    return kb;
}
// A pass in which these keys are still down from before.
Keyboard hold(std::initializer_list<Key> keys) {
    Keyboard kb;
    for (Key k : keys) kb.down[k] = true;
    return kb;
}

struct Keys : ::testing::Test {
    ViewSettings view;
    RunControl run;
    KeyResult apply(const Keyboard& kb, Cell* root = nullptr) {
        return applyKeys(kb, view, run, root);
    }
};

}  // namespace

TEST_F(Keys, FrameRateKeysDoubleAndHalveWithinTheirLimits) {
    struct Case {
        int from;
        char key;
        int times;
        int expect;
    };
    for (const Case& c : {Case{1, 'F', 1, 2}, Case{1, 'F', 8, 128}, Case{100, 'F', 1, 128},
                          Case{1, 'G', 1, 1}, Case{5, 'G', 1, 2}, Case{128, 'G', 7, 1}}) {
        view = ViewSettings{};
        view.stepsPerPass = c.from;
        for (int i = 0; i < c.times; i++) apply(press({letter(c.key)}));
        EXPECT_EQ(view.stepsPerPass, c.expect) << c.key << " x" << c.times << " from " << c.from;
        EXPECT_FALSE(view.autoFrameRate);
    }
}

TEST_F(Keys, HoldingFActsOnlyOnThePress) {
    apply(press({letter('F')}));
    for (int i = 0; i < 5; i++) apply(hold({letter('F')}));
    EXPECT_EQ(view.stepsPerPass, 2);
}

TEST_F(Keys, PauseStopsTheAutoViewAndResumingLeavesItOff) {
    run.elapsed = 42;
    apply(press({letter('P')}));
    EXPECT_FALSE(run.running);
    EXPECT_FALSE(view.autoView);
    EXPECT_DOUBLE_EQ(run.elapsedAtPause, 42);
    apply(press({letter('P')}));
    EXPECT_TRUE(run.running);
    EXPECT_FALSE(view.autoView);
}

TEST_F(Keys, TogglesAndCycles) {
    struct Case {
        Key key;
        std::function<int(const ViewSettings&)> read;
        std::vector<int> after;  // value after each of successive presses
    };
    auto bit = [](uint16_t b) {
        return [b](const ViewSettings& v) { return (v.showMask & b) ? 1 : 0; };
    };
    auto field = [](int shift) {
        return [shift](const ViewSettings& v) { return showField(v.showMask, shift); };
    };
    const std::vector<Case> cases = {
        {letter('A'), [](const ViewSettings& v) { return int(v.autoFrameRate); }, {0, 1}},
        {letter('V'), [](const ViewSettings& v) { return int(v.autoView); }, {0, 1}},
        {letter('I'), [](const ViewSettings& v) { return int(v.particleInfo); }, {1, 0}},
        {letter('O'), [](const ViewSettings& v) { return int(v.bigParticles); }, {1, 0}},
        {letter('H'), [](const ViewSettings& v) { return int(v.phaseSpacePlots); }, {1, 0}},
        {letter('R'), [](const ViewSettings& v) { return int(v.recording); }, {1, 0}},
        {letter('S'), [](const ViewSettings& v) { return int(v.smallText); }, {1, 0}},
        {letter('L'), [](const ViewSettings& v) { return int(v.graphsOn); }, {1, 0}},
        {KeySpace, [](const ViewSettings& v) { return v.infoMode; }, {2, 0, 1}},
        {letter('E'), field(kColourShift), {1, 2, 0}},
        {fn(2), bit(ShowMuons), {0, 1}},
        {fn(3), bit(ShowPions), {0, 1}},
        {fn(4), field(kLostShift), {2, 0, 1}},
        {fn(5), bit(ShowGrid), {1, 0}},
        {fn(6), field(kCellsShift), {2, 0, 1}},
        {fn(7), bit(ShowSolenoids), {0, 1}},
        {fn(8), bit(ShowBends), {0, 1}},
        {fn(9), bit(ShowApertures), {0, 1}},
        {letter('B'), bit(ShowBoxes), {1, 0}},
        {fn(11), bit(ShowLegend), {0, 1}},
        {KeyInsert, [](const ViewSettings& v) { return v.stereoColours; }, {1, 2, 0}},
        {static_cast<Key>(KeyPad0 + 2),
         [](const ViewSettings& v) { return int(v.parameterGraphs); },
         {4, 0}},
    };
    for (const Case& c : cases) {
        view = ViewSettings{};
        uint16_t others = view.showMask;
        for (size_t i = 0; i < c.after.size(); i++) {
            apply(press({c.key}));
            EXPECT_EQ(c.read(view), c.after[i]) << "key " << c.key << " press " << i + 1;
        }
        // A full cycle leaves every other display bit as it was.
        EXPECT_EQ(view.showMask, others) << "key " << c.key;
    }
}

TEST_F(Keys, F12ShowsEverythingWhileHeld) {
    apply(hold({fn(12)}));
    EXPECT_EQ(view.showMask, 0xFFFF);
    EXPECT_EQ(showField(view.showMask, kCellsShift), 3);
}

TEST_F(Keys, HeldKeysActEveryPass) {
    for (int i = 0; i < 10; i++) apply(hold({digit(8)}));
    EXPECT_NEAR(view.fieldOfView, std::pow(1.05, 10), 1e-12);
    for (int i = 0; i < 10; i++) apply(hold({digit(9)}));
    EXPECT_NEAR(view.fieldOfView, 1.0, 1e-12);
    for (int i = 0; i < 3; i++) apply(hold({KeyHome}));
    EXPECT_NEAR(view.stereoDepth, 0.06 + 0.03, 1e-12);
    for (int i = 0; i < 2; i++) apply(hold({KeyPageUp}));
    EXPECT_NEAR(view.stereoRange, 1.21, 1e-12);
    apply(press({digit(3)}));
    EXPECT_EQ(view.projection, Projection::Stereo);
    apply(press({digit(2)}));
    EXPECT_EQ(view.projection, Projection::Standard);
}

TEST_F(Keys, CtrlChords) {
    // Ctrl+F opens the search and, in the same pass, also acts as F.
    apply(press({KeyCtrl, letter('F')}));
    EXPECT_EQ(view.entryMode, EntryMode::FindCell);
    EXPECT_FALSE(view.autoFrameRate);
    EXPECT_EQ(view.stepsPerPass, 2);

    view = ViewSettings{};
    KeyResult r = apply(press({KeyCtrl, letter('S')}));
    EXPECT_TRUE(r.screenshot);
    EXPECT_FALSE(view.smallText);

    view = ViewSettings{};
    apply(press({KeyCtrl, letter('A')}));
    EXPECT_EQ(view.entryMode, EntryMode::ApertureScan);
}

TEST_F(Keys, AnOpenEntryTakesTheTypedKeys) {
    CellPtr root = placedDemoLattice("decay_channel", 0);
    ASSERT_TRUE(root);
    apply(press({KeyCtrl, letter('F')}));
    int steps = view.stepsPerPass;
    // P, Q and F type letters instead of pausing, quitting or changing the rate.
    KeyResult r = apply(press({letter('P'), letter('Q')}, "pq"), root.get());
    EXPECT_FALSE(r.quit);
    EXPECT_TRUE(run.running);
    EXPECT_EQ(view.entryText, "pq");
    EXPECT_EQ(view.matchText, "");
    apply(press({KeyBackspace}), root.get());
    apply(press({KeyBackspace}), root.get());
    apply(press({letter('D')}, "d"), root.get());
    apply(press({digit(3)}, "3"), root.get());
    EXPECT_EQ(view.entryText, "d3");
    EXPECT_EQ(view.matchText, "D3");
    EXPECT_EQ(view.stepsPerPass, steps);
    apply(press({KeyBackspace}), root.get());
    EXPECT_EQ(view.matchText, "D0");  // the first cell whose name starts with "d"
    apply(press({KeyTab}), root.get());
    EXPECT_EQ(view.entryText, "D0");
    r = apply(press({KeyEscape}), root.get());
    EXPECT_EQ(view.entryMode, EntryMode::None);
    EXPECT_TRUE(r.swallowEscape);
    EXPECT_FALSE(r.quit);
}

TEST_F(Keys, ApertureScanRemembersItsCell) {
    CellPtr root = placedDemoLattice("decay_channel", 0);
    apply(press({KeyCtrl, letter('A')}));
    apply(press({letter('S')}, "s2"), root.get());
    KeyResult r = apply(press({KeyEnter}), root.get());
    EXPECT_FALSE(r.swallowEscape);
    EXPECT_EQ(view.entryMode, EntryMode::None);
    EXPECT_EQ(view.apertureScanFrom, "S2");
}

TEST_F(Keys, Quit) {
    EXPECT_TRUE(apply(hold({letter('Q')})).quit);
    EXPECT_FALSE(apply(hold({letter('W')})).quit);
}

TEST_F(Keys, F1OpensTheHelpAndF1OrSpaceClosesIt) {
    // Each row: passes from the default view, then whether the help is open
    // and the information panel's mode.
    struct Case {
        const char* what;
        std::vector<Keyboard> passes;
        bool helpShown;
        int infoMode;
    };
    const std::vector<Case> cases = {
        {"F1 opens", {press({fn(1)})}, true, 1},
        {"holding F1 does not close it", {press({fn(1)}), hold({fn(1)}), hold({fn(1)})}, true, 1},
        {"F1 again closes", {press({fn(1)}), Keyboard{}, press({fn(1)})}, false, 1},
        {"Space closes without changing the panel",
         {press({fn(1)}), Keyboard{}, press({KeySpace})},
         false,
         1},
        {"Space without the help changes the panel", {press({KeySpace})}, false, 2},
        {"other keys leave it open", {press({fn(1)}), press({letter('E')})}, true, 1},
        {"F1 and Space in one pass open it", {press({fn(1), KeySpace})}, true, 2},
    };
    for (const Case& c : cases) {
        view = ViewSettings{};
        for (const Keyboard& kb : c.passes) apply(kb);
        EXPECT_EQ(view.helpShown, c.helpShown) << c.what;
        EXPECT_EQ(view.infoMode, c.infoMode) << c.what;
    }
    // Its last line says how to close it.
    EXPECT_NE(std::string(kHelpLines[kHelpLineCount - 1]).find("F1 or Space"), std::string::npos);
}
