// Reading video nodes from sysfs, their order, and telling whether a node is a given camera.
#include "v4l2fixture.h"

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

using VideoNodeScan = V4l2Fixture;

TEST_F(VideoNodeScan, ListsNodesByPortWithTheirUsbIds)
{
    m_sysfs.plugUsbCamera("1-10", 0x0001, 0x0002, "", {"video0"});
    m_sysfs.plugUsbCamera("1-2", 0xabcd, 0xef01, "CAM-7", {"video3", "video2"});
    m_sysfs.addPlatformNode("isp", "video9");

    const auto nodes = VideoNode::scan();
    ASSERT_EQ(nodes.size(), 4u);
    EXPECT_EQ(nodes[0].devicePath, "/dev/video2");
    EXPECT_EQ(nodes[0].vendorId, 0xabcd);
    EXPECT_EQ(nodes[0].productId, 0xef01);
    EXPECT_EQ(nodes[0].serial, "CAM-7");
    EXPECT_EQ(nodes[0].siblingIndex, 0);
    EXPECT_EQ(nodes[0].busPath, "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0");
    EXPECT_EQ(nodes[1].devicePath, "/dev/video3");
    EXPECT_EQ(nodes[1].siblingIndex, 1);
    EXPECT_EQ(nodes[2].devicePath, "/dev/video0");
    EXPECT_EQ(nodes[2].vendorId, 0x0001);
    EXPECT_EQ(nodes[2].serial, "");
    EXPECT_EQ(nodes[3].devicePath, "/dev/video9");
    EXPECT_EQ(nodes[3].busPath, "/sys/devices/platform/isp");
    EXPECT_EQ(nodes[3].vendorId, 0);
    EXPECT_EQ(nodes[3].productId, 0);
}

TEST_F(VideoNodeScan, ForgetsUnpluggedCameras)
{
    m_sysfs.plugUsbCamera("1-1", 0x1234, 0x5678, "", {"video0", "video1"});
    m_sysfs.plugUsbCamera("1-2", 0x1234, 0x5679, "", {"video2"});
    m_sysfs.unplugUsbCamera("1-1");

    const auto nodes = VideoNode::scan();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].devicePath, "/dev/video2");
}

}  // namespace
}  // namespace v4l2test
