// The few operating-system services the installer and its notice use, as plain free functions.
//
// Each platform provides one implementation file, chosen by the build: win32.cpp calls the real
// Windows services, posix.cpp stands in for them on POSIX systems, and the unit tests link a fake
// that records every call and can fail any of them. Nothing outside platform/ talks to the
// operating system directly.
#pragma once

#include <stddef.h>

// The character that separates directories in a path: '\\' on Windows, '/' on POSIX.
extern const char path_separator;

// Longest file name a search can yield, including its terminating NUL.
const size_t max_entry_name = 260;

// Writes the process's current directory into `buffer`, which holds `size` characters.
// Returns the length of the text written, without its NUL. When the directory does not fit,
// returns a value of `size` or more and the buffer's content is unspecified. Returns 0 when the
// directory could not be read at all.
unsigned long get_current_directory(unsigned long size, char* buffer);

// Makes `path` the current directory. Returns false when it does not exist or cannot be entered.
bool set_current_directory(const char* path);

// Creates the directory `path`. Returns false when it could not be created (for example because
// something of that name already exists).
bool create_directory(const char* path);

// A search of the current directory for the entries whose names match a wildcard pattern.
// The search is not recursive and never yields "." or "..". A name matches when it matches the
// pattern without regard to ASCII case; '*' stands for any run of characters, '?' for one.
struct search_handle;

enum search_result {
    search_found,   // the entry's name has been written
    search_done,    // there are no (further) matching entries
    search_failed,  // the directory could not be read; what it holds is unknown
};

// Starts a search and writes the first matching name into `name` (max_entry_name characters).
// On search_found, `*handle` is open and must be passed to search_close; otherwise it is null.
// `pattern` must stay valid until then.
search_result search_first(const char* pattern, search_handle** handle, char* name);

// Writes the next matching name into `name`.
search_result search_next(search_handle* handle, char* name);

void search_close(search_handle* handle);

// Copies the regular file `existing` to `new_name`, replacing a file of that name. Copies are
// made in batches: a copy is complete and durable under `new_name` only once settle_copies() has
// returned true, and the caller may remove `existing` only then. Returns false when the copy cannot
// be made. `existing` is never changed.
bool copy_file(const char* existing, const char* new_name);

// How many copies may wait for settle_copies(); copy_file fails beyond that.
const int max_unsettled_copies = 64;

// Puts every copy made since the last call in place and on stable storage, replacing each target
// in one step, so that no reader or crash ever sees a partial file under a target name. Returns
// false when any of them could not be placed or made durable; each target is then either
// unchanged or a complete copy.
bool settle_copies();

// Removes the file `name`. Returns false when it is still there.
bool delete_file(const char* name);

// The command line of the process: the program path as it was typed, then its arguments.
const char* command_line();

// Shows `text` to the user under `caption` and returns once the user has dismissed it.
void message_box(const char* text, const char* caption);

// A process-wide mutual-exclusion lock. `storage` is large and aligned enough for every
// platform's native lock object; static_asserts in each platform file hold it to that.
struct platform_lock {
    alignas(16) unsigned char storage[64];
};

void lock_init(platform_lock* lock);
void lock_enter(platform_lock* lock);
void lock_leave(platform_lock* lock);

// True when `name` matches the wildcard `pattern`, comparing ASCII letters without regard to case.
// Shared by the platform files so that every build selects exactly the same entries.
bool name_matches(const char* pattern, const char* name);
