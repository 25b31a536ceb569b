#include "addressspacelimit.h"

#include <unistd.h>

#include <fstream>

namespace {

#ifndef __has_feature
#define __has_feature(feature) 0
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || __has_feature(address_sanitizer) \
    || __has_feature(thread_sanitizer)
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif

} // namespace

AddressSpaceLimit::~AddressSpaceLimit()
{
    if (m_set)
        setrlimit(RLIMIT_AS, &m_previous);
}

bool AddressSpaceLimit::set(std::size_t room)
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
