// The faults a virtual camera can be set to show, to rehearse what an application does when a camera
// misbehaves.
#ifndef QIRMEL_CAMERAFAULTS_H
#define QIRMEL_CAMERAFAULTS_H

#include <chrono>

namespace qirmel {

// Each "every" count N makes its fault hit the Nth, 2Nth, ... frame since the camera was opened (for
// photos: the Nth, 2Nth, ... photo since the library started); 0 leaves the fault out.
struct CameraFaults {
    int failEvery = 0;      // the frame read fails, as after a transfer error
    int corruptEvery = 0;   // the frame arrives as a JPEG whose picture data is damaged
    int truncateEvery = 0;  // the frame arrives as a JPEG cut off halfway through its picture data
    int stallEvery = 0;     // the camera sends nothing for stall before the frame
    std::chrono::milliseconds stall{2000};
    int unplugEvery = 0;  // after the frame the camera is gone for unplugged, then comes back
    std::chrono::milliseconds unplugged{3000};
    int photoFailEvery = 0;  // the photo fails

    bool any() const
    {
        return failEvery || corruptEvery || truncateEvery || stallEvery || unplugEvery || photoFailEvery;
    }
};

}  // namespace qirmel

#endif  // QIRMEL_CAMERAFAULTS_H
