// The real window, run headless: frames are drawn, key events pushed into
// SDL's queue act as a person's key presses, screenshots are real files.
#include <gtest/gtest.h>

#include <SDL.h>

#include <filesystem>
#include <set>

#include "beamline/cell_types.hpp"
#include "display/beamline_view.hpp"
#include "display/display.hpp"
#include "display_fixture.hpp"
#include "platform/process.hpp"
#include "support/test_support.hpp"

namespace {

struct Window : ::testing::Test {
    ScratchFolder dir;
    std::string saved = currentFolder();
    CellPtr root;
    std::vector<DisplayParticle> beam;
    RunControl run;

    void SetUp() override {
        useHeadlessVideo();
        viewSettings() = ViewSettings{};
        root = placedDemoLattice("decay_channel", 500);
        ASSERT_TRUE(root);
        beam = beamAlong(*root, 2.0, 3000, 400);
        ASSERT_TRUE(setCurrentFolder(dir.path()));
        std::string why;
        ASSERT_TRUE(displayOpen({"Pelto test", 1024, 768, false}, why)) << why;
        displayPrepare(root.get(), false);
    }
    void TearDown() override {
        displayClose();
        setCurrentFolder(saved);
        viewSettings() = ViewSettings{};
    }
    // One pass of the run loop: draw, then the keys.
    bool pass() {
        displayDrawFrame(frameOf(*root, beam, 3.2e-9), run);
        return displayHandleKeys(run, root.get());
    }
};

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    size_t colours() const { return std::set<uint32_t>(pixels.begin(), pixels.end()).size(); }
    bool differs(const Picture& o) const { return pixels != o.pixels; }
};

Picture readBmp(const std::string& path) {
    Picture p;
    SDL_Surface* loaded = SDL_LoadBMP(path.c_str());
    if (!loaded) return p;
    SDL_Surface* s = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB888, 0);
    SDL_FreeSurface(loaded);
    p.width = s->w, p.height = s->h;
    for (int y = 0; y < s->h; y++) {
        const uint32_t* row =
            reinterpret_cast<const uint32_t*>(static_cast<const char*>(s->pixels) + y * s->pitch);
        p.pixels.insert(p.pixels.end(), row, row + s->w);
    }
    SDL_FreeSurface(s);
    return p;
}

Picture shot() {
    std::string name = displayScreenshot();
    Picture p = readBmp(name);
    std::filesystem::remove(name);
    return p;
}

void pushMouse(int x, int y) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    e.motion.y = y;
    SDL_PushEvent(&e);
}

// The coils in a picture: runs of columns holding the solenoids' own bore
// colours (the legend, which shows them too, must be hidden).
int coilsIn(const Picture& p) {
    std::vector<bool> column(p.width, false);
    for (int y = 0; y < p.height; y++) {
        for (int x = 0; x < p.width; x++) {
            uint32_t c = p.pixels[y * p.width + x] & 0xFFFFFF;
            if (c == kSolenoidPlus || c == kSolenoidMinus) column[x] = true;
        }
    }
    int runs = 0;
    for (int x = 0; x < p.width; x++) runs += column[x] && (x == 0 || !column[x - 1]);
    return runs;
}

}  // namespace

TEST_F(Window, FramesAreDrawnAndScreenshotsNumbered) {
    pass();
    tapKey(SDLK_s, KMOD_LCTRL);
    pass();
    tapKey(SDLK_s, KMOD_LCTRL);
    pass();
    EXPECT_FALSE(viewSettings().smallText);
    ASSERT_TRUE(std::filesystem::exists("screenshot00000.bmp"));
    ASSERT_TRUE(std::filesystem::exists("screenshot00001.bmp"));
    Picture p = readBmp("screenshot00000.bmp");
    EXPECT_EQ(p.width, 1024);
    EXPECT_EQ(p.height, 768);
    // The beamline, the beam, the legend and the texts: many colours.
    EXPECT_GT(p.colours(), 20u);
    // A free number is taken, not the next after the highest.
    std::filesystem::remove("screenshot00000.bmp");
    EXPECT_EQ(displayScreenshot(), "screenshot00000.bmp");
    EXPECT_EQ(displayScreenshot(), "screenshot00002.bmp");
}

TEST_F(Window, PushedKeysPauseAndResume) {
    tapKey(SDLK_p);
    EXPECT_FALSE(pass());
    EXPECT_FALSE(run.running);
    EXPECT_FALSE(viewSettings().autoView);
    Picture paused = shot();
    pass();  // no key: stays paused
    EXPECT_FALSE(run.running);
    tapKey(SDLK_p);
    pass();
    EXPECT_TRUE(run.running);
    Picture running = shot();
    // The paused mark is drawn only while paused.
    EXPECT_TRUE(paused.differs(running));
}

