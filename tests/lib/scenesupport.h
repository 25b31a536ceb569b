// Frames of the virtual camera's drawn scenes, made without a camera, for the auto crop tests.
#ifndef QIRMEL_SCENESUPPORT_H
#define QIRMEL_SCENESUPPORT_H

#include "config/cameraconfig.h"
#include "core/frame.h"

#include "crop/quad.h"

#include <cstdint>
#include <vector>

namespace qirmeltest {

// Width over height of an upright A4 page, and of the same page turned a quarter.
constexpr double kPortraitA4 = 0.70711;
constexpr double kLandscapeA4 = 1.41421;

// The first still of a drawn scene at size, in the given format (JPEG at quality 90), upright.
qirmel::Frame sceneFrame(qirmel::SceneKind kind, qirmel::Size size, qirmel::FrameFormat format);

// The same frame as a source that turns its picture would deliver it: turned clockwise by quarterTurns
// and marked so. Raw frames only.
qirmel::Frame turnedFrame(const qirmel::Frame &frame, int quarterTurns);

// Where the document of that still lies, corners in screen order (top left first).
qirmel::Quad sceneOutline(qirmel::SceneKind kind, qirmel::Size size);

// How a cut of size compares with the document's outline in the frame it was cut from: 1 for a cut at
// the frame's full resolution, which is as wide as the outline's longer top or bottom side or as high
// as its longer left or right side, and larger than the outline the other way.
double resolutionShare(qirmel::Size cut, const qirmel::Quad &outline);

// Width over height of a JPEG image; 0 when it cannot be read.
double aspectOf(const std::vector<std::uint8_t> &jpeg);

// Mean absolute difference per sample between two JPEG images of the same size once decoded; 255 when
// their sizes differ or one cannot be read.
double jpegDifference(const std::vector<std::uint8_t> &a, const std::vector<std::uint8_t> &b);

}  // namespace qirmeltest

#endif  // QIRMEL_SCENESUPPORT_H
