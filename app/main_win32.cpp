// Start-up of the Windows program: the GUI entry routine runs the installation.
#include <windows.h>

#include "installer/installer.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_tail,
                   int show_state) {
    return install_main(instance, previous_instance, command_tail, show_state);
}
