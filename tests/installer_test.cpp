// The installer's logic against the fake platform: the calls it makes, the notice it shows, the
// exit code it returns, and that no file is ever lost whichever call fails.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "installer/installer.h"
#include "platform/platform.h"
#include "tests/fake_platform.h"

namespace {

const char success[] = "VELDRA successfully installed!";
const char incomplete[] = "VELDRA was not completely installed.\nThese files could not be moved:";
const char too_long[] =
    "VELDRA could not be installed: the path of the current directory is too long.";
const char unreadable[] = "VELDRA could not be installed: the current directory could not be read.";

struct outcome {
    int exit_code;
    std::string notice;
    std::string caption;
};

outcome run_installer() {
    outcome result{-1, "", ""};
    fake::on_message_box = [&result](const char* text, const char* caption) {
        result.notice = text;
        result.caption = caption;
    };
    result.exit_code = install_main(nullptr, nullptr, nullptr, 0);
    return result;
}

// A directory D with two headers, a library, a file that matches nothing and a deeper header.
void road_fixture() {
    fake::reset("C:\\D");
    fake::files = {{"C:\\D\\a.h", "header a"},
                   {"C:\\D\\b.h", "header b"},
                   {"C:\\D\\x.lib", "library x"},
                   {"C:\\D\\readme.txt", "read me"},
                   {"C:\\D\\sub\\deep.h", "deep header"}};
    fake::directories.insert("C:\\D\\sub");
}

std::string incomplete_notice(const std::vector<std::string>& names) {
    std::string text = incomplete;
    for (const std::string& name : names) {
        text += "\n" + name;
    }
    return text;
}

TEST(Installer, NormalRunMakesTheCallsInOrder) {
    road_fixture();
    outcome result = run_installer();

    const std::vector<std::string> expected = {
        "get_current_directory",
        "set_current_directory C:\\D\\INCLUDE",
        "create_directory C:\\D\\INCLUDE",
        "set_current_directory C:\\D",
        "search_first *.h",
        "copy_file a.h C:\\D\\INCLUDE\\a.h",
        "search_next",
        "copy_file b.h C:\\D\\INCLUDE\\b.h",
        "search_next",
        "settle_copies",
        "delete_file a.h",
        "delete_file b.h",
        "search_close",
        "set_current_directory C:\\D\\LIB",
        "create_directory C:\\D\\LIB",
        "set_current_directory C:\\D",
        "search_first *.lib",
        "copy_file x.lib C:\\D\\LIB\\x.lib",
        "search_next",
        "settle_copies",
        "delete_file x.lib",
        "search_close",
        "command_line",
        "lock_enter",
        "lock_leave",
        "message_box veldra-install.exe: VELDRA successfully installed!",
        "lock_enter",
        "lock_leave",
    };
    EXPECT_EQ(fake::calls(), expected);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.notice, success);
    EXPECT_EQ(result.caption, "veldra-install.exe");

    const std::map<std::string, std::string> after = {{"C:\\D\\INCLUDE\\a.h", "header a"},
                                                      {"C:\\D\\INCLUDE\\b.h", "header b"},
                                                      {"C:\\D\\LIB\\x.lib", "library x"},
                                                      {"C:\\D\\readme.txt", "read me"},
                                                      {"C:\\D\\sub\\deep.h", "deep header"}};
    EXPECT_EQ(fake::files, after);
}

TEST(Installer, ExistingSubdirectoryIsUsedAndItsOlderFileReplaced) {
    road_fixture();
    fake::directories.insert("C:\\D\\INCLUDE");
    fake::files["C:\\D\\INCLUDE\\a.h"] = "older header a";
    outcome result = run_installer();

    std::vector<std::string> calls = fake::calls();
    EXPECT_EQ(calls[1], "set_current_directory C:\\D\\INCLUDE");
    EXPECT_EQ(calls[2], "set_current_directory C:\\D");
    EXPECT_EQ(fake::files["C:\\D\\INCLUDE\\a.h"], "header a");
    EXPECT_EQ(result.exit_code, 0);
}

TEST(Installer, SecondRunAndEmptyDirectoryBothSucceed) {
    road_fixture();
    run_installer();
    outcome second = run_installer();
    EXPECT_EQ(second.exit_code, 0);
    EXPECT_EQ(second.notice, success);

    fake::reset("C:\\E");
    outcome empty = run_installer();
    EXPECT_EQ(empty.exit_code, 0);
    EXPECT_EQ(empty.notice, success);
    EXPECT_EQ(fake::directories.count("C:\\E\\INCLUDE"), 1u);
    EXPECT_EQ(fake::directories.count("C:\\E\\LIB"), 1u);
}

