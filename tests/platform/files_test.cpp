// Opening files for reading and writing: the open never blocks, and the descriptor it gives
// blocks again, as every later read and write expects.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/base.h"
#include "support/test_support.h"

using Files = testing_support::TempDirTest;

TEST_F(Files, OpensNeverBlockAndGiveBlockingDescriptors) {
    testing_support::WriteFile("file", "x");
    ASSERT_EQ(mkfifo("fifo", 0644), 0);
    const int fd = platform::OpenRegularFile("file");
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    close(fd);
    for (const char* path : {"file", "/dev/null"}) {
        FILE* file = platform::OpenWritableFile(path, "w+");
        ASSERT_NE(file, nullptr) << path;
        EXPECT_EQ(fcntl(fileno(file), F_GETFL) & O_NONBLOCK, 0) << path;
        fclose(file);
    }
    // A FIFO opened for reading and writing would not block, but is refused all the same.
    errno = 0;
    EXPECT_EQ(platform::OpenWritableFile("fifo", "w+"), nullptr);
    EXPECT_EQ(errno, EOPNOTSUPP);
}
