#include "core/jpegcodec.h"

#include <turbojpeg.h>

#include <iterator>
#include <stdexcept>

namespace qirmel {

namespace {

// The qualities tried, best first, when an image does not fit its byte budget.
constexpr int kFallbackQualities[] = {75, 50, 30, 15, 5};

struct TjBufferDeleter {
    void operator()(unsigned char *buffer) const { tjFree(buffer); }
};

// The size an image of size stored is decoded at to be at least atLeast: shrunk by the largest of
// the plain fractions 1/2, 1/4 and 1/8 that leaves it that large, else whole. The decoder's other
// fractions cost an extra resampling pass inside it.
Size decodedSize(Size stored, Size atLeast)
{
    tjscalingfactor chosen{1, 1};
    if (atLeast.width > 0 || atLeast.height > 0) {
        int count = 0;
        const tjscalingfactor *factors = tjGetScalingFactors(&count);
        for (int i = 0; i < count; ++i) {
            const tjscalingfactor factor = factors[i];
            if (factor.num == 1 && factor.denom > chosen.denom && TJSCALED(stored.width, factor) >= atLeast.width &&
                TJSCALED(stored.height, factor) >= atLeast.height)
                chosen = factor;
        }
    }
    return Size{TJSCALED(stored.width, chosen), TJSCALED(stored.height, chosen)};
}

}  // namespace

void JpegCodec::HandleDeleter::operator()(void *handle) const
{
    tjDestroy(handle);
}

JpegCodec::JpegCodec()
    : m_compressor(tjInitCompress()), m_decompressor(tjInitDecompress()), m_transformer(tjInitTransform())
{
    if (!m_compressor || !m_decompressor || !m_transformer)
        throw std::runtime_error("TurboJPEG could not allocate its handles");
}

bool JpegCodec::readSize(const std::uint8_t *data, std::size_t length, Size &size)
{
    int subsampling = 0;
    int colorspace = 0;
    if (!data || length == 0)
        return false;
    if (tjDecompressHeader3(m_decompressor.get(), data, length, &size.width, &size.height, &subsampling, &colorspace) ==
        0)
        return true;
    // A header that fails to read leaves the decompressor in the middle of a stream, which would fail
    // the next, whole image as well: a fresh one takes its place.
    if (Handle fresh{tjInitDecompress()})
        m_decompressor = std::move(fresh);
    return false;
}

bool JpegCodec::decode(const std::uint8_t *data, std::size_t length, Frame &bgr, Size atLeast)
{
    Size size;
    if (!readSize(data, length, size))
        return false;
    bgr.format = FrameFormat::Bgr24;
    bgr.size = decodedSize(size, atLeast);
    bgr.quarterTurns = 0;
    bgr.data.resize(static_cast<std::size_t>(bgr.size.area()) * 3);
    return tjDecompress2(m_decompressor.get(), data, length, bgr.data.data(), bgr.size.width, 0, bgr.size.height,
                         TJPF_BGR, TJFLAG_STOPONWARNING) == 0;
}

bool JpegCodec::decodesCleanly(const std::uint8_t *data, std::size_t length)
{
    constexpr tjscalingfactor kEighth{1, 8};
    Size size;
    if (!readSize(data, length, size))
        return false;
    const Size reduced{TJSCALED(size.width, kEighth), TJSCALED(size.height, kEighth)};
    m_checked.resize(static_cast<std::size_t>(reduced.area()));
    return tjDecompress2(m_decompressor.get(), data, length, m_checked.data(), reduced.width, 0, reduced.height,
                         TJPF_GRAY, TJFLAG_STOPONWARNING) == 0;
}

bool JpegCodec::decodeGrey(const std::uint8_t *data, std::size_t length, std::vector<std::uint8_t> &grey, Size &size,
                           Size atLeast)
{
    Size stored;
    if (!readSize(data, length, stored) || stored.area() <= 0)
        return false;
    size = decodedSize(stored, atLeast);
    grey.resize(static_cast<std::size_t>(size.area()));
    return tjDecompress2(m_decompressor.get(), data, length, grey.data(), size.width, 0, size.height, TJPF_GRAY,
                         TJFLAG_FASTDCT) == 0;
}

bool JpegCodec::encode(const std::uint8_t *pixels, Size size, FrameFormat format, int quality, std::size_t maxBytes,
                       std::vector<std::uint8_t> &jpeg)
{
    if (format == FrameFormat::Jpeg)
        return false;
    const int pixelFormat = format == FrameFormat::Bgr24 ? TJPF_BGR : TJPF_RGB;
    const unsigned long worstCase = tjBufSize(size.width, size.height, TJSAMP_420);
    if (worstCase == static_cast<unsigned long>(-1))
        return false;
    if (m_encoded.size() < worstCase)
        m_encoded.resize(worstCase);
    int nextFallback = 0;
    for (;;) {
        unsigned char *buffer = m_encoded.data();
        unsigned long length = worstCase;
        if (tjCompress2(m_compressor.get(), pixels, size.width, 0, size.height, pixelFormat, &buffer, &length,
                        TJSAMP_420, quality, TJFLAG_NOREALLOC) != 0)
            return false;
        if (length <= maxBytes) {
            jpeg.assign(m_encoded.begin(), m_encoded.begin() + static_cast<std::ptrdiff_t>(length));
            return true;
        }
        while (nextFallback < static_cast<int>(std::size(kFallbackQualities)) &&
               kFallbackQualities[nextFallback] >= quality)
            ++nextFallback;
        if (nextFallback == static_cast<int>(std::size(kFallbackQualities)))
            return false;
        quality = kFallbackQualities[nextFallback];
    }
}

bool JpegCodec::turnLossless(const std::uint8_t *data, std::size_t length, int quarterTurns,
                             std::vector<std::uint8_t> &jpeg)
{
    static constexpr int kOperations[] = {TJXOP_NONE, TJXOP_ROT90, TJXOP_ROT180, TJXOP_ROT270};
    tjtransform transform{};
    transform.op = kOperations[((quarterTurns % 4) + 4) % 4];
    transform.options = TJXOPT_PERFECT;
    unsigned char *turned = nullptr;
    unsigned long turnedLength = 0;
    const int result = tjTransform(m_transformer.get(), data, length, 1, &turned, &turnedLength, &transform, 0);
    const std::unique_ptr<unsigned char, TjBufferDeleter> owner(turned);
    if (result != 0 || !turned)
        return false;
    jpeg.assign(turned, turned + turnedLength);
    return true;
}

}  // namespace qirmel
