// Notices: shows a text to the user in a box captioned with the program's name, keeping the
// caller's floating-point state intact across the box.
#pragma once

#include <stddef.h>

#include "platform/platform.h"

// Shows `text` in a box with an OK button, captioned with the program's name, and returns once the
// user has dismissed it. The floating-point unit is put into its initial state for the box and the
// caller's state (control settings, status flags and registers) is restored afterwards. Safe to
// call from several threads at once.
void show_notice(const char* text);

// The caption: at most this many bytes, plus the terminating NUL.
const size_t notice_caption_length = 32;

// Derives the caption from the command line: a leading decimal integer is skipped, the name starts
// after the last path separator, at most 32 bytes are kept (never half of a UTF-8 character), then
// one trailing space and after it one trailing double quote are removed. An empty result becomes
// "Error". `caption` holds notice_caption_length + 1 bytes.
void derive_notice_caption(const char* command_line, char* caption);

// Size of a saved floating-point state. The x87 full-state image takes the first 108 bytes; the
// rest travels with it uninterpreted.
const size_t fpu_state_size = 128;

// Saves the unit's full state into `image` and leaves the unit in its initial state.
void save_fpu_state(unsigned char* image);

// Puts the unit back into the state that `image` holds, as written by save_fpu_state.
void restore_fpu_state(const unsigned char* image);

// Every save and restore passes through this area, under fpu_guard_lock.
extern unsigned char fpu_staging_area[fpu_state_size];
extern platform_lock fpu_guard_lock;
