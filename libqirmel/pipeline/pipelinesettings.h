// What the user has chosen for the picture.
#ifndef QIRMEL_PIPELINESETTINGS_H
#define QIRMEL_PIPELINESETTINGS_H

#include "core/turns.h"

namespace qirmel {

struct PipelineSettings {
    int quarterTurns = 0;   // clockwise quarter turns, 0 to 3
    bool autoCrop = false;  // deliver the document alone, straightened, when one is found
};

}  // namespace qirmel

#endif  // QIRMEL_PIPELINESETTINGS_H
