// The web pages in a real browser: tools/server_browser_test.py drives
// headless Chromium through Selenium against a pelto-server it starts, fed
// with records made here by the client's checksum code.
#include <gtest/gtest.h>

#include "server_fixture.hpp"

namespace {

TEST(ServerPages, AVisitorSeesLatticesBestScoresChartAndGenomes) {
    ScratchFolder dir;
    std::string records;
    {
        InFolder in(dir.path());
        MessageRecorder quiet{DisplayBackground};
        writeProjectLattices(dir);  // the same files the script's project holds
        for (int i = 0; i < 4; i++) records += recordText(clientRecord("alpha", i, 1.0 + 0.01 * i));
        for (int i = 0; i < 2; i++) records += recordText(clientRecord("beta", i, 2.0 + 0.01 * i));
    }
    dir.write("records.txt", records);
    CommandResult r = runCommand("/usr/bin/python3 '" + std::string(PELTO_SOURCE_DIR) +
                                 "/tools/server_browser_test.py' '" + PELTO_SERVER_EXE + "' '" +
                                 dir.file("records.txt") + "' 2>&1");
    if (r.status == 77) GTEST_SKIP() << r.output;
    EXPECT_EQ(r.status, 0) << r.output;
}

}  // namespace
