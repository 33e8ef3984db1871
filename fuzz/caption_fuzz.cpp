// Fuzzes the caption derivation: any bytes as the command line, checked against a model of the
// rules written independently of the code under test.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "notices/notices.h"
#include "platform/platform.h"

namespace {

bool is_continuation(unsigned char c) {
    return c >= 0x80 && c <= 0xBF;
}

// Length of the well-formed (lead byte plus continuation bytes) sequence at `at`, or 1.
size_t sequence_at(const std::string& s, size_t at) {
    unsigned char lead = static_cast<unsigned char>(s[at]);
    size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xC2 && lead <= 0xDF ? 2
                                                   : 1;
    for (size_t i = 1; i < length; ++i) {
        if (at + i >= s.size() || !is_continuation(static_cast<unsigned char>(s[at + i]))) {
            return 1;
        }
    }
    return length;
}

std::string model_caption(const std::string& line) {
    // A leading integer: white space, an optional sign, at least one digit.
    size_t i = line.find_first_not_of(" \t\n\v\f\r");
    if (i == std::string::npos) {
        i = line.size();
    }
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
        ++i;
    }
    size_t digits_end = line.find_first_not_of("0123456789", i);
    if (digits_end == std::string::npos) {
        digits_end = line.size();
    }
    std::string rest = digits_end > i ? line.substr(digits_end) : line;

    size_t separator = rest.rfind(path_separator);
    std::string name = separator == std::string::npos ? rest : rest.substr(separator + 1);

    if (name.size() > 32) {
        // Scan the characters from the start; one that starts before byte 32 and ends after it
        // is left out whole.
        size_t cut = 32;
        for (size_t at = 0; at < 32;) {
            size_t length = sequence_at(name, at);
            if (at + length > 32) {
                cut = at;
                break;
            }
            at += length;
        }
        name.resize(cut);
    }
    if (!name.empty() && name.back() == ' ') {
        name.pop_back();
    }
    if (!name.empty() && name.back() == '"') {
        name.pop_back();
    }
    return name.empty() ? "Error" : name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) {
        return 0;
    }
    std::string line(reinterpret_cast<const char*>(data), size);
    line = line.substr(0, line.find('\0'));  // a command line ends at its NUL
    char caption[notice_caption_length + 1];
    memset(caption, 0x5A, sizeof caption);
    derive_notice_caption(line.c_str(), caption);
    if (strnlen(caption, sizeof caption) > notice_caption_length) {
        abort();  // not terminated within the caption
    }
    if (std::string(caption) != model_caption(line)) {
        abort();
    }
    return 0;
}
