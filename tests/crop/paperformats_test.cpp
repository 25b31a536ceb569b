#include "crop/internal/paperformats.h"

#include <gtest/gtest.h>

#include <cmath>

using qirmel::PaperFormats;

TEST(PaperFormats, KnowsSheetsCardsAndReceipts)
{
    EXPECT_NEAR(PaperFormats::distance(std::sqrt(2.0)), 0, 1e-4);
    EXPECT_NEAR(PaperFormats::distance(1 / 1.58519), 0, 1e-4);
    EXPECT_EQ(PaperFormats::distance(3.2), 0);
    EXPECT_EQ(PaperFormats::distance(1 / 4.5), 0);
    // A square and a strip longer than any receipt are no known format.
    EXPECT_GT(PaperFormats::distance(1.0), 0.2);
    EXPECT_GT(PaperFormats::distance(7.0), 0.3);
}

TEST(PaperFormats, SnapsNearFormatsButLeavesReceiptsAsTheyAre)
{
    EXPECT_NEAR(PaperFormats::snap(1.40, 0.03), std::sqrt(2.0), 1e-4);
    EXPECT_NEAR(PaperFormats::snap(1 / 1.40, 0.03), 1 / std::sqrt(2.0), 1e-4);
    EXPECT_DOUBLE_EQ(PaperFormats::snap(3.2, 0.03), 3.2);
}
