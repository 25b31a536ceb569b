#include "core/turns.h"

namespace qirmel {

Size turnedSize(Size size, int quarterTurns)
{
    return quarterTurns % 2 == 0 ? size : Size{size.height, size.width};
}

int turnsLeft(int wanted, int done)
{
    return ((wanted - done) % 4 + 4) % 4;
}

}  // namespace qirmel
