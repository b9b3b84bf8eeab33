// File access as the settings-file reader needs it: read-only, raw bytes,
// 64-bit positions. One implementation per C runtime (posix.cpp, msvcrt.cpp).
#ifndef JOBCUT_PLATFORM_FILE_ACCESS_H
#define JOBCUT_PLATFORM_FILE_ACCESS_H

#include <stdint.h>

namespace jobcut {

// What the bytes of a file name mean, as the host that passed the name has it.
enum class NameEncoding {
    kSystemCodePage,  // AviSynth: the C runtime's narrow names (the ANSI code page on Windows)
    kUtf8,            // VapourSynth: UTF-8 on every platform
};

// Opens a file for reading only, as raw bytes. Returns a handle >= 0, or -1
// when the file cannot be opened (missing, unreadable, a folder, empty name,
// or, for a UTF-8 name on Windows, bytes that are not UTF-8). On POSIX both
// encodings are the same bytes.
int file_open_read(const char* name, NameEncoding encoding = NameEncoding::kSystemCodePage);

// The file's size in bytes from a 64-bit seek to its end, or -1 when it cannot
// be found. Leaves the position undefined: follow with file_rewind.
int64_t file_size(int file);

// Back to the first byte. Returns false on failure.
bool file_rewind(int file);

// Reads up to `count` bytes. Returns the number read (0 at the end), or -1 on failure.
int file_read(int file, void* buffer, unsigned count);

// Moves the position by `offset` bytes from where it is. Returns false on failure.
bool file_seek_relative(int file, int64_t offset);

// 1 when the position is at (or past) the end, 0 when not, -1 when it cannot be told.
int file_at_end(int file);

void file_close(int file);

}  // namespace jobcut

#endif
