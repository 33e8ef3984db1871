// Fuzzes path composition and the failure notice: the bytes choose the length of the current
// directory, the entries' names and which platform calls fail. AddressSanitizer catches any write
// past a buffer; the notice is checked against what really stayed behind.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

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
    for (unsigned failures = in.next(4); failures > 0; --failures) {
        fake::fail_call(services[in.next(7)], 1 + static_cast<int>(in.next(100)));
    }

    std::string notice;
    fake::on_message_box = [&notice](const char* text, const char*) { notice = text; };
    int code = install_main(nullptr, nullptr, nullptr, 0);

    const std::string heading =
        "VELDRA was not completely installed.\nThese files could not be moved:\n";
    if (depth >= 499) {
        if (code != 1 || notice.find("too long") == std::string::npos) {
            abort();
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
            abort();
        }
    } else if (notice.compare(0, heading.size(), heading) != 0) {
        abort();
    } else if (stayed > 10 &&
               notice.find("\nand " + std::to_string(stayed - 10) + " more.") ==
                   std::string::npos &&
               notice.find("*.") == std::string::npos) {
        abort();  // the count is off, unless a whole pattern stands for files it matched
    }
    return 0;
}
