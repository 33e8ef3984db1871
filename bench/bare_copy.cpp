// The benchmark's lower bound for moving by copy: every *.h and *.lib of the current directory is
// copied into INCLUDE or LIB with copy_file_range and unlinked, with no checks and no safety.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

int main() {
    mkdir("INCLUDE", 0777);
    mkdir("LIB", 0777);
    DIR* directory = opendir(".");
    while (const dirent* entry = readdir(directory)) {
        size_t length = strlen(entry->d_name);
        const char* folder =
            (length > 2 && strcmp(entry->d_name + length - 2, ".h") == 0)     ? "INCLUDE"
            : (length > 4 && strcmp(entry->d_name + length - 4, ".lib") == 0) ? "LIB"
                                                                              : nullptr;
        if (folder == nullptr) {
            continue;
        }
        char target[4096];
        snprintf(target, sizeof target, "%s/%s", folder, entry->d_name);
        int from = open(entry->d_name, O_RDONLY);
        int to = open(target, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        while (copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0) > 0) {
        }
        close(from);
        close(to);
        unlink(entry->d_name);
    }
    closedir(directory);
    return 0;
}
