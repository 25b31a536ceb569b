// The picture types that pass between a camera source, the frame pipeline and the library.
#ifndef QIRMEL_FRAME_H
#define QIRMEL_FRAME_H

#include <cstdint>
#include <vector>

namespace qirmel {

struct Size {
    int width = 0;
    int height = 0;

    long long area() const { return static_cast<long long>(width) * height; }
    bool operator==(const Size &other) const { return width == other.width && height == other.height; }
    bool operator!=(const Size &other) const { return !(*this == other); }
};

enum class FrameFormat {
    Jpeg,   // data holds one complete JPEG image (an MJPG camera's frame)
    Rgb24,  // data holds size.width * size.height * 3 bytes, R G B, rows packed top to bottom
    Bgr24,  // the same in the order B G R, which the document finder works in
};

// One picture as a camera delivers it. Its buffer is reused from frame to frame, so a source fills a
// Frame in place (resize, then write) instead of building a new one.
struct Frame {
    FrameFormat format = FrameFormat::Rgb24;
    Size size;  // as delivered, so already swapped when quarterTurns is odd
    std::vector<std::uint8_t> data;
    // Clockwise quarter turns the source has already given the picture (see CameraSource::preferTurns);
    // the library sets it to 0 before every wait, so sources that never turn need not touch it.
    int quarterTurns = 0;
};

}  // namespace qirmel

#endif  // QIRMEL_FRAME_H
