#include "source/enumeration.h"

#include "source/virtualcamera.h"

namespace qirmel {

std::vector<std::unique_ptr<CameraSource>> enumerateCameras(const CameraConfig &config)
{
    std::vector<std::unique_ptr<CameraSource>> cameras;
    if (config.backend == Backend::V4l2)
        return cameras;
    for (const auto &camera : config.virtualCameras)
        cameras.push_back(std::make_unique<VirtualCamera>(camera));
    return cameras;
}

}  // namespace qirmel
