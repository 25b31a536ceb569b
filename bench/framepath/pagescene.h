#ifndef BENCH_FRAMEPATH_PAGESCENE_H
#define BENCH_FRAMEPATH_PAGESCENE_H

#include <QImage>
#include <QSize>

// What a document camera looks at: a printed page, slightly turned, on a wooden desk, lit
// unevenly. Each frame adds its own sensor noise, which is what makes camera frames costlier to
// compress and decode than clean synthetic pictures.
class PageScene {
public:
    explicit PageScene(QSize size);

    // The scene with the noise of frame number seed, in QImage::Format_RGB32.
    QImage frame(int seed) const;

private:
    QImage m_clean;
};

#endif
