// The file mover: copies each matching entry into its subdirectory, then removes the original.
#include <string.h>

#include "installer/installer.h"
#include "platform/platform.h"

char target_path[target_path_capacity];
size_t target_tail;

bool append_text(char* buffer, size_t capacity, size_t* length, const char* text) {
    size_t text_length = strlen(text);
    if (text_length >= capacity - *length) {
        return false;
    }
    memcpy(buffer + *length, text, text_length + 1);
    *length += text_length;
    return true;
}

namespace {

// Entries whose copies wait for settle_copies() before their originals may be removed.
char unsettled[max_unsettled_copies][max_entry_name];
int unsettled_count;

// Makes the waiting copies durable, then removes their originals. An original goes only once its
// copy is safely in place, so every file is whole in at least one of its two places throughout.
void settle_and_remove() {
    if (unsettled_count == 0) {
        return;
    }
    bool settled = settle_copies();
    for (int i = 0; i < unsettled_count; ++i) {
        if (!settled || !delete_file(unsettled[i])) {
            note_unmoved(unsettled[i]);
        }
    }
    unsettled_count = 0;
}

// Copies the entry `name` of the base directory into target_path's directory. `target_fits` is
// false when not even the directory part fitted into target_path.
void copy_entry(const char* name, bool target_fits) {
    size_t length = target_tail;
    target_path[length] = '\0';
    if (!target_fits || !append_text(target_path, target_path_capacity, &length, name) ||
        !copy_file(name, target_path)) {
        settle_and_remove();  // keeps the notice in the order the entries were met
        note_unmoved(name);
        return;
    }
    memcpy(unsettled[unsettled_count++], name, strlen(name) + 1);
    if (unsettled_count == max_unsettled_copies) {
        settle_and_remove();
    }
}

}  // namespace

void move_matching_files(const char* pattern, const char* subdirectory) {
    const char separator[2] = {path_separator, '\0'};
    size_t length = 0;
    target_path[0] = '\0';
    bool target_fits = append_text(target_path, target_path_capacity, &length, base_dir) &&
                       append_text(target_path, target_path_capacity, &length, separator) &&
                       append_text(target_path, target_path_capacity, &length, subdirectory);

    // Entering the directory is how its existence is probed; an existing one is used as it is.
    if (target_fits && !set_current_directory(target_path)) {
        create_directory(target_path);
    }
    // The search below is relative to the current directory, so it must be the base again.
    if (!set_current_directory(current_dir)) {
        note_unmoved(pattern);
        return;
    }

    target_fits = target_fits && append_text(target_path, target_path_capacity, &length, separator);
    target_tail = length;

    char name[max_entry_name];
    search_handle* search = nullptr;
    search_result found = search_first(pattern, &search, name);
    while (found == search_found) {
        copy_entry(name, target_fits);
        found = search_next(search, name);
    }
    settle_and_remove();
    if (found == search_failed) {
        note_unmoved(pattern);
    }
    if (search != nullptr) {
        search_close(search);
    }
}
