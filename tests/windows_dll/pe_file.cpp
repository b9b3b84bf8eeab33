#include "tests/windows_dll/pe_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace pe {
namespace {

// Bounds-checked little-endian access to the file's bytes.
class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    bool ok() const { return ok_; }

    uint32_t u8(uint64_t at) { return check(at, 1) ? bytes_[at] : 0; }
    uint32_t u16(uint64_t at) { return check(at, 2) ? bytes_[at] | bytes_[at + 1] << 8 : 0; }
    uint32_t u32(uint64_t at) {
        return check(at, 4) ? uint32_t(bytes_[at]) | uint32_t(bytes_[at + 1]) << 8 | uint32_t(bytes_[at + 2]) << 16 |
                                  uint32_t(bytes_[at + 3]) << 24
                            : 0;
    }
    uint64_t u64(uint64_t at) { return u32(at) | uint64_t(u32(at + 4)) << 32; }
    std::string text(uint64_t at) {
        std::string out;
        while (check(at, 1) && bytes_[at] != 0) out += char(bytes_[at++]);
        return out;
    }

private:
    bool check(uint64_t at, uint64_t size) {
        if (at > bytes_.size() || size > bytes_.size() - at) ok_ = false;
        return ok_;
    }

    const std::vector<uint8_t>& bytes_;
    bool ok_ = true;
};

// File offset of an RVA, or ~0 when no section (nor the headers) hold it.
uint64_t file_offset(const Image& image, uint32_t rva) {
    if (rva < image.size_of_headers) return rva;
    for (const Section& s : image.sections) {
        if (rva >= s.virtual_address && rva - s.virtual_address < s.raw_size) return s.raw_offset + (rva - s.virtual_address);
    }
    return ~uint64_t(0);
}

}  // namespace

