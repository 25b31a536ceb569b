// Which cameras the library offers.
#ifndef QIRMEL_ENUMERATION_H
#define QIRMEL_ENUMERATION_H

#include "config/cameraconfig.h"
#include "source/camerasource.h"

#include <memory>
#include <vector>

namespace qirmel {

// The cameras that config's backend selects, in the order the library numbers them: the main
// (document) camera first, then the auxiliary one, then any others. Real cameras come with a V4L2
// backend; until then "auto" gives the virtual cameras and "v4l2" gives none.
std::vector<std::unique_ptr<CameraSource>> enumerateCameras(const CameraConfig &config);

}  // namespace qirmel

#endif  // QIRMEL_ENUMERATION_H
