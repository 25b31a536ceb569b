#include "crop/jpegdecoder.h"

#include <turbojpeg.h>

#include <gtest/gtest.h>

#include <vector>

using qirmel::JpegDecoder;

namespace {

std::vector<unsigned char> encode(const cv::Mat &bgr)
{
    tjhandle handle = tjInitCompress();
    unsigned char *out = nullptr;
    unsigned long size = 0;
    const int result = tjCompress2(handle, bgr.data, bgr.cols, int(bgr.step), bgr.rows, TJPF_BGR, &out, &size, TJSAMP_420, 90, 0);
    std::vector<unsigned char> bytes;
    if (result == 0)
        bytes.assign(out, out + size);
    tjFree(out);
    tjDestroy(handle);
    return bytes;
}

cv::Mat halves(const cv::Size &size)
{
    cv::Mat bgr(size, CV_8UC3, cv::Scalar(30, 30, 30));
    bgr.colRange(size.width / 2, size.width).setTo(cv::Scalar(220, 220, 220));
    return bgr;
}

} // namespace

TEST(JpegDecoder, DecodesAtTheSmallestScaleStillWideEnough)
{
    const std::vector<unsigned char> jpeg = encode(halves(cv::Size(1920, 1080)));
    JpegDecoder decoder;
    EXPECT_EQ(decoder.imageSize(jpeg.data(), jpeg.size()), cv::Size(1920, 1080));
    const qirmel::ReducedImage reduced = decoder.decodeReducedGrey(jpeg.data(), jpeg.size(), 480);
    ASSERT_EQ(reduced.grey.type(), CV_8UC1);
    EXPECT_EQ(reduced.grey.size(), cv::Size(480, 270));
    EXPECT_DOUBLE_EQ(reduced.scale, 4.0);
    EXPECT_LT(reduced.grey.at<uchar>(135, 100), 60);
    EXPECT_GT(reduced.grey.at<uchar>(135, 380), 190);
    EXPECT_EQ(decoder.decodeReducedGrey(jpeg.data(), jpeg.size(), 481).grey.cols, 960);
}

TEST(JpegDecoder, DecodesSmallImagesAtFullSize)
{
    const std::vector<unsigned char> jpeg = encode(halves(cv::Size(320, 240)));
    JpegDecoder decoder;
    const qirmel::ReducedImage reduced = decoder.decodeReducedGrey(jpeg.data(), jpeg.size(), 480);
    EXPECT_EQ(reduced.grey.size(), cv::Size(320, 240));
    EXPECT_DOUBLE_EQ(reduced.scale, 1.0);
    const cv::Mat bgr = decoder.decodeBgr(jpeg.data(), jpeg.size());
    ASSERT_EQ(bgr.type(), CV_8UC3);
    EXPECT_EQ(bgr.size(), cv::Size(320, 240));
}

TEST(JpegDecoder, RejectsDataThatIsNoJpeg)
{
    const std::vector<unsigned char> junk(1000, 0x5a);
    JpegDecoder decoder;
    EXPECT_TRUE(decoder.imageSize(junk.data(), junk.size()).empty());
    EXPECT_TRUE(decoder.decodeReducedGrey(junk.data(), junk.size(), 480).grey.empty());
    EXPECT_TRUE(decoder.decodeBgr(junk.data(), junk.size()).empty());
}
