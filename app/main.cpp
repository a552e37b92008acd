#include "app/Application.h"
#include "app/Platform.h"
#include "app/Startup.h"

int main(int argc, char** argv) {
    vocalyn::Application app(argc, argv);
    vocalyn::Platform platform = vocalyn::MakeLinuxPlatform();
    return vocalyn::RunProgram(platform);
}
