// What a virtual camera is set up as: what it tells about itself, its rate, what it films and the
// faults it shows. The configuration fills it in; the virtual camera only reads it.
#ifndef QIRMEL_VIRTUALCAMERACONFIG_H
#define QIRMEL_VIRTUALCAMERACONFIG_H

#include "source/camerafaults.h"
#include "source/camerasource.h"

#include <chrono>
#include <string>
#include <vector>

namespace qirmel {

// What a virtual camera films.
enum class SceneKind {
    Page,         // a printed page lying on a wooden desk
    Book,         // an open book
    IdCard,       // an identity card
    EmptyDesk,    // the desk with nothing on it
    MovingPage,   // a page that is put down somewhere else now and then
    Photo,        // a photo from a JPEG file
    PhotoFolder,  // the JPEG photos of a folder, one after the other
};

struct SceneConfig {
    SceneKind kind = SceneKind::Page;
    // Photo and PhotoFolder: the files shown in turn, as absolute paths (a folder's in name order).
    std::vector<std::string> photos;
    // How long a moving page stays put, and how long each photo of a folder is shown.
    std::chrono::milliseconds interval{5000};
};

struct VirtualCameraConfig {
    CameraInfo info;
    int fps = 0;  // frames per second at every size; 0 means 15 above 1920x1080 and 30 up to it
    SceneConfig scene;
    CameraFaults faults;  // none unless the section asks for them
};

}  // namespace qirmel

#endif  // QIRMEL_VIRTUALCAMERACONFIG_H
