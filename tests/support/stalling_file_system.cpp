// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT

// A FUSE file system of one file, picture, holding what SOURCE holds, that stalls for ever
// on the operation it is told to, as a hung network mount or file-system daemon does:
//     stalling_file_system MOUNTPOINT SOURCE open|read|none
// It runs in the foreground until it is killed; killing it aborts every waiting request.

#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::string_view kFileName = "/picture";

std::string content;
std::string stalled;

[[noreturn]] void stallForEver()
{
    for (;;)
        ::pause();
}

int getAttributes(const char* path, struct stat* status, fuse_file_info*)
{
    std::memset(status, 0, sizeof *status);
    if (std::string_view(path) == "/") {
        status->st_mode = S_IFDIR | 0755;
        status->st_nlink = 2;
        return 0;
    }
    if (std::string_view(path) != kFileName)
        return -ENOENT;
    status->st_mode = S_IFREG | 0444;
    status->st_nlink = 1;
    status->st_size = static_cast<off_t>(content.size());
    return 0;
}

int openFile(const char* path, fuse_file_info* file)
{
    if (std::string_view(path) != kFileName)
        return -ENOENT;
    if (stalled == "open")
        stallForEver();
    // Every read comes here, none from the page cache.
    file->direct_io = 1;
    return 0;
}

int readFile(const char*, char* buffer, size_t size, off_t offset, fuse_file_info*)
{
    if (stalled == "read")
        stallForEver();
    if (offset < 0 || static_cast<std::size_t>(offset) >= content.size())
        return 0;
    const std::size_t count = std::min(size, content.size() - static_cast<std::size_t>(offset));
    std::memcpy(buffer, content.data() + offset, count);
    return static_cast<int>(count);
}

} // namespace

int main(int argumentCount, char** arguments)
{
    if (argumentCount != 4)
        return 2;
    std::ifstream source(arguments[2], std::ios::binary);
    content.assign(std::istreambuf_iterator<char>(source), std::istreambuf_iterator<char>());
    stalled = arguments[3];
    fuse_operations operations = {};
    operations.getattr = getAttributes;
    operations.open = openFile;
    operations.read = readFile;
    // Foreground, one thread: the test owns the process and kills it.
    std::vector<char*> fuseArguments{arguments[0], const_cast<char*>("-f"), const_cast<char*>("-s"),
                                     arguments[1]};
    return fuse_main(static_cast<int>(fuseArguments.size()), fuseArguments.data(), &operations,
                     nullptr);
}
