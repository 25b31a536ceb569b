// What a virtual camera films: one picture, or several shown in turn.
#ifndef QIRMEL_SCENESCRIPT_H
#define QIRMEL_SCENESCRIPT_H

#include "core/frame.h"
#include "source/virtualcameraconfig.h"

#include <opencv2/core.hpp>

#include <memory>

namespace qirmel {

// The pictures of a scene ("stills"), each renderable at any frame size.
class SceneScript {
public:
    virtual ~SceneScript() = default;

    // How many stills the scene shows in turn; at least one.
    virtual int stillCount() const = 0;

    // Still number index at size, packed B G R without noise; empty when it cannot be made (a photo
    // that can no longer be read). May take a second at the largest sizes. Safe to call from several
    // threads at once.
    virtual cv::Mat render(int index, Size size) const = 0;

    // The scene that config describes.
    static std::unique_ptr<SceneScript> create(const SceneConfig &config);
};

}  // namespace qirmel

#endif  // QIRMEL_SCENESCRIPT_H
