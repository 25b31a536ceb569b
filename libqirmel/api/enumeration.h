// Which cameras the library offers.
#ifndef QIRMEL_ENUMERATION_H
#define QIRMEL_ENUMERATION_H

#include "config/cameraconfig.h"
#include "source/camerasource.h"

#include <memory>
#include <vector>

namespace qirmel {

// The cameras that config's backend selects, in the order the library numbers them: the main
// (document) camera first, then the auxiliary one, then any others: for "auto" the V4L2 cameras
// where there are any, else the virtual ones; for "v4l2" the V4L2 cameras, which may be none.
std::vector<std::unique_ptr<CameraSource>> enumerateCameras(const CameraConfig &config);

}  // namespace qirmel

#endif  // QIRMEL_ENUMERATION_H
