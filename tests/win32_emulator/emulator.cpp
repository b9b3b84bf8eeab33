// Runs the 32-bit Windows DLL under x86 CPU emulation (Unicorn) as a 32-bit
// MSVC-built host would: the loader's relocation and import binding, msvcrt's
// file and heap calls, and the host's environment, source clips and frames as
// objects in emulated memory whose vtables lead to hooks. Every call into the
// plug-in is checked for the stack bytes its convention pops and for the
// registers it must preserve.
//
// The host's objects are laid out here from the host's published x86 layout,
// not from the plug-in's declarations, so a layout or convention fault on the
// plug-in's side shows up as a failing transcript.
//
// Usage: jobcut_win32_emulator DLL SCENARIO_FILE
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unicorn/unicorn.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "host/avisynth/sample_type.h"
#include "tests/scenario_runner/native_host.h"
#include "tests/windows_dll/pe_file.h"

namespace {

// The emulated address space.
constexpr uint32_t kGdtBase = 0x00001000;
constexpr uint32_t kTebBase = 0x00002000;
constexpr uint32_t kSentinel = 0x00010000;  // return address of every call into the plug-in
constexpr uint32_t kHookBase = 0x00100000;  // one byte per host function, all `hlt`
constexpr uint32_t kHookPage = 0x1000;
constexpr uint32_t kStackBase = 0x00200000;
constexpr uint32_t kStackSize = 0x00100000;
constexpr uint32_t kHeapBase = 0x01000000;  // the plug-in's malloc blocks
constexpr uint32_t kHeapSize = 0x04000000;
constexpr uint32_t kHostBase = 0x08000000;  // the host's own objects
constexpr uint32_t kHostSize = 0x01000000;
constexpr uint32_t kImageBase = 0x20000000;  // not the DLL's preferred base: relocations must apply
constexpr uint32_t kAudioBase = 0x40000000;  // the GetAudio buffer, mapped per call

// x86 layout of the host's objects.
constexpr uint32_t kClipRefcount = 4;  // IClip: vptr @0, refcnt @4
constexpr uint32_t kFilterVideoInfo = 16;  // GenericVideoFilter: child @8, vi @16
constexpr uint32_t kValueSize = 8;     // AVSValue: type @0, array_size @2, payload @4
constexpr uint32_t kVideoInfoSize = 48;
constexpr uint32_t kFrameSize = 36;       // VideoFrame: refcount @0, vfb @4, 7 ints
constexpr uint32_t kFrameBufferSize = 16;  // VideoFrameBuffer: data @0, size @4, sequence @8, refcount @12
constexpr uint32_t kBufferRefcount = 12;

// Bytes each function pops: stdcall 4 per dword argument (this included), cdecl 0.
enum ClipSlot { kGetVersion, kGetFrame, kGetParity, kGetAudio, kSetCacheHints, kGetVideoInfo, kDestructor };
constexpr uint32_t kClipSlotPops[] = {4, 16, 8, 28, 12, 4, 4};
constexpr const char* kClipSlotNames[] = {"GetVersion", "GetFrame", "GetParity", "GetAudio",
                                          "SetCacheHints", "GetVideoInfo", "destructor"};

constexpr uint32_t kCalleeSaved[] = {UC_X86_REG_EBX, UC_X86_REG_ESI, UC_X86_REG_EDI, UC_X86_REG_EBP};
constexpr const char* kCalleeSavedNames[] = {"EBX", "ESI", "EDI", "EBP"};

uint32_t align_up(uint32_t value, uint32_t alignment) { return (value + alignment - 1) & ~(alignment - 1); }

class Emulator;

// A host function called by the plug-in: reads its stack arguments and returns
// by popping as its convention says.
struct HookCall {
    Emulator& emu;
    uint32_t esp;  // at entry: [esp] is the return address
    uint32_t arg(int index) const;
    uint64_t arg64(int index) const { return arg(index) | uint64_t(arg(index + 1)) << 32; }
    void ret(uint32_t eax, uint32_t popped) const { ret64(eax, 0, popped); }
    void ret64(uint32_t eax, uint32_t edx, uint32_t popped) const;
};

class Emulator final : public scenario::NativeHost {
public:
    explicit Emulator(std::string dll_path) : NativeHost(std::cout), dll_path_(std::move(dll_path)) {}
    ~Emulator() {
        for (auto& file : files_) close(file.second);
        if (uc_) uc_close(uc_);
    }

    bool start(std::string* error);

    bool load(scenario::Report& report) override;
    int make_source(const scenario::Properties& properties) override;
    bool create(int source, const char* file_name, scenario::Report& report, int* clip, const char** error) override;
    int64_t source_refs(int source) override { return int32_t(read32(sources_[source].address + kClipRefcount)); }
    scenario::Properties info(int clip, scenario::Report& report) override;
    int version(int clip, scenario::Report& report) override;
    scenario::FrameResult frame(int clip, int32_t n, scenario::Report& report) override;
    bool parity(int clip, int32_t n, scenario::Report& report) override;
    void audio(int clip, int64_t start, int64_t count, uint8_t* buffer, int64_t bytes, scenario::Report& report) override;
    void release_clip(int clip, scenario::Report& report) override;
    int64_t live_allocations() override { return int64_t(heap_blocks_.size()); }
    int64_t open_files() override { return int64_t(files_.size()); }

