#include "api/sizechoice.h"

#include <gtest/gtest.h>

using qirmel::chooseSize;
using qirmel::Size;

TEST(SizeChoice, OpensTheListedSizeNearestTheRequest)
{
    const std::vector<Size> sizes = {{3264, 2448}, {2592, 1944}, {1920, 1080}, {1280, 720}, {640, 480}};
    const struct {
        Size request;
        Size expected;
    } rows[] = {
        {{1920, 1080}, {1920, 1080}},  // exact
        {{640, 480}, {640, 480}},      // exact, smallest
        {{6000, 6000}, {3264, 2448}},  // larger than all
        {{800, 600}, {640, 480}},      // only 640x480 fits inside
        {{1920, 1200}, {1920, 1080}},  // largest inside
        {{2000, 1000}, {1280, 720}},   // 1920x1080 too tall
        {{3264, 2447}, {2592, 1944}},  // one pixel short
        {{100, 100}, {640, 480}},      // nothing fits: smallest
        {{100, 5000}, {640, 480}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(chooseSize(sizes, row.request), row.expected)
            << row.request.width << "x" << row.request.height << " opens " << row.expected.width << "x"
            << row.expected.height;
    EXPECT_EQ(chooseSize({}, Size{640, 480}), Size{}) << "an empty list";
    EXPECT_EQ(chooseSize({{400, 300}, {300, 400}}, Size{1000, 1000}), (Size{400, 300})) << "equal areas: the first";
    EXPECT_EQ(chooseSize({{400, 300}, {300, 400}}, Size{10, 10}), (Size{400, 300})) << "equal areas: the first";
}
