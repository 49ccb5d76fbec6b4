// The real window, run headless: frames are drawn, key events pushed into
// SDL's queue act as a person's key presses, screenshots are real files.
#include <gtest/gtest.h>

#include <SDL.h>

#include <filesystem>
#include <set>

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

TEST_F(Window, HelpWhileF1IsHeldAndTheNewVersionNotice) {
    pass();
    pass();
    Picture plain = shot();
    pushKey(SDLK_F1, true);
    pass();
    pass();
    Picture help = shot();
    EXPECT_TRUE(help.differs(plain));
    pushKey(SDLK_F1, false);
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
