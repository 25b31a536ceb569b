// Which of a camera's sizes a request for another size opens.
#ifndef QIRMEL_SIZECHOICE_H
#define QIRMEL_SIZECHOICE_H

#include "core/frame.h"

#include <vector>

namespace qirmel {

// The requested size itself if listed; else the largest listed size (by area) that fits inside the
// request; else the smallest listed size. Ties go to the one listed first; an empty list gives 0x0.
Size chooseSize(const std::vector<Size> &sizes, Size request);

}  // namespace qirmel

#endif  // QIRMEL_SIZECHOICE_H
