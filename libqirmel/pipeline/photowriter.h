// Writing a photo file so that it is either complete or not there at all.
#ifndef QIRMEL_PHOTOWRITER_H
#define QIRMEL_PHOTOWRITER_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace qirmel {

// Writes length bytes to a new file at path: first to a temporary file in the same folder, flushed
// to the disk, then linked into place, so that an existing file is never replaced and no partial
// file is ever seen under path. The temporary file is removed whatever happens. Returns 0, or a
// negative errno value: -ENOENT (no such folder), -EACCES or -EROFS (folder not writable), -EEXIST
// (the name is taken), -ENOSPC or -EFBIG (no room), -EINVAL (no file name), ...
int writePhoto(const std::string &path, const std::uint8_t *data, std::size_t length);

}  // namespace qirmel

#endif  // QIRMEL_PHOTOWRITER_H
