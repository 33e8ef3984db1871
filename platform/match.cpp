// Wildcard matching of entry names, shared by every platform's search.
#include "platform/platform.h"

namespace {

char fold_case(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool name_matches(const char* pattern, const char* name) {
    // Greedy scan that remembers the last '*' and, on a mismatch, lets that star swallow one more
    // character. Linear in practice and never recursive, whatever the input.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern != '\0' &&
                   (*pattern == '?' || fold_case(*pattern) == fold_case(*name))) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') {
        ++pattern;
    }
    return *pattern == '\0';
}
