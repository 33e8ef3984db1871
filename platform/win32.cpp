// Windows implementation of the platform services, on the ANSI kernel and user-interface calls.
#include <string.h>
#include <windows.h>

#include "platform/platform.h"

const char path_separator = '\\';

namespace {

// Open searches. The installer has one at a time; a few more keep the tests honest.
struct search_slot {
    HANDLE find;
    const char* pattern;
};
search_slot search_slots[4];

// The Windows search also matches 8.3 short names, so "*.lib" would yield "foo.library". Only
// entries whose long name matches are passed on.
search_result next_long_name_match(search_slot* slot, WIN32_FIND_DATAA* found, char* name) {
    for (;;) {
        size_t length = strlen(found->cFileName);
        bool dots = strcmp(found->cFileName, ".") == 0 || strcmp(found->cFileName, "..") == 0;
        if (!dots && length < max_entry_name && name_matches(slot->pattern, found->cFileName)) {
            memcpy(name, found->cFileName, length + 1);
            return search_found;
        }
        if (!FindNextFileA(slot->find, found)) {
            return GetLastError() == ERROR_NO_MORE_FILES ? search_done : search_failed;
        }
    }
}

// Writes the file `name` through to the disk. FlushFileBuffers needs a handle with write access,
// which Windows refuses for a read-only file (CopyFileA gives the copy the source's attributes),
// so the attribute is lifted for the flush and put back.
bool flush_file(const char* name) {
    DWORD attributes = GetFileAttributesA(name);
    bool read_only =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (read_only && !SetFileAttributesA(name, attributes & ~FILE_ATTRIBUTE_READONLY)) {
        return false;
    }
    HANDLE file = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool flushed = file != INVALID_HANDLE_VALUE && FlushFileBuffers(file);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    if (read_only) {
        SetFileAttributesA(name, attributes);
    }
    return flushed;
}

}  // namespace

unsigned long get_current_directory(unsigned long size, char* buffer) {
    return GetCurrentDirectoryA(size, buffer);
}

bool set_current_directory(const char* path) {
    return SetCurrentDirectoryA(path) != 0;
}

bool create_directory(const char* path) {
    return CreateDirectoryA(path, nullptr) != 0;
}

search_result search_first(const char* pattern, search_handle** handle, char* name) {
    *handle = nullptr;
    search_slot* slot = nullptr;
    for (search_slot& candidate : search_slots) {
        if (candidate.find == nullptr) {
            slot = &candidate;
            break;
        }
    }
    if (slot == nullptr) {
        return search_failed;
    }
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) ? search_done
                                                                               : search_failed;
    }
    slot->find = find;
    slot->pattern = pattern;
    search_handle* opened = reinterpret_cast<search_handle*>(slot);
    search_result result = next_long_name_match(slot, &found, name);
    if (result == search_found) {
        *handle = opened;
    } else {
        search_close(opened);
    }
    return result;
}

search_result search_next(search_handle* handle, char* name) {
    search_slot* slot = reinterpret_cast<search_slot*>(handle);
    WIN32_FIND_DATAA found;
    if (!FindNextFileA(slot->find, &found)) {
        return GetLastError() == ERROR_NO_MORE_FILES ? search_done : search_failed;
    }
    return next_long_name_match(slot, &found, name);
}

void search_close(search_handle* handle) {
    search_slot* slot = reinterpret_cast<search_slot*>(handle);
    FindClose(slot->find);
    slot->find = nullptr;
}

bool copy_file(const char* existing, const char* new_name) {
    // CopyFileA leaves the data in the cache. The caller removes the source next, so the copy must
    // be on disk first; a failed flush counts as a failed copy and the source stays.
    return CopyFileA(existing, new_name, FALSE) && flush_file(new_name);
}

bool settle_copies() {
    return true;  // each copy was flushed as it was made
}

bool delete_file(const char* name) {
    return DeleteFileA(name) != 0;
}

const char* command_line() {
    return GetCommandLineA();
}

void message_box(const char* text, const char* caption) {
    MessageBoxA(nullptr, text, caption, 0);
}

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(platform_lock::storage), "lock storage too small");
static_assert(alignof(CRITICAL_SECTION) <= alignof(platform_lock), "lock storage misaligned");

void lock_init(platform_lock* lock) {
    InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(lock->storage));
}

void lock_enter(platform_lock* lock) {
    EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(lock->storage));
}

void lock_leave(platform_lock* lock) {
    LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(lock->storage));
}
