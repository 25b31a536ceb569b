// What every test of real cameras starts from: an empty sysfs and no fake devices.
#ifndef V4L2TEST_V4L2FIXTURE_H
#define V4L2TEST_V4L2FIXTURE_H

#include "sysfstestbed.h"

#include "source/camerasource.h"
#include "source/v4l2/v4l2settings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace v4l2test {

using namespace std::chrono_literals;

// Longer than any frame period of the tests, short enough that a failing test ends soon.
constexpr std::chrono::milliseconds kFrameTimeout = 3s;

class V4l2Fixture : public ::testing::Test {
protected:
    void TearDown() override;

    // Describes the fake devices (see fakev4l2.h); the test fails on a syntax error.
    void configure(const std::string &ini);

    // One USB camera on port 1-1 with node video0 described by ini, enumerated.
    std::unique_ptr<qirmel::CameraSource> singleCamera(const std::string &ini,
                                                        const qirmel::V4l2Settings &settings = {});

    // Waits for frames until one is Ok, at most tries times; the last status.
    static qirmel::FrameStatus waitOk(qirmel::CameraSource &camera, qirmel::Frame &frame, int tries = 1);

    SysfsTestbed m_sysfs;
};

}  // namespace v4l2test

#endif  // V4L2TEST_V4L2FIXTURE_H
