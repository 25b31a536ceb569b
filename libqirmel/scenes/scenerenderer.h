#ifndef QIRMEL_SCENES_SCENERENDERER_H
#define QIRMEL_SCENES_SCENERENDERER_H

#include "crop/quad.h"
#include "scenes/scenelayout.h"

#include <opencv2/core.hpp>

#include <optional>

namespace qirmel {

// A rendered frame and where the document's corners truly are (none on an empty desk).
struct Scene
{
    cv::Mat bgr;
    std::optional<Quad> truth;
};

// Renders a scene description at any frame size: desk, document under perspective, hand or pen on
// top, then light, defocus and sensor noise. Deterministic for a given description and size.
class SceneRenderer
{
public:
    // The document's corners in a frame of this size, in the document's own order (its top-left first).
    static std::optional<Quad> outline(const SceneLayout &layout, const cv::Size &size);
    static Scene render(const SceneLayout &layout, const cv::Size &size);
};

} // namespace qirmel

#endif
