// The order of video nodes by port, and telling whether a node is a given camera.
#include "source/v4l2/videonode.h"

#include <gtest/gtest.h>

namespace v4l2test {
namespace {

using qirmel::naturalLess;
using qirmel::VideoNode;

TEST(NaturalLess, ComparesRunsOfDigitsByValue)
{
    EXPECT_TRUE(naturalLess("1-2", "1-10"));
    EXPECT_FALSE(naturalLess("1-10", "1-2"));
    EXPECT_TRUE(naturalLess("usb1/1-9:1.0", "usb2/1-1:1.0"));
    EXPECT_TRUE(naturalLess("1-2.3", "1-2.10"));
    EXPECT_TRUE(naturalLess("1-2", "1-2.1"));
    EXPECT_TRUE(naturalLess("a", "b"));
    EXPECT_FALSE(naturalLess("1-02", "1-2"));
    EXPECT_FALSE(naturalLess("1-2", "1-02"));
    EXPECT_FALSE(naturalLess("same", "same"));
}

// A stream of camera 1209:productId on port ("1-2").
VideoNode nodeOn(const std::string &port, const std::string &serial, int productId = 2, int siblingIndex = 0)
{
    VideoNode node;
    node.busPath = "/sys/devices/usb1/" + port + "/" + port + ":1.0";
    node.siblingIndex = siblingIndex;
    node.vendorId = 0x1209;
    node.productId = productId;
    node.serial = serial;
    return node;
}

// Renumbered nodes and other serials are left to the replug tests.
TEST(SameCamera, MatchesByPortOrBySerial)
{
    const VideoNode node = nodeOn("1-2", "SN1");
    EXPECT_TRUE(nodeOn("1-3", "SN1").isSameCameraAs(node)) << "same serial elsewhere";
    EXPECT_FALSE(nodeOn("1-3", "").isSameCameraAs(nodeOn("1-2", ""))) << "no serial elsewhere";
    EXPECT_FALSE(nodeOn("1-3", "SN1", 3).isSameCameraAs(node)) << "another model elsewhere";
    EXPECT_FALSE(nodeOn("1-2", "SN1", 2, 1).isSameCameraAs(node)) << "second stream";
}

}  // namespace
}  // namespace v4l2test
