// The opens never block, but give blocking descriptors; a FIFO is refused for writing.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/base.h"
#include "support/test_support.h"

using Files = testing_support::TempDirTest;

TEST_F(Files, OpensNeverBlockAndGiveBlockingDescriptors) {
    testing_support::WriteFile("file", "x");
    const int fd = platform::OpenRegularFile("file");
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    close(fd);
    FILE* file = platform::OpenWritableFile("/dev/null", "w+");
    EXPECT_EQ(fcntl(fileno(file), F_GETFL) & O_NONBLOCK, 0);
    fclose(file);
    ASSERT_EQ(mkfifo("fifo", 0644), 0);
    EXPECT_EQ(platform::OpenWritableFile("fifo", "w+"), nullptr);
    EXPECT_EQ(errno, EOPNOTSUPP);
}
