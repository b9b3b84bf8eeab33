// Static check of a built Windows binary: what a host's loader, or a user's
// Windows, will see before any code runs. Prints one line per fault and exits
// 1 when there is any.
//   check_dll x86|x64 DLL VERSION   a plug-in DLL, whose version resource must carry VERSION
//   check_dll exe EXE               jobcut-inspect.exe for 64-bit Windows
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "tests/windows_dll/pe_file.h"

namespace {

// The runtime functions the plug-in may take from msvcrt.dll: file access
// (_wopen for UTF-8 names, x64 only), heap blocks, and what the compiler
// itself may call.
const std::set<std::string> kMsvcrtAllowed = {"_open", "_wopen", "_read",   "_lseeki64", "_eof",     "_close",
                                              "malloc", "free",  "memcpy", "memmove",   "memset", "_purecall"};
// x86 only: 64-bit division and multiplication helpers the compiler calls.
const std::set<std::string> kNtdllAllowed = {"_alldiv", "_allmul", "_allrem", "_aulldiv", "_aullrem"};
// What every Windows has: a program importing anything else needs it installed beside it.
const std::set<std::string> kSystemDlls = {"kernel32.dll", "msvcrt.dll", "ntdll.dll", "advapi32.dll", "user32.dll"};

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

// The parts of a version resource (VS_VERSIONINFO) a user sees.
struct VersionInfo {
    bool found = false;
    uint32_t signature = 0;
    uint64_t file_version = 0, product_version = 0;  // major.minor.patch.build in 16-bit parts
    std::map<std::string, std::string> strings;       // StringFileInfo, any language
};

// Every node: length, value length, type (1: text), key, then its value and
// children, each on a 4-byte boundary of the resource.
VersionInfo read_version(const std::vector<uint8_t>& data) {
    VersionInfo info;
    auto u16 = [&](size_t at) { return at + 2 <= data.size() ? uint32_t(data[at] | data[at + 1] << 8) : 0u; };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    auto text = [&](size_t& at, size_t end) {  // UTF-16 up to its 0, kept as ASCII
        std::string out;
        for (; at + 2 <= end && u16(at) != 0; at += 2) out += char(u16(at) < 0x80 ? u16(at) : '?');
        at += 2;
        return out;
    };
    auto align = [](size_t at) { return (at + 3) & ~size_t(3); };
    std::function<void(size_t, size_t, int)> node = [&](size_t at, size_t limit, int depth) {
        const size_t end = std::min(limit, at + u16(at));
        const uint32_t value_length = u16(at + 2), type = u16(at + 4);
        size_t p = at + 6;
        const std::string key = text(p, end);
        p = align(p);
        if (depth == 0 && key == "VS_VERSION_INFO" && value_length >= 52) {
            info.found = true;
            info.signature = u32(p);
            info.file_version = uint64_t(u32(p + 8)) << 32 | u32(p + 12);
            info.product_version = uint64_t(u32(p + 16)) << 32 | u32(p + 20);
        } else if (depth == 3 && type == 1) {
            size_t q = p;
            info.strings[key] = text(q, end);
        }
        p = align(p + (type == 1 ? 2 * value_length : value_length));
        while (p + 6 <= end && depth < 3) {
            const size_t child = u16(p);
            if (child == 0) break;
            node(p, end, depth + 1);
            p = align(p + child);
        }
    };
    if (data.size() >= 6) node(0, data.size(), 0);
    return info;
}

// "1.0.0" -> 1.0.0.0 in the four 16-bit parts of VS_FIXEDFILEINFO.
uint64_t four_part(const std::string& version) {
    uint64_t parts[4] = {0, 0, 0, 0};
    size_t k = 0;
    for (char c : version) {
        if (c == '.') {
            if (++k == 4) break;
        } else {
            parts[k] = parts[k] * 10 + uint64_t(c - '0');
        }
    }
    return parts[0] << 48 | parts[1] << 32 | parts[2] << 16 | parts[3];
}

void check_version(const pe::Image& image, const std::string& version, bool x86,
                   const std::function<void(std::string)>& fault) {
    const pe::Resource* resource = nullptr;
    for (const pe::Resource& r : image.resources)
        if (r.type == pe::kResourceVersion) resource = &r;
    if (!resource) return fault("no version resource");
    const VersionInfo info = read_version(resource->data);
    if (!info.found || info.signature != 0xFEEF04BDu) return fault("the version resource has no fixed file information");
    if (info.file_version != four_part(version) || info.product_version != four_part(version))
        fault("the fixed file or product version is not " + version + ".0");
    const std::map<std::string, std::string> expected = {
        {"FileVersion", version}, {"ProductVersion", version}, {"ProductName", "Jobcut"},
        {"OriginalFilename", "jobcut.dll"}, {"InternalName", "jobcut"}};
    for (const auto& [key, value] : expected) {
        const auto found = info.strings.find(key);
        if (found == info.strings.end() || found->second != value)
            fault("version string " + key + " is \"" + (found == info.strings.end() ? "" : found->second) +
                  "\", expected \"" + value + "\"");
    }
    const auto description = info.strings.find("FileDescription");
    const std::string hosts = x86 ? "an AviSynth plug-in" : "an AviSynth and VapourSynth plug-in";
    if (description == info.strings.end() || description->second.find(hosts) == std::string::npos)
        fault("FileDescription does not say it is " + hosts);
    const auto copyright = info.strings.find("LegalCopyright");
    if (copyright == info.strings.end() || copyright->second.find("Copyright") == std::string::npos)
        fault("no LegalCopyright");
}

}  // namespace

