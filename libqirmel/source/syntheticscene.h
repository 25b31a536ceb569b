// The virtual camera's drawn scenes: documents on a desk, seen from above.
#ifndef QIRMEL_SYNTHETICSCENE_H
#define QIRMEL_SYNTHETICSCENE_H

#include "source/scenescript.h"

#include "crop/quad.h"
#include "scenes/scenelayout.h"

#include <optional>
#include <vector>

namespace qirmel {

// A page, an open book, an identity card or nothing on a wooden desk, under a soft light and seen a
// little from the side; or a page put down in a few places in turn. The document takes the same share
// of the picture at every frame size and shape.
class SyntheticScene : public SceneScript {
public:
    // kind: one of the drawn scenes, Page to MovingPage.
    explicit SyntheticScene(SceneKind kind);

    int stillCount() const override;

    // Where the document's corners lie in still index at size; none for the empty desk.
    std::optional<Quad> outline(int index, Size size) const;

private:
    cv::Mat renderStill(int index, Size size, const std::function<bool()> &stopAsked) const override;
    SceneLayout specAt(int index, Size size) const;

    std::vector<SceneLayout> m_places;  // the document's places, in the order they are shown
    double m_heightShare = 1;           // the most of the picture's height and width the document takes
    double m_widthShare = 1;
};

}  // namespace qirmel

#endif  // QIRMEL_SYNTHETICSCENE_H
