#include "v4l2fixture.h"

#include "fakev4l2.h"

#include "source/v4l2/v4l2enumeration.h"

namespace v4l2test {

void V4l2Fixture::TearDown()
{
    EXPECT_EQ(fakev4l2_configure(""), 0);
}

void V4l2Fixture::configure(const std::string &ini)
{
    ASSERT_EQ(fakev4l2_configure(ini.c_str()), 0) << ini;
}

std::unique_ptr<qirmel::CameraSource> V4l2Fixture::singleCamera(const std::string &ini,
                                                                 const qirmel::V4l2Settings &settings)
{
    configure("[video0]\n" + ini);
    m_sysfs.plugUsbCamera("1-1", 0x1234, 0x5678, "SN1", {"video0"});
    auto cameras = qirmel::enumerateV4l2Cameras(settings);
    EXPECT_EQ(cameras.size(), 1u);
    return cameras.empty() ? nullptr : std::move(cameras.front());
}

qirmel::FrameStatus V4l2Fixture::waitOk(qirmel::CameraSource &camera, qirmel::Frame &frame, int tries)
{
    qirmel::FrameStatus status = qirmel::FrameStatus::Failed;
    for (int i = 0; i < tries && status != qirmel::FrameStatus::Ok; ++i)
        status = camera.waitFrame(frame, kFrameTimeout);
    return status;
}

}  // namespace v4l2test
