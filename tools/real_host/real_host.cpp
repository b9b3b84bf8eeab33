#include "tools/real_host/real_host.h"

#include <stdexcept>

namespace real_host {

Environment::Environment() : env_(CreateScriptEnvironment(AVISYNTH_INTERFACE_VERSION)) {
    if (!env_) throw std::runtime_error("AviSynth+ made no script environment");
}

Environment::~Environment() { env_->DeleteScriptEnvironment(); }

AVSValue Environment::eval(const std::string& script, const char* name) const {
    const AVSValue args[2] = {script.c_str(), name};
    return env_->Invoke("Eval", AVSValue(args, 2));
}

std::string Environment::error_of(const std::string& script, const char* name) const {
    try {
        eval(script, name);
    } catch (const AvisynthError& error) {
        return error.msg;
    }
    return "";
}

void Environment::load_plugin(const std::string& path) const { eval("LoadPlugin(" + quoted(path) + ")", "load"); }

std::string quoted(const std::string& text) {
    if (text.find('"') != std::string::npos) throw std::invalid_argument("no script literal can hold " + text);
    return "\"" + text + "\"";
}

std::string location_suffix(const char* name, int line) {
    return "\n(" + std::string(name) + ", line " + std::to_string(line) + ")";
}

}  // namespace real_host
