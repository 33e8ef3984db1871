// The notice box and the derivation of its caption from the command line.
#include <string.h>

#include "notices/notices.h"
#include "platform/platform.h"

platform_lock fpu_guard_lock;

namespace {

// The lock is created during start-up, before main() and so before any notice or thread.
const bool fpu_guard_lock_ready = (lock_init(&fpu_guard_lock), true);

const char fallback_caption[] = "Error";

bool is_white_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Returns the text after a leading decimal integer (white space, a sign, digits), or `text`
// itself when it does not begin with one.
const char* skip_leading_integer(const char* text) {
    const char* p = text;
    while (is_white_space(*p)) {
        ++p;
    }
    if (*p == '+' || *p == '-') {
        ++p;
    }
    if (!is_digit(*p)) {
        return text;
    }
    while (is_digit(*p)) {
        ++p;
    }
    return p;
}

bool is_utf8_continuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Number of bytes of the UTF-8 sequence that `lead` starts, or 0 when it starts none.
size_t utf8_sequence_length(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Where to cut `name`, which is longer than `limit` bytes, so that the cut does not split a UTF-8
// character. Bytes that do not form UTF-8 are cut where they fall.
size_t caption_cut(const char* name, size_t limit) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(name);
    if (!is_utf8_continuation(bytes[limit])) {
        return limit;
    }
    // Walk back to the byte that would start the character crossing the cut.
    size_t lead = limit;
    while (lead > 0 && limit - lead < 3 && is_utf8_continuation(bytes[lead - 1])) {
        --lead;
    }
    if (lead == 0) {
        return limit;
    }
    --lead;
    size_t length = utf8_sequence_length(bytes[lead]);
    if (length <= limit - lead) {
        return limit;
    }
    for (size_t i = limit; i < lead + length; ++i) {
        if (!is_utf8_continuation(bytes[i])) {
            return limit;
        }
    }
    return lead;
}

}  // namespace

void derive_notice_caption(const char* command_line, char* caption) {
    const char* rest = skip_leading_integer(command_line);
    const char* name = strrchr(rest, path_separator);
    name = (name != nullptr) ? name + 1 : rest;

    size_t length = strnlen(name, notice_caption_length + 1);
    if (length > notice_caption_length) {
        length = caption_cut(name, notice_caption_length);
    }
    memcpy(caption, name, length);
    caption[length] = '\0';

    if (length > 0 && caption[length - 1] == ' ') {
        caption[--length] = '\0';
    }
    if (length > 0 && caption[length - 1] == '"') {
        caption[--length] = '\0';
    }
    if (length == 0) {
        memcpy(caption, fallback_caption, sizeof fallback_caption);
    }
}

void show_notice(const char* text) {
    char notice_caption[notice_caption_length + 1];
    derive_notice_caption(command_line(), notice_caption);

    // The box may run code that changes the floating-point unit; it gets a clean unit, and the
    // caller gets its own state back. The lock is never held while the box is open.
    unsigned char fpu_state_image[fpu_state_size];
    lock_enter(&fpu_guard_lock);
    save_fpu_state(fpu_state_image);
    lock_leave(&fpu_guard_lock);

    message_box(text, notice_caption);

    lock_enter(&fpu_guard_lock);
    restore_fpu_state(fpu_state_image);
    lock_leave(&fpu_guard_lock);
}
