#include "tests/unit/test_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "jobcut-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    root = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

std::string TempFolder::write(const std::string& name, const std::string& bytes) const {
    std::string full = path(name);
    std::ofstream out(full, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + full);
    return full;
}

std::string data_file(const std::string& name) {
    std::ifstream in(std::string(JOBCUT_TEST_DATA) + "/" + name, std::ios::binary);
    if (!in) throw std::runtime_error("missing test data " + name);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}
