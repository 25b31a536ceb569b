#ifndef ADDRESSSPACELIMIT_H
#define ADDRESSSPACELIMIT_H

#include <sys/resource.h>

#include <cstddef>

// Lets allocations beyond a little more than the process holds already fail at once, as on a
// machine short of memory, until the object goes.
class AddressSpaceLimit
{
public:
    AddressSpaceLimit() = default;
    ~AddressSpaceLimit();
    AddressSpaceLimit(const AddressSpaceLimit &) = delete;
    AddressSpaceLimit &operator=(const AddressSpaceLimit &) = delete;

    // Leaves room bytes beyond the address space in use now. False where no limit can be set: a
    // sanitizer's runtime aborts on a failed allocation instead of returning null.
    bool set(std::size_t room);

private:
    rlimit m_previous{};
    bool m_set = false;
};

#endif // ADDRESSSPACELIMIT_H
