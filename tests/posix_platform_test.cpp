// The POSIX platform layer on real directories: the search, the safe copy and the small services.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "platform/platform.h"
#include "platform/posix.h"
#include "tests/platform_helpers.h"

namespace fs = std::filesystem;

namespace {

void write_file(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

std::set<std::string> entries(const fs::path& directory) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Each test works in a fresh directory that is also the current directory, with an INCLUDE.
class PosixPlatform : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/veldra-platform-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        previous_ = fs::current_path();
        fs::current_path(dir_);
        fs::create_directory(dir_ / "INCLUDE");
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(dir_);
    }
    fs::path dir_;
    fs::path previous_;
};

TEST_F(PosixPlatform, SearchMatchesWithoutRegardToCaseAndNotRecursively) {
    for (const char* name : {"A.H", "b.h", "c.hpp", "d.h.bak", "e.h~", "x.Lib", "y.library"}) {
        write_file(name, name);
    }
    fs::create_directory("sub");
    write_file("sub/deep.h", "deep");
    EXPECT_EQ(search_all("*.h"), (std::set<std::string>{"A.H", "b.h"}));
    EXPECT_EQ(search_all("*.lib"), (std::set<std::string>{"x.Lib"}));
    EXPECT_EQ(search_all("*.none"), std::set<std::string>{});
    EXPECT_EQ(search_all("*"), (std::set<std::string>{"A.H", "b.h", "c.hpp", "d.h.bak", "e.h~",
                                                      "x.Lib", "y.library", "sub", "INCLUDE"}));
}

TEST_F(PosixPlatform, CopyRefusesWhatIsNotARegularFile) {
    fs::create_directory("dir.h");
    ASSERT_EQ(mkfifo("fifo.h", 0644), 0);  // would block a plain open for reading
    fs::create_symlink("missing", "dangling.h");
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", (dir_ / "socket.h").c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    for (const char* name : {"dir.h", "fifo.h", "dangling.h", "socket.h"}) {
        EXPECT_FALSE(copy_now(name, (std::string("INCLUDE/") + name).c_str())) << name;
    }
    close(sock);
    EXPECT_TRUE(entries("INCLUDE").empty());
}

TEST_F(PosixPlatform, CopyRefusesATargetThatIsTheSourceItself) {
    write_file("a.h", "only copy");
    fs::create_hard_link("a.h", "INCLUDE/a.h");
    EXPECT_FALSE(copy_now("a.h", "INCLUDE/a.h"));

    fs::create_directory_symlink(".", "BACK");
    EXPECT_FALSE(copy_now("a.h", "BACK/a.h"));
    EXPECT_EQ(read_file("a.h"), "only copy");
    EXPECT_EQ(entries("INCLUDE"), std::set<std::string>{"a.h"});
}

TEST_F(PosixPlatform, CopyReplacesASymlinkAtTheTargetInsteadOfWritingThroughIt) {
    write_file("outside.txt", "must stay");
    write_file("a.h", "header");
    fs::create_symlink(dir_ / "outside.txt", "INCLUDE/a.h");
    EXPECT_TRUE(copy_now("a.h", "INCLUDE/a.h"));
    EXPECT_EQ(read_file("outside.txt"), "must stay");
    EXPECT_FALSE(fs::is_symlink("INCLUDE/a.h"));
    EXPECT_EQ(read_file("INCLUDE/a.h"), "header");
}

TEST_F(PosixPlatform, CopyFollowsASymlinkAtTheSourceAndDeleteRemovesTheLink) {
    write_file("real.txt", "content");
    fs::create_symlink("real.txt", "a.h");
    EXPECT_TRUE(copy_now("a.h", "INCLUDE/a.h"));
    EXPECT_TRUE(delete_file("a.h"));
    EXPECT_EQ(read_file("INCLUDE/a.h"), "content");
    EXPECT_EQ(read_file("real.txt"), "content");
}

TEST_F(PosixPlatform, CopyKeepsModeAndModificationTime) {
    write_file("a.h", "header");
    ASSERT_EQ(chmod("a.h", 0751), 0);
    const timespec times[2] = {{1000000000, 123456789}, {1000000001, 987654321}};
    ASSERT_EQ(utimensat(AT_FDCWD, "a.h", times, 0), 0);
    ASSERT_TRUE(copy_now("a.h", "INCLUDE/a.h"));
    struct stat copied;
    ASSERT_EQ(stat("INCLUDE/a.h", &copied), 0);
    EXPECT_EQ(copied.st_mode & 07777, 0751u);
    EXPECT_EQ(copied.st_mtim.tv_sec, 1000000001);
    EXPECT_EQ(copied.st_mtim.tv_nsec, 987654321);
}