int main(int argc, char** argv) {
    const std::string kind = argc > 1 ? argv[1] : "";
    const bool exe = kind == "exe";
    if (!((kind == "x86" || kind == "x64") && argc == 4) && !(exe && argc == 3)) {
        std::fprintf(stderr, "usage: check_dll x86|x64 DLL VERSION\n       check_dll exe EXE\n");
        return 2;
    }
    const bool x86 = kind == "x86";
    const std::string path = argv[2];
    pe::Image image;
    std::string error;
    if (!pe::load(path, &image, &error)) {
        std::printf("%s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    int faults = 0;
    const std::function<void(std::string)> fault = [&](const std::string& text) {
        std::printf("%s: %s\n", path.c_str(), text.c_str());
        ++faults;
    };

    const uint16_t machine = x86 ? pe::kMachineI386 : pe::kMachineAmd64;
    if (image.machine != machine || image.pe32_plus == x86) {
        char text[80];
        std::snprintf(text, sizeof text, "machine 0x%X, expected 0x%X", image.machine, machine);
        fault(text);
    }

    if (exe) {
        if (image.characteristics & 0x2000) fault("marked as a DLL");
        for (const pe::Import& imp : image.imports)
            if (!kSystemDlls.count(lower(imp.dll))) fault("needs " + imp.dll + ", which Windows does not have");
        if (faults == 0)
            std::printf("%s: x64 program, %zu imports, all from Windows' own DLLs: ok\n", path.c_str(),
                        image.imports.size());
        return faults == 0 ? 0 : 1;
    }

    if (!(image.characteristics & 0x2000)) fault("not marked as a DLL");
    // 32-bit: AviSynth only; 64-bit: AviSynth and VapourSynth, one file for either host.
    const std::set<std::string> entries = x86 ? std::set<std::string>{"_AvisynthPluginInit2@4"}
                                              : std::set<std::string>{"AvisynthPluginInit2", "VapourSynthPluginInit2"};
    std::set<std::string> exported;
    std::string names;
    for (const pe::Export& e : image.exports) {
        exported.insert(e.name);
        names += " " + (e.name.empty() ? "(by ordinal)" : e.name);
    }
    if (image.exports.size() != entries.size() || exported != entries) {
        std::string wanted;
        for (const std::string& name : entries) wanted += " " + name;
        fault("exports" + (names.empty() ? std::string(" nothing") : names) + ", expected exactly" + wanted);
    }

    for (const pe::Import& imp : image.imports) {
        const std::string dll = lower(imp.dll);
        const bool allowed = !imp.name.empty() && ((dll == "msvcrt.dll" && kMsvcrtAllowed.count(imp.name) &&
                                                    !(x86 && imp.name == "_wopen")) ||
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
    check_version(image, argv[3], x86, fault);

    if (faults == 0)
        std::printf("%s: %s DLL, exports%s, %zu imports, %zu relocations, version %s: ok\n", path.c_str(), argv[1],
                    names.c_str(), image.imports.size(), image.relocations.size(), argv[3]);
    return faults == 0 ? 0 : 1;
}
