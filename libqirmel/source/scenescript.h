// What a virtual camera films: one picture, or several shown in turn.
#ifndef QIRMEL_SCENESCRIPT_H
#define QIRMEL_SCENESCRIPT_H

#include "core/frame.h"
#include "source/virtualcameraconfig.h"

#include <opencv2/core.hpp>

#include <functional>
#include <memory>

namespace qirmel {

// The pictures of a scene ("stills"), each renderable at any frame size.
class SceneScript {
public:
    virtual ~SceneScript() = default;

    // How many stills the scene shows in turn; at least one.
    virtual int stillCount() const = 0;

    // Whether still number index can be made at all, told without rendering it: false for a photo that
    // can no longer be read.
    virtual bool canRender(int) const { return true; }

    // Still number index at size, packed B G R without noise; empty when it cannot be made (a photo
    // that can no longer be read) or when stopAsked, asked between the steps of the render, said to
    // give it up. May take a second at the largest sizes. Safe to call from several threads at once.
    cv::Mat render(int index, Size size, const std::function<bool()> &stopAsked = nullptr) const
    {
        return renderStill(index, size, stopAsked);
    }

    // The scene that config describes.
    static std::unique_ptr<SceneScript> create(const SceneConfig &config);

private:
    virtual cv::Mat renderStill(int index, Size size, const std::function<bool()> &stopAsked) const = 0;
};

}  // namespace qirmel

#endif  // QIRMEL_SCENESCRIPT_H
