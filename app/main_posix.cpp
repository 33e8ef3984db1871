// Start-up of the portable build: hands the command line to the platform layer and runs.
#include "installer/installer.h"
#include "platform/posix.h"

int main(int argc, char** argv) {
    record_command_line(argc, argv);
    return install_main(nullptr, nullptr, nullptr, 0);
}
