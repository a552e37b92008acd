// The main of the camera tests: runs them inside a QApplication with the emulated camera
// preloaded, restarting the process with LD_PRELOAD when it was started without.
#include <QApplication>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}

int main(int argc, char** argv) {
    if (!dlsym(RTLD_DEFAULT, "v4l2cam_opens")) {
        if (std::getenv("V4L2CAM_RESTARTED")) {
            std::fprintf(stderr, "the emulated camera %s did not load\n", V4L2CAM_LIBRARY);
            return 1;
        }
        std::string preload = V4L2CAM_LIBRARY;
        if (const char* old = std::getenv("LD_PRELOAD"); old && *old)
            preload += std::string(":") + old;
        std::string asan = "verify_asan_link_order=0";
        if (const char* old = std::getenv("ASAN_OPTIONS"); old && *old)
            asan = std::string(old) + ":" + asan;
        setenv("LD_PRELOAD", preload.c_str(), 1);
        setenv("ASAN_OPTIONS", asan.c_str(), 1);
        setenv("V4L2CAM_RESTARTED", "1", 1);
        execv("/proc/self/exe", argv);
        std::perror("restarting with the emulated camera");
        return 1;
    }
    // Children of the tests (none expected) must not inherit the camera.
    unsetenv("LD_PRELOAD");
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
