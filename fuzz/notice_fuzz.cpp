// Fuzzes path composition and the failure notice: the bytes choose the length of the current
// directory, the entries' names and which platform calls fail. AddressSanitizer catches any write
// past a buffer; the notice is checked against what really stayed behind.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "installer/installer.h"
#include "tests/fake_platform.h"

namespace {

struct reader {
    const uint8_t* data;
    size_t size;
    unsigned next(unsigned limit) {
        if (size == 0) {
            return 0;
        }
        --size;
        return *data++ % limit;
    }
};

// Stops the run, showing what the installer said.
[[noreturn]] void fail(const char* why, const std::string& notice, size_t stayed) {
    fprintf(stderr, "%s\n%zu files stayed; the notice:\n%s\n", why, stayed, notice.c_str());
    abort();
}

const char* const services[] = {
    "set_current_directory", "create_directory", "search_first", "search_next", "copy_file",
    "settle_copies",         "delete_file"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    reader in{data, size};
    // Current directories around the 498 characters that fit, and deeper.
    size_t depth = 3 + in.next(2) * 400 + in.next(200);
    std::string base = "C:\\" + std::string(depth - 3, 'd');
    fake::reset(base);
    std::vector<std::string> names;
    unsigned count = in.next(80);
    for (unsigned i = 0; i < count; ++i) {
        // Names up to the longest a search yields, ending in a pattern or not.
        std::string name =
            std::to_string(i) + std::string(in.next(2) ? in.next(255) : in.next(8), 'n');
        const char* endings[] = {".h", ".lib", ".txt"};
        name = name.substr(0, 254) + endings[in.next(3)];
        names.push_back(name);
        fake::files[base + "\\" + name] = name;
    }
    // When a search breaks off or cannot start, its pattern is named for the files it left.
    bool pattern_may_be_named = false;
    for (unsigned failures = in.next(4); failures > 0; --failures) {
        unsigned service = in.next(7);
        pattern_may_be_named = pattern_may_be_named || service <= 3;
        fake::fail_call(services[service], 1 + static_cast<int>(in.next(100)));
    }

    std::string notice;
    fake::on_message_box = [&notice](const char* text, const char*) { notice = text; };
    int code = install_main(nullptr, nullptr, nullptr, 0);

    const std::string heading =
        "VELDRA was not completely installed.\nThese files could not be moved:\n";
    if (depth >= 499) {
        if (code != 1 || notice.find("too long") == std::string::npos) {
            fail("a directory too long was not refused", notice, 0);
        }
        return 0;
    }
    size_t stayed = 0;
    for (const std::string& name : names) {
        bool matches = name.size() > 2 && (name.compare(name.size() - 2, 2, ".h") == 0 ||
                                           name.compare(name.size() - 4, 4, ".lib") == 0);
        stayed += matches && fake::files.count(base + "\\" + name) != 0;
    }
    if (code == 0) {
        if (stayed != 0 || notice != "VELDRA successfully installed!") {
            fail("success reported, but files stayed", notice, stayed);
        }
    } else if (notice.compare(0, heading.size(), heading) != 0) {
        fail("exit code 1 without the failure notice", notice, stayed);
    } else if (!pattern_may_be_named) {
        // Every entry that stayed is counted once: named, or in the "and N more." line.
        size_t lines = 1 + std::count(notice.begin() + heading.size(), notice.end(), '\n');
        size_t more = stayed > 10 ? stayed - 10 : 0;
        if (more > 0 &&
            notice.find("\nand " + std::to_string(more) + " more.") == std::string::npos) {
            fail("the count is off", notice, stayed);
        }
        if (lines != std::min<size_t>(stayed, 10) + (more > 0)) {
            fail("the names do not match what stayed", notice, stayed);
        }
    }
    return 0;
}
