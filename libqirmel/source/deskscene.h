// The picture that the virtual camera films: a printed page lying on a wooden desk, seen from above.
#ifndef QIRMEL_DESKSCENE_H
#define QIRMEL_DESKSCENE_H

#include "config/cameraconfig.h"
#include "source/frame.h"

#include <array>
#include <cstdint>
#include <vector>

namespace qirmel {

// Where the page's corners lie in the picture, in pixels: top left, top right, bottom right,
// bottom left. A known answer for the document edge finder.
using PageCorners = std::array<std::array<float, 2>, 4>;

// Renders scene at size as packed RGB: the desk's wood grain, the page with a title, paragraphs of
// text-like lines and a figure, a slight perspective and turn, a soft shadow and a lighting
// gradient. The same scene looks the same at every size. Takes a noticeable fraction of a second at
// the largest sizes, so a camera renders it once per opening.
std::vector<std::uint8_t> renderDeskScene(Scene scene, Size size, PageCorners *corners = nullptr);

}  // namespace qirmel

#endif  // QIRMEL_DESKSCENE_H