TEST(Installer, RootOfADriveGivesTwoSeparatorsInARow) {
    fake::reset("C:\\");
    run_installer();
    std::vector<std::string> calls = fake::calls();
    EXPECT_EQ(calls[1], "set_current_directory C:\\\\INCLUDE");
    EXPECT_EQ(calls[2], "create_directory C:\\\\INCLUDE");
}

// Each case sets up D and names what stays behind and what the notice lists.
struct unmoved_case {
    const char* title;
    std::function<void()> arrange;
    std::vector<std::string> named;
};

class Unmoved : public testing::TestWithParam<unmoved_case> {};

TEST_P(Unmoved, NoticeNamesWhatStayedAndExitCodeIsOne) {
    road_fixture();
    GetParam().arrange();
    outcome result = run_installer();
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.notice, incomplete_notice(GetParam().named));
    for (const std::string& name : GetParam().named) {
        bool file = name.find('*') == std::string::npos && name.rfind("and ", 0) != 0;
        if (file && fake::directories.count("C:\\D\\" + name) == 0) {
            EXPECT_EQ(fake::files.count("C:\\D\\" + name), 1u) << name << " must stay";
        }
    }
}

const unmoved_case unmoved_cases[] = {
    {"include_is_a_file",
     [] { fake::files["C:\\D\\INCLUDE"] = "not a directory"; },
     {"a.h", "b.h"}},
    {"directory_matches", [] { fake::directories.insert("C:\\D\\c.h"); }, {"c.h"}},
    {"copy_refused", [] { fake::fail_call("copy_file", 2); }, {"b.h"}},
    {"removal_refused", [] { fake::fail_call("delete_file", 3); }, {"x.lib"}},
    {"settling_refused", [] { fake::fail_call("settle_copies", 1); }, {"a.h", "b.h"}},
    {"named_in_the_order_met",
     [] {
         fake::fail_call("delete_file", 1);
         fake::fail_call("copy_file", 2);
     },
     {"a.h", "b.h"}},
    {"search_cannot_start", [] { fake::fail_call("search_first", 2); }, {"*.lib"}},
    {"search_breaks_off", [] { fake::fail_call("search_next", 1); }, {"*.h"}},
    {"cannot_return_to_base", [] { fake::fail_call("set_current_directory", 2); }, {"*.h"}},
    {"eleven_and_more",
     [] {
         fake::files["C:\\D\\INCLUDE"] = "not a directory";
         for (char c = 'c'; c <= 'n'; ++c) {
             fake::files[std::string("C:\\D\\") + c + ".h"] = "h";
         }
     },
     {"a.h", "b.h", "c.h", "d.h", "e.h", "f.h", "g.h", "h.h", "i.h", "j.h", "and 4 more."}},
};

INSTANTIATE_TEST_SUITE_P(Cases, Unmoved, testing::ValuesIn(unmoved_cases),
                         [](const testing::TestParamInfo<unmoved_case>& info) {
                             return std::string(info.param.title);
                         });

TEST(Installer, ManyFilesAreSettledInBatchesBeforeTheirRemoval) {
    fake::reset("C:\\D");
    const int count = 2 * max_unsettled_copies + 3;
    for (int i = 0; i < count; ++i) {
        fake::files["C:\\D\\" + std::to_string(1000 + i) + ".h"] = std::to_string(i);
    }
    outcome result = run_installer();
    EXPECT_EQ(result.exit_code, 0);

    // Every removal comes after the settling that follows its copy.
    std::set<std::string> copied_since_settling;
    std::set<std::string> settled;
    int settlings = 0;
    for (const std::string& call : fake::calls()) {
        if (call.rfind("copy_file ", 0) == 0) {
            copied_since_settling.insert(call.substr(10, call.find(' ', 10) - 10));
        } else if (call == "settle_copies") {
            ++settlings;
            settled.insert(copied_since_settling.begin(), copied_since_settling.end());
            copied_since_settling.clear();
        } else if (call.rfind("delete_file ", 0) == 0) {
            EXPECT_EQ(settled.count(call.substr(12)), 1u) << call;
        }
    }
    EXPECT_EQ(settlings, 3);
    EXPECT_EQ(fake::files.size(), static_cast<size_t>(count));
}

