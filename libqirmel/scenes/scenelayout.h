#ifndef QIRMEL_SCENES_SCENELAYOUT_H
#define QIRMEL_SCENES_SCENELAYOUT_H

#include <cstdint>

namespace qirmel {

enum class Desk { Wood, PlainLight, NearWhite, Clutter };
enum class Document { None, A4, Letter, IdCard, Receipt, ColouredPaper, OpenBook };
enum class Lighting { Even, Gradient, Shadow, Hotspot, Vignetting };
enum class Occluder { None, HandOverCorner, PenAcrossSide };

// Everything that decides one overhead scene, independent of the frame size it is rendered at: the
// same description gives the same picture (up to scale) every time.
struct SceneLayout {
    Desk desk = Desk::PlainLight;
    Document document = Document::A4;
    Lighting lighting = Lighting::Even;
    Occluder occluder = Occluder::None;

    // Geometry of the document, as shares of the frame. Its centre may lie anywhere; corners may leave
    // the frame.
    double centreX = 0.5;
    double centreY = 0.5;
    double areaShare = 0.4;
    double rotationDegrees = 0;
    // Perspective of a camera not quite overhead: tilt of the desk about the frame's two axes.
    double tiltXDegrees = 0;
    double tiltYDegrees = 0;
    // Long over short side of a receipt, which comes in any length.
    double receiptLength = 3;

    // Noise standard deviation in grey levels, and defocus blur in pixels of a 1080-line frame.
    double noise = 0;
    double blur = 0;

    // Seeds the paint: wood grain, print on the page, clutter, the hand's shape.
    std::uint32_t seed = 1;
};

}  // namespace qirmel

#endif
