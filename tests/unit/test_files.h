// Settings files written for real into a fresh temporary folder.
#ifndef JOBCUT_TESTS_TEST_FILES_H
#define JOBCUT_TESTS_TEST_FILES_H

#include <string>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Writes `bytes` exactly as given and returns the file's full path.
    std::string write(const std::string& name, const std::string& bytes) const;
    std::string path(const std::string& name) const { return root + "/" + name; }

private:
    std::string root;
};

// The bytes of a file in tests/data.
std::string data_file(const std::string& name);

#endif
