#include "app/username.hpp"

#include <gtest/gtest.h>

#include "platform/files.hpp"
#include "platform/process.hpp"
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
