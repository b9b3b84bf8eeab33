// Static check of a built plug-in DLL: what a host's loader will see before any
// code runs. Usage: check_dll x86|x64 DLL. Prints one line per fault and exits
// 1 when there is any.
#include <cstdio>
#include <set>
#include <string>

#include "tests/windows_dll/pe_file.h"

namespace {

// The runtime functions the plug-in may take from msvcrt.dll: file access,
// heap blocks, and what the compiler itself may call.
const std::set<std::string> kMsvcrtAllowed = {"_open", "_read", "_lseeki64", "_eof",    "_close", "malloc",
                                              "free",  "memcpy", "memmove",  "memset", "_purecall"};
// x86 only: 64-bit division and multiplication helpers the compiler calls.
const std::set<std::string> kNtdllAllowed = {"_alldiv", "_allmul", "_allrem", "_aulldiv", "_aullrem"};

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::string(argv[1]) != "x86" && std::string(argv[1]) != "x64")) {
        std::fprintf(stderr, "usage: check_dll x86|x64 DLL\n");
        return 2;
    }
    const bool x86 = std::string(argv[1]) == "x86";
    const std::string path = argv[2];
    pe::Image image;
    std::string error;
    if (!pe::load(path, &image, &error)) {
        std::printf("%s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    int faults = 0;
    auto fault = [&](const std::string& text) {
        std::printf("%s: %s\n", path.c_str(), text.c_str());
        ++faults;
    };

    const uint16_t machine = x86 ? pe::kMachineI386 : pe::kMachineAmd64;
    if (image.machine != machine || image.pe32_plus == x86) {
        char text[80];
        std::snprintf(text, sizeof text, "machine 0x%X, expected 0x%X", image.machine, machine);
        fault(text);
    }
    if (!(image.characteristics & 0x2000)) fault("not marked as a DLL");

    const std::string entry = x86 ? "_AvisynthPluginInit2@4" : "AvisynthPluginInit2";
    if (image.exports.size() != 1 || image.exports[0].name != entry) {
        std::string names;
        for (const pe::Export& e : image.exports) names += " " + (e.name.empty() ? "(by ordinal)" : e.name);
        fault("exports" + (names.empty() ? std::string(" nothing") : names) + ", expected exactly " + entry);
    }

    for (const pe::Import& imp : image.imports) {
        const std::string dll = lower(imp.dll);
        const bool allowed = !imp.name.empty() && ((dll == "msvcrt.dll" && kMsvcrtAllowed.count(imp.name)) ||
                                                   (x86 && dll == "ntdll.dll" && kNtdllAllowed.count(imp.name)));
        if (!allowed)
            fault("imports " + imp.dll + "!" + (imp.name.empty() ? "#" + std::to_string(imp.ordinal) : imp.name));
    }

    // A host may load the DLL anywhere, so every absolute address must be relocatable.
    const int reloc_type = x86 ? 3 : 10;  // HIGHLOW, DIR64
    if (image.reloc_dir_size == 0 || image.relocations.empty()) fault("no relocation table");
    for (const pe::Relocation& rel : image.relocations) {
        if (rel.type != reloc_type) {
            fault("relocation of type " + std::to_string(rel.type) + " at RVA " + std::to_string(rel.rva));
            break;
        }
    }
    // Without unwind information a host's C++ exception cannot pass the plug-in's frames.
    if (!x86 && image.exception_dir_size == 0) fault("no exception directory (.pdata)");

    if (faults == 0) std::printf("%s: %s DLL, export %s, %zu imports, %zu relocations: ok\n", path.c_str(),
                                 argv[1], entry.c_str(), image.imports.size(), image.relocations.size());
    return faults == 0 ? 0 : 1;
}