bool load(const std::string& path, Image* image, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open " + path;
        return false;
    }
    image->bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    Reader r(image->bytes);

    if (r.u16(0) != 0x5A4D) {
        *error = "no MZ header";
        return false;
    }
    uint32_t pe_at = r.u32(0x3C);
    if (r.u32(pe_at) != 0x00004550) {
        *error = "no PE signature";
        return false;
    }
    uint32_t coff = pe_at + 4;
    image->machine = uint16_t(r.u16(coff));
    uint32_t section_count = r.u16(coff + 2);
    uint32_t optional_size = r.u16(coff + 16);
    image->characteristics = uint16_t(r.u16(coff + 18));
    uint32_t opt = coff + 20;
    uint32_t magic = r.u16(opt);
    if (magic != 0x10B && magic != 0x20B) {
        *error = "unknown optional header magic";
        return false;
    }
    image->pe32_plus = magic == 0x20B;
    image->entry_rva = r.u32(opt + 16);
    image->image_base = image->pe32_plus ? r.u64(opt + 24) : r.u32(opt + 28);
    image->size_of_image = r.u32(opt + 56);
    image->size_of_headers = r.u32(opt + 60);
    uint32_t dirs = opt + (image->pe32_plus ? 112 : 96);
    uint32_t dir_count = r.u32(dirs - 4);
    auto dir_rva = [&](uint32_t i) { return i < dir_count ? r.u32(dirs + 8 * i) : 0; };
    auto dir_size = [&](uint32_t i) { return i < dir_count ? r.u32(dirs + 8 * i + 4) : 0; };

    uint32_t table = opt + optional_size;
    for (uint32_t i = 0; i < section_count; ++i) {
        uint32_t at = table + 40 * i;
        Section s;
        for (int k = 0; k < 8 && r.u8(at + k) != 0; ++k) s.name += char(r.u8(at + k));
        s.virtual_size = r.u32(at + 8);
        s.virtual_address = r.u32(at + 12);
        s.raw_size = r.u32(at + 16);
        s.raw_offset = r.u32(at + 20);
        image->sections.push_back(s);
    }
    if (!r.ok()) {
        *error = "headers cut short";
        return false;
    }

    if (uint32_t rva = dir_rva(0); rva != 0 && dir_size(0) != 0) {
        uint64_t dir = file_offset(*image, rva);
        uint32_t names = r.u32(dir + 24);
        uint64_t functions = file_offset(*image, r.u32(dir + 28));
        uint64_t name_table = file_offset(*image, r.u32(dir + 32));
        uint64_t ordinals = file_offset(*image, r.u32(dir + 36));
        uint32_t function_count = r.u32(dir + 20);
        std::vector<bool> named(function_count, false);
        for (uint32_t i = 0; i < names && r.ok(); ++i) {
            Export e;
            e.name = r.text(file_offset(*image, r.u32(name_table + 4 * i)));
            uint32_t index = r.u16(ordinals + 2 * i);
            if (index < function_count) {
                e.rva = r.u32(functions + 4 * index);
                named[index] = true;
            }
            image->exports.push_back(e);
        }
        // Exports by ordinal only would escape a by-name check: list them as
        // nameless. Slots with RVA 0 are unused ordinals, not exports.
        for (uint32_t i = 0; i < function_count && r.ok(); ++i) {
            if (!named[i] && r.u32(functions + 4 * i) != 0) image->exports.push_back(Export{"", r.u32(functions + 4 * i)});
        }
    }

    if (uint32_t rva = dir_rva(1); rva != 0) {
        uint32_t pointer = image->pe32_plus ? 8 : 4;
        for (uint64_t desc = file_offset(*image, rva); r.ok(); desc += 20) {
            uint32_t lookup = r.u32(desc), name_rva = r.u32(desc + 12), iat = r.u32(desc + 16);
            if (lookup == 0 && name_rva == 0 && iat == 0) break;
            std::string dll = r.text(file_offset(*image, name_rva));
            uint64_t thunks = file_offset(*image, lookup != 0 ? lookup : iat);
            for (uint32_t k = 0; r.ok(); ++k) {
                uint64_t entry = image->pe32_plus ? r.u64(thunks + uint64_t(k) * pointer) : r.u32(thunks + uint64_t(k) * pointer);
                if (entry == 0) break;
                Import imp;
                imp.dll = dll;
                imp.iat_rva = iat + k * pointer;
                uint64_t by_ordinal = image->pe32_plus ? uint64_t(1) << 63 : uint64_t(1) << 31;
                if (entry & by_ordinal)
                    imp.ordinal = uint16_t(entry);
                else
                    imp.name = r.text(file_offset(*image, uint32_t(entry)) + 2);
                image->imports.push_back(imp);
            }
        }
    }

    image->exception_dir_size = dir_size(3);
    image->reloc_dir_size = dir_size(5);
    if (uint32_t rva = dir_rva(5); rva != 0) {
        uint64_t at = file_offset(*image, rva), end = at + image->reloc_dir_size;
        while (at + 8 <= end && r.ok()) {
            uint32_t page = r.u32(at), block = r.u32(at + 4);
            if (block < 8) break;
            for (uint32_t k = 8; k + 2 <= block; k += 2) {
                uint32_t entry = r.u16(at + k);
                if ((entry >> 12) != 0) image->relocations.push_back(Relocation{page + (entry & 0xFFF), int(entry >> 12)});
            }
            at += block;
        }
    }

    // Resources: three levels of directories (type, name, language), offsets
    // relative to the tree's start, leaves pointing at their data by RVA.
    if (uint32_t rva = dir_rva(2); rva != 0 && dir_size(2) != 0) {
        const uint64_t root = file_offset(*image, rva);
        auto entries = [&](uint32_t directory, auto&& each) {
            const uint64_t at = root + directory;
            const uint32_t named = r.u16(at + 12), numbered = r.u16(at + 14);
            for (uint32_t i = named; i < named + numbered && r.ok(); ++i)
                each(r.u32(at + 16 + 8 * i), r.u32(at + 20 + 8 * i));
        };
        constexpr uint32_t kSubdirectory = 0x80000000u;
        entries(0, [&](uint32_t type, uint32_t type_dir) {
            if (!(type_dir & kSubdirectory)) return;
            entries(type_dir & ~kSubdirectory, [&](uint32_t id, uint32_t id_dir) {
                if (!(id_dir & kSubdirectory)) return;
                entries(id_dir & ~kSubdirectory, [&](uint32_t language, uint32_t leaf) {
                    if (leaf & kSubdirectory) return;
                    Resource resource{type, id, language, {}};
                    const uint64_t data = file_offset(*image, r.u32(root + leaf));
                    const uint32_t size = r.u32(root + leaf + 4);
                    for (uint32_t k = 0; k < size && r.ok(); ++k) resource.data.push_back(uint8_t(r.u8(data + k)));
                    image->resources.push_back(resource);
                });
            });
        });
    }

    if (!r.ok()) {
        *error = "a table points outside the file";
        return false;
    }
    return true;
}

std::vector<uint8_t> memory_layout(const Image& image) {
    std::vector<uint8_t> memory(image.size_of_image, 0);
    auto copy = [&](uint64_t from, uint64_t to, uint64_t size) {
        for (uint64_t i = 0; i < size && from + i < image.bytes.size() && to + i < memory.size(); ++i)
            memory[to + i] = image.bytes[from + i];
    };
    copy(0, 0, image.size_of_headers);
    for (const Section& s : image.sections) copy(s.raw_offset, s.virtual_address, std::min(s.raw_size, s.virtual_size ? s.virtual_size : s.raw_size));
    return memory;
}

}  // namespace pe
