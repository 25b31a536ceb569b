// The library's entry to real cameras: which V4L2 devices it offers and in what order.
#ifndef QIRMEL_V4L2ENUMERATION_H
#define QIRMEL_V4L2ENUMERATION_H

#include "source/camerasource.h"
#include "source/v4l2/v4l2settings.h"

#include <memory>
#include <vector>

namespace qirmel {

// The video capture devices that offer MJPG frames (metadata and other nodes left out), ordered by
// the USB port (bus path) they are plugged into, then with placeMainAndAux() applied. Each is named
// as its driver names it, with its USB vendor and product id and its MJPG sizes, largest first.
std::vector<std::unique_ptr<CameraSource>> enumerateV4l2Cameras(const V4l2Settings &settings);

// Moves the first camera with settings.mainCamera's ids to the front, then the first camera other
// than that one with settings.auxCamera's ids to the second place; the rest keep their order. An
// id that is unset or matches no camera moves nothing.
void placeMainAndAux(std::vector<std::unique_ptr<CameraSource>> &cameras, const V4l2Settings &settings);

}  // namespace qirmel

#endif  // QIRMEL_V4L2ENUMERATION_H
