// Which devices the library offers as cameras, named and ordered how.
#include "v4l2fixture.h"

#include "source/v4l2/v4l2enumeration.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace v4l2test {
namespace {

using qirmel::CameraInfo;
using qirmel::Size;
using qirmel::UsbId;
using qirmel::V4l2Settings;

class Enumeration : public V4l2Fixture {
protected:
    // Three cameras: a document camera on port 1-2 (with its metadata node, which also answers
    // size queries), a second one on port 1-10 that comes first by node number, one that has no
    // MJPG, and a platform node no fake answers for.
    void SetUp() override
    {
        configure(R"([video0]
card = Desk Camera B
mjpg = 640x480 1280x720
[video2]
card = Document Camera A
mjpg = 1600x1200 640x480 2592x1944 1600x1200
yuyv = 640x480
[video3]
card = Document Camera A
metadata = yes
mjpg = 640x480
[video4]
card = Raw Only Camera
yuyv = 640x480
)");
        m_sysfs.plugUsbCamera("1-10", 0x1209, 0x0b02, "", {"video0"});
        m_sysfs.plugUsbCamera("1-2", 0x1209, 0x0a01, "A1", {"video2", "video3"});
        m_sysfs.plugUsbCamera("1-3", 0x1209, 0x0c03, "", {"video4"});
        m_sysfs.addPlatformNode("isp", "video9");
    }

    static std::vector<CameraInfo> infos(const std::vector<std::unique_ptr<qirmel::CameraSource>> &cameras)
    {
        std::vector<CameraInfo> result;
        for (const auto &camera : cameras)
            result.push_back(camera->info());
        return result;
    }
};

TEST_F(Enumeration, OffersMjpgCaptureNodesByPortWithNamesIdsAndSizes)
{
    const auto cameras = infos(qirmel::enumerateV4l2Cameras(V4l2Settings()));
    ASSERT_EQ(cameras.size(), 2u);

    EXPECT_EQ(cameras[0].name, "Document Camera A");
    EXPECT_EQ(cameras[0].vendorId, 0x1209);
    EXPECT_EQ(cameras[0].productId, 0x0a01);
    const std::vector<Size> largestFirst{{2592, 1944}, {1600, 1200}, {640, 480}};
    EXPECT_EQ(cameras[0].resolutions, largestFirst);

    EXPECT_EQ(cameras[1].name, "Desk Camera B");
    EXPECT_EQ(cameras[1].vendorId, 0x1209);
    EXPECT_EQ(cameras[1].productId, 0x0b02);
    const std::vector<Size> deskSizes{{1280, 720}, {640, 480}};
    EXPECT_EQ(cameras[1].resolutions, deskSizes);
}

TEST_F(Enumeration, PlacesTheNamedMainAndAuxiliaryCamerasFirst)
{
    V4l2Settings settings;
    settings.mainCamera = UsbId{0x1209, 0x0b02};
    auto cameras = infos(qirmel::enumerateV4l2Cameras(settings));
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0].name, "Desk Camera B");
    EXPECT_EQ(cameras[1].name, "Document Camera A");

    settings.mainCamera.reset();
    settings.auxCamera = UsbId{0x1209, 0x0a01};
    cameras = infos(qirmel::enumerateV4l2Cameras(settings));
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0].name, "Desk Camera B");
    EXPECT_EQ(cameras[1].name, "Document Camera A");

    settings.mainCamera = UsbId{0x1209, 0x0a01};
    settings.auxCamera = UsbId{0x1209, 0x0a01};
    cameras = infos(qirmel::enumerateV4l2Cameras(settings));
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0].name, "Document Camera A") << "one camera cannot be main and auxiliary at once";

    settings.mainCamera = UsbId{0xdead, 0xbeef};
    settings.auxCamera.reset();
    cameras = infos(qirmel::enumerateV4l2Cameras(settings));
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0].name, "Document Camera A") << "an id no camera has changes nothing";
}

TEST_F(Enumeration, FindsNothingWithoutCameras)
{
    m_sysfs.unplugUsbCamera("1-2");
    m_sysfs.unplugUsbCamera("1-10");
    EXPECT_TRUE(qirmel::enumerateV4l2Cameras(V4l2Settings()).empty());
}

// Stands for a camera by its ids only.
class IdOnlyCamera : public qirmel::CameraSource {
public:
    IdOnlyCamera(const std::string &name, int vendorId, int productId)
        : m_info{name, vendorId, productId, {Size{640, 480}}}
    {
    }
    const CameraInfo &info() const override { return m_info; }
    bool open(Size, bool) override { return false; }
    void close() override {}
    qirmel::FrameStatus waitFrame(qirmel::Frame &, std::chrono::milliseconds) override
    {
        return qirmel::FrameStatus::Failed;
    }

private:
    CameraInfo m_info;
};

std::string placedOrder(const std::optional<UsbId> &main, const std::optional<UsbId> &aux)
{
    std::vector<std::unique_ptr<qirmel::CameraSource>> cameras;
    cameras.push_back(std::make_unique<IdOnlyCamera>("a", 1, 1));
    cameras.push_back(std::make_unique<IdOnlyCamera>("b", 2, 2));
    cameras.push_back(std::make_unique<IdOnlyCamera>("c", 3, 3));
    cameras.push_back(std::make_unique<IdOnlyCamera>("d", 3, 3));
    V4l2Settings settings;
    settings.mainCamera = main;
    settings.auxCamera = aux;
    qirmel::placeMainAndAux(cameras, settings);
    std::string order;
    for (const auto &camera : cameras)
        order += camera->info().name;
    return order;
}

TEST(PlaceMainAndAux, MovesTheNamedCamerasAndKeepsTheRestInOrder)
{
    EXPECT_EQ(placedOrder(std::nullopt, std::nullopt), "abcd");
    EXPECT_EQ(placedOrder(UsbId{3, 3}, std::nullopt), "cabd");
    EXPECT_EQ(placedOrder(std::nullopt, UsbId{3, 3}), "acbd");
    EXPECT_EQ(placedOrder(std::nullopt, UsbId{1, 1}), "bacd");
    EXPECT_EQ(placedOrder(UsbId{2, 2}, UsbId{3, 3}), "bcad");
    EXPECT_EQ(placedOrder(UsbId{3, 3}, UsbId{3, 3}), "cdab");
    EXPECT_EQ(placedOrder(UsbId{3, 3}, UsbId{1, 1}), "cabd");
    EXPECT_EQ(placedOrder(UsbId{9, 9}, UsbId{3, 3}), "acbd");
    EXPECT_EQ(placedOrder(UsbId{1, 2}, std::nullopt), "abcd") << "vendor and product must both match";
}

using EnumerationNames = V4l2Fixture;

TEST_F(EnumerationNames, AreCutToPrintableAscii)
{
    const auto camera = singleCamera("card = Cam\xc3\xa9ra  \nmjpg = 640x480\n");
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->info().name, "Cam??ra");
}

TEST_F(EnumerationNames, FallBackToTheNodeWhenTheDeviceHasNone)
{
    const auto camera = singleCamera("card =\nmjpg = 640x480\n");
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->info().name, "video0");
}

}  // namespace
}  // namespace v4l2test