    // Memory access for hooks.
    uint32_t read32(uint32_t address) {
        uint32_t value = 0;
        if (uc_mem_read(uc_, address, &value, 4) != UC_ERR_OK) bad_access(address);
        return value;
    }
    void write32(uint32_t address, uint32_t value) {
        if (uc_mem_write(uc_, address, &value, 4) != UC_ERR_OK) bad_access(address);
    }
    void write16(uint32_t address, uint16_t value) {
        if (uc_mem_write(uc_, address, &value, 2) != UC_ERR_OK) bad_access(address);
    }
    bool read_bytes(uint32_t address, void* out, size_t size) { return uc_mem_read(uc_, address, out, size) == UC_ERR_OK; }
    bool write_bytes(uint32_t address, const void* data, size_t size) {
        return uc_mem_write(uc_, address, data, size) == UC_ERR_OK;
    }
    std::string read_text(uint32_t address) {
        std::string text;
        char c;
        while (text.size() < 65536 && read_bytes(address + uint32_t(text.size()), &c, 1) && c != 0) text += c;
        return text;
    }
    uint32_t reg(int id) {
        uint32_t value = 0;
        uc_reg_read(uc_, id, &value);
        return value;
    }
    void set_reg(int id, uint32_t value) { uc_reg_write(uc_, id, &value); }

private:
    struct Source {
        uint32_t address;  // the IClip object
        uint32_t video_info;
    };
    struct Function {
        std::string name;
        std::string params;
        uint32_t apply;
        uint32_t user_data;
    };
    enum class Outcome { kReturned, kThrown, kFault };

    static void on_code(uc_engine*, uint64_t address, uint32_t, void* self) {
        static_cast<Emulator*>(self)->dispatch(uint32_t(address));
    }

    void dispatch(uint32_t address);
    void bad_access(uint32_t address) {
        problem("host access to unmapped address", address);
        stop_with_fault();
    }
    void stop_with_fault() {
        faulted_ = true;
        uc_emu_stop(uc_);
    }
    void problem(const char* text) {
        if (report_) report_->problem(text);
        else fprintf(stderr, "%s\n", text);
    }
    void problem(const char* text, int64_t value) {
        if (report_) report_->problem(text, value);
        else fprintf(stderr, "%s %lld\n", text, static_cast<long long>(value));
    }

    bool map(uint32_t base, uint32_t size, uint8_t fill = 0);
    uint32_t hook(std::function<void(const HookCall&)> handler);
    uint32_t host_alloc(uint32_t size);
    uint32_t host_text(const std::string& text);
    bool load_image(std::string* error);
    bool bind_imports(std::string* error);
    void add_runtime();
    void add_environment();
    void add_source_vtable();
    bool setup_segments();

    Outcome call(uint32_t function, const std::vector<uint32_t>& args, uint32_t ecx, uint32_t expected_pop,
                 const std::string& what, uint32_t* eax = nullptr);
    Outcome call_clip(uint32_t clip, ClipSlot slot, const std::vector<uint32_t>& args, uint32_t* eax);
    std::string format(uint32_t fmt, uint32_t args);

    // msvcrt services.
    int open_file(const std::string& name, uint32_t flags);
    uint32_t heap_alloc(uint32_t size);
    void heap_free(uint32_t address);

