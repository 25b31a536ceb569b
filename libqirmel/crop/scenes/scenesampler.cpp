#include "scenesampler.h"

#include "scenerenderer.h"

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

} // namespace

SceneSampler::SceneSampler(std::uint32_t seed, double frameAspect)
    : m_rng(seed)
    , m_frameAspect(frameAspect)
{
}

SceneSpec SceneSampler::withDocument()
{
    SceneSpec spec;
    spec.seed = m_rng.next();
    spec.desk = static_cast<Desk>(m_rng.uniform(0, 4));
    spec.document = static_cast<Document>(m_rng.uniform(1, 7));
    spec.lighting = static_cast<Lighting>(m_rng.uniform(0, 5));
    const int occlusion = m_rng.uniform(0, 10);
    spec.occluder = occlusion < 6 ? Occluder::None : occlusion < 8 ? Occluder::HandOverCorner : Occluder::PenAcrossSide;
    // Half the pages lie about square to the camera, as people place them; the rest at any angle.
    spec.rotationDegrees = m_rng.uniform(0, 2) ? m_rng.uniform(-10.0, 10.0) : m_rng.uniform(0.0, 360.0);
    const double tilt = m_rng.uniform(0, 2) ? 3.0 : 15.0;
    spec.tiltXDegrees = m_rng.uniform(-tilt, tilt);
    spec.tiltYDegrees = m_rng.uniform(-tilt, tilt);
    spec.receiptLength = m_rng.uniform(2.2, 4.5);
    spec.areaShare = m_rng.uniform(0.10, 0.95);
    spec.noise = m_rng.uniform(0.0, 8.0);
    spec.blur = m_rng.uniform(0, 10) < 3 ? m_rng.uniform(0.8, 2.5) : 0.0;
    fitInside(spec);
    if (spec.occluder != Occluder::HandOverCorner && m_rng.uniform(0, 100) < 15)
        pushAcrossBorder(spec);
    return spec;
}

SceneSpec SceneSampler::emptyDesk()
{
    SceneSpec spec;
    spec.seed = m_rng.next();
    spec.desk = static_cast<Desk>(m_rng.uniform(0, 4));
    spec.document = Document::None;
    spec.lighting = static_cast<Lighting>(m_rng.uniform(0, 5));
    spec.noise = m_rng.uniform(0.0, 8.0);
    spec.blur = m_rng.uniform(0, 10) < 3 ? m_rng.uniform(0.8, 2.5) : 0.0;
    return spec;
}

SceneSpec SceneSampler::moved(const SceneSpec &spec)
{
    SceneSpec next = spec;
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

bool SceneSampler::crossesBorder(const SceneSpec &spec, double frameAspect)
{
    const std::optional<Quad> quad = SceneRenderer::outline(spec, layoutSize(frameAspect));
    return quad && !inside(*quad, layoutSize(frameAspect), 0);
}

void SceneSampler::fitInside(SceneSpec &spec)
{
    const cv::Size size = layoutSize(m_frameAspect);
    for (int attempt = 0; attempt < 200; ++attempt) {
        spec.centreX = m_rng.uniform(0.15, 0.85);
        spec.centreY = m_rng.uniform(0.15, 0.85);
        if (inside(*SceneRenderer::outline(spec, size), size, 4))
            return;
        // A large page fits the wide frame only lying across it.
        spec.rotationDegrees += 90;
        if (inside(*SceneRenderer::outline(spec, size), size, 4))
            return;
        // After a few placements at this size it will not fit anywhere: shrink it.
        if (attempt % 8 == 7)
            spec.areaShare *= 0.93;
    }
    spec.centreX = 0.5;
    spec.centreY = 0.5;
}

void SceneSampler::pushAcrossBorder(SceneSpec &spec)
{
    const cv::Size size = layoutSize(m_frameAspect);
    const Quad placed = *SceneRenderer::outline(spec, size);
    const cv::Point2f corner = placed[m_rng.uniform(0, 4)];
    const cv::Point2f centre(float(spec.centreX * size.width), float(spec.centreY * size.height));
    const cv::Point2f direction = (corner - centre) / float(cv::norm(corner - centre));
    const double reach = std::sqrt(placed.area()) * m_rng.uniform(0.05, 0.25);
    SceneSpec trial = spec;
    // Slide towards the chosen corner until it is well outside, keeping at least a third of every side.
    for (double step = 4; step < size.height; step += 4) {
        trial.centreX = spec.centreX + direction.x * step / size.width;
        trial.centreY = spec.centreY + direction.y * step / size.height;
        const Quad quad = *SceneRenderer::outline(trial, size);
        if (leastVisibleSide(quad, size) < 0.35)
            return;
        const cv::Point2f moved = corner + direction * float(step);
        const double outside = std::max({-moved.x, -moved.y, moved.x - size.width, moved.y - size.height});
        if (outside >= reach) {
            spec = trial;
            return;
        }
    }
}

} // namespace qirmel
