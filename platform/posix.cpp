// File access and heap blocks over the POSIX C runtime (Linux).
#include "platform/file_access.h"
#include "platform/memory.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jobcut {

// The name's bytes are the file system's own, whatever the host meant by them.
int file_open_read(const char* name, NameEncoding) {
    // O_NONBLOCK keeps a FIFO without a writer from hanging the script: it reads as empty.
    int file = open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file < 0) return -1;
    struct stat info;
    // A folder opens on POSIX but not through the Windows runtime; refuse it alike.
    if (fstat(file, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(file);
        return -1;
    }
    return file;
}

int64_t file_size(int file) {
    off_t end = lseek(file, 0, SEEK_END);
    return end < 0 ? -1 : static_cast<int64_t>(end);
}

bool file_rewind(int file) { return lseek(file, 0, SEEK_SET) == 0; }

int file_read(int file, void* buffer, unsigned count) {
    ssize_t got;
    do {
        got = read(file, buffer, count);
    } while (got < 0 && errno == EINTR);
    return got < 0 ? -1 : static_cast<int>(got);
}

bool file_seek_relative(int file, int64_t offset) { return lseek(file, static_cast<off_t>(offset), SEEK_CUR) >= 0; }

int file_at_end(int file) {
    off_t here = lseek(file, 0, SEEK_CUR);
    struct stat info;
    if (here < 0 || fstat(file, &info) != 0) return -1;
    return here >= info.st_size ? 1 : 0;
}

void file_close(int file) { close(file); }

// Weak, so that a test can link its own version in their place to count
// blocks and refuse the Nth request.
__attribute__((weak)) void* memory_allocate(size_t bytes) { return malloc(bytes); }

__attribute__((weak)) void memory_release(void* block) { free(block); }

}  // namespace jobcut
