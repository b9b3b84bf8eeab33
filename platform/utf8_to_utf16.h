// UTF-8 to UTF-16, for handing a UTF-8 file name to Windows' wide-name calls
// without any system library: header-only, no C runtime.
#ifndef JOBCUT_PLATFORM_UTF8_TO_UTF16_H
#define JOBCUT_PLATFORM_UTF8_TO_UTF16_H

#include <stdint.h>

namespace jobcut {

// Converts the zero-terminated UTF-8 `text` into `out`, zero-terminated. A
// text's UTF-16 units never outnumber its bytes: `out` needs room for as many
// units as `text` has bytes, plus one. Returns false for
// bytes that are not UTF-8: a stray or missing continuation byte, an overlong
// form, a surrogate, or a value above U+10FFFF. Nothing else is changed, so
// the name stays the file system's exact name.
inline bool utf8_to_utf16(const char* text, uint16_t* out) {
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
    while (*in) {
        const unsigned lead = *in++;
        uint32_t value;
        int more;
        uint32_t lowest;
        if (lead < 0x80) {
            *out++ = static_cast<uint16_t>(lead);
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            value = lead & 0x1F, more = 1, lowest = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            value = lead & 0x0F, more = 2, lowest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            value = lead & 0x07, more = 3, lowest = 0x10000;
        } else {
            return false;  // a continuation byte, C0/C1 (always overlong) or F5..FF
        }
        for (; more > 0; --more) {
            const unsigned next = *in;
            if ((next & 0xC0) != 0x80) return false;  // cut short (the terminator included)
            value = (value << 6) | (next & 0x3F);
            ++in;
        }
        if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
        if (value >= 0x10000) {
            value -= 0x10000;
            *out++ = static_cast<uint16_t>(0xD800 | (value >> 10));
            *out++ = static_cast<uint16_t>(0xDC00 | (value & 0x3FF));
        } else {
            *out++ = static_cast<uint16_t>(value);
        }
    }
    *out = 0;
    return true;
}

}  // namespace jobcut

#endif
