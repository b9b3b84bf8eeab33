// A reader for the parts of a Windows PE image (PE32 or PE32+) that the DLL
// checks and the x86 emulator need: headers, sections, exports, imports and
// base relocations, resources. Native code for the build machine; it never runs the image.
#ifndef JOBCUT_TESTS_WINDOWS_DLL_PE_FILE_H
#define JOBCUT_TESTS_WINDOWS_DLL_PE_FILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace pe {

constexpr uint16_t kMachineI386 = 0x14C;
constexpr uint16_t kMachineAmd64 = 0x8664;

struct Section {
    std::string name;
    uint32_t virtual_address = 0;
    uint32_t virtual_size = 0;
    uint32_t raw_offset = 0;
    uint32_t raw_size = 0;
};

struct Export {
    std::string name;
    uint32_t rva = 0;
};

struct Import {
    std::string dll;   // as written in the image
    std::string name;  // empty when imported by ordinal
    uint16_t ordinal = 0;
    uint32_t iat_rva = 0;  // the slot the loader fills with the address
};

struct Relocation {
    uint32_t rva = 0;
    int type = 0;  // IMAGE_REL_BASED_*
};

// One leaf of the resource tree: type / name / language, numbered entries only.
struct Resource {
    uint32_t type = 0, id = 0, language = 0;
    std::vector<uint8_t> data;
};

constexpr uint32_t kResourceVersion = 16;  // RT_VERSION

struct Image {
    uint16_t machine = 0;
    bool pe32_plus = false;
    uint16_t characteristics = 0;
    uint64_t image_base = 0;
    uint32_t size_of_image = 0;
    uint32_t size_of_headers = 0;
    uint32_t entry_rva = 0;
    uint32_t reloc_dir_size = 0;
    uint32_t exception_dir_size = 0;  // .pdata (x64 unwind information)
    std::vector<Section> sections;
    std::vector<Export> exports;
    std::vector<Import> imports;
    std::vector<Relocation> relocations;  // ABSOLUTE (padding) entries left out
    std::vector<Resource> resources;
    std::vector<uint8_t> bytes;           // the file as read
};

// Reads and parses `path`. On failure returns false and describes why in *error.
bool load(const std::string& path, Image* image, std::string* error);

// Copies the image as the loader lays it out in memory (headers and sections at
// their virtual addresses, the rest zero), size_of_image bytes long.
std::vector<uint8_t> memory_layout(const Image& image);

}  // namespace pe

#endif