    std::string dll_path_;
    uc_engine* uc_ = nullptr;
    uc_hook code_hook_{};
    pe::Image image_;
    std::map<uint32_t, std::function<void(const HookCall&)>> hooks_;
    std::map<std::string, uint32_t> runtime_;  // "dll!name" -> hook address
    uint32_t next_hook_ = kHookBase;
    uint32_t host_next_ = kHostBase;
    uint32_t heap_next_ = kHeapBase;
    std::map<uint32_t, uint32_t> heap_blocks_;  // address -> size
    std::map<int, int> files_;                  // msvcrt descriptor -> Linux descriptor
    int next_file_ = 3;
    uint32_t env_ = 0;
    uint32_t source_vtable_ = 0;
    std::vector<Source> sources_;
    std::map<uint32_t, int32_t> frames_;  // frame objects the sources made -> source frame number
    std::vector<Function> functions_;
    std::vector<uint32_t> clips_;
    uint32_t audio_buffer_ = 0;  // GetAudio's buffer while a call runs
    uint32_t audio_mapped_ = 0;
    uint32_t audio_size_ = 0;
    scenario::Report* report_ = nullptr;
    bool thrown_ = false;
    bool faulted_ = false;
    std::string thrown_text_;
};

uint32_t HookCall::arg(int index) const { return emu.read32(esp + 4 + 4 * uint32_t(index)); }

void HookCall::ret64(uint32_t eax, uint32_t edx, uint32_t popped) const {
    uint32_t return_address = emu.read32(esp);
    emu.set_reg(UC_X86_REG_EAX, eax);
    emu.set_reg(UC_X86_REG_EDX, edx);
    emu.set_reg(UC_X86_REG_ESP, esp + 4 + popped);
    emu.set_reg(UC_X86_REG_EIP, return_address);
}

bool Emulator::map(uint32_t base, uint32_t size, uint8_t fill) {
    if (uc_mem_map(uc_, base, size, UC_PROT_ALL) != UC_ERR_OK) return false;
    std::vector<uint8_t> bytes(size, fill);
    return uc_mem_write(uc_, base, bytes.data(), size) == UC_ERR_OK;
}

uint32_t Emulator::hook(std::function<void(const HookCall&)> handler) {
    uint32_t address = next_hook_++;
    hooks_[address] = std::move(handler);
    return address;
}

uint32_t Emulator::host_alloc(uint32_t size) {
    uint32_t address = host_next_;
    host_next_ = align_up(host_next_ + size, 16);
    if (host_next_ > kHostBase + kHostSize) {
        fprintf(stderr, "host memory exhausted\n");
        exit(1);
    }
    return address;
}

uint32_t Emulator::host_text(const std::string& text) {
    uint32_t address = host_alloc(uint32_t(text.size() + 1));
    write_bytes(address, text.c_str(), text.size() + 1);
    return address;
}

void Emulator::dispatch(uint32_t address) {
    auto found = hooks_.find(address);
    HookCall call{*this, reg(UC_X86_REG_ESP)};
    if (found == hooks_.end()) {
        problem("jump into the host at", address);
        stop_with_fault();
        return;
    }
    found->second(call);
}

bool Emulator::setup_segments() {
    // Flat 32-bit descriptors for code and stack, and one for the TEB behind FS,
    // as a Windows thread has them. SS must be loaded first: loading FS re-derives
    // the stack width from SS's descriptor.
    auto descriptor = [](uint32_t base, uint32_t limit, uint8_t access, uint8_t flags) {
        return uint64_t(limit & 0xFFFF) | uint64_t(base & 0xFFFFFF) << 16 | uint64_t(access) << 40 |
               uint64_t((limit >> 16) & 0xF) << 48 | uint64_t(flags & 0xF) << 52 | uint64_t(base >> 24) << 56;
    };
    uint64_t gdt[4] = {0, descriptor(0, 0xFFFFF, 0x9A, 0xC), descriptor(0, 0xFFFFF, 0x92, 0xC),
                       descriptor(kTebBase, 0xFFF, 0xF2, 0x4)};
    if (!write_bytes(kGdtBase, gdt, sizeof gdt)) return false;
    uc_x86_mmr gdtr{0, kGdtBase, sizeof gdt - 1, 0};
    if (uc_reg_write(uc_, UC_X86_REG_GDTR, &gdtr) != UC_ERR_OK) return false;
    uint32_t teb[7] = {0xFFFFFFFF, kStackBase + kStackSize, kStackBase, 0, 0, 0, kTebBase};
    if (!write_bytes(kTebBase, teb, sizeof teb)) return false;
    uint32_t ss = 0x10, fs = 0x18 | 3;
    return uc_reg_write(uc_, UC_X86_REG_SS, &ss) == UC_ERR_OK && uc_reg_write(uc_, UC_X86_REG_FS, &fs) == UC_ERR_OK;
}

bool Emulator::start(std::string* error) {
    if (!pe::load(dll_path_, &image_, error)) return false;
    if (image_.machine != pe::kMachineI386 || image_.pe32_plus) {
        *error = "not a 32-bit x86 image";
        return false;
    }
    if (uc_open(UC_ARCH_X86, UC_MODE_32, &uc_) != UC_ERR_OK) {
        *error = "cannot start the emulator";
        return false;
    }
    if (!map(kGdtBase, 0x1000) || !map(kTebBase, 0x1000) || !map(kSentinel, 0x1000, 0xF4) ||
        !map(kHookBase, kHookPage, 0xF4) || !map(kStackBase, kStackSize, 0xCC) || !map(kHeapBase, kHeapSize, 0xCD) ||
        !map(kHostBase, kHostSize) || !setup_segments()) {
        *error = "cannot lay out the emulated memory";
        return false;
    }
    if (uc_hook_add(uc_, &code_hook_, UC_HOOK_CODE, reinterpret_cast<void*>(&Emulator::on_code), this, kHookBase,
                    kHookBase + kHookPage - 1) != UC_ERR_OK) {
        *error = "cannot hook the host's functions";
        return false;
    }
    add_runtime();
    add_environment();
    add_source_vtable();
    return load_image(error) && bind_imports(error);
}

bool Emulator::load_image(std::string* error) {
    std::vector<uint8_t> memory = pe::memory_layout(image_);
    const uint32_t delta = kImageBase - uint32_t(image_.image_base);
    for (const pe::Relocation& rel : image_.relocations) {
        if (rel.type != 3 || rel.rva + 4 > memory.size()) {
            *error = "relocation of type " + std::to_string(rel.type) + " at RVA " + std::to_string(rel.rva);
            return false;
        }
        uint32_t value;
        std::memcpy(&value, &memory[rel.rva], 4);
        value += delta;
        std::memcpy(&memory[rel.rva], &value, 4);
    }
    if (delta != 0 && image_.relocations.empty()) {
        *error = "the image cannot move: no relocations";
        return false;
    }
    const uint32_t size = align_up(image_.size_of_image, 0x1000);
    memory.resize(size, 0);
    if (uc_mem_map(uc_, kImageBase, size, UC_PROT_ALL) != UC_ERR_OK || !write_bytes(kImageBase, memory.data(), size)) {
        *error = "cannot map the image";
        return false;
    }
    return true;
}

bool Emulator::bind_imports(std::string* error) {
    // Imports are bound by name to the hooks add_runtime registered.
    bool ok = true;
    for (const pe::Import& imp : image_.imports) {
        std::string dll = imp.dll;
        for (char& c : dll) c = char(tolower(static_cast<unsigned char>(c)));
        auto found = runtime_.find(dll + "!" + imp.name);
        if (imp.name.empty() || found == runtime_.end()) {
            *error += (error->empty() ? "" : "; ") + std::string("unknown import ") + imp.dll + "!" +
                      (imp.name.empty() ? "#" + std::to_string(imp.ordinal) : imp.name);
            ok = false;
            continue;
        }
        write32(kImageBase + imp.iat_rva, found->second);
    }
    return ok;
}

void Emulator::add_runtime() {
    auto msvcrt = [&](const char* name, std::function<void(const HookCall&)> handler) {
        runtime_[std::string("msvcrt.dll!") + name] = hook(std::move(handler));
    };
    // msvcrt functions are cdecl: the caller pops.
    msvcrt("_open", [this](const HookCall& c) { c.ret(uint32_t(open_file(read_text(c.arg(0)), c.arg(1))), 0); });
    msvcrt("_read", [this](const HookCall& c) {
        auto file = files_.find(int(c.arg(0)));
        if (file == files_.end()) return c.ret(uint32_t(-1), 0);
        std::vector<uint8_t> data(std::min<uint32_t>(c.arg(2), 1u << 24));
        ssize_t got = read(file->second, data.data(), data.size());
        if (got > 0 && !write_bytes(c.arg(1), data.data(), size_t(got))) {
            problem("_read into unmapped memory at", c.arg(1));
            return stop_with_fault();
        }
        c.ret(uint32_t(got < 0 ? -1 : int32_t(got)), 0);
    });
    msvcrt("_lseeki64", [this](const HookCall& c) {
        auto file = files_.find(int(c.arg(0)));
        int64_t position = -1;
        const uint32_t origin = c.arg(3);
        if (file != files_.end() && origin <= 2)
            position = lseek(file->second, off_t(c.arg64(1)), origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END);
        c.ret64(uint32_t(position), uint32_t(uint64_t(position) >> 32), 0);
    });
    msvcrt("_eof", [this](const HookCall& c) {
        auto file = files_.find(int(c.arg(0)));
        struct stat info;
        off_t here = file == files_.end() ? -1 : lseek(file->second, 0, SEEK_CUR);
        if (here < 0 || fstat(file->second, &info) != 0) return c.ret(uint32_t(-1), 0);
        c.ret(here >= info.st_size ? 1 : 0, 0);
    });
    msvcrt("_close", [this](const HookCall& c) {
        auto file = files_.find(int(c.arg(0)));
        if (file == files_.end()) return c.ret(uint32_t(-1), 0);
        close(file->second);
        files_.erase(file);
        c.ret(0, 0);
    });
    msvcrt("malloc", [this](const HookCall& c) { c.ret(heap_alloc(c.arg(0)), 0); });
    msvcrt("free", [this](const HookCall& c) {
        heap_free(c.arg(0));
        c.ret(0, 0);
    });
    // No block of the plug-in's is larger than its heap: a larger size is a fault, not a request.
    auto oversized = [this](const HookCall& c, const char* what) {
        if (c.arg(2) <= kHeapSize) return false;
        problem(what, c.arg(2));
        stop_with_fault();
        return true;
    };
    auto copy = [this, oversized](const HookCall& c) {
        if (oversized(c, "memory copy of")) return;
        std::vector<uint8_t> data(c.arg(2));
        if (!read_bytes(c.arg(1), data.data(), data.size()) || !write_bytes(c.arg(0), data.data(), data.size())) {
            problem("memory copy over unmapped memory at", c.arg(0));
            return stop_with_fault();
        }
        c.ret(c.arg(0), 0);
    };
    msvcrt("memcpy", copy);
    msvcrt("memmove", copy);
    msvcrt("memset", [this, oversized](const HookCall& c) {
        if (oversized(c, "memset of")) return;
        std::vector<uint8_t> data(c.arg(2), uint8_t(c.arg(1)));
        if (!write_bytes(c.arg(0), data.data(), data.size())) {
            problem("memset over unmapped memory at", c.arg(0));
            return stop_with_fault();
        }
        c.ret(c.arg(0), 0);
    });
    msvcrt("_purecall", [this](const HookCall&) {
        problem("pure virtual function called");
        stop_with_fault();
    });

    // The compiler's 64-bit helpers: two 64-bit operands, callee pops 16, result in EDX:EAX.
    auto ntdll = [&](const char* name, std::function<uint64_t(uint64_t, uint64_t)> op, bool divides) {
        runtime_[std::string("ntdll.dll!") + name] = hook([this, op, divides](const HookCall& c) {
            uint64_t a = c.arg64(0), b = c.arg64(2);
            if (divides && b == 0) {
                problem("64-bit division by zero");
                return stop_with_fault();
            }
            uint64_t r = op(a, b);
            c.ret64(uint32_t(r), uint32_t(r >> 32), 16);
        });
    };
    // INT64_MIN / -1 overflows in C++; the hardware result it stands for is INT64_MIN.
    auto sdiv = [](uint64_t a, uint64_t b) {
        return int64_t(b) == -1 ? uint64_t(0) - a : uint64_t(int64_t(a) / int64_t(b));
    };
    auto srem = [](uint64_t a, uint64_t b) { return int64_t(b) == -1 ? 0 : uint64_t(int64_t(a) % int64_t(b)); };
    ntdll("_alldiv", sdiv, true);
    ntdll("_allrem", srem, true);
    ntdll("_aulldiv", [](uint64_t a, uint64_t b) { return a / b; }, true);
    ntdll("_aullrem", [](uint64_t a, uint64_t b) { return a % b; }, true);
    ntdll("_allmul", [](uint64_t a, uint64_t b) { return a * b; }, false);
}

int Emulator::open_file(const std::string& name, uint32_t flags) {
    constexpr uint32_t kBinary = 0x8000, kAccessMask = 3, kCreateOrChange = 0x0100 | 0x0200 | 0x0400 | 0x0008;
    if (!(flags & kBinary)) problem("_open in text mode, flags", flags);
    if ((flags & kAccessMask) != 0 || (flags & kCreateOrChange)) problem("_open not read-only, flags", flags);
    if (name.empty()) return -1;
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    // msvcrt cannot open a folder (EACCES).
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        return -1;
    }
    files_[next_file_] = fd;
    return next_file_++;
}

