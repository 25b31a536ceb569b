#include "api/enumeration.h"

#include "source/faultycamera.h"
#include "source/v4l2/v4l2enumeration.h"
#include "source/virtualcamera.h"

namespace qirmel {

std::vector<std::unique_ptr<CameraSource>> enumerateCameras(const CameraConfig &config)
{
    std::vector<std::unique_ptr<CameraSource>> cameras;
    if (config.backend != Backend::Virtual)
        cameras = enumerateV4l2Cameras(config.v4l2);
    if (config.backend == Backend::V4l2 || !cameras.empty())
        return cameras;
    for (const auto &camera : config.virtualCameras) {
        auto virtualCamera = std::make_unique<VirtualCamera>(camera);
        if (camera.faults.any())
            cameras.push_back(std::make_unique<FaultyCamera>(std::move(virtualCamera), camera.faults));
        else
            cameras.push_back(std::move(virtualCamera));
    }
    return cameras;
}

}  // namespace qirmel
