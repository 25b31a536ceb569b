#include "scenesampler.h"

#include "scenes/scenerenderer.h"

#include <algorithm>
#include <cmath>

namespace qirmel {

namespace {

// Geometry is settled on a frame of this height; descriptions are size-free, so any size would do.
constexpr int kLayoutHeight = 1000;

cv::Size layoutSize(double aspect)
{
    return cv::Size(int(kLayoutHeight * aspect), kLayoutHeight);
}

bool inside(const Quad &quad, const cv::Size &size, float margin)
{
    for (const cv::Point2f &p : quad.corners())
        if (p.x < margin || p.y < margin || p.x > size.width - 1 - margin || p.y > size.height - 1 - margin)
            return false;
    return true;
}

// Share of each side in the frame, the smallest of the four.
double leastVisibleSide(const Quad &quad, const cv::Size &size)
{
    double least = 1;
    for (int side = 0; side < 4; ++side) {
        int in = 0;
        const int samples = 50;
        for (int i = 0; i < samples; ++i) {
            const cv::Point2f p = quad[side] + (quad[(side + 1) % 4] - quad[side]) * ((i + 0.5f) / samples);
            in += p.x >= 0 && p.y >= 0 && p.x <= size.width - 1 && p.y <= size.height - 1;
        }
        least = std::min(least, double(in) / samples);
    }
    return least;
}

}  // namespace

SceneSampler::SceneSampler(std::uint32_t seed, double frameAspect) : m_rng(seed), m_frameAspect(frameAspect) {}

SceneLayout SceneSampler::withDocument()
{
    SceneLayout layout;
    layout.seed = m_rng.next();
    layout.desk = static_cast<Desk>(m_rng.uniform(0, 4));
    layout.document = static_cast<Document>(m_rng.uniform(1, 7));
    layout.lighting = static_cast<Lighting>(m_rng.uniform(0, 5));
    const int occlusion = m_rng.uniform(0, 10);
    layout.occluder = occlusion < 6   ? Occluder::None
                      : occlusion < 8 ? Occluder::HandOverCorner
                                      : Occluder::PenAcrossSide;
    // Half the pages lie about square to the camera, as people place them; the rest at any angle.
    layout.rotationDegrees = m_rng.uniform(0, 2) ? m_rng.uniform(-10.0, 10.0) : m_rng.uniform(0.0, 360.0);
    const double tilt = m_rng.uniform(0, 2) ? 3.0 : 15.0;
    layout.tiltXDegrees = m_rng.uniform(-tilt, tilt);
    layout.tiltYDegrees = m_rng.uniform(-tilt, tilt);
    layout.receiptLength = m_rng.uniform(2.2, 4.5);
    layout.areaShare = m_rng.uniform(0.10, 0.95);
    layout.noise = m_rng.uniform(0.0, 8.0);
    layout.blur = m_rng.uniform(0, 10) < 3 ? m_rng.uniform(0.8, 2.5) : 0.0;
    fitInside(layout);
    if (layout.occluder != Occluder::HandOverCorner && m_rng.uniform(0, 100) < 15)
        pushAcrossBorder(layout);
    return layout;
}

SceneLayout SceneSampler::emptyDesk()
{
    SceneLayout layout;
    layout.seed = m_rng.next();
    layout.desk = static_cast<Desk>(m_rng.uniform(0, 4));
    layout.document = Document::None;
    layout.lighting = static_cast<Lighting>(m_rng.uniform(0, 5));
    layout.noise = m_rng.uniform(0.0, 8.0);
    layout.blur = m_rng.uniform(0, 10) < 3 ? m_rng.uniform(0.8, 2.5) : 0.0;
    return layout;
}

SceneLayout SceneSampler::moved(const SceneLayout &layout)
{
    SceneLayout next = layout;
    next.rotationDegrees += m_rng.uniform(-15.0, 15.0);
    next.centreX += m_rng.uniform(-0.12, 0.12);
    next.centreY += m_rng.uniform(-0.12, 0.12);
    const cv::Size size = layoutSize(m_frameAspect);
    for (int attempt = 0; attempt < 20 && !inside(*SceneRenderer::outline(next, size), size, 2); ++attempt) {
        next.centreX = (next.centreX + 0.5) / 2;
        next.centreY = (next.centreY + 0.5) / 2;
        next.areaShare *= 0.95;
    }
    return next;
}

bool SceneSampler::crossesBorder(const SceneLayout &layout, double frameAspect)
{
    const std::optional<Quad> quad = SceneRenderer::outline(layout, layoutSize(frameAspect));
    return quad && !inside(*quad, layoutSize(frameAspect), 0);
}

void SceneSampler::fitInside(SceneLayout &layout)
{
    const cv::Size size = layoutSize(m_frameAspect);
    for (int attempt = 0; attempt < 200; ++attempt) {
        layout.centreX = m_rng.uniform(0.15, 0.85);
        layout.centreY = m_rng.uniform(0.15, 0.85);
        if (inside(*SceneRenderer::outline(layout, size), size, 4))
            return;
        // A large page fits the wide frame only lying across it.
        layout.rotationDegrees += 90;
        if (inside(*SceneRenderer::outline(layout, size), size, 4))
            return;
        // After a few placements at this size it will not fit anywhere: shrink it.
        if (attempt % 8 == 7)
            layout.areaShare *= 0.93;
    }
    layout.centreX = 0.5;
    layout.centreY = 0.5;
}

void SceneSampler::pushAcrossBorder(SceneLayout &layout)
{
    const cv::Size size = layoutSize(m_frameAspect);
    const Quad placed = *SceneRenderer::outline(layout, size);
    const cv::Point2f corner = placed[m_rng.uniform(0, 4)];
    const cv::Point2f centre(float(layout.centreX * size.width), float(layout.centreY * size.height));
    const cv::Point2f direction = (corner - centre) / float(cv::norm(corner - centre));
    const double reach = std::sqrt(placed.area()) * m_rng.uniform(0.05, 0.25);
    SceneLayout trial = layout;
    // Slide towards the chosen corner until it is well outside, keeping at least a third of every side.
    for (double step = 4; step < size.height; step += 4) {
        trial.centreX = layout.centreX + direction.x * step / size.width;
        trial.centreY = layout.centreY + direction.y * step / size.height;
        const Quad quad = *SceneRenderer::outline(trial, size);
        if (leastVisibleSide(quad, size) < 0.35)
            return;
        const cv::Point2f moved = corner + direction * float(step);
        const double outside = std::max({-moved.x, -moved.y, moved.x - size.width, moved.y - size.height});
        if (outside >= reach) {
            layout = trial;
            return;
        }
    }
}

}  // namespace qirmel
