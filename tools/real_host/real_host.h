// AviSynth+ itself, driven from a program linked against its library: one
// script environment, the plug-in loaded into it and scripts evaluated in it.
// The tests and benchmarks that run in the real host share it.
//
// The host's header is written for plug-ins and defines its classes' members
// inline; a program that also links the host's library must keep those copies
// out of its dynamic symbol table (the project builds with hidden visibility),
// or the library's own calls land in them.
#ifndef JOBCUT_TOOLS_REAL_HOST_H
#define JOBCUT_TOOLS_REAL_HOST_H

#include <avisynth.h>

#include <string>

namespace real_host {

class Environment {
public:
    Environment();  // throws std::runtime_error when the host makes none
    ~Environment();
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

    IScriptEnvironment* get() const { return env_; }
    IScriptEnvironment* operator->() const { return env_; }

    // Evaluates `script` as the script `name`; a script error propagates as
    // the host's AvisynthError.
    AVSValue eval(const std::string& script, const char* name = "test") const;
    // The text of the error the script raises, or "" when it raises none.
    std::string error_of(const std::string& script, const char* name = "test") const;
    // LoadPlugin(path), as a script.
    void load_plugin(const std::string& path) const;

private:
    IScriptEnvironment* env_;
};

// A script string literal holding `text` (which must hold no double quote).
std::string quoted(const std::string& text);

// The host's own location lines after a message raised in line `line` of the
// script `name`: what the script sees is the message, then this.
std::string location_suffix(const char* name, int line);

}  // namespace real_host

#endif
