// Start-up hook of the POSIX platform: the one thing main() must hand to the platform layer.
#pragma once

// Records the command line as the program path followed by its arguments, separated by single
// spaces. It is what command_line() returns afterwards.
void record_command_line(int argc, char** argv);
