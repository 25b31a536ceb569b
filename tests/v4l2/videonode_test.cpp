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

TEST(SameCamera, MatchesByPortOrBySerial)
{
    VideoNode node;
    node.busPath = "/sys/devices/usb1/1-2/1-2:1.0";
    node.vendorId = 0x1234;
    node.productId = 0x5678;
    node.serial = "SN1";

    VideoNode renumbered = node;
    renumbered.number = 7;
    renumbered.devicePath = "/dev/video7";
    EXPECT_TRUE(renumbered.isSameCameraAs(node));

    VideoNode otherPort = node;
    otherPort.busPath = "/sys/devices/usb1/1-3/1-3:1.0";
    EXPECT_TRUE(otherPort.isSameCameraAs(node));
    otherPort.serial = "SN2";
    EXPECT_FALSE(otherPort.isSameCameraAs(node));

    VideoNode noSerial = node;
    noSerial.serial.clear();
    VideoNode noSerialElsewhere = noSerial;
    noSerialElsewhere.busPath = "/sys/devices/usb1/1-3/1-3:1.0";
    EXPECT_FALSE(noSerialElsewhere.isSameCameraAs(noSerial));

    VideoNode otherModel = otherPort;
    otherModel.serial = "SN1";
    otherModel.productId = 0x9999;
    EXPECT_FALSE(otherModel.isSameCameraAs(node));

    VideoNode secondStream = node;
    secondStream.siblingIndex = 1;
    EXPECT_FALSE(secondStream.isSameCameraAs(node));
}

}  // namespace
}  // namespace v4l2test
