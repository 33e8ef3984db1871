// Wildcard matching of entry names, as every platform's search applies it.
#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

TEST(NameMatches, Table) {
    struct {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"*.h", "a.h", true},
        {"*.h", "A.H", true},
        {"*.h", ".h", true},
        {"*.h", "a.b.h", true},
        {"*.h", "a.hpp", false},
        {"*.h", "a.h.bak", false},
        {"*.h", "a.h~", false},
        {"*.h", "a.c", false},
        {"*.h", "h", false},
        {"*.lib", "x.lib", true},
        {"*.lib", "x.Lib", true},
        {"*.lib", "X.LIB", true},
        {"*.lib", "foo.library", false},
        {"*.lib", "libx.libs", false},
        {"*.lib", "X.LIB2", false},
        {"*.lib", "x.li", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"*", "", true},
        {"", "", true},
        {"", "a", false},
        {"**.h", "a.h", true},
        {"*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        {"*.h", "\xE6\x95\xB0\xE6\x8D\xAE.h", true},
        {"*.h", "a\\b.h", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(name_matches(c.pattern, c.name), c.matches)
            << "pattern " << c.pattern << ", name " << c.name;
    }
}

}  // namespace