TEST_F(Window, PushedKeysChangeTheStepsPerFrame) {
    for (int i = 0; i < 9; i++) {
        tapKey(SDLK_f);
        pass();
    }
    EXPECT_EQ(viewSettings().stepsPerPass, 128);
    EXPECT_FALSE(viewSettings().autoFrameRate);
    // Held down over several passes: one halving only.
    pushKey(SDLK_g, true);
    for (int i = 0; i < 4; i++) pass();
    pushKey(SDLK_g, false);
    pass();
    EXPECT_EQ(viewSettings().stepsPerPass, 64);
    tapKey(SDLK_a);
    pass();
    EXPECT_TRUE(viewSettings().autoFrameRate);
}

TEST_F(Window, DisplayTogglesChangeThePicture) {
    pass();
    Picture before = shot();
    struct Case {
        SDL_Keycode key;
        uint16_t bit;
    };
    for (const Case& c :
         {Case{SDLK_F5, ShowGrid}, Case{SDLK_F7, ShowSolenoids}, Case{SDLK_b, ShowBoxes},
          Case{SDLK_F11, ShowLegend}, Case{SDLK_F2, ShowMuons}}) {
        uint16_t mask = viewSettings().showMask;
        tapKey(c.key);
        pass();
        EXPECT_EQ(viewSettings().showMask, mask ^ c.bit) << SDL_GetKeyName(c.key);
        pass();
        Picture after = shot();
        EXPECT_TRUE(after.differs(before)) << SDL_GetKeyName(c.key);
        before = after;
    }
}

TEST_F(Window, FindCellByName) {
    pushKey(SDLK_LCTRL, true);
    tapKey(SDLK_f, KMOD_LCTRL);
    pass();
    pushKey(SDLK_LCTRL, false);
    EXPECT_EQ(viewSettings().entryMode, EntryMode::FindCell);
    Picture before = shot();
    tapKey(SDLK_s);
    tapKey(SDLK_3);
    pass();
    EXPECT_EQ(viewSettings().entryText, "s3");
    EXPECT_EQ(viewSettings().matchText, "S3");
    pass();
    EXPECT_TRUE(shot().differs(before));  // the prompt and the view on S3
    // Q types a letter while the entry is open; Escape closes it without quitting.
    tapKey(SDLK_q);
    EXPECT_FALSE(pass());
    EXPECT_FALSE(displayQuitKeyDown());
    pushKey(SDLK_ESCAPE, true);
    EXPECT_FALSE(pass());
    EXPECT_EQ(viewSettings().entryMode, EntryMode::None);
    EXPECT_FALSE(displayQuitKeyDown());  // until Escape is let go
    pushKey(SDLK_ESCAPE, false);
    pass();
    pushKey(SDLK_ESCAPE, true);
    pass();
    EXPECT_TRUE(displayQuitKeyDown());
}

TEST_F(Window, QuitByKeyOrByClosingTheWindow) {
    pushKey(SDLK_q, true);
    EXPECT_TRUE(pass());
    EXPECT_TRUE(displayQuitKeyDown());
    pushKey(SDLK_q, false);
    pass();
    EXPECT_FALSE(displayQuitKeyDown());
    pushWindowClose();
    EXPECT_TRUE(pass());
    EXPECT_TRUE(displayPumpMessages());
}

TEST_F(Window, ScreensaverEndsOnAKeyOrAMouseMovement) {
    displayCentrePointer();
    pass();
    EXPECT_FALSE(displayAnyKeyDown());
    EXPECT_FALSE(displayPointerMovedAway());
    pushMouse(512 + 60, 384 + 60);  // within a tenth of the width (102 px)
    displayPumpMessages();
    EXPECT_FALSE(displayPointerMovedAway());
    pushMouse(512 + 80, 384 + 80);
    displayPumpMessages();
    EXPECT_TRUE(displayPointerMovedAway());
    pushKey(SDLK_LSHIFT, true);
    displayPumpMessages();
    EXPECT_TRUE(displayAnyKeyDown());
}

