#ifndef PRIVATETMPFS_H
#define PRIVATETMPFS_H

#include <cstddef>
#include <string>

// A small tmpfs over a folder, in a mount namespace of this process's own, so that a test can fill
// it up or make it read-only while nothing outside the process sees a change. Needs root, or
// unprivileged user namespaces where the kernel allows them; and, for the latter, a process that
// still has one thread.
class PrivateTmpfs
{
public:
    // Mounts a tmpfs of sizeBytes over folder, with the folder's file keptName still showing in it
    // (without taking its room). False with the reason in error when this process may not have a
    // mount namespace of its own, or the mounts fail.
    bool mount(const std::string &folder, std::size_t sizeBytes, const std::string &keptName, std::string &error);

    // Writes a filler file until the file system has no space left.
    bool fill();
    // Removes the filler again.
    bool freeSpace();
    bool setReadOnly(bool readOnly);

private:
    std::string fillerPath() const;

    std::string m_folder;
};

#endif // PRIVATETMPFS_H
