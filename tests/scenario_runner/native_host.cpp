#include "tests/scenario_runner/native_host.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#if defined(_WIN32)
#include <random>
#endif

namespace {

#if defined(_WIN32)
// The Windows runtime has no mkdtemp: the same, by trying names until one is new.
char* mkdtemp(char* pattern) {
    std::string text(pattern);
    const size_t x = text.rfind("XXXXXX");
    if (x == std::string::npos || x + 6 != text.size()) return nullptr;
    std::random_device seed;
    std::mt19937 pick(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (size_t i = x; i < text.size(); ++i) text[i] = "abcdefghijklmnopqrstuvwxyz0123456789"[pick() % 36];
        std::error_code ec;
        if (std::filesystem::create_directory(text, ec))
            return static_cast<char*>(std::memcpy(pattern, text.data(), text.size()));
    }
    return nullptr;
}
#endif

// The list's file names as a path. They are UTF-8, as VapourSynth passes every
// name: on Windows they are made wide rather than read in the ANSI code page,
// and bytes that are not UTF-8 name no file there (false); elsewhere a name is
// its bytes.
bool file_path(const char* name, std::filesystem::path* path) {
    try {
        *path = std::filesystem::u8path(name);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

namespace scenario {

void* NativeHost::allocate(size_t bytes) { return std::malloc(bytes); }

void NativeHost::release(void* block) { std::free(block); }

bool NativeHost::write_file(const char* name, const uint8_t* data, size_t size) {
    std::filesystem::path file;
    if (!file_path(name, &file)) return false;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

void NativeHost::remove_file(const char* name) {
    std::filesystem::path file;
    std::error_code ignored;
    if (file_path(name, &file)) std::filesystem::remove_all(file, ignored);
}

void NativeHost::make_directory(const char* name) {
    std::filesystem::path folder;
    std::error_code ignored;
    if (file_path(name, &folder)) std::filesystem::create_directory(folder, ignored);
}

void NativeHost::write_output(const char* text, size_t size) {
    out_.write(text, static_cast<std::streamsize>(size));
    out_.flush();
}

bool driver_arguments(int argc, char** argv, std::string* binary, std::string* list) {
    if (argc != 3) {
        std::cerr << "usage: " << argv[0] << " BINARY SCENARIOS\n";
        return false;
    }
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << argv[2] << "\n";
        return false;
    }
    list->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::error_code ec;
    *binary = std::filesystem::absolute(argv[1], ec).string();
    return true;
}

TempWorkingFolder::TempWorkingFolder(const char* tag) {
    std::error_code ec;
    path_ = (std::filesystem::temp_directory_path(ec) / (std::string("jobcut-") + tag + "-XXXXXX")).string();
    if (!mkdtemp(path_.data())) {
        path_.clear();
        return;
    }
    ok_ = chdir(path_.c_str()) == 0;
}

TempWorkingFolder::~TempWorkingFolder() {
    std::error_code ignored;
    if (!path_.empty() && (!ok_ || chdir("/") == 0)) std::filesystem::remove_all(path_, ignored);
}

}  // namespace scenario
