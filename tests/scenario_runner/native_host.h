// What every native driver of the scenario list shares: the runner's services
// over the C heap, the working folder and an output stream, and a fresh
// temporary working folder to run the list in.
#ifndef JOBCUT_TESTS_SCENARIO_RUNNER_NATIVE_HOST_H
#define JOBCUT_TESTS_SCENARIO_RUNNER_NATIVE_HOST_H

#include <ostream>
#include <string>

#include "tests/scenario_runner/scenario_runner.h"

namespace scenario {

class NativeHost : public Host {
public:
    explicit NativeHost(std::ostream& out) : out_(out) {}

    void* allocate(size_t bytes) override;
    void release(void* block) override;
    bool write_file(const char* name, const uint8_t* data, size_t size) override;
    void remove_file(const char* name) override;  // a file, or a folder and all in it
    void make_directory(const char* name) override;
    // Flushed at once, so that a crash loses no line before it.
    void write_output(const char* text, size_t size) override;

protected:
    ~NativeHost() = default;

private:
    std::ostream& out_;
};

// A driver's command line, `DRIVER BINARY LIST`: the plug-in binary's
// absolute path and the list's whole text. False, with the reason on standard
// error, when the line is not that or the list cannot be read.
bool driver_arguments(int argc, char** argv, std::string* binary, std::string* list);

// A fresh temporary folder, the working folder while this lives; removed
// afterwards. Settings files are written with relative names, so every
// driver prints the same messages.
class TempWorkingFolder {
public:
    explicit TempWorkingFolder(const char* tag);
    ~TempWorkingFolder();
    TempWorkingFolder(const TempWorkingFolder&) = delete;
    TempWorkingFolder& operator=(const TempWorkingFolder&) = delete;
    bool ok() const { return ok_; }

private:
    std::string path_;
    bool ok_ = false;
};

}  // namespace scenario

#endif