TEST_F(Window, StereoAndPhaseSpaceViews) {
    pass();
    Picture plain = shot();
    tapKey(SDLK_3);
    pass();
    pass();
    Picture stereo = shot();
    EXPECT_EQ(viewSettings().projection, Projection::Stereo);
    EXPECT_TRUE(stereo.differs(plain));
    EXPECT_GT(stereo.colours(), 5u);
    tapKey(SDLK_2);
    tapKey(SDLK_h);
    pass();
    pass();
    EXPECT_TRUE(viewSettings().phaseSpacePlots);
    EXPECT_TRUE(shot().differs(plain));
}

TEST_F(Window, RecordingAppendsOneRecordPerFrame) {
    tapKey(SDLK_r);
    pass();  // the frame of this pass is drawn before the key turns recording on
    for (int i = 0; i < 3; i++) pass();
    tapKey(SDLK_r);
    pass();
    pass();
    // Header, then per frame a time, a count and 20 bytes per particle.
    EXPECT_EQ(std::filesystem::file_size("decay_channel.anim"), 8 + 4 * (12 + 20 * beam.size()));
    EXPECT_EQ(std::filesystem::file_size("decay_channel2.anim"), 8u + 4 * 28);
}

TEST_F(Window, MessagesAndWarningAnswers) {
    pass();
    Picture before = shot();
    displayMessageLine("Loading 'results.dat'... OK (3 results)");
    EXPECT_TRUE(shot().differs(before));
    tapKey(SDLK_y);
    EXPECT_EQ(displayWaitKey(), 'y');
    tapKey(SDLK_ESCAPE);
    EXPECT_EQ(displayWaitKey(), -1);
}

TEST_F(Window, F1TogglesTheHelpAndTheNewVersionNotice) {
    pass();
    pass();
    Picture plain = shot();
    tapKey(SDLK_F1);
    pass();
    Picture help = shot();
    EXPECT_TRUE(help.differs(plain));
    // Let go of F1: the help stays until F1 or Space closes it.
    for (int i = 0; i < 3; i++) pass();
    EXPECT_FALSE(shot().differs(help));
    tapKey(SDLK_SPACE);  // closes it, and leaves the information panel as it was
    pass();
    pass();
    EXPECT_FALSE(shot().differs(plain));
    // The notice is drawn on the next frame only: the cycle draws it every pass.
    displayTopText(
        "New version v4.45 available from website!  (You are using version v4.44d)\n\nPlease "
        "update");
    pass();
    EXPECT_TRUE(shot().differs(plain));
    pass();
    EXPECT_FALSE(shot().differs(plain));
}

TEST_F(Window, AutoViewStaysOnTheBulkOfTheBeam) {
    // A few pions escaping far upstream of the target and a few particles
    // scattered far outside the channel, under one percent of the beam.
    auto withStrays = [&] {
        std::vector<DisplayParticle> b = beam;
        DisplayParticle model = b.front();
        for (int i = 0; i < 16; i++) {
            DisplayParticle p = model;
            p.position = i % 2 ? Vec3{9.0 + i, 0, 1.0} : Vec3{0, 0, -20.0 - i};
            b.insert(b.begin(), p);
        }
        return b;
    };
    Extent channel = beamlineExtent(*root);
    auto settle = [&](const std::vector<DisplayParticle>& particles) {
        displayPrepare(root.get(), false);
        for (int i = 0; i < 30; i++) displayDrawFrame(frameOf(*root, particles, 40e-9), run);
        return displayViewWindow();
    };
    ViewWindow clean = settle(beam);
    ViewWindow strays = settle(withStrays());
    double width = strays.zTo - strays.zFrom;
    double onChannel = std::min(strays.zTo, channel.max.z) - std::max(strays.zFrom, channel.min.z);
    EXPECT_GE(onChannel, 0.5 * width) << "view z " << strays.zFrom << " to " << strays.zTo;
    // The strays move the view by a few centimetres at most (the bulk's
    // edges shift by the share of strays).
    EXPECT_NEAR(strays.zFrom, clean.zFrom, 0.1);
    EXPECT_NEAR(strays.zTo, clean.zTo, 0.1);
    EXPECT_NEAR(strays.xFrom, clean.xFrom, 0.1);
    EXPECT_NEAR(strays.xTo, clean.xTo, 0.1);
}

TEST_F(Window, MessageBoxWaitsForItsKey) {
    pass();
    Picture before = shot();
    tapKey(SDLK_p);  // not one of its keys: ignored
    tapKey(SDLK_RETURN);
    EXPECT_EQ(displayMessageBox("Upload failed\nThe server did not answer", "Pelto Error", 0),
              KeyEnter);
    EXPECT_TRUE(shot().differs(before));
    EXPECT_EQ(displayMessageBox("No key comes", "Pelto", 60), -1);
    pushWindowClose();
    EXPECT_EQ(displayMessageBox("Closed", "Pelto", 0), -1);
}

