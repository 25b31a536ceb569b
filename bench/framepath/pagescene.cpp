#include "pagescene.h"

#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Small, fast and reproducible: the noise has to cover 16 megapixels several times per run.
class XorShift {
public:
    explicit XorShift(std::uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint64_t next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }

private:
    std::uint64_t m_state;
};

int clampByte(int value)
{
    return std::clamp(value, 0, 255);
}

void paintDesk(QImage &image)
{
    const int width = image.width();
    const int height = image.height();
    // Grain runs along the rows and wavers slowly across them.
    XorShift random(7);
    std::vector<int> grain(std::size_t(height) * 2);
    int level = 0;
    for (int &value : grain) {
        level = std::clamp(level + int(random.next() % 7) - 3, -18, 18);
        value = level;
    }
    std::vector<int> waver(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x)
        waver[std::size_t(x)] = int(height * 0.03 * (1.0 + std::sin(x * 6.0 / width)));
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int g = grain[std::size_t(y + waver[std::size_t(x)])];
            line[x] = qRgb(clampByte(140 + g), clampByte(98 + g * 3 / 4), clampByte(62 + g / 2));
        }
    }
}

void paintPage(QImage &image)
{
    const QSizeF size = image.size();
    const QRectF page(-size.width() * 0.3, -size.height() * 0.4, size.width() * 0.6, size.height() * 0.8);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(size.width() / 2, size.height() / 2);
    painter.rotate(3.0);
    painter.fillRect(page.translated(size.width() * 0.006, size.height() * 0.008), QColor(60, 42, 28));
    painter.fillRect(page, QColor(236, 234, 226));

    // Lines of words of varied length, as a printed page has.
    XorShift random(11);
    const double lineHeight = page.height() / 48;
    const double margin = page.width() * 0.1;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 30, 34));
    for (double y = page.top() + margin; y < page.bottom() - margin; y += lineHeight * 1.6) {
        double x = page.left() + margin;
        const double lineEnd = page.right() - margin - (random.next() % 4 == 0 ? page.width() * 0.3 : 0);
        while (x < lineEnd) {
            const double word = lineHeight * (1.0 + double(random.next() % 60) / 10.0);
            painter.drawRect(QRectF(x, y, std::min(word, lineEnd - x), lineHeight));
            x += word + lineHeight * 0.6;
        }
    }
}

void lightUnevenly(QImage &image)
{
    const int width = image.width();
    const int height = image.height();
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const double dy = double(y) / height - 0.4;
        for (int x = 0; x < width; ++x) {
            const double dx = double(x) / width - 0.45;
            const double light = 1.05 - 0.5 * (dx * dx + dy * dy);
            const QRgb pixel = line[x];
            line[x] = qRgb(clampByte(int(qRed(pixel) * light)), clampByte(int(qGreen(pixel) * light)),
                           clampByte(int(qBlue(pixel) * light)));
        }
    }
}

}  // namespace

PageScene::PageScene(QSize size) : m_clean(size, QImage::Format_RGB32)
{
    paintDesk(m_clean);
    paintPage(m_clean);
    lightUnevenly(m_clean);
}

QImage PageScene::frame(int seed) const
{
    QImage noisy = m_clean.copy();
    XorShift random(std::uint64_t(seed) + 1000);
    for (int y = 0; y < noisy.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(noisy.scanLine(y));
        for (int x = 0; x < noisy.width(); ++x) {
            // Triangular noise of about 3 levels' deviation on each channel, as a small sensor gives
            // in room light.
            const std::uint64_t bits = random.next();
            auto noise = [bits](int shift) { return int((bits >> shift) & 7) + int((bits >> (shift + 3)) & 7) - 7; };
            const QRgb pixel = line[x];
            line[x] = qRgb(clampByte(qRed(pixel) + noise(0)), clampByte(qGreen(pixel) + noise(6)),
                           clampByte(qBlue(pixel) + noise(12)));
        }
    }
    return noisy;
}
