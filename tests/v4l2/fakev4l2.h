// Fake V4L2 cameras in the test process, behind the V4L2 source's system calls, and the sysfs that
// lists them in a temporary folder; the fixture every test of real cameras starts from.
#ifndef V4L2TEST_FAKEV4L2_H
#define V4L2TEST_FAKEV4L2_H

#include "source/camerasource.h"
#include "source/v4l2/systemcalls.h"
#include "source/v4l2/v4l2settings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace v4l2test {

using namespace std::chrono_literals;
using qirmel::Size;

// What becomes of every second frame (the odd numbers).
enum class Damage { None, Flagged, Truncated };

// One device node, /dev/<name>, of a fake camera.
struct FakeNode {
    std::string name = "video0";
    std::string card = "Fake Camera";
    std::vector<Size> mjpg{{320, 240}};  // in the order the device lists them
    std::vector<Size> yuyv{};
    bool metadata = false;  // a UVC metadata node, which answers size queries all the same
    int fps = 30;           // 0: frames come only from step()
    Damage damage = Damage::None;
    long unplugAfter = 0;   // N > 0: the device goes away after its Nth frame (once)
    int replugAfterMs = 0;  // M > 0: and comes back M ms later
    bool powerLine = true;  // whether it has the power line frequency control (at "auto" until set)
};

// Frames are made when they are due, as the library polls and dequeues: frame N of a stream no
// sooner than N + 1 periods after it started, lost when no buffer is queued. MJPG frames come
// without Huffman tables, as many cameras send them, and carry their number (see frameNumber());
// YUYV frames are red, with junk after each row. Buffers hold junk after their frame. Installed as
// the V4L2 source's system while it lives; for one thread.
class FakeV4l2 {
public:
    FakeV4l2();
    ~FakeV4l2();
    FakeV4l2(const FakeV4l2 &) = delete;
    FakeV4l2 &operator=(const FakeV4l2 &) = delete;

    // A USB camera with vendor id 1209 and productId (hex) on port ("1-2": port 2 of bus 1), its
    // nodes on its first interface, in place of what was there; an empty serial leaves it out.
    void plug(const std::string &port, const std::string &productId, const std::string &serial,
              const std::vector<FakeNode> &nodes);
    // A node of a platform device, with no USB device above it and no device behind it.
    void addPlatformNode(const std::string &device, const std::string &node);
    // Takes the camera on port out of sysfs; its devices go away.
    void unplug(const std::string &port);
    // Makes count frames now on every stream of node.
    void step(const std::string &node, int count);
    // The value of node's power line frequency control; -1 when it has none.
    int powerLineFrequency(const std::string &node) const;

    const std::string &sysfs() const { return m_root; }
    long calls() const { return m_calls; }              // open(), ioctl() and poll() calls so far
    long opens() const { return m_nextFd - kFirstFd; }  // files opened so far
    int openFiles() const { return static_cast<int>(m_files.size()); }
    int mappings() const { return static_cast<int>(m_mappings.size()); }

    struct Device;
    struct File;
    struct Calls;

private:
    void addNode(const std::string &parent, const std::string &name);

    std::string m_root;
    qirmel::SystemCalls m_saved;
    std::map<std::string, std::shared_ptr<Device>> m_devices;  // by node name
    std::map<std::string, std::vector<std::string>> m_nodesByPort;
    std::map<int, std::shared_ptr<File>> m_files;
    std::map<void *, std::shared_ptr<std::vector<std::uint8_t>>> m_mappings;
    static constexpr int kFirstFd = 100;
    int m_nextFd = kFirstFd;
    long m_calls = 0;
};

// Longer than any frame period of the tests, short enough that a failing test ends soon.
constexpr std::chrono::milliseconds kFrameTimeout = 3s;

class V4l2Test : public ::testing::Test {
protected:
    static qirmel::V4l2Settings settings(int framesToDrop = 0, int powerLineFrequency = 0);

    // node as the only camera, on port 1-1 with serial SN1, enumerated; null when it is not listed.
    std::unique_ptr<qirmel::CameraSource> plugCamera(const FakeNode &node = {},
                                                     const qirmel::V4l2Settings &settings = V4l2Test::settings());
    // The same, opened at 320x240; null when that fails.
    std::unique_ptr<qirmel::CameraSource> openCamera(const FakeNode &node = {},
                                                     const qirmel::V4l2Settings &settings = V4l2Test::settings(),
                                                     bool compressed = true);

    // Waits for frames until one is Ok, at most tries times; the last status.
    static qirmel::FrameStatus waitOk(qirmel::CameraSource &camera, qirmel::Frame &frame, int tries = 1,
                                      std::chrono::milliseconds timeout = kFrameTimeout);

    FakeV4l2 m_fake;
};

}  // namespace v4l2test

#endif  // V4L2TEST_FAKEV4L2_H
