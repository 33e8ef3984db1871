// The caption derived from the command line (the fake platform separates paths with '\').
#include <gtest/gtest.h>

#include <string>

#include "notices/notices.h"

namespace {

struct caption_case {
    const char* command_line;
    const char* caption;
};

const caption_case caption_cases[] = {
    // The usual shapes of a program path.
    {"\"C:\\Program Files\\VELDRA\\veldra-install.exe\" ", "veldra-install.exe"},
    {"\"C:\\Program Files\\VELDRA\\veldra-install.exe\"", "veldra-install.exe"},
    {"C:\\VELDRA\\veldra-install.exe", "veldra-install.exe"},
    {"veldra-install.exe", "veldra-install.exe"},
    // Without a backslash the whole line counts, arguments included.
    {"veldra-install.exe a b", "veldra-install.exe a b"},
    {"veldra-install.exe with arguments past the cut", "veldra-install.exe with argument"},
    {"\"C:\\x\\setup.exe\" /quiet now", "setup.exe\" /quiet now"},
    // A backslash in an argument moves the name into it.
    {"\"C:\\x\\setup.exe\" C:\\out\\log", "log"},
    // A leading decimal integer is skipped, with white space and sign; its value does not matter.
    {"123setup.exe", "setup.exe"},
    {" \t-42setup.exe", "setup.exe"},
    {"+7 setup.exe", " setup.exe"},
    {"99999999999999999999999setup.exe", "setup.exe"},
    {"-setup.exe", "-setup.exe"},
    {" setup.exe", " setup.exe"},
    {"12\\34.exe", "34.exe"},
    // Cut to 32, then the 32nd character is what the trimming sees.
    {"C:\\x\\abcdefghijklmnopqrstuvwxyz0123456789.exe", "abcdefghijklmnopqrstuvwxyz012345"},
    {"C:\\x\\abcdefghijklmnopqrstuvwxyz01234 6789.exe", "abcdefghijklmnopqrstuvwxyz01234"},
    {"abcdefghijklmnopqrstuvwxyz0123\" tail", "abcdefghijklmnopqrstuvwxyz0123"},
    // One space, then one quote, each at most once and in that order.
    {"name  ", "name "},
    {"name\" ", "name"},
    {"name \"", "name "},
    {"name\"\"", "name\""},
    // What is left empty becomes "Error".
    {"", "Error"},
    {"C:\\VELDRA\\", "Error"},
    {"12345", "Error"},
    {"-12", "Error"},
    {" ", "Error"},
    {"\"", "Error"},
    {"\" ", "Error"},
    {"C:\\x\\\" ", "Error"},
    // A UTF-8 character that the cut would split is left out whole.
    {"abcdefghijklmnopqrstuvwxyzABCDE\xE6\x95\xB0.exe", "abcdefghijklmnopqrstuvwxyzABCDE"},
    {"abcdefghijklmnopqrstuvwxyzABCD\xC3\xA9.exe", "abcdefghijklmnopqrstuvwxyzABCD\xC3\xA9"},
    {"abcdefghijklmnopqrstuvwxyzABC\xF0\x9F\x98\x80.exe", "abcdefghijklmnopqrstuvwxyzABC"},
    // Bytes that are not UTF-8 are cut where they fall.
    {"abcdefghijklmnopqrstuvwxyzABCDE\xE6\x41\x42", "abcdefghijklmnopqrstuvwxyzABCDE\xE6"},
    {"abcdefghijklmnopqrstuvwxyzABCDE\x80\x80\x80", "abcdefghijklmnopqrstuvwxyzABCDE\x80"},
};

class Caption : public testing::TestWithParam<caption_case> {};

TEST_P(Caption, FollowsTheCommandLine) {
    char caption[notice_caption_length + 1];
    derive_notice_caption(GetParam().command_line, caption);
    EXPECT_EQ(std::string(caption), GetParam().caption)
        << "command line: " << GetParam().command_line;
}

INSTANTIATE_TEST_SUITE_P(Cases, Caption, testing::ValuesIn(caption_cases));

}  // namespace