TEST(Installer, TargetPathThatDoesNotFitIsNotCopied) {
    // 498 characters of base directory leave room for "\INCLUDE\" and four more.
    std::string base = "C:\\" + std::string(495, 'd');
    fake::reset(base);
    fake::files[base + "\\a.h"] = "fits";
    fake::files[base + "\\abcd.h"] = "does not fit";
    outcome result = run_installer();

    EXPECT_EQ(result.notice, incomplete_notice({"abcd.h"}));
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(fake::files[base + "\\INCLUDE\\a.h"], "fits");
    EXPECT_EQ(fake::files[base + "\\abcd.h"], "does not fit");
    for (const std::string& call : fake::calls()) {
        EXPECT_EQ(call.find("abcd.h "), std::string::npos) << call;
    }
}

TEST(Installer, UnknownCurrentDirectoryTouchesNothing) {
    struct {
        std::function<void()> arrange;
        const char* notice;
    } cases[] = {
        {[] { fake::fail_call("get_current_directory", 1); }, unreadable},
        {[] { fake::set_current_directory_length(499); }, too_long},
        {[] { fake::set_current_directory_length(5000); }, too_long},
    };
    for (auto& c : cases) {
        road_fixture();
        c.arrange();
        outcome result = run_installer();
        EXPECT_EQ(result.notice, c.notice);
        EXPECT_EQ(result.exit_code, 1);
        for (const std::string& call : fake::calls()) {
            EXPECT_EQ(call.find("directory C:"), std::string::npos) << call;
            EXPECT_EQ(call.find("search"), std::string::npos) << call;
        }
    }
}

// Fails every call of a normal run in turn. Whatever fails, each file is still whole in one of its
// two places, and the outcome is one of: full success; "could not be read" with nothing touched;
// or the incomplete notice naming exactly what stayed behind.
TEST(Installer, FaultWalk) {
    road_fixture();
    const std::map<std::string, std::string> original = fake::files;
    run_installer();
    const std::vector<std::string> baseline = fake::calls();
    const std::set<std::string> cannot_fail = {"command_line", "message_box", "search_close",
                                               "lock_enter", "lock_leave"};
    std::map<std::string, int> seen;
    for (const std::string& call : baseline) {
        std::string service = call.substr(0, call.find(' '));
        int nth = ++seen[service];
        if (cannot_fail.count(service) != 0) {
            continue;
        }
        SCOPED_TRACE("failing " + call + " (#" + std::to_string(nth) + ")");
        road_fixture();
        fake::fail_call(service, nth);
        outcome result = run_installer();

        for (const auto& [path, content] : original) {
            std::string leaf = path.substr(path.rfind('\\') + 1);
            std::string moved = path.find(".lib") != std::string::npos ? "C:\\D\\LIB\\" + leaf
                                                                       : "C:\\D\\INCLUDE\\" + leaf;
            bool whole = (fake::files.count(path) != 0 && fake::files.at(path) == content) ||
                         (fake::files.count(moved) != 0 && fake::files.at(moved) == content);
            EXPECT_TRUE(whole) << path << " was lost";
        }

        std::set<std::string> stayed;
        for (const char* name : {"a.h", "b.h", "x.lib"}) {
            if (fake::files.count(std::string("C:\\D\\") + name) != 0) {
                stayed.insert(name);
            }
        }
        if (result.exit_code == 0) {
            EXPECT_EQ(result.notice, success);
            EXPECT_TRUE(stayed.empty());
        } else if (result.notice == unreadable) {
            EXPECT_EQ(fake::files, original);
            EXPECT_EQ(result.exit_code, 1);
        } else {
            ASSERT_EQ(result.notice.rfind(incomplete, 0), 0u) << result.notice;
            EXPECT_EQ(result.exit_code, 1);
            std::string listed = result.notice.substr(sizeof incomplete - 1);
            for (const std::string& name : stayed) {
                std::string pattern = name.find(".lib") != std::string::npos ? "*.lib" : "*.h";
                bool named = listed.find("\n" + name) != std::string::npos ||
                             listed.find("\n" + pattern) != std::string::npos;
                EXPECT_TRUE(named) << name << " stayed but is not named in: " << listed;
            }
            for (const char* name : {"a.h", "b.h", "x.lib"}) {
                if (listed.find(std::string("\n") + name) != std::string::npos) {
                    EXPECT_EQ(stayed.count(name), 1u) << name << " was moved but is named";
                }
            }
        }
    }
}

}  // namespace
