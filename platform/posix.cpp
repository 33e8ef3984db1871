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

// The last component of `path`.
const char* leaf_of(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

// Opens the directory that holds `path`. Returns -1 when it cannot be opened.
int open_parent_directory(const char* path) {
    size_t length = static_cast<size_t>(leaf_of(path) - path);
    if (length == 0) {
        return open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    char directory[PATH_MAX];
    if (length >= sizeof directory) {
        errno = ENAMETOOLONG;
        return -1;
    }
    memcpy(directory, path, length);  // keeps the slash, so that "/x" gives "/"
    directory[length] = '\0';
    return open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Copies `length` bytes at `offset` from `from` to the same place in `to`, in the kernel where
// it can.
bool copy_range(int from, int to, off_t offset, off_t length) {
    off_t in = offset;
    off_t out = offset;
    off_t end = offset + length;
    while (in < end) {
        ssize_t copied = copy_file_range(from, &in, to, &out, static_cast<size_t>(end - in), 0);
        if (copied > 0) {
            continue;
        }
        if (copied == 0) {
            return true;  // the source shrank while being copied
        }
        if (errno == EINTR) {
            continue;
        }
        // Some file systems and older kernels cannot copy between these two files; the plain
        // loop below takes over from where the kernel stopped.
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
            return false;
        }
        break;
    }
    static char buffer[1 << 17];
    while (in < end) {
        size_t want = static_cast<size_t>(end - in) < sizeof buffer ? static_cast<size_t>(end - in)
                                                                    : sizeof buffer;
        ssize_t got = pread(from, buffer, want, in);
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
            ssize_t n = pwrite(to, buffer + put, static_cast<size_t>(got - put), in + put);
            if (n < 0 && errno != EINTR) {
                return false;
            }
            put += (n > 0) ? n : 0;
        }
        in += got;
    }
    return true;
}

// Copies the `size` bytes of `from`, which occupies `allocated` bytes on disk, into the empty file
// `to`. A file with holes is copied part by part so that the holes stay holes and a sparse file
// stays sparse; a file without holes is copied in one go.
bool copy_data(int from, int to, off_t size, off_t allocated) {
    if (allocated >= size) {
        return copy_range(from, to, 0, size);
    }
    off_t offset = 0;
    while (offset < size) {
        off_t data = lseek(from, offset, SEEK_DATA);
        off_t hole = size;
        if (data < 0) {
            if (errno == ENXIO) {
                break;  // nothing but a hole up to the end
            }
            data = offset;  // the file system does not tell holes: copy everything
        } else {
            hole = lseek(from, data, SEEK_HOLE);
            if (hole < 0 || hole > size) {
                hole = size;
            }
        }
        if (!copy_range(from, to, data, hole - data)) {
            return false;
        }
        offset = hole;
    }
    return ftruncate(to, size) == 0;
}

// The permission bits that a file created with the bits of `mode` gets under this process's umask.
mode_t created_mode(mode_t mode) {
    static mode_t mask = static_cast<mode_t>(-1);
    if (mask == static_cast<mode_t>(-1)) {
        mask = umask(0);  // the only way to read it is to set it
        umask(mask);
    }
    return mode & 07777 & ~mask;
}

// Writes a fresh name for a temporary file into `name`. The names start with a dot and end in
// ".tmp", so no search of the installer matches them.
void make_temp_name(char* name, size_t size) {
    static unsigned long counter;
    snprintf(name, size, ".veldra-%ld-%lu.tmp", static_cast<long>(getpid()), ++counter);
}

// A copy that is complete in an unnamed (or temporarily named) file and waits to be put in place.
struct unsettled_copy {
    int fd;
    int directory;  // the target's directory; shared with the previous copy when the same
    bool shares_directory;
    char target[PATH_MAX];  // the target path as given; its last component is the name to take
    char temp_name[64];     // empty when the file has no name yet
};
unsettled_copy unsettled[max_unsettled_copies];
int unsettled_count;

bool same_directory(const char* a, const char* b) {
    size_t a_length = static_cast<size_t>(leaf_of(a) - a);
    return a_length == static_cast<size_t>(leaf_of(b) - b) && memcmp(a, b, a_length) == 0;
}

// Creates the file that receives a copy, in `directory`. Where the file system supports it, the
// file has no name until it is complete, so that no crash can leave it behind; `temp_name` is then
// empty. Otherwise it gets a temporary name, written into `temp_name`.
int create_receiving_file(int directory, mode_t mode, char* temp_name, size_t size) {
    temp_name[0] = '\0';
#ifdef O_TMPFILE
    int fd = openat(directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
        return fd;
    }
#endif
    for (int attempt = 0; attempt < 100; ++attempt) {
        make_temp_name(temp_name, size);
        int fd = openat(directory, temp_name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
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
#ifdef AT_EMPTY_PATH
    // Linking the descriptor itself is the cheap way, but it takes a privilege that not every
    // process has; after the first refusal the link goes through /proc instead.
    static bool empty_path_refused;
    if (!empty_path_refused) {
        if (linkat(fd, "", directory, name, AT_EMPTY_PATH) == 0) {
            return true;
        }
        if (errno != EPERM && errno != ENOENT && errno != EINVAL) {
            return false;
        }
        empty_path_refused = true;
    }
#endif
    char self[64];
    snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    return linkat(AT_FDCWD, self, directory, name, AT_SYMLINK_FOLLOW) == 0;
}

// Puts the complete file of `copy` in place under its target name, replacing what is there in one
// step: no reader ever sees a partial file under that name, and a symlink there is replaced, not
// followed.
bool put_in_place(unsettled_copy& copy) {
    const char* leaf = leaf_of(copy.target);
    if (copy.temp_name[0] == '\0') {
        if (link_unnamed_file(copy.fd, copy.directory, leaf)) {
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
        // Something already has the name; rename is the only way to replace it atomically, and
        // rename needs a name to move from. A crash right here can leave this one name behind.
        make_temp_name(copy.temp_name, sizeof copy.temp_name);
        if (!link_unnamed_file(copy.fd, copy.directory, copy.temp_name)) {
            copy.temp_name[0] = '\0';
            return false;
        }
    }
    if (renameat(copy.directory, copy.temp_name, copy.directory, leaf) != 0) {
        return false;
    }
    copy.temp_name[0] = '\0';
    return true;
}

// Brings the data of `copy` to stable storage. On Linux one flush of the whole file system serves
// every copy into the same directory, which is far cheaper than a flush per file.
bool flush_data(const unsettled_copy& copy) {
#ifdef __linux__
    return copy.shares_directory || syncfs(copy.fd) == 0;
#else
    return fsync(copy.fd) == 0;
#endif
}

// Closes the files of `copy`, removing its temporary name if it still has one.
void discard(unsettled_copy& copy) {
    if (copy.temp_name[0] != '\0') {
        unlinkat(copy.directory, copy.temp_name, 0);
    }
    close(copy.fd);
    if (!copy.shares_directory) {
        close(copy.directory);
    }
}

// Whether the file described by `from` may be copied over `new_name`. Only regular files are
// copied. A target that is the source under another name (a hard link, or a subdirectory that
// leads back here) would be replaced by the copy and then lost with the source. A directory at the
// target name cannot be replaced.
bool copy_allowed(const struct stat& from, const char* new_name) {
    if (!S_ISREG(from.st_mode)) {
        return false;
    }
    struct stat to;
    if (lstat(new_name, &to) != 0) {
        return true;
    }
    bool same_file = to.st_dev == from.st_dev && to.st_ino == from.st_ino;
    return !same_file && !S_ISDIR(to.st_mode);
}

// Copies the regular file open as `source` into a new, unnamed file beside `new_name`, with the
// source's permissions and times, and records it in `copy` to be put in place when settled.
bool receive_copy(int source, const struct stat& from, const char* new_name, unsettled_copy& copy) {
    memcpy(copy.target, new_name, strlen(new_name) + 1);
    const unsettled_copy* previous =
        unsettled_count > 0 ? &unsettled[unsettled_count - 1] : nullptr;
    copy.shares_directory = previous != nullptr && same_directory(previous->target, new_name);
    copy.directory = copy.shares_directory ? previous->directory : open_parent_directory(new_name);
    if (copy.directory < 0) {
        return false;
    }
    mode_t mode = created_mode(from.st_mode);
    copy.fd = create_receiving_file(copy.directory, mode, copy.temp_name, sizeof copy.temp_name);
    if (copy.fd < 0) {
        if (!copy.shares_directory) {
            close(copy.directory);
        }
        return false;
    }
    const struct timespec times[2] = {from.st_atim, from.st_mtim};
    bool copied = copy_data(source, copy.fd, from.st_size, from.st_blocks * 512) &&
                  (mode == (from.st_mode & 07777) || fchmod(copy.fd, from.st_mode & 07777) == 0) &&
                  futimens(copy.fd, times) == 0;
    if (!copied) {
        discard(copy);
    }
    return copied;
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
    int parent = open_parent_directory(path);
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
    if (unsettled_count == max_unsettled_copies || strlen(new_name) >= PATH_MAX) {
        return false;
    }
    // Non-blocking, so that a FIFO or device that matches cannot stall the installer; it is
    // refused as soon as fstat shows that it is not a regular file.
    int source = open(existing, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (source < 0) {
        return false;
    }
    struct stat from;
    bool copied = fstat(source, &from) == 0 && copy_allowed(from, new_name) &&
                  receive_copy(source, from, new_name, unsettled[unsettled_count]);
    close(source);
    unsettled_count += copied;
    return copied;
}

bool settle_copies() {
    // The data of every waiting copy reaches stable storage before any of them gets its name.
    // Then the names are given and each directory is flushed once.
    bool settled = true;
    for (int i = 0; i < unsettled_count && settled; ++i) {
        settled = flush_data(unsettled[i]);
    }
    for (int i = 0; i < unsettled_count && settled; ++i) {
        settled = put_in_place(unsettled[i]);
    }
    for (int i = 0; i < unsettled_count && settled; ++i) {
        if (!unsettled[i].shares_directory) {
            settled = fsync(unsettled[i].directory) == 0;
        }
    }
    for (int i = unsettled_count - 1; i >= 0; --i) {
        discard(unsettled[i]);
    }
    unsettled_count = 0;
    return settled;
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
