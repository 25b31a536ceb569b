#ifndef QIRMEL_SCENES_SCENERENDERER_H
#define QIRMEL_SCENES_SCENERENDERER_H

#include "crop/quad.h"
#include "scenes/scenelayout.h"

#include <opencv2/core.hpp>

#include <functional>
#include <optional>

namespace qirmel {

// A rendered frame and where the document's corners truly are (none on an empty desk).
struct Scene {
    cv::Mat bgr;
    std::optional<Quad> truth;
};

// Renders a scene description at any frame size: desk, document under perspective, hand or pen on
// top, then light, defocus and sensor noise. Deterministic for a given description and size.
class SceneRenderer {
public:
    // The document's corners in a frame of this size, in the document's own order (its top-left first).
    static std::optional<Quad> outline(const SceneLayout &layout, const cv::Size &size);
    // stopAsked, when given, is asked between the steps of the render (at most about ten milliseconds
    // of work apart at 3264x2448); once it says true the render is given up and the scene comes out
    // empty.
    static Scene render(const SceneLayout &layout, const cv::Size &size,
                        const std::function<bool()> &stopAsked = nullptr);
};

}  // namespace qirmel

#endif
