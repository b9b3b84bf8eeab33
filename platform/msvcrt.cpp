// File access and heap blocks over msvcrt.dll (Windows DLLs). The build has no
// C runtime headers for this target, so the few runtime functions used are
// declared here from their documented prototypes.
#include "platform/file_access.h"
#include "platform/memory.h"
#include "platform/utf8_to_utf16.h"

extern "C" {
int __cdecl _open(const char* name, int flags, ...);
int __cdecl _wopen(const wchar_t* name, int flags, ...);
int __cdecl _read(int file, void* buffer, unsigned count);
long long __cdecl _lseeki64(int file, long long offset, int origin);
int __cdecl _eof(int file);
int __cdecl _close(int file);
void* __cdecl malloc(size_t bytes);
void __cdecl free(void* block);
}

namespace {

constexpr int kOpenReadOnly = 0x0000;  // _O_RDONLY
constexpr int kOpenBinary = 0x8000;    // _O_BINARY: no newline or end-of-file translation
constexpr int kSeekSet = 0;
constexpr int kSeekCurrent = 1;
constexpr int kSeekEnd = 2;

static_assert(sizeof(wchar_t) == sizeof(uint16_t), "Windows' wide characters are UTF-16 units");

// A UTF-8 name goes to _wopen as UTF-16, the file system's own names; the
// narrow _open would read its bytes in the ANSI code page. Bytes that are not
// UTF-8 name no file. Only the 64-bit DLL serves a host that passes UTF-8
// (VapourSynth), so the 32-bit DLL keeps to the imports it always had.
int open_utf8(const char* name, int flags) {
#if defined(_WIN64)
    size_t bytes = 0;
    while (name[bytes]) ++bytes;
    uint16_t* wide = static_cast<uint16_t*>(jobcut::memory_allocate((bytes + 1) * sizeof(uint16_t)));
    if (!wide) return -1;
    const int file = jobcut::utf8_to_utf16(name, wide) ? _wopen(reinterpret_cast<const wchar_t*>(wide), flags) : -1;
    jobcut::memory_release(wide);
    return file;
#else
    return _open(name, flags);
#endif
}

}  // namespace

namespace jobcut {

// _open and _wopen refuse folders (EACCES) and the empty name (ENOENT) by themselves.
int file_open_read(const char* name, NameEncoding encoding) {
    const int flags = kOpenReadOnly | kOpenBinary;
    const int file = encoding == NameEncoding::kUtf8 ? open_utf8(name, flags) : _open(name, flags);
    return file < 0 ? -1 : file;
}

int64_t file_size(int file) {
    long long end = _lseeki64(file, 0, kSeekEnd);
    return end < 0 ? -1 : static_cast<int64_t>(end);
}

bool file_rewind(int file) { return _lseeki64(file, 0, kSeekSet) == 0; }

int file_read(int file, void* buffer, unsigned count) {
    int got = _read(file, buffer, count);
    return got < 0 ? -1 : got;
}

bool file_seek_relative(int file, int64_t offset) { return _lseeki64(file, offset, kSeekCurrent) >= 0; }

// _eof already answers 1 at the end, 0 before it and -1 when it cannot tell.
int file_at_end(int file) { return _eof(file); }

void file_close(int file) { _close(file); }

void* memory_allocate(size_t bytes) { return malloc(bytes); }

void memory_release(void* block) { free(block); }

}  // namespace jobcut
