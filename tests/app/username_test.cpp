#include "app/username.hpp"

#include <gtest/gtest.h>

#include "common/report.hpp"
#include "display/display.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "support/sdl_events.hpp"
#include "support/test_support.hpp"

TEST(UserName, EntryLineEditing) {
    struct Case {
        std::string before;
        std::string typed;
        bool accepted;
        std::string after;
    };
    const Case cases[] = {
        {"", "Ada", false, "Ada"},
        {"Ada", "\b\bnn\r", true, "Ann"},
        {"", "\b\bx", false, "x"},   // backspace on an empty name does nothing
        {"", "ab\rcd", true, "ab"},  // what follows Enter is not part of the name
        {"", std::string(250, 'z'), false, std::string(199, 'z')},
    };
    for (const Case& c : cases) {
        std::string name = c.before;
        EXPECT_EQ(usernameEntryType(name, c.typed), c.accepted) << c.typed;
        EXPECT_EQ(name, c.after) << c.typed;
    }
}

TEST(UserName, ChangedFileIsReadAgain) {
    InFolder here;
    MessageRecorder messages;
    here.folder.write("user.txt", "first \r\n");
    int64_t known = -1;
    EXPECT_TRUE(watchUserName(known));
    EXPECT_EQ(userName, "first");
    EXPECT_FALSE(watchUserName(known));

    here.folder.write("user.txt", "second");
    known -= 10;  // as if written long before: only a different time counts
    EXPECT_TRUE(watchUserName(known));
    EXPECT_EQ(userName, "second");
    EXPECT_NE(messages.output.find("Username changed..."), std::string::npos);
    EXPECT_NE(messages.output.find("Hello, second"), std::string::npos);

    here.folder.write("user.txt", "bad|name");
    known -= 10;
    EXPECT_THROW(watchUserName(known), ProcessExit);
    EXPECT_NE(messages.output.find("[FATAL] Bad character '|' found in username 'bad|name'"),
              std::string::npos);
}

// In graphics mode the name is typed into the real (headless) window. The
// keys are queued before the question is asked, as a fast typist's would be.
TEST(UserName, GraphicsModeAsksInTheWindow) {
    useHeadlessVideo();
    struct Case {
        const char* what;
        void (*keys)();
        int exitStatus;  // -1: the name is written
        std::string written;
    };
    const Case cases[] = {
        {"edited name",
         [] {
             for (SDL_Keycode k : {SDLK_a, SDLK_b, SDLK_BACKSPACE, SDLK_c, SDLK_RETURN, SDLK_x}) {
                 tapKey(k);
             }
         },
         -1, "ac"},
        {"250 characters",
         [] {
             for (int i = 0; i < 250; i++) tapKey(SDLK_z);
             tapKey(SDLK_RETURN);
         },
         -1, std::string(199, 'z')},
        {"escape", [] { pushKey(SDLK_ESCAPE, true); }, 1, ""},
        {"window closed", [] { pushWindowClose(); }, 1, ""},
    };
    for (const Case& c : cases) {
        InFolder here;
        MessageRecorder messages;
        std::string why;
        ASSERT_TRUE(displayOpen({"Pelto test", 640, 480, false}, why)) << why;
        displayMode = DisplayGraphics;
        c.keys();
        int status = -1;
        try {
            askUserName();
        } catch (const ProcessExit& e) {
            status = e.status;
        }
        displayClose();
        EXPECT_EQ(status, c.exitStatus) << c.what;
        std::string text;
        EXPECT_EQ(readWholeFile("user.txt", text, 1000) == ReadStatus::Ok, c.exitStatus < 0)
            << c.what;
        EXPECT_EQ(text, c.written) << c.what;
    }
}
