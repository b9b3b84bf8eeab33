#include "host/vapoursynth/valid_utf8.h"

namespace jobcut {
namespace vs {
namespace {

// The length of the well-formed sequence at `at`, or 0 (RFC 3629: no
// overlong forms, no surrogates, nothing past U+10FFFF).
int sequence_length(const unsigned char* at) {
    const unsigned char c = at[0];
    if (c < 0x80) return 1;
    int length;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at[1] < low || at[1] > high) return 0;  // the end of the text fails here too
    for (int i = 2; i < length; ++i)
        if ((at[i] & 0xC0) != 0x80) return 0;
    return length;
}

}  // namespace

void repair_utf8(const char* text, char* out) {
    const unsigned char* at = reinterpret_cast<const unsigned char*>(text);
    unsigned char* to = reinterpret_cast<unsigned char*>(out);
    while (*at) {
        const int length = sequence_length(at);
        if (length == 0) {
            *to++ = 0xEF, *to++ = 0xBF, *to++ = 0xBD;
            ++at;
            continue;
        }
        for (int i = 0; i < length; ++i) *to++ = *at++;
    }
    *to = 0;
}

}  // namespace vs
}  // namespace jobcut
