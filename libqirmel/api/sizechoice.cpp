#include "api/sizechoice.h"

#include <algorithm>

namespace qirmel {

Size chooseSize(const std::vector<Size> &sizes, Size request)
{
    if (std::find(sizes.begin(), sizes.end(), request) != sizes.end())
        return request;
    const Size *largestInside = nullptr;
    const Size *smallest = nullptr;
    for (const Size &size : sizes) {
        if (size.width <= request.width && size.height <= request.height &&
            (!largestInside || size.area() > largestInside->area()))
            largestInside = &size;
        if (!smallest || size.area() < smallest->area())
            smallest = &size;
    }
    if (largestInside)
        return *largestInside;
    return smallest ? *smallest : Size{};
}

}  // namespace qirmel