uint32_t Emulator::heap_alloc(uint32_t size) {
    // Blocks are never reused, and stay filled with 0xCD until written, so a
    // read of uninitialised memory or a use after free shows as a wrong result.
    const uint32_t address = heap_next_;
    const uint32_t end = align_up(heap_next_ + (size ? size : 1), 16);
    if (end > kHeapBase + kHeapSize || end < heap_next_) return 0;
    heap_next_ = end;
    heap_blocks_[address] = size;
    return address;
}

void Emulator::heap_free(uint32_t address) {
    if (address == 0) return;
    auto block = heap_blocks_.find(address);
    if (block == heap_blocks_.end()) {
        problem("free of a block malloc did not return:", address);
        return;
    }
    std::vector<uint8_t> poison(block->second, 0xDD);
    write_bytes(address, poison.data(), poison.size());
    heap_blocks_.erase(block);
}

void Emulator::add_environment() {
    // IScriptEnvironment as the plug-in sees it: vptr @0, seven slots.
    auto unexpected = [this](const char* name, uint32_t popped, bool returns_text) {
        return hook([this, name, popped, returns_text](const HookCall& c) {
            problem((std::string("unexpected environment call ") + name).c_str());
            c.ret(returns_text ? host_text("") : 0, popped);
        });
    };
    uint32_t slots[7];
    slots[0] = hook([this](const HookCall& c) {  // deleting destructor, thiscall
        problem("unexpected environment call destructor");
        c.ret(reg(UC_X86_REG_ECX), 4);
    });
    slots[1] = unexpected("GetCPUFlags", 4, false);
    slots[2] = unexpected("SaveString", 12, true);
    slots[3] = unexpected("Sprintf", 0, true);
    slots[4] = unexpected("VSprintf", 12, true);
    slots[5] = hook([this](const HookCall& c) {  // ThrowError, cdecl: this, fmt, ...
        if (c.arg(0) != env_) problem("ThrowError on a foreign environment");
        thrown_text_ = format(c.arg(1), c.esp + 12);
        thrown_ = true;
        uc_emu_stop(uc_);  // the host's exception: the plug-in's frames are abandoned
    });
    slots[6] = hook([this](const HookCall& c) {  // AddFunction, stdcall: this, name, params, apply, user_data
        if (c.arg(0) != env_) problem("AddFunction on a foreign environment");
        Function f{read_text(c.arg(1)), read_text(c.arg(2)), c.arg(3), c.arg(4)};
        if (report_) report_->function_registered(f.name.c_str(), f.params.c_str(), f.user_data != 0);
        functions_.push_back(f);
        c.ret(0, 20);
    });
    const uint32_t vtable = host_alloc(sizeof slots);
    write_bytes(vtable, slots, sizeof slots);
    env_ = host_alloc(16);
    write32(env_, vtable);
}

