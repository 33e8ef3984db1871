// The main routine: fixes the base directory, moves the files and reports the outcome.
#include <string.h>

#include "installer/installer.h"
#include "notices/notices.h"
#include "platform/platform.h"

char current_dir[current_dir_capacity];
char base_dir[base_dir_capacity];

namespace {

const char header_pattern[] = "*.h";
const char header_subdirectory[] = "INCLUDE";
const char library_pattern[] = "*.lib";
const char library_subdirectory[] = "LIB";

const char success_text[] = "VELDRA successfully installed!";
const char incomplete_text[] =
    "VELDRA was not completely installed.\nThese files could not be moved:";
const char path_too_long_text[] =
    "VELDRA could not be installed: the path of the current directory is too long.";
const char path_unreadable_text[] =
    "VELDRA could not be installed: the current directory could not be read.";

// The failure notice names at most this many entries; the rest are counted.
const unsigned long max_named_unmoved = 10;

// Room for the heading, ten of the longest names a search yields, and the "and N more." line.
char notice_text[sizeof incomplete_text + max_named_unmoved * max_entry_name + 32];
size_t notice_length;
unsigned long unmoved_count;

// Appends "\nand N more." for the entries beyond those named.
void append_more_line(unsigned long more) {
    char digits[24];
    char* first = digits + sizeof digits;
    *--first = '\0';
    do {
        *--first = static_cast<char>('0' + more % 10);
        more /= 10;
    } while (more != 0);
    append_text(notice_text, sizeof notice_text, &notice_length, "\nand ");
    append_text(notice_text, sizeof notice_text, &notice_length, first);
    append_text(notice_text, sizeof notice_text, &notice_length, " more.");
}

}  // namespace

void note_unmoved(const char* name) {
    if (unmoved_count == 0) {
        notice_length = 0;
        notice_text[0] = '\0';
        append_text(notice_text, sizeof notice_text, &notice_length, incomplete_text);
    }
    if (unmoved_count < max_named_unmoved) {
        append_text(notice_text, sizeof notice_text, &notice_length, "\n");
        append_text(notice_text, sizeof notice_text, &notice_length, name);
    }
    ++unmoved_count;
}

int install_main(void*, void*, char*, int) {
    unmoved_count = 0;
    current_dir[0] = '\0';
    base_dir[0] = '\0';

    // Without a known base directory the target paths would be composed from nothing and point at
    // the root of the drive, so nothing is touched at all.
    unsigned long length = get_current_directory(current_dir_capacity - 1, current_dir);
    if (length == 0 || length >= current_dir_capacity - 1) {
        current_dir[0] = '\0';
        show_notice(length == 0 ? path_unreadable_text : path_too_long_text);
        return 1;
    }
    current_dir[length] = '\0';
    memcpy(base_dir, current_dir, length + 1);

    move_matching_files(header_pattern, header_subdirectory);
    move_matching_files(library_pattern, library_subdirectory);

    if (unmoved_count == 0) {
        show_notice(success_text);
        return 0;
    }
    if (unmoved_count > max_named_unmoved) {
        append_more_line(unmoved_count - max_named_unmoved);
    }
    show_notice(notice_text);
    return 1;
}
