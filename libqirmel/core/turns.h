// The arithmetic of clockwise quarter turns, shared by the sources that turn their own picture and
// the pipeline that turns whatever is left.
#ifndef QIRMEL_TURNS_H
#define QIRMEL_TURNS_H

#include "core/frame.h"

namespace qirmel {

// The size of a picture of size after it is turned by quarterTurns clockwise quarter turns.
Size turnedSize(Size size, int quarterTurns);

// The clockwise quarter turns, 0 to 3, that take a picture already turned by done to wanted.
int turnsLeft(int wanted, int done);

}  // namespace qirmel

#endif  // QIRMEL_TURNS_H