void Emulator::add_source_vtable() {
    auto source_of = [this](uint32_t self) -> const Source* {
        for (const Source& s : sources_)
            if (s.address == self) return &s;
        problem("source call on a foreign object at", self);
        stop_with_fault();
        return nullptr;
    };
    auto check_env = [this](uint32_t env) {
        if (env != env_) problem("source call with a foreign environment");
    };
    uint32_t slots[7];
    slots[kGetVersion] = hook([this](const HookCall& c) {
        problem("unexpected source call GetVersion");
        c.ret(2, 4);
    });
    slots[kGetFrame] = hook([=](const HookCall& c) {  // this, result*, n, env
        if (!source_of(c.arg(0))) return;
        check_env(c.arg(3));
        const int32_t n = int32_t(c.arg(2));
        if (report_) report_->source_frame(n);
        const uint32_t frame = host_alloc(kFrameSize), buffer = host_alloc(kFrameBufferSize);
        write32(frame, 1);
        write32(frame + 4, buffer);
        write32(buffer + kBufferRefcount, 1);
        frames_[frame] = n;
        write32(c.arg(1), frame);
        c.ret(c.arg(1), 16);
    });
    slots[kGetParity] = hook([=](const HookCall& c) {  // this, n
        if (!source_of(c.arg(0))) return;
        const int32_t n = int32_t(c.arg(1));
        if (report_) report_->source_parity(n);
        c.ret(n % 2 != 0 ? 1 : 0, 8);
    });
    slots[kGetAudio] = hook([=](const HookCall& c) {  // this, buf, start (8), count (8), env
        const Source* source = source_of(c.arg(0));
        if (!source) return;
        check_env(c.arg(6));
        const uint32_t buf = c.arg(1);
        const int64_t start = int64_t(c.arg64(2)), count = int64_t(c.arg64(4));
        if (report_) report_->source_audio(int64_t(buf) - int64_t(audio_buffer_), start, count);
        uint8_t vi[kVideoInfoSize];
        read_bytes(source->video_info, vi, sizeof vi);
        int32_t sample_type, channels;
        std::memcpy(&sample_type, vi + 28, 4);
        std::memcpy(&channels, vi + 40, 4);
        const int64_t bps = jobcut::bytes_per_audio_sample(sample_type, channels);
        // Writes only within the mapped buffer and its guards; the runner sees the rest.
        const int64_t lo = std::max<int64_t>(buf, audio_mapped_);
        const int64_t hi = count > 0 ? std::min<int64_t>(int64_t(buf) + count * bps, int64_t(audio_mapped_) + audio_size_) : lo;
        if (hi > lo && bps > 0) {
            std::vector<uint8_t> data(size_t(hi - lo));
            for (int64_t a = lo; a < hi; ++a) {
                const int64_t offset = a - int64_t(buf);
                data[size_t(a - lo)] = scenario::source_sample_byte(start + offset / bps, offset % bps);
            }
            write_bytes(uint32_t(lo), data.data(), data.size());
        }
        c.ret(0, 28);
    });
    slots[kSetCacheHints] = hook([this](const HookCall& c) {
        problem("unexpected source call SetCacheHints");
        c.ret(0, 12);
    });
    slots[kGetVideoInfo] = hook([=](const HookCall& c) {
        const Source* source = source_of(c.arg(0));
        if (source) c.ret(source->video_info, 4);
    });
    slots[kDestructor] = hook([this](const HookCall& c) {  // thiscall: ECX = this; flags
        problem("source destroyed: released more often than referenced");
        c.ret(reg(UC_X86_REG_ECX), 4);
    });
    source_vtable_ = host_alloc(sizeof slots);
    write_bytes(source_vtable_, slots, sizeof slots);
}

