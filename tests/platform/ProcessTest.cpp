#include "platform/Process.h"
#include "support/TempHost.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Platform;

TEST(StartProgram, StartsDetachedAndReportsWhatCannotStart) {
    TempHost host;
    // The started program writes into a FIFO; the test waits on the FIFO, not on a clock.
    const std::string fifo = host.Root() + "/started";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    TempHost::Write(host.OnC("Tools/MSINFO32.EXE"), "#!/bin/sh\necho started > '" + fifo + "'\n");
    chmod(host.OnC("Tools/MSINFO32.EXE").c_str(), 0755);
    TempHost::Write(host.OnC("Tools/plain.txt"), "not a program");

    std::string error;
    ASSERT_TRUE(StartProgram("c:\\tools\\msinfo32.exe", &error)) << error;
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 20000), 1);
    char buf[16] = {};
    EXPECT_GT(read(fd, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "started\n");
    close(fd);

    for (const char* bad :
         {"C:\\Tools\\missing.exe", "C:\\Tools\\plain.txt", "C:\\Tools", "", "Q:\\x.exe"}) {
        error.clear();
        EXPECT_FALSE(StartProgram(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}
