// POSIX implementation of the platform services: the file system through the POSIX file API, the
// notice on standard output, the lock as a pthread mutex.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix.h"

const char path_separator = '/';

namespace {

char command_line_text[32768];

// Open searches. The installer has one at a time; a few more keep the tests honest.
struct search_slot {
    DIR* directory;
    const char* pattern;
};
search_slot search_slots[4];

// Opens the directory that holds `path` and points `*leaf` at the last component of `path`.
// Returns -1 when it cannot be opened.
int open_parent_directory(const char* path, const char** leaf) {
    const char* slash = strrchr(path, '/');
    if (slash == nullptr) {
        *leaf = path;
        return open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    *leaf = slash + 1;
    char directory[PATH_MAX];
    size_t length = (slash == path) ? 1 : static_cast<size_t>(slash - path);
    if (length >= sizeof directory) {
        errno = ENAMETOOLONG;
        return -1;
    }
    memcpy(directory, path, length);
    directory[length] = '\0';
    return open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Copies everything from the current position of `from` to `to`, in the kernel where it can.
bool copy_data(int from, int to) {
    bool in_kernel = true;
    while (in_kernel) {
        ssize_t copied = copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
        if (copied == 0) {
            return true;
        }
        if (copied < 0 && errno != EINTR) {
            // Some file systems and older kernels cannot copy between these two files; both
            // positions stand where the kernel stopped, so the plain loop below takes over.
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
                return false;
            }
            in_kernel = false;
        }
    }
    static char buffer[1 << 17];
    for (;;) {
        ssize_t got = read(from, buffer, sizeof buffer);
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        for (ssize_t put = 0; put < got;) {
            ssize_t n = write(to, buffer + put, static_cast<size_t>(got - put));
            if (n < 0 && errno != EINTR) {
                return false;
            }
            put += (n > 0) ? n : 0;
        }
    }
}

// Writes a fresh name for a temporary file into `name`. The names start with a dot and end in
// ".tmp", so no search of the installer matches them.
void make_temp_name(char* name, size_t size) {
    static unsigned long counter;
    snprintf(name, size, ".veldra-%ld-%lu.tmp", static_cast<long>(getpid()), ++counter);
}

// Creates the file that receives the copy, in `directory`. Where the file system supports it, the
// file has no name until it is complete, so that no crash can leave it behind; `temp_name` is then
// empty. Otherwise it gets a temporary name, written into `temp_name`.
int create_receiving_file(int directory, char* temp_name, size_t size) {
    temp_name[0] = '\0';
#ifdef O_TMPFILE
    int fd = openat(directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
        return fd;
    }
#endif
    for (int attempt = 0; attempt < 100; ++attempt) {
        make_temp_name(temp_name, size);
        int fd = openat(directory, temp_name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            if (fd < 0) {
                temp_name[0] = '\0';
            }
            return fd;
        }
    }
    temp_name[0] = '\0';
    return -1;
}

// Gives the unnamed file `fd` the name `name` in `directory`, failing when the name exists.
bool link_unnamed_file(int fd, int directory, const char* name) {
    char self[64];
    snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    if (linkat(AT_FDCWD, self, directory, name, AT_SYMLINK_FOLLOW) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    return linkat(fd, "", directory, name, AT_EMPTY_PATH) == 0;
}

// Puts the complete file `fd` in place under `leaf`, replacing what is there in one step: no
// reader ever sees a partial file under that name, and a symlink there is replaced, not followed.
bool put_in_place(int fd, int directory, const char* leaf, char* temp_name, size_t size) {
    if (temp_name[0] == '\0') {
        if (link_unnamed_file(fd, directory, leaf)) {
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
        // Something already has the name; rename is the only way to replace it atomically, and
        // rename needs a name to move from.
        make_temp_name(temp_name, size);
        if (!link_unnamed_file(fd, directory, temp_name)) {
            temp_name[0] = '\0';
            return false;
        }
    }
    return renameat(directory, temp_name, directory, leaf) == 0;
}

// Copies the regular file open as `source` into `directory` under `leaf`.
bool install_copy(int source, const struct stat& from, int directory, const char* leaf) {
    char temp_name[64];
    int fd = create_receiving_file(directory, temp_name, sizeof temp_name);
    if (fd < 0) {
        return false;
    }
    const struct timespec times[2] = {from.st_atim, from.st_mtim};
    // The data and the name are both on stable storage before success is reported, because the
    // caller removes the source next.
    bool placed = copy_data(source, fd) && fchmod(fd, from.st_mode & 07777) == 0 &&
                  futimens(fd, times) == 0 && fsync(fd) == 0 &&
                  put_in_place(fd, directory, leaf, temp_name, sizeof temp_name);
    close(fd);
    if (!placed) {
        if (temp_name[0] != '\0') {
            unlinkat(directory, temp_name, 0);
        }
        return false;
    }
    return fsync(directory) == 0;
}

}  // namespace

void record_command_line(int argc, char** argv) {
    size_t length = 0;
    command_line_text[0] = '\0';
    for (int i = 0; i < argc; ++i) {
        const char* part = argv[i];
        if (i > 0 && length + 1 < sizeof command_line_text) {
            command_line_text[length++] = ' ';
        }
        while (*part != '\0' && length + 1 < sizeof command_line_text) {
            command_line_text[length++] = *part++;
        }
        command_line_text[length] = '\0';
    }
}

unsigned long get_current_directory(unsigned long size, char* buffer) {
    if (getcwd(buffer, size) != nullptr) {
        return strlen(buffer);
    }
    return (errno == ERANGE || errno == ENAMETOOLONG) ? size : 0;
}

bool set_current_directory(const char* path) {
    return chdir(path) == 0;
}

bool create_directory(const char* path) {
    if (mkdir(path, 0777) != 0) {
        return false;
    }
    // The new directory's own entry must be durable before files inside it are reported safe.
    const char* leaf;
    int parent = open_parent_directory(path, &leaf);
    if (parent >= 0) {
        fsync(parent);
        close(parent);
    }
    return true;
}

search_result search_first(const char* pattern, search_handle** handle, char* name) {
    *handle = nullptr;
    search_slot* slot = nullptr;
    for (search_slot& candidate : search_slots) {
        if (candidate.directory == nullptr) {
            slot = &candidate;
            break;
        }
    }
    if (slot == nullptr) {
        return search_failed;
    }
    slot->directory = opendir(".");
    if (slot->directory == nullptr) {
        return search_failed;
    }
    slot->pattern = pattern;
    search_handle* opened = reinterpret_cast<search_handle*>(slot);
    search_result result = search_next(opened, name);
    if (result == search_found) {
        *handle = opened;
    } else {
        search_close(opened);
    }
    return result;
}

search_result search_next(search_handle* handle, char* name) {
    search_slot* slot = reinterpret_cast<search_slot*>(handle);
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(slot->directory);
        if (entry == nullptr) {
            return errno == 0 ? search_done : search_failed;
        }
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        size_t length = strlen(entry->d_name);
        if (length < max_entry_name && name_matches(slot->pattern, entry->d_name)) {
            memcpy(name, entry->d_name, length + 1);
            return search_found;
        }
    }
}

void search_close(search_handle* handle) {
    search_slot* slot = reinterpret_cast<search_slot*>(handle);
    closedir(slot->directory);
    slot->directory = nullptr;
}

bool copy_file(const char* existing, const char* new_name) {
    // Non-blocking, so that a FIFO or device that matches cannot stall the installer; it is
    // refused below as soon as fstat shows it is not a regular file.
    int source = open(existing, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (source < 0) {
        return false;
    }
    struct stat from;
    struct stat to;
    bool copied = false;
    if (fstat(source, &from) == 0 && S_ISREG(from.st_mode)) {
        // A target that is the source under another name (a hard link, or a subdirectory that
        // leads back here) would be replaced by the copy and then lost with the source.
        bool same_file =
            lstat(new_name, &to) == 0 && to.st_dev == from.st_dev && to.st_ino == from.st_ino;
        const char* leaf;
        int directory = same_file ? -1 : open_parent_directory(new_name, &leaf);
        if (directory >= 0) {
            copied = install_copy(source, from, directory, leaf);
            close(directory);
        }
    }
    close(source);
    return copied;
}

bool delete_file(const char* name) {
    return unlink(name) == 0;
}

const char* command_line() {
    return command_line_text;
}

void message_box(const char* text, const char* caption) {
    printf("%s: %s\n", caption, text);
    fflush(stdout);
}

static_assert(sizeof(pthread_mutex_t) <= sizeof(platform_lock::storage), "lock storage too small");
static_assert(alignof(pthread_mutex_t) <= alignof(platform_lock), "lock storage misaligned");

void lock_init(platform_lock* lock) {
    pthread_mutex_init(reinterpret_cast<pthread_mutex_t*>(lock->storage), nullptr);
}

void lock_enter(platform_lock* lock) {
    pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(lock->storage));
}

void lock_leave(platform_lock* lock) {
    pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(lock->storage));
}
