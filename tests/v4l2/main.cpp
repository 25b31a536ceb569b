// Runs the tests with the fake V4L2 library and umockdev's preloaded in that order, starting the
// binary over with LD_PRELOAD set where it is not yet: the fake must see /dev/video* calls before
// umockdev's library, which hands them straight to the C library.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

int main(int argc, char **argv)
{
    const char *preload = std::getenv("LD_PRELOAD");
    if (!preload || std::strstr(preload, FAKEV4L2_LIBRARY) != preload) {
        std::string chain = std::string(FAKEV4L2_LIBRARY) + ":libumockdev-preload.so.0";
        if (preload && *preload)
            chain += std::string(":") + preload;
        setenv("LD_PRELOAD", chain.c_str(), 1);
        // A sanitizer runtime insists on coming first; here the preloaded libraries must.
        const char *asan = std::getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":verify_asan_link_order=0").c_str(), 1);
        execv("/proc/self/exe", argv);
        std::perror("cannot start the tests over with LD_PRELOAD");
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
