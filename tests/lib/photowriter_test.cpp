#include "pipeline/photowriter.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <thread>

using qirmel::writePhoto;
using qirmeltest::TemporaryFolder;

namespace {

const std::vector<std::uint8_t> kPhoto(200000, 0xab);

int write(const std::string &path, const std::vector<std::uint8_t> &data = kPhoto)
{
    return writePhoto(path, data.data(), data.size());
}

}  // namespace

// A bare name goes to the working directory, with the mode that the umask leaves.
TEST(PhotoWriter, WritesTheWholeFileAndNothingElse)
{
    TemporaryFolder folder;
    char *old = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(folder.path().c_str()), 0);
    const mode_t oldMask = umask(022);
    const int result = write("00000.jpg");
    umask(oldMask);
    EXPECT_EQ(chdir(old), 0);
    free(old);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(qirmeltest::readFile(folder.file("00000.jpg")), kPhoto);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"00000.jpg"});
    struct stat info {};
    ASSERT_EQ(stat(folder.file("00000.jpg").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

// A refused photo leaves the folder as it was: a name that is taken, even by a dangling symlink,
// is never replaced.
TEST(PhotoWriter, RefusalsLeaveTheFolderAsItWas)
{
    TemporaryFolder folder;
    qirmeltest::writeFile(folder.file("taken.jpg"), "precious");
    ASSERT_EQ(symlink(folder.file("nowhere").c_str(), folder.file("link.jpg").c_str()), 0);
    const struct {
        std::string path;
        int result;
    } rows[] = {
        {folder.file("taken.jpg"), -EEXIST},
        {folder.file("link.jpg"), -EEXIST},
        {folder.file("missing/00000.jpg"), -ENOENT},
        {folder.path() + "/", -EINVAL},
        {folder.path() + "/..", -EINVAL},
        {"", -EINVAL},
    };
    for (const auto &row : rows)
        EXPECT_EQ(write(row.path), row.result) << row.path;
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"link.jpg", "taken.jpg"}));
    EXPECT_EQ(qirmeltest::readFile(folder.file("taken.jpg")).size(), 8u) << "the taken photo was replaced";
    // Even root cannot create files in /proc: the same failure as a folder without write permission.
    EXPECT_LT(write("/proc/qirmel-test-00000.jpg"), 0);
}

TEST(PhotoWriter, NoRoomLeavesNoFile)
{
    // A file size limit makes write(2) fail part way, as a full disk does; the temporary file must go.
    TemporaryFolder folder;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const rlimit limited{4096, old.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const int result = write(folder.file("00000.jpg"));
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, -EFBIG);
    EXPECT_TRUE(folder.entries().empty());
}

// Of writers racing for one name exactly one wins, and the file is whole.
TEST(PhotoWriter, RacingWritersOfOneNameLeaveOneWholeFile)
{
    TemporaryFolder folder;
    std::vector<std::vector<std::uint8_t>> contents;
    for (std::uint8_t i = 0; i < 8; ++i)
        contents.emplace_back(300000 + i * 1000, i);
    std::vector<int> results(contents.size());
    std::vector<std::thread> writers;
    for (std::size_t i = 0; i < contents.size(); ++i)
        writers.emplace_back([&, i] { results[i] = write(folder.file("x.jpg"), contents[i]); });
    for (auto &writer : writers)
        writer.join();
    const auto kept = qirmeltest::readFile(folder.file("x.jpg"));
    for (std::size_t i = 0; i < contents.size(); ++i)
        EXPECT_EQ(results[i], kept == contents[i] ? 0 : -EEXIST) << "writer " << i;
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"x.jpg"});
}