// The host's formatting of ThrowError's text, reading the arguments from the
// emulated stack.
std::string Emulator::format(uint32_t fmt_address, uint32_t args) {
    const std::string fmt = read_text(fmt_address);
    std::string out;
    for (size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != '%') {
            out += fmt[i];
            continue;
        }
        std::string directive = "%";
        while (++i < fmt.size() && strchr("-+ #0123456789.", fmt[i])) directive += fmt[i];
        bool wide = false;
        if (fmt.compare(i, 3, "I64") == 0) {
            wide = true;
            i += 3;
        } else if (fmt.compare(i, 2, "ll") == 0) {
            wide = true;
            i += 2;
        } else if (i < fmt.size() && (fmt[i] == 'l' || fmt[i] == 'h')) {
            ++i;
        }
        if (i >= fmt.size()) break;
        const char conversion = fmt[i];
        char piece[512];
        switch (conversion) {
            case '%': out += '%'; continue;
            case 's': {
                std::string text = read_text(read32(args));
                args += 4;
                snprintf(piece, sizeof piece, (directive + "s").c_str(), text.c_str());
                out += piece;
                continue;
            }
            case 'c': {
                snprintf(piece, sizeof piece, (directive + "c").c_str(), int(read32(args)));
                args += 4;
                out += piece;
                continue;
            }
            case 'd': case 'i': case 'u': case 'x': case 'X': {
                const uint64_t value = wide ? read32(args) | uint64_t(read32(args + 4)) << 32 : read32(args);
                args += wide ? 8 : 4;
                const bool is_signed = conversion == 'd' || conversion == 'i';
                const long long v = wide ? (long long)(value) : is_signed ? (long long)int32_t(value) : (long long)uint32_t(value);
                snprintf(piece, sizeof piece, (directive + "ll" + conversion).c_str(), v);
                out += piece;
                continue;
            }
            default: out += directive + conversion; continue;
        }
    }
    return out;
}

Emulator::Outcome Emulator::call(uint32_t function, const std::vector<uint32_t>& args, uint32_t ecx,
                                 uint32_t expected_pop, const std::string& what, uint32_t* eax) {
    if (function < kImageBase || function >= kImageBase + image_.size_of_image) {
        report_->fatal((what + " is not in the plug-in").c_str());
        return Outcome::kFault;
    }
    uint32_t esp = kStackBase + kStackSize - 0x100 - 4 * uint32_t(args.size());
    for (size_t i = 0; i < args.size(); ++i) write32(esp + 4 * uint32_t(i), args[i]);
    esp -= 4;
    write32(esp, kSentinel);
    const uint32_t entry_esp = esp;
    set_reg(UC_X86_REG_ESP, esp);
    set_reg(UC_X86_REG_ECX, ecx);
    uint32_t saved[4];
    for (int k = 0; k < 4; ++k) {
        saved[k] = 0x5A5A0000u + uint32_t(k) * 0x1111u;
        set_reg(int(kCalleeSaved[k]), saved[k]);
    }
    thrown_ = false;
    faulted_ = false;
    const uc_err err = uc_emu_start(uc_, function, kSentinel, 10 * 1000 * 1000, 0);
    if (faulted_) {
        report_->fatal((what + " stopped by the fault above").c_str());
        return Outcome::kFault;
    }
    if (thrown_) return Outcome::kThrown;
    const uint32_t eip = reg(UC_X86_REG_EIP);
    if (err != UC_ERR_OK || eip != kSentinel) {
        char text[200];
        snprintf(text, sizeof text, "%s: emulation stopped at EIP 0x%08X: %s", what.c_str(), eip,
                 err != UC_ERR_OK ? uc_strerror(err) : "did not return in time");
        report_->fatal(text);
        return Outcome::kFault;
    }
    const int64_t popped = int64_t(reg(UC_X86_REG_ESP)) - int64_t(entry_esp) - 4;
    if (popped != expected_pop) {
        char text[200];
        snprintf(text, sizeof text, "bad stack pop %s: %lld bytes, expected %u", what.c_str(), (long long)popped,
                 expected_pop);
        report_->problem(text);
    }
    for (int k = 0; k < 4; ++k) {
        if (reg(int(kCalleeSaved[k])) != saved[k])
            report_->problem((what + " did not preserve " + kCalleeSavedNames[k]).c_str());
    }
    if (eax) *eax = reg(UC_X86_REG_EAX);
    return Outcome::kReturned;
}

