// The Windows platform layer on real directories: the search with its long-name filter, a name
// outside Latin-1, the copy and the small services.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>

#include "platform/platform.h"
#include "tests/platform_helpers.h"

namespace {

void write_file(const std::string& name, const std::string& content) {
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

std::string read_file(const std::string& name) {
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "<missing>";
    }
    char buffer[4096];
    DWORD got = 0;
    ReadFile(file, buffer, sizeof buffer, &got, nullptr);
    CloseHandle(file);
    return std::string(buffer, got);
}

// Each test works in a fresh directory under the temporary folder, which is also current.
class Win32Platform : public testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        dir_ = std::string(temp) + "veldra-platform-" + std::to_string(GetCurrentProcessId()) +
               "-" + std::to_string(GetTickCount());
        ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr));
        GetCurrentDirectoryA(sizeof previous_, previous_);
        ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
    }
    void TearDown() override {
        SetCurrentDirectoryA(previous_);
        std::string command = "cmd /c rmdir /s /q \"" + dir_ + "\"";
        system(command.c_str());
    }
    std::string dir_;
    char previous_[MAX_PATH];
};

TEST_F(Win32Platform, SearchYieldsOnlyLongNamesThatMatch) {
    // The short names of the last three end in ".LIB", which the Windows search alone matches.
    for (const char* name : {"a.lib", "B.LIB", "foo.library", "libx.libs", "X.LIB2", "c.h"}) {
        write_file(name, name);
    }
    EXPECT_EQ(search_all("*.lib"), (std::set<std::string>{"a.lib", "B.LIB"}));
    EXPECT_EQ(search_all("*.h"), std::set<std::string>{"c.h"});
    EXPECT_EQ(search_all("*.none"), std::set<std::string>{});
}

TEST_F(Win32Platform, NameOutsideLatin1IsFoundCopiedAndDeleted) {
    const std::string name = "\xE6\x95\xB0\xE6\x8D\xAE.h";  // two CJK characters in UTF-8
    write_file(name, "data");
    ASSERT_TRUE(CreateDirectoryA("INCLUDE", nullptr));
    EXPECT_EQ(search_all("*.h"), std::set<std::string>{name});
    EXPECT_TRUE(copy_now(name.c_str(), ("INCLUDE\\" + name).c_str()));
    EXPECT_TRUE(delete_file(name.c_str()));
    EXPECT_EQ(read_file("INCLUDE\\" + name), "data");
    EXPECT_EQ(search_all("*.h"), std::set<std::string>{});
}

TEST_F(Win32Platform, CopyReplacesAnOlderTargetAndRefusesADirectory) {
    ASSERT_TRUE(create_directory("INCLUDE"));
    EXPECT_FALSE(create_directory("INCLUDE"));
    write_file("a.h", "new");
    write_file("INCLUDE\\a.h", "old");
    EXPECT_TRUE(copy_now("a.h", "INCLUDE\\a.h"));
    EXPECT_EQ(read_file("INCLUDE\\a.h"), "new");

    ASSERT_TRUE(CreateDirectoryA("d.h", nullptr));
    EXPECT_FALSE(copy_now("d.h", "INCLUDE\\d.h"));
    EXPECT_FALSE(copy_now("missing.h", "INCLUDE\\missing.h"));
    EXPECT_FALSE(delete_file("missing.h"));
}

TEST_F(Win32Platform, ReadOnlyFileIsCopiedAndStaysReadOnly) {
    ASSERT_TRUE(CreateDirectoryA("INCLUDE", nullptr));
    write_file("ro.h", "read only");
    ASSERT_TRUE(SetFileAttributesA("ro.h", FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(copy_now("ro.h", "INCLUDE\\ro.h"));
    EXPECT_EQ(read_file("INCLUDE\\ro.h"), "read only");
    EXPECT_NE(GetFileAttributesA("INCLUDE\\ro.h") & FILE_ATTRIBUTE_READONLY, 0u);
    SetFileAttributesA("ro.h", FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA("INCLUDE\\ro.h", FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Win32Platform, CurrentDirectoryReportsWhetherItFits) {
    char buffer[MAX_PATH];
    unsigned long length = get_current_directory(sizeof buffer, buffer);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::string(buffer), dir_);
    EXPECT_GT(get_current_directory(length, buffer), length - 1);
    EXPECT_TRUE(set_current_directory(".\\"));
    EXPECT_FALSE(set_current_directory("MISSING"));
}

}  // namespace
