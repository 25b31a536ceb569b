// Which devices the library offers as cameras, named and ordered how, and what it reads from sysfs.
#include "fakev4l2.h"

#include "api/enumeration.h"
#include "config/cameraconfig.h"
#include "source/v4l2/v4l2enumeration.h"
#include "source/v4l2/videonode.h"

#include <cstdio>
#include <optional>

namespace v4l2test {
namespace {

using qirmel::CameraInfo;
using qirmel::UsbId;
using qirmel::V4l2Settings;

class Enumeration : public V4l2Test {
protected:
    // A document camera on port 1-2 with its metadata node (which answers size queries too), a
    // second camera on port 1-10 that comes first by node number, one without MJPG, and a platform
    // node with no device behind it.
    void SetUp() override
    {
        m_fake.plug("1-10", "b002", "", {{.card = "Desk Camera B", .mjpg = {{640, 480}, {1280, 720}}}});
        m_fake.plug("1-2", "a001", "A1",
                    {{.name = "video2",
                      .card = "Document Camera A",
                      .mjpg = {{1600, 1200}, {640, 480}, {2592, 1944}, {1600, 1200}},
                      .yuyv = {{640, 480}}},
                     {.name = "video3", .card = "Document Camera A", .metadata = true}});
        m_fake.plug("1-3", "c003", "",
                    {{.name = "video4", .card = "Raw Only Camera", .mjpg = {}, .yuyv = {{640, 480}}}});
        m_fake.addPlatformNode("isp", "video9");
    }
};

TEST_F(Enumeration, OffersMjpgCaptureNodesByPortWithNamesIdsAndSizes)
{
    const auto cameras = qirmel::enumerateV4l2Cameras(V4l2Settings());
    ASSERT_EQ(cameras.size(), 2u);
    const CameraInfo &document = cameras[0]->info();
    EXPECT_EQ(document.name, "Document Camera A");
    EXPECT_EQ(document.vendorId, 0x1209);
    EXPECT_EQ(document.productId, 0xa001);
    EXPECT_EQ(document.resolutions, (std::vector<Size>{{2592, 1944}, {1600, 1200}, {640, 480}}));
    const CameraInfo &desk = cameras[1]->info();
    EXPECT_EQ(desk.name, "Desk Camera B");
    EXPECT_EQ(desk.productId, 0xb002);
    EXPECT_EQ(desk.resolutions, (std::vector<Size>{{1280, 720}, {640, 480}}));
}

// The library's choice of backend: real cameras, when there are any, replace the virtual ones.
TEST_F(Enumeration, OffersRealCamerasAloneWithTheirSettings)
{
    qirmel::CameraConfig config;
    config.v4l2.mainCamera = UsbId{0x1209, 0xb002};
    const auto cameras = qirmel::enumerateCameras(config);
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0]->info().name, "Desk Camera B");
}

// Each node as "device, bus path in sysfs, ids, serial, sibling index".
TEST_F(Enumeration, ScanListsNodesByPortWithTheirUsbIds)
{
    std::vector<std::string> listed;
    for (const qirmel::VideoNode &node : qirmel::VideoNode::scan()) {
        char ids[16];
        std::snprintf(ids, sizeof ids, "%04x:%04x", node.vendorId, node.productId);
        listed.push_back(node.devicePath + " " + node.busPath.substr(m_fake.sysfs().size()) + " " + ids + " " +
                         node.serial + " " + std::to_string(node.siblingIndex));
    }
    const std::string usb = "/devices/pci0000:00/0000:00:14.0/usb1/";
    EXPECT_EQ(listed, (std::vector<std::string>{"/dev/video2 " + usb + "1-2/1-2:1.0 1209:a001 A1 0",
                                                "/dev/video3 " + usb + "1-2/1-2:1.0 1209:a001 A1 1",
                                                "/dev/video4 " + usb + "1-3/1-3:1.0 1209:c003  0",
                                                "/dev/video0 " + usb + "1-10/1-10:1.0 1209:b002  0",
                                                "/dev/video9 /devices/platform/isp 0000:0000  0"}));
}

using EnumerationNames = V4l2Test;

TEST_F(EnumerationNames, AreCutToPrintableAsciiOrTakenFromTheNode)
{
    const std::pair<std::string, std::string> names[] = {{"Cam\xc3\xa9ra  ", "Cam??ra"}, {"", "video0"}};
    for (const auto &[card, name] : names) {
        const auto camera = plugCamera({.card = card});
        ASSERT_TRUE(camera);
        EXPECT_EQ(camera->info().name, name);
    }
}

using PlaceMainAndAux = V4l2Test;

// Cameras a to d on ports 1-1 to 1-4, c and d of the same model.
TEST_F(PlaceMainAndAux, MovesTheNamedCamerasAndKeepsTheRestInOrder)
{
    for (int i = 0; i < 4; ++i)
        m_fake.plug("1-" + std::to_string(i + 1), "000" + std::to_string(std::min(i + 1, 3)), "",
                    {{.name = "video" + std::to_string(i), .card = std::string(1, static_cast<char>('a' + i))}});
    const auto placedOrder = [](const std::optional<UsbId> &main, const std::optional<UsbId> &aux) {
        std::string order;
        for (const auto &camera : qirmel::enumerateV4l2Cameras({.mainCamera = main, .auxCamera = aux}))
            order += camera->info().name;
        return order;
    };
    EXPECT_EQ(placedOrder(std::nullopt, std::nullopt), "abcd");
    EXPECT_EQ(placedOrder(UsbId{0x1209, 3}, std::nullopt), "cabd");
    EXPECT_EQ(placedOrder(std::nullopt, UsbId{0x1209, 3}), "acbd");
    EXPECT_EQ(placedOrder(std::nullopt, UsbId{0x1209, 1}), "bacd");
    EXPECT_EQ(placedOrder(UsbId{0x1209, 2}, UsbId{0x1209, 3}), "bcad");
    EXPECT_EQ(placedOrder(UsbId{0x1209, 3}, UsbId{0x1209, 3}), "cdab");
    EXPECT_EQ(placedOrder(UsbId{0x1209, 3}, UsbId{0x1209, 1}), "cabd");
    EXPECT_EQ(placedOrder(UsbId{0x1209, 9}, UsbId{0x1209, 3}), "acbd");
    EXPECT_EQ(placedOrder(UsbId{0xffff, 2}, std::nullopt), "abcd") << "vendor and product must both match";
}

}  // namespace
}  // namespace v4l2test