Emulator::Outcome Emulator::call_clip(uint32_t clip, ClipSlot slot, const std::vector<uint32_t>& args, uint32_t* eax) {
    const uint32_t function = read32(read32(clip) + 4 * uint32_t(slot));
    std::vector<uint32_t> stack;
    uint32_t ecx = 0xECECECEC;  // a thiscall slip would read this as `this`
    if (slot == kDestructor) {
        ecx = clip;
    } else {
        stack.push_back(clip);
    }
    stack.insert(stack.end(), args.begin(), args.end());
    Outcome outcome = call(function, stack, ecx, kClipSlotPops[slot], kClipSlotNames[slot], eax);
    if (outcome == Outcome::kThrown)
        report_->problem((std::string(kClipSlotNames[slot]) + " raised: " + thrown_text_).c_str());
    return outcome;
}

bool Emulator::load(scenario::Report& report) {
    report_ = &report;
    uint32_t eax = 0;
    // The loader's process-attach call.
    if (call(kImageBase + image_.entry_rva, {kImageBase, 1, 0}, 0, 12, "DllEntry", &eax) != Outcome::kReturned)
        return false;
    if (eax == 0) {
        report.problem("DllEntry refused the load");
        return false;
    }
    uint32_t entry = 0;
    for (const pe::Export& e : image_.exports)
        if (e.name == "_AvisynthPluginInit2@4") entry = kImageBase + e.rva;
    if (entry == 0) {
        report.problem("no export _AvisynthPluginInit2@4");
        return false;
    }
    Outcome outcome = call(entry, {env_}, 0, 4, "AvisynthPluginInit2", &eax);
    if (outcome == Outcome::kThrown) report.problem(("entry raised: " + thrown_text_).c_str());
    if (outcome != Outcome::kReturned) return false;
    std::string text = eax ? read_text(eax) : std::string();
    report.entry_returned(eax ? text.c_str() : nullptr);
    return true;
}

int Emulator::make_source(const scenario::Properties& p) {
    Source s;
    s.address = host_alloc(8);
    write32(s.address, source_vtable_);
    write32(s.address + kClipRefcount, 1);  // the driver's own reference
    s.video_info = host_alloc(kVideoInfoSize);
    uint8_t vi[kVideoInfoSize] = {};
    auto put32 = [&](int at, uint32_t v) { std::memcpy(vi + at, &v, 4); };
    put32(0, uint32_t(p.width));
    put32(4, uint32_t(p.height));
    put32(8, p.fps_numerator);
    put32(12, p.fps_denominator);
    put32(16, uint32_t(p.num_frames));
    put32(20, uint32_t(p.pixel_type));
    put32(24, uint32_t(p.audio_rate));
    put32(28, uint32_t(p.sample_type));
    std::memcpy(vi + 32, &p.audio_samples, 8);
    put32(40, uint32_t(p.channels));
    put32(44, uint32_t(p.image_type));
    write_bytes(s.video_info, vi, sizeof vi);
    sources_.push_back(s);
    return int(sources_.size() - 1);
}

bool Emulator::create(int source, const char* file_name, scenario::Report& report, int* clip, const char** error) {
    report_ = &report;
    if (functions_.empty()) {
        report.problem("no function registered");
        *error = "";
        return false;
    }
    const Function& f = functions_.back();
    const uint32_t source_clip = sources_[source].address;
    // The arguments' elements belong to the host: a reference to the source and
    // the name (or a void value when the script gave none).
    const uint32_t elements = host_alloc(2 * kValueSize);
    write16(elements, 'c');
    write16(elements + 2, 0);
    write32(elements + 4, source_clip);
    write32(source_clip + kClipRefcount, read32(source_clip + kClipRefcount) + 1);
    write16(elements + kValueSize, file_name ? 's' : 'v');
    write16(elements + kValueSize + 2, 0);
    write32(elements + kValueSize + 4, file_name ? host_text(file_name) : 0);
    const uint32_t result = host_alloc(kValueSize);
    write32(result, 0xCCCCCCCC);
    write32(result + 4, 0xCCCCCCCC);

    // cdecl: hidden result pointer, the 8-byte array value itself, user data, env.
    uint32_t eax = 0;
    const Outcome outcome =
        call(f.apply, {result, uint32_t('a') | 2u << 16, elements, f.user_data, env_}, 0, 0, "create callback", &eax);
    if (outcome == Outcome::kFault) return false;

    // The host destroys its elements once the call is over.
    const uint32_t refs = read32(source_clip + kClipRefcount) - 1;
    write32(source_clip + kClipRefcount, refs);
    if (refs == 0) report.problem("source released by the host's elements: its count was too low");

    if (outcome == Outcome::kThrown) {
        *error = thrown_text_.c_str();
        return false;
    }
    if (eax != result) report.problem("create callback did not return its result pointer");
    const uint32_t type = read32(result) & 0xFFFF, filter = read32(result + 4);
    if (type != 'c' || filter == 0) {
        report.problem("create callback returned no clip");
        *error = "";
        return false;
    }
    // A host's cache passes its hints on as soon as it wraps the new clip.
    // A 2.5 host declares it as returning nothing: it pops the same 12 bytes
    // and reads no EAX.
    if (call_clip(filter, kSetCacheHints, {0, 0}, nullptr) == Outcome::kFault) return false;
    // 32-bit AviSynth+ (and 2.6, its own questions) read the answer in EAX.
    for (const scenario::CacheQuestion& q : scenario::kCacheQuestions) {
        uint32_t answer = 0xEEEEEEEE;
        if (call_clip(filter, kSetCacheHints, {uint32_t(q.hints), 0}, &answer) == Outcome::kFault) return false;
        if (int32_t(answer) != q.answer) report.problem("SetCacheHints answered wrongly, hints", q.hints);
    }
    clips_.push_back(filter);
    *clip = int(clips_.size() - 1);
    return true;
}

