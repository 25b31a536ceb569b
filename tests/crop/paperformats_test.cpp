#include "crop/internal/paperformats.h"

#include <gtest/gtest.h>

#include <cmath>

using qirmel::PaperFormats;

TEST(PaperFormats, SnapsNearFormatsButLeavesReceiptsAsTheyAre)
{
    EXPECT_NEAR(PaperFormats::snap(1.40, 0.03), std::sqrt(2.0), 1e-4);
    EXPECT_NEAR(PaperFormats::snap(1 / 1.40, 0.03), 1 / std::sqrt(2.0), 1e-4);
    EXPECT_DOUBLE_EQ(PaperFormats::snap(3.2, 0.03), 3.2);
}
