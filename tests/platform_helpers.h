// Helpers shared by the tests of the real platform layers.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/platform.h"

// One copy, settled at once.
inline bool copy_now(const char* existing, const char* new_name) {
    bool copied = copy_file(existing, new_name);
    return settle_copies() && copied;
}

// Every name that a search of the current directory for `pattern` yields.
inline std::set<std::string> search_all(const char* pattern) {
    std::set<std::string> names;
    char name[max_entry_name];
    search_handle* search = nullptr;
    search_result result = search_first(pattern, &search, name);
    while (result == search_found) {
        names.insert(name);
        result = search_next(search, name);
    }
    EXPECT_EQ(result, search_done);
    if (search != nullptr) {
        search_close(search);
    }
    return names;
}
