#ifndef ADDRESSSPACELIMIT_H
#define ADDRESSSPACELIMIT_H

#include <sys/resource.h>
#include <unistd.h>

#include <cstddef>
#include <fstream>

// Lets allocations beyond a little more than the process holds already fail at once, as on a
// machine short of memory, until the object goes.
class AddressSpaceLimit {
public:
    AddressSpaceLimit() = default;
    AddressSpaceLimit(const AddressSpaceLimit &) = delete;
    AddressSpaceLimit &operator=(const AddressSpaceLimit &) = delete;
    ~AddressSpaceLimit()
    {
        if (m_set)
            setrlimit(RLIMIT_AS, &m_previous);
    }

    // Leaves room bytes beyond the address space in use now. False under a sanitizer, whose
    // runtime aborts on a failed allocation instead of returning null.
    bool set(std::size_t room)
    {
        std::size_t pagesInUse = 0;
        std::ifstream("/proc/self/statm") >> pagesInUse;
        if (kUnderSanitizer || pagesInUse == 0 || getrlimit(RLIMIT_AS, &m_previous) != 0)
            return false;
        rlimit limited = m_previous;
        limited.rlim_cur = pagesInUse * std::size_t(sysconf(_SC_PAGESIZE)) + room;
        m_set = setrlimit(RLIMIT_AS, &limited) == 0;
        return m_set;
    }

private:
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    static constexpr bool kUnderSanitizer = true;
#elif defined(__has_feature)
    static constexpr bool kUnderSanitizer = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
    static constexpr bool kUnderSanitizer = false;
#endif
    rlimit m_previous{};
    bool m_set = false;
};

#endif  // ADDRESSSPACELIMIT_H