scenario::Properties Emulator::info(int clip, scenario::Report& report) {
    report_ = &report;
    scenario::Properties p{};
    uint32_t eax = 0;
    if (call_clip(clips_[clip], kGetVideoInfo, {}, &eax) != Outcome::kReturned) return p;
    if (eax != clips_[clip] + kFilterVideoInfo) report.problem("GetVideoInfo: vi is not where GenericVideoFilter keeps it");
    uint8_t vi[kVideoInfoSize];
    if (!read_bytes(eax, vi, sizeof vi)) {
        report.fatal("GetVideoInfo returned an unmapped address");
        return p;
    }
    auto get32 = [&](int at) {
        int32_t v;
        std::memcpy(&v, vi + at, 4);
        return v;
    };
    p.width = get32(0);
    p.height = get32(4);
    p.fps_numerator = uint32_t(get32(8));
    p.fps_denominator = uint32_t(get32(12));
    p.num_frames = get32(16);
    p.pixel_type = get32(20);
    p.audio_rate = get32(24);
    p.sample_type = get32(28);
    std::memcpy(&p.audio_samples, vi + 32, 8);
    p.channels = get32(40);
    p.image_type = get32(44);
    return p;
}

int Emulator::version(int clip, scenario::Report& report) {
    report_ = &report;
    uint32_t eax = 0;
    call_clip(clips_[clip], kGetVersion, {}, &eax);
    return int(eax);
}

scenario::FrameResult Emulator::frame(int clip, int32_t n, scenario::Report& report) {
    report_ = &report;
    scenario::FrameResult got{false, 0, 0};
    const uint32_t result = host_alloc(4);
    write32(result, 0);
    uint32_t eax = 0;
    if (call_clip(clips_[clip], kGetFrame, {result, uint32_t(n), env_}, &eax) != Outcome::kReturned) return got;
    if (eax != result) report.problem("GetFrame did not return its result pointer");
    const uint32_t frame = read32(result);
    auto ours = frames_.find(frame);
    if (ours == frames_.end()) return got;
    got.ours = true;
    got.tag = ours->second;
    got.refs = int32_t(read32(frame));
    // The driver's handle goes: the frame's count, then its buffer's when it reaches 0.
    const uint32_t refs = read32(frame) - 1;
    write32(frame, refs);
    if (refs == 0) {
        const uint32_t buffer = read32(frame + 4);
        write32(buffer + kBufferRefcount, read32(buffer + kBufferRefcount) - 1);
    }
    return got;
}

bool Emulator::parity(int clip, int32_t n, scenario::Report& report) {
    report_ = &report;
    uint32_t eax = 0;
    call_clip(clips_[clip], kGetParity, {uint32_t(n)}, &eax);
    return (eax & 0xFF) != 0;
}

void Emulator::audio(int clip, int64_t start, int64_t count, uint8_t* buffer, int64_t bytes, scenario::Report& report) {
    report_ = &report;
    const uint32_t total = uint32_t(bytes + 2 * scenario::kGuardBytes);
    audio_mapped_ = kAudioBase;
    audio_size_ = align_up(total, 0x1000);
    if (!map(audio_mapped_, audio_size_, scenario::kFillByte) || !write_bytes(audio_mapped_, buffer, total)) {
        report.fatal("cannot map the audio buffer");
        return;
    }
    audio_buffer_ = audio_mapped_ + uint32_t(scenario::kGuardBytes);
    call_clip(clips_[clip], kGetAudio,
              {audio_buffer_, uint32_t(start), uint32_t(uint64_t(start) >> 32), uint32_t(count),
               uint32_t(uint64_t(count) >> 32), env_},
              nullptr);
    read_bytes(audio_mapped_, buffer, total);
    uc_mem_unmap(uc_, audio_mapped_, audio_size_);
    audio_buffer_ = audio_mapped_ = audio_size_ = 0;
}

void Emulator::release_clip(int clip, scenario::Report& report) {
    report_ = &report;
    const uint32_t filter = clips_[clip];
    const uint32_t refs = read32(filter + kClipRefcount) - 1;
    write32(filter + kClipRefcount, refs);
    if (refs == 0) call_clip(filter, kDestructor, {1}, nullptr);  // flags 1: free after destroying
}

}  // namespace

int main(int argc, char** argv) {
    std::string dll, script;
    if (!scenario::driver_arguments(argc, argv, &dll, &script)) return 2;
    // A fresh working folder: the settings files the scenarios write go there.
    const scenario::TempWorkingFolder folder("x86");
    if (!folder.ok()) {
        fprintf(stderr, "cannot make a working folder\n");
        return 2;
    }
    Emulator emulator(dll);
    std::string error;
    if (!emulator.start(&error)) {
        printf("cannot load %s: %s\n", dll.c_str(), error.c_str());
        return 1;
    }
    return scenario::run(emulator, script.data(), script.size());
}
