#include "privatetmpfs.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

bool writeFile(const std::string &path, const std::string &text)
{
    std::ofstream file(path);
    file << text;
    file.flush();
    return bool(file);
}

std::string failure(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}

// Becomes root of a new user namespace, mapped onto the caller's own ids, with a mount namespace
// of its own.
bool enterUserNamespace(std::string &error)
{
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
        error = failure("no mount namespace of its own, as root or in a user namespace");
        return false;
    }
    if (!writeFile("/proc/self/setgroups", "deny") || !writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1")
        || !writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
        error = "cannot map the user namespace's ids";
        return false;
    }
    return true;
}

bool createEmptyFile(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0755);
    return fd >= 0 && ::close(fd) == 0;
}

} // namespace

bool PrivateTmpfs::mount(const std::string &folder, std::size_t sizeBytes, const std::string &keptName,
                         std::string &error)
{
    if (unshare(CLONE_NEWNS) != 0 && !enterUserNamespace(error))
        return false;
    // Private first: the copied mounts may share events with the machine's, and the tmpfs must
    // not appear there.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        error = failure("cannot make the mounts private");
        return false;
    }
    // The tmpfs is put together aside, where the kept file is still in sight, then laid over the
    // folder as a whole.
    char staging[] = "/tmp/doccam-tmpfs-XXXXXX";
    if (!mkdtemp(staging)) {
        error = failure("cannot make a staging folder");
        return false;
    }
    const std::string options = "size=" + std::to_string(sizeBytes) + ",mode=0755";
    const std::string kept = std::string(staging) + "/" + keptName;
    bool mounted = ::mount("doccam-test", staging, "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
    if (!mounted)
        error = failure("cannot mount a tmpfs");
    else if (!createEmptyFile(kept) || ::mount((folder + "/" + keptName).c_str(), kept.c_str(), nullptr, MS_BIND, nullptr) != 0)
        error = failure("cannot show " + keptName + " in the tmpfs");
    else if (::mount(staging, folder.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
        error = failure("cannot lay the tmpfs over " + folder);
    else
        m_folder = folder;
    if (mounted)
        ::umount2(staging, MNT_DETACH);
    ::rmdir(staging);
    return !m_folder.empty();
}

std::string PrivateTmpfs::fillerPath() const
{
    return m_folder + "/.filler";
}

bool PrivateTmpfs::fill()
{
    const int fd = ::open(fillerPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const std::vector<char> chunk(4096, 'x');
    ssize_t written = 0;
    do
        written = ::write(fd, chunk.data(), chunk.size());
    while (written > 0);
    const bool full = errno == ENOSPC;
    ::close(fd);
    return full;
}

bool PrivateTmpfs::freeSpace()
{
    return ::unlink(fillerPath().c_str()) == 0;
}

bool PrivateTmpfs::setReadOnly(bool readOnly)
{
    const unsigned long flags = MS_REMOUNT | MS_BIND | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
    return ::mount(nullptr, m_folder.c_str(), nullptr, flags, nullptr) == 0;
}
