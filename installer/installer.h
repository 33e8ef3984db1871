// Installation: moves the library's headers and link libraries into their subdirectories.
#pragma once

#include <stddef.h>

// Capacities of the installation buffers, terminating NUL included.
const size_t current_dir_capacity = 500;
const size_t base_dir_capacity = 500;
const size_t target_path_capacity = 512;

// The buffers shared by install_main and move_matching_files. They live for the whole process.
extern char current_dir[current_dir_capacity];  // the current directory at start
extern char base_dir[base_dir_capacity];        // where the files are taken from
extern char target_path[target_path_capacity];  // the target directory, then each target file
extern size_t target_tail;                      // where file names are written in target_path

// Runs the whole installation and tells the user the result. The four arguments are those of a
// GUI entry routine and are not used. Returns the exit code: 0 when every matching file was moved
// (or there was none), 1 otherwise.
int install_main(void* instance, void* previous_instance, char* command_tail, int show_state);

// Moves every entry of the current directory that matches `pattern` into the subdirectory
// `subdirectory` of base_dir, creating it when absent. Each entry is copied, then removed once its
// copy is durable. An entry that could not be moved stays where it was and is passed to
// note_unmoved.
void move_matching_files(const char* pattern, const char* subdirectory);

// Records an entry that could not be moved, for the final notice. A pattern stands for all the
// entries it matches when the directory could not be searched.
void note_unmoved(const char* name);

// Appends `text` to the NUL-terminated text of `length` characters in `buffer`, which holds
// `capacity` characters, and advances `length`. When it does not fit, nothing is written and the
// result is false.
bool append_text(char* buffer, size_t capacity, size_t* length, const char* text);
