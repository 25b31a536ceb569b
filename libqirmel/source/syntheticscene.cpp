#include "source/syntheticscene.h"

#include "scenes/scenerenderer.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace qirmel {

namespace {

constexpr std::uint32_t kSeed = 0x0d0c5ce7;

SceneLayout deskWith(Document document, double rotationDegrees)
{
    SceneLayout layout;
    layout.desk = Desk::Wood;
    layout.document = document;
    layout.lighting = Lighting::Gradient;
    layout.rotationDegrees = rotationDegrees;
    // The camera leans back a little, so the page's far edge is a little shorter than its near one.
    layout.tiltXDegrees = 7;
    layout.seed = kSeed;
    return layout;
}

// Where the moving page is put down in turn: centre and angle.
struct Place {
    double x;
    double y;
    double degrees;
};
constexpr Place kMovingPlaces[] = {{0.50, 0.50, -2}, {0.38, 0.46, 11}, {0.61, 0.54, -14}, {0.46, 0.53, 4}};

cv::Size cvSize(Size size)
{
    return cv::Size(size.width, size.height);
}

}  // namespace

SyntheticScene::SyntheticScene(SceneKind kind)
{
    switch (kind) {
    case SceneKind::Book:
        m_places = {deskWith(Document::OpenBook, 1.5)};
        m_heightShare = 0.8;
        m_widthShare = 0.85;
        break;
    case SceneKind::IdCard:
        m_places = {deskWith(Document::IdCard, 8)};
        m_heightShare = 0.42;
        m_widthShare = 0.42;
        break;
    case SceneKind::EmptyDesk:
        m_places = {deskWith(Document::None, 0)};
        break;
    case SceneKind::MovingPage:
        for (const Place &place : kMovingPlaces) {
            SceneLayout layout = deskWith(Document::A4, place.degrees);
            layout.centreX = place.x;
            layout.centreY = place.y;
            m_places.push_back(layout);
        }
        m_heightShare = 0.6;
        m_widthShare = 0.6;
        break;
    case SceneKind::Page:
    case SceneKind::Photo:
    case SceneKind::PhotoFolder:
        m_places = {deskWith(Document::A4, -2.5)};
        m_heightShare = 0.86;
        m_widthShare = 0.86;
        break;
    }
}

int SyntheticScene::stillCount() const
{
    return static_cast<int>(m_places.size());
}

cv::Mat SyntheticScene::renderStill(int index, Size size, const std::function<bool()> &stopAsked) const
{
    if (index < 0 || index >= stillCount() || size.area() <= 0)
        return cv::Mat();
    return SceneRenderer::render(specAt(index, size), cvSize(size), stopAsked).bgr;
}

std::optional<Quad> SyntheticScene::outline(int index, Size size) const
{
    if (index < 0 || index >= stillCount() || size.area() <= 0)
        return std::nullopt;
    return SceneRenderer::outline(specAt(index, size), cvSize(size));
}

SceneLayout SyntheticScene::specAt(int index, Size size) const
{
    // The document's area is a share of the frame's, so its size depends on the frame's shape: the
    // first place, moved to the middle, is made to take the wanted share of the height or width
    // (whichever it reaches first), and every place keeps that size.
    SceneLayout first = m_places.front();
    first.centreX = 0.5;
    first.centreY = 0.5;
    SceneLayout layout = m_places[static_cast<std::size_t>(index)];
    const std::optional<Quad> placed = SceneRenderer::outline(first, cvSize(size));
    if (!placed)
        return layout;
    const cv::Rect box = cv::boundingRect(placed->points());
    const double scale = std::min(m_heightShare * size.height / std::max(1, box.height),
                                  m_widthShare * size.width / std::max(1, box.width));
    layout.areaShare = first.areaShare * scale * scale;
    return layout;
}

}  // namespace qirmel