TEST_F(Window, DoglegWithATestBeam) {
    root = placedDemoLattice("dogleg", 850);
    beam = beamAlong(*root, 4.3, 4000, 600);
    viewSettings().phaseSpacePlots = true;
    viewSettings().autoView = false;
    displayPrepare(root.get(), false);
    pass();
    Picture whole = shot();
    EXPECT_GT(whole.colours(), 20u);
    // V: the view moves from the whole beamline to the beam.
    tapKey(SDLK_v);
    for (int i = 0; i < 10; i++) pass();
    EXPECT_TRUE(viewSettings().autoView);
    EXPECT_TRUE(shot().differs(whole));
}

TEST(Labels, ElementNamesNeverOverlap) {
    // Whole beamlines and close-ups, where names crowd most at the target:
    // the rod, the capture solenoid and the first drift are a few
    // centimetres to a metre apart.
    for (const char* lattice : {"decay_channel", "front_end", "dogleg"}) {
        CellPtr root = placedDemoLattice(lattice, 500);
        ASSERT_TRUE(root) << lattice;
        Extent e = beamlineExtent(*root);
        const Cell* target = nullptr;
        forEachElement(*root, [&](const Cell& cell) {
            if (!target && cell.name.rfind("S", 0) == 0) target = &cell;
        });
        ASSERT_TRUE(target) << lattice;
        Canvas canvas;
        canvasResize(canvas, 1024, 500);
        ViewSettings view;
        view.showD = true;
        for (double ppm : {1024 / (e.max.z - e.min.z), 60.0, 150.0, 400.0}) {
            for (ViewKind kind : {ViewKind::Plan, ViewKind::Side}) {
                Scene s;
                s.canvas = &canvas;
                s.kind = kind;
                s.x = 0, s.y = 20, s.w = 1024, s.h = 480;
                s.centreZ = ppm > 100 ? 0.3 : 0.5 * (e.min.z + e.max.z);
                s.pixelsPerMetre = ppm;
                std::vector<PlacedLabel> labels = placeLabels(s, *root, view, target);
                std::string where = std::string(lattice) + " at " + std::to_string(ppm) + " px/m";
                EXPECT_GE(labels.size(), 2u) << where;
                // The element the user searched for always has its name.
                ASSERT_FALSE(labels.empty()) << where;
                EXPECT_EQ(labels.front().cell, target) << where;
                for (size_t i = 0; i < labels.size(); i++) {
                    const PlacedLabel& a = labels[i];
                    EXPECT_TRUE(a.x >= s.x && a.y >= s.y && a.x + a.w <= s.x + s.w &&
                                a.y + a.h <= s.y + s.h)
                        << a.cell->name << " outside the panel, " << where;
                    for (size_t j = i + 1; j < labels.size(); j++) {
                        const PlacedLabel& b = labels[j];
                        bool apart = a.x + a.w <= b.x || b.x + b.w <= a.x || a.y + a.h <= b.y ||
                                     b.y + b.h <= a.y;
                        EXPECT_TRUE(apart)
                            << a.cell->name << " over " << b.cell->name << ", " << where;
                    }
                }
            }
        }
    }
}

TEST_F(Window, TheScreensaverDrawsEveryCoilTheWindowDraws) {
    // The channel's seven coils, each apart from the next, with the beam
    // at the start of the channel.
    int solenoids = 0;
    forEachElement(*root, [&](const Cell& cell) { solenoids += cell.drawKind == DrawSolenoid; });
    ASSERT_EQ(solenoids, 7);
    beam = beamAlong(*root, 0.6, 2000, 0);
    auto coilsDrawn = [&](bool screensaver, bool autoView) {
        displayClose();
        std::string why;
        EXPECT_TRUE(displayOpen({"Pelto test", 1024, 768, screensaver}, why)) << why;
        displayPrepare(root.get(), false);
        viewSettings() = ViewSettings{};
        viewSettings().showMask &= ~ShowLegend;
        viewSettings().autoView = autoView;
        for (int i = 0; i < 3; i++) pass();
        return coilsIn(shot());
    };
    EXPECT_EQ(coilsDrawn(false, false), solenoids);
    EXPECT_EQ(coilsDrawn(true, false), solenoids);
    int window = coilsDrawn(false, true);
    EXPECT_GE(window, 2);
    EXPECT_EQ(coilsDrawn(true, true), window);
}
