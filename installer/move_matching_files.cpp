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

// Moves the entry `name` of the base directory to target_path's directory. `target_fits` is false
// when not even the directory part fitted into target_path.
bool move_entry(const char* name, bool target_fits) {
    size_t length = target_tail;
    target_path[length] = '\0';
    if (!target_fits || !append_text(target_path, target_path_capacity, &length, name)) {
        return false;
    }
    // The original goes only once its copy is safely in place.
    return copy_file(name, target_path) && delete_file(name);
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
        if (!move_entry(name, target_fits)) {
            note_unmoved(name);
        }
        found = search_next(search, name);
    }
    if (found == search_failed) {
        note_unmoved(pattern);
    }
    if (search != nullptr) {
        search_close(search);
    }
}
