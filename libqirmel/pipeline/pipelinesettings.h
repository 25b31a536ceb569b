// What the user has chosen for the picture, and the arithmetic of quarter turns.
#ifndef QIRMEL_PIPELINESETTINGS_H
#define QIRMEL_PIPELINESETTINGS_H

#include "core/frame.h"

namespace qirmel {

struct PipelineSettings {
    int quarterTurns = 0;   // clockwise quarter turns, 0 to 3
    bool autoCrop = false;  // deliver the document alone, straightened, when one is found
};

// The size of a picture of size after it is turned by quarterTurns clockwise quarter turns.
Size turnedSize(Size size, int quarterTurns);

// The clockwise quarter turns, 0 to 3, that take a picture already turned by done to wanted.
int turnsLeft(int wanted, int done);

}  // namespace qirmel

#endif  // QIRMEL_PIPELINESETTINGS_H