TEST_F(PosixPlatform, CopyLeavesNoTemporaryFileWhetherItSucceedsOrFails) {
    write_file("a.h", std::string(300000, 'a'));
    write_file("INCLUDE/a.h", "older");
    write_file("b.h", "b");
    fs::create_directory("INCLUDE/b.h");  // a directory where the file must go
    write_file("c.h", "c");

    EXPECT_TRUE(copy_now("a.h", "INCLUDE/a.h"));
    EXPECT_FALSE(copy_now("b.h", "INCLUDE/b.h"));
    EXPECT_FALSE(copy_now("c.h", "MISSING/c.h"));
    EXPECT_TRUE(copy_now("c.h", "INCLUDE/c.h"));
    EXPECT_EQ(read_file("INCLUDE/a.h"), std::string(300000, 'a'));
    EXPECT_EQ(entries("INCLUDE"), (std::set<std::string>{"a.h", "b.h", "c.h"}));
    EXPECT_TRUE(entries("INCLUDE/b.h").empty());
    EXPECT_EQ(read_file("b.h"), "b");
}

TEST_F(PosixPlatform, CopiesAppearOnlyWhenSettledAndWhole) {
    write_file("a.h", "new a");
    write_file("b.h", "new b");
    write_file("INCLUDE/a.h", "old a");
    ASSERT_TRUE(copy_file("a.h", "INCLUDE/a.h"));
    ASSERT_TRUE(copy_file("b.h", "INCLUDE/b.h"));
    EXPECT_EQ(read_file("INCLUDE/a.h"), "old a");
    EXPECT_EQ(entries("INCLUDE"), std::set<std::string>{"a.h"});
    ASSERT_TRUE(settle_copies());
    EXPECT_EQ(read_file("INCLUDE/a.h"), "new a");
    EXPECT_EQ(read_file("INCLUDE/b.h"), "new b");
    EXPECT_EQ(entries("INCLUDE"), (std::set<std::string>{"a.h", "b.h"}));
}

TEST_F(PosixPlatform, CopyRefusesBeyondTheBatchLimit) {
    write_file("a.h", "a");
    for (int i = 0; i < max_unsettled_copies; ++i) {
        ASSERT_TRUE(copy_file("a.h", ("INCLUDE/" + std::to_string(i) + ".h").c_str()));
    }
    EXPECT_FALSE(copy_file("a.h", "INCLUDE/one-too-many.h"));
    EXPECT_TRUE(settle_copies());
    EXPECT_EQ(entries("INCLUDE").size(), static_cast<size_t>(max_unsettled_copies));
}

TEST_F(PosixPlatform, SparseFileStaysSparseWithItsContent) {
    const off_t size = off_t(64) << 20;
    {
        int fd = open("big.lib", O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(pwrite(fd, "head", 4, 0), 4);
        ASSERT_EQ(pwrite(fd, "middle", 6, size / 2), 6);
        ASSERT_EQ(ftruncate(fd, size), 0);
        close(fd);
    }
    ASSERT_TRUE(copy_now("big.lib", "INCLUDE/big.lib"));
    struct stat copied;
    ASSERT_EQ(stat("INCLUDE/big.lib", &copied), 0);
    EXPECT_EQ(copied.st_size, size);
    EXPECT_LT(copied.st_blocks * 512, size / 4) << "the holes were written out";
    int fd = open("INCLUDE/big.lib", O_RDONLY);
    char head[4], middle[6], zero[1];
    EXPECT_EQ(pread(fd, head, 4, 0), 4);
    EXPECT_EQ(pread(fd, middle, 6, size / 2), 6);
    EXPECT_EQ(pread(fd, zero, 1, size - 1), 1);
    close(fd);
    EXPECT_EQ(std::string(head, 4), "head");
    EXPECT_EQ(std::string(middle, 6), "middle");
    EXPECT_EQ(zero[0], '\0');
}

TEST_F(PosixPlatform, CurrentDirectoryReportsWhetherItFits) {
    char buffer[600];
    std::string here = fs::current_path().string();
    EXPECT_EQ(get_current_directory(sizeof buffer, buffer), here.size());
    EXPECT_EQ(std::string(buffer), here);
    EXPECT_GE(get_current_directory(static_cast<unsigned long>(here.size()), buffer), here.size());
    EXPECT_TRUE(set_current_directory("INCLUDE"));
    EXPECT_FALSE(set_current_directory("MISSING"));
}

TEST(PosixCommandLine, JoinsTheArgumentsWithSingleSpaces) {
    char program[] = "./veldra-install";
    char first[] = "a";
    char second[] = "b c";
    char* argv[] = {program, first, second, nullptr};
    record_command_line(3, argv);
    EXPECT_STREQ(command_line(), "./veldra-install a b c");
}

}  // namespace
