// A platform for unit tests: an in-memory Windows-style file system that records every call and
// can make the Nth call of any service fail.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fake {

// Forgets all files, calls and planned failures; the current directory becomes `current_dir`,
// which exists.
void reset(const std::string& current_dir = "C:\\D");

// Files by full path, and directories by full path.
extern std::map<std::string, std::string> files;
extern std::set<std::string> directories;

// What command_line() returns.
extern std::string command_line_text;

// Called inside message_box, in the calling thread, while the box would be open.
extern std::function<void(const char* text, const char* caption)> on_message_box;

// Every call made so far, one line each, such as "copy_file a.h C:\\D\\INCLUDE\\a.h".
std::vector<std::string> calls();

// Makes the `nth` call (counting from 1) of `service` fail.
void fail_call(const std::string& service, int nth);

// Makes get_current_directory report a directory of this many characters that does not fit.
void set_current_directory_length(unsigned long length);

}  // namespace fake
