// The fake platform: in-memory files, a call log and fault injection.
#include "tests/fake_platform.h"

#include <string.h>

#include <mutex>

#include "platform/platform.h"

const char path_separator = '\\';

namespace fake {

std::map<std::string, std::string> files;
std::set<std::string> directories;
std::string command_line_text;
std::function<void(const char*, const char*)> on_message_box;

namespace {

std::mutex log_mutex;
std::vector<std::string> call_log;
std::map<std::string, int> call_counts;
std::set<std::pair<std::string, int>> planned_failures;
std::string cwd;
unsigned long oversized_directory;

struct fake_search {
    std::vector<std::string> names;
    size_t next;
};
fake_search searches[4];
bool search_open[4];

// Logs the call and says whether it is one of the calls planned to fail.
bool record(const std::string& service, const std::string& arguments = "") {
    std::lock_guard<std::mutex> hold(log_mutex);
    call_log.push_back(arguments.empty() ? service : service + " " + arguments);
    int nth = ++call_counts[service];
    return planned_failures.count({service, nth}) != 0;
}

std::string full_path(const std::string& path) {
    return (path.size() > 1 && path[1] == ':') ? path : cwd + "\\" + path;
}

std::string parent_of(const std::string& path) {
    return path.substr(0, path.rfind('\\'));
}

}  // namespace

void reset(const std::string& current_dir) {
    files.clear();
    directories = {current_dir};
    command_line_text = "\"C:\\Tools\\veldra-install.exe\" ";
    on_message_box = nullptr;
    call_log.clear();
    call_counts.clear();
    planned_failures.clear();
    cwd = current_dir;
    oversized_directory = 0;
    for (bool& open : search_open) {
        open = false;
    }
}

std::vector<std::string> calls() {
    std::lock_guard<std::mutex> hold(log_mutex);
    return call_log;
}

void fail_call(const std::string& service, int nth) {
    planned_failures.insert({service, nth});
}

void set_current_directory_length(unsigned long length) {
    oversized_directory = length;
}

}  // namespace fake

using namespace fake;

unsigned long get_current_directory(unsigned long size, char* buffer) {
    if (record("get_current_directory")) {
        return 0;
    }
    if (oversized_directory != 0) {
        return oversized_directory + 1;
    }
    if (cwd.size() + 1 > size) {
        return static_cast<unsigned long>(cwd.size() + 1);
    }
    memcpy(buffer, cwd.c_str(), cwd.size() + 1);
    return static_cast<unsigned long>(cwd.size());
}

bool set_current_directory(const char* path) {
    if (record("set_current_directory", path) || directories.count(full_path(path)) == 0) {
        return false;
    }
    cwd = full_path(path);
    return true;
}

bool create_directory(const char* path) {
    std::string full = full_path(path);
    if (record("create_directory", path) || directories.count(parent_of(full)) == 0 ||
        directories.count(full) != 0 || files.count(full) != 0) {
        return false;
    }
    directories.insert(full);
    return true;
}

search_result search_first(const char* pattern, search_handle** handle, char* name) {
    *handle = nullptr;
    if (record("search_first", pattern)) {
        return search_failed;
    }
    int slot = 0;
    while (search_open[slot]) {
        ++slot;
    }
    fake_search& search = searches[slot];
    search.names.clear();
    search.next = 0;
    std::set<std::string> entries;
    for (const auto& file : files) {
        entries.insert(file.first);
    }
    entries.insert(directories.begin(), directories.end());
    for (const std::string& entry : entries) {
        std::string leaf = entry.substr(entry.rfind('\\') + 1);
        if (parent_of(entry) == cwd && entry != cwd && name_matches(pattern, leaf.c_str())) {
            search.names.push_back(leaf);
        }
    }
    if (search.names.empty()) {
        return search_done;
    }
    search_open[slot] = true;
    *handle = reinterpret_cast<search_handle*>(&search);
    strcpy(name, search.names[search.next++].c_str());
    return search_found;
}

search_result search_next(search_handle* handle, char* name) {
    if (record("search_next")) {
        return search_failed;
    }
    fake_search& search = *reinterpret_cast<fake_search*>(handle);
    if (search.next == search.names.size()) {
        return search_done;
    }
    strcpy(name, search.names[search.next++].c_str());
    return search_found;
}

void search_close(search_handle* handle) {
    record("search_close");
    search_open[reinterpret_cast<fake_search*>(handle) - searches] = false;
}

bool copy_file(const char* existing, const char* new_name) {
    std::string from = full_path(existing);
    std::string to = full_path(new_name);
    if (record("copy_file", std::string(existing) + " " + new_name) || files.count(from) == 0 ||
        directories.count(parent_of(to)) == 0 || directories.count(to) != 0) {
        return false;
    }
    files[to] = files[from];
    return true;
}

bool settle_copies() {
    return !record("settle_copies");
}

bool delete_file(const char* name) {
    if (record("delete_file", name)) {
        return false;
    }
    return files.erase(full_path(name)) != 0;
}

const char* command_line() {
    record("command_line");
    return command_line_text.c_str();
}

void message_box(const char* text, const char* caption) {
    record("message_box", std::string(caption) + ": " + text);
    if (on_message_box) {
        on_message_box(text, caption);
    }
}

static_assert(sizeof(std::mutex) <= sizeof(platform_lock::storage), "lock storage too small");

void lock_init(platform_lock* lock) {
    new (lock->storage) std::mutex;
}

void lock_enter(platform_lock* lock) {
    record("lock_enter");
    reinterpret_cast<std::mutex*>(lock->storage)->lock();
}

void lock_leave(platform_lock* lock) {
    reinterpret_cast<std::mutex*>(lock->storage)->unlock();
    record("lock_leave");
}
