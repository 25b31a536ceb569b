#include "api/sizechoice.h"

#include <gtest/gtest.h>

using qirmel::Size;
using qirmel::chooseSize;

namespace {

const std::vector<Size> kMainSizes = {{3264, 2448}, {2592, 1944}, {1920, 1080}, {1280, 720}, {640, 480}};

struct Choice {
    Size request;
    Size expected;
};

void PrintTo(const Choice &choice, std::ostream *out)
{
    *out << choice.request.width << "x" << choice.request.height << " -> " << choice.expected.width << "x"
         << choice.expected.height;
}

class SizeChoice : public testing::TestWithParam<Choice> {};

TEST_P(SizeChoice, OpensTheNearestListedSize)
{
    const Size chosen = chooseSize(kMainSizes, GetParam().request);
    EXPECT_EQ(chosen.width, GetParam().expected.width);
    EXPECT_EQ(chosen.height, GetParam().expected.height);
}

INSTANTIATE_TEST_SUITE_P(MainCamera, SizeChoice,
                         testing::Values(Choice{{1920, 1080}, {1920, 1080}},   // exact
                                         Choice{{640, 480}, {640, 480}},       // exact, smallest
                                         Choice{{6000, 6000}, {3264, 2448}},   // larger than all
                                         Choice{{800, 600}, {640, 480}},       // only 640x480 fits inside
                                         Choice{{1920, 1200}, {1920, 1080}},   // largest inside
                                         Choice{{2000, 1000}, {1280, 720}},    // 1920x1080 too tall
                                         Choice{{3264, 2447}, {2592, 1944}},   // one pixel short
                                         Choice{{100, 100}, {640, 480}},       // nothing fits: smallest
                                         Choice{{100, 5000}, {640, 480}}),
                         [](const testing::TestParamInfo<Choice> &info) {
                             return std::to_string(info.param.request.width) + "x" +
                                    std::to_string(info.param.request.height);
                         });

TEST(SizeChoiceEdges, EmptyListGivesNothing)
{
    EXPECT_EQ(chooseSize({}, Size{640, 480}), Size{});
}

TEST(SizeChoiceEdges, EqualAreasGoToTheFirstListed)
{
    EXPECT_EQ(chooseSize({{400, 300}, {300, 400}}, Size{1000, 1000}), (Size{400, 300}));
    EXPECT_EQ(chooseSize({{400, 300}, {300, 400}}, Size{10, 10}), (Size{400, 300}));
}

}  // namespace
