// The pictures a fake device sends: real JPEG (or YUYV) frames, good or bad as its description says.
#ifndef FAKEV4L2_FRAMEMAKER_H
#define FAKEV4L2_FRAMEMAKER_H

#include "devicedescription.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

namespace fakev4l2 {

// Packed RGB of the test picture, variant 0 to 3 (see fakev4l2_render).
void renderPattern(int width, int height, unsigned variant, std::uint8_t *rgb);

// Encodes each size's four picture variants once and then writes numbered frames from them.
// Safe to use from several threads.
class FrameMaker {
public:
    explicit FrameMaker(const DeviceDescription &description);

    struct Written {
        std::size_t bytes = 0;
        bool error = false;  // to be flagged V4L2_BUF_FLAG_ERROR
    };

    // Writes frame number (in pixelFormat, V4L2_PIX_FMT_MJPEG or _YUYV, at size) into buffer,
    // cut to capacity.
    Written write(std::uint32_t pixelFormat, FrameSize size, std::uint32_t number, std::uint8_t *buffer,
                  std::size_t capacity);

private:
    using Key = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>;

    const std::vector<std::vector<std::uint8_t>> &variants(std::uint32_t pixelFormat, FrameSize size);

    const bool m_huffman;
    const int m_badEvery;
    const std::vector<BadKind> m_badKinds;
    std::mutex m_mutex;
    std::map<Key, std::vector<std::vector<std::uint8_t>>> m_variants;
};

}  // namespace fakev4l2

#endif  // FAKEV4L2_FRAMEMAKER_H
