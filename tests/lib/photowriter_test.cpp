#include "pipeline/photowriter.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using qirmel::writePhoto;
using qirmeltest::TemporaryFolder;

namespace {

const std::vector<std::uint8_t> kPhoto(200000, 0xab);

int write(const std::string &path, const std::vector<std::uint8_t> &data = kPhoto)
{
    return writePhoto(path, data.data(), data.size());
}

constexpr int kCannotMount = 77;

// Runs check in a child process that has its own mount namespace with a 64 kB tmpfs (mounted with
// flags) over folder, so that nothing outside the child sees it. Returns 0 when check held, 1 when
// it did not, kCannotMount when the system does not allow the mount.
int inSmallFileSystem(const std::string &folder, unsigned long flags, const std::function<bool()> &check)
{
    const pid_t child = fork();
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", folder.c_str(), "tmpfs", flags, "size=64k") != 0)
            _exit(kCannotMount);
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

}  // namespace

TEST(PhotoWriter, WritesTheWholeFileAndNothingElse)
{
    TemporaryFolder folder;
    ASSERT_EQ(write(folder.file("00000.jpg")), 0);
    EXPECT_EQ(qirmeltest::readFile(folder.file("00000.jpg")), kPhoto);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"00000.jpg"});
}

TEST(PhotoWriter, FileModeFollowsTheUmask)
{
    TemporaryFolder folder;
    const mode_t old = umask(022);
    ASSERT_EQ(write(folder.file("a.jpg")), 0);
    umask(old);
    struct stat info {};
    ASSERT_EQ(stat(folder.file("a.jpg").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST(PhotoWriter, NeverReplacesAnExistingFile)
{
    TemporaryFolder folder;
    qirmeltest::writeFile(folder.file("00000.jpg"), "precious");
    EXPECT_EQ(write(folder.file("00000.jpg")), -EEXIST);
    const auto kept = qirmeltest::readFile(folder.file("00000.jpg"));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "precious");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"00000.jpg"});
}

TEST(PhotoWriter, DanglingSymlinkCountsAsTaken)
{
    TemporaryFolder folder;
    ASSERT_EQ(symlink(folder.file("nowhere").c_str(), folder.file("00000.jpg").c_str()), 0);
    EXPECT_EQ(write(folder.file("00000.jpg")), -EEXIST);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"00000.jpg"});
}

TEST(PhotoWriter, MissingFolder)
{
    TemporaryFolder folder;
    EXPECT_EQ(write(folder.file("missing/00000.jpg")), -ENOENT);
    EXPECT_TRUE(folder.entries().empty());
}

TEST(PhotoWriter, FolderWhereNoFileMayBeCreated)
{
    // Even root cannot create files in /proc: the same failure as a folder without write permission.
    EXPECT_LT(write("/proc/qirmel-test-00000.jpg"), 0);
    EXPECT_NE(access("/proc/qirmel-test-00000.jpg", F_OK), 0);
}

TEST(PhotoWriter, FolderWithoutWritePermission)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders; FolderWhereNoFileMayBeCreated covers this";
    TemporaryFolder folder;
    ASSERT_EQ(mkdir(folder.file("locked").c_str(), 0555), 0);
    EXPECT_EQ(write(folder.file("locked/00000.jpg")), -EACCES);
    EXPECT_TRUE(std::filesystem::is_empty(folder.file("locked")));
    chmod(folder.file("locked").c_str(), 0755);
}

TEST(PhotoWriter, NoRoomLeavesNoFile)
{
    // A file size limit makes write(2) fail part way, as a full disk does; the temporary file must go.
    TemporaryFolder folder;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const int result = write(folder.file("00000.jpg"));
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, -EFBIG);
    EXPECT_TRUE(folder.entries().empty());
}

TEST(PhotoWriter, FullDisk)
{
    TemporaryFolder folder;
    const int result = inSmallFileSystem(folder.path(), 0, [&] {
        // 200 kB into 64 kB: write(2) or fsync(2) runs out of room.
        return write(folder.file("00000.jpg")) == -ENOSPC && folder.entries().empty();
    });
    if (result == kCannotMount)
        GTEST_SKIP() << "mounting a small file system needs root and mount namespaces";
    EXPECT_EQ(result, 0);
}

TEST(PhotoWriter, ReadOnlyFileSystem)
{
    TemporaryFolder folder;
    const int result = inSmallFileSystem(folder.path(), MS_RDONLY, [&] {
        return write(folder.file("00000.jpg")) == -EROFS && folder.entries().empty();
    });
    if (result == kCannotMount)
        GTEST_SKIP() << "mounting a small file system needs root and mount namespaces";
    EXPECT_EQ(result, 0);
}

TEST(PhotoWriter, PathWithoutAName)
{
    TemporaryFolder folder;
    EXPECT_EQ(write(folder.path() + "/"), -EINVAL);
    EXPECT_EQ(write(""), -EINVAL);
    EXPECT_EQ(write(folder.path() + "/.."), -EINVAL);
    EXPECT_TRUE(folder.entries().empty());
}

TEST(PhotoWriter, BareNameGoesToTheWorkingDirectory)
{
    TemporaryFolder folder;
    char *old = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(folder.path().c_str()), 0);
    const int result = write("photo.jpg");
    EXPECT_EQ(chdir(old), 0);
    free(old);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"photo.jpg"});
}

TEST(PhotoWriter, RacingWritersOfOneNameLeaveOneWholeFile)
{
    TemporaryFolder folder;
    constexpr int kWriters = 8;
    std::vector<int> results(kWriters);
    std::vector<std::vector<std::uint8_t>> contents;
    for (int i = 0; i < kWriters; ++i)
        contents.emplace_back(300000 + i * 1000, static_cast<std::uint8_t>(i));
    std::vector<std::thread> writers;
    for (int i = 0; i < kWriters; ++i)
        writers.emplace_back([&, i] { results[static_cast<std::size_t>(i)] = write(folder.file("x.jpg"), contents[static_cast<std::size_t>(i)]); });
    for (auto &writer : writers)
        writer.join();

    int winners = 0;
    for (int i = 0; i < kWriters; ++i) {
        if (results[static_cast<std::size_t>(i)] == 0) {
            ++winners;
            EXPECT_EQ(qirmeltest::readFile(folder.file("x.jpg")), contents[static_cast<std::size_t>(i)]);
        } else {
            EXPECT_EQ(results[static_cast<std::size_t>(i)], -EEXIST);
        }
    }
    EXPECT_EQ(winners, 1);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"x.jpg"});
}
