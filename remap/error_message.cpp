#include "remap/error_message.h"

namespace jobcut {
namespace {

unsigned text_length(const char* text) {
    unsigned length = 0;
    while (text[length]) ++length;
    return length;
}

// Appends within [0, capacity - 1) and keeps the text terminated.
struct Writer {
    char* out;
    unsigned capacity;
    unsigned used;

    void append(const char* text, unsigned length) {
        for (unsigned i = 0; i < length && used + 1 < capacity; ++i) out[used++] = text[i];
        out[used] = 0;
    }
    void append(const char* text) { append(text, text_length(text)); }
    void append_number(int value) {
        char digits[12];
        unsigned count = 0;
        // Work on the negative side so the most negative int needs no special case.
        int rest = value < 0 ? value : -value;
        do {
            digits[count++] = static_cast<char>('0' - rest % 10);
            rest /= 10;
        } while (rest != 0);
        if (value < 0) append("-");
        while (count > 0) append(&digits[--count], 1);
    }
};

// "<head>\"<file name>\"<tail>". A name too long for the area keeps its end,
// the part that tells files apart, behind "...", so the head and the closing
// quote always show.
void compose(char (&out)[kMessageBytes], const char* head, const char* file_name, const char* tail) {
    Writer writer{out, kMessageBytes, 0};
    writer.append(head);
    writer.append("\"");
    const unsigned room = kMessageBytes - 1 - writer.used - 1 - text_length(tail);
    const unsigned name_length = text_length(file_name);
    if (name_length <= room) {
        writer.append(file_name, name_length);
    } else {
        const char ellipsis[] = "...";
        const char* kept = file_name + name_length - (room - (sizeof ellipsis - 1));
        while ((static_cast<unsigned char>(*kept) & 0xC0) == 0x80) ++kept;  // start on a whole UTF-8 character
        writer.append(ellipsis);
        writer.append(kept);
    }
    writer.append("\"");
    writer.append(tail);
}

void compose_with_line(char (&out)[kMessageBytes], const char* head, const char* file_name, int line_number) {
    char tail[24];
    Writer writer{tail, sizeof tail, 0};
    writer.append("(line:");
    writer.append_number(line_number);
    writer.append(")");
    compose(out, head, file_name, tail);
}

}  // namespace

void compose_read_error(char (&out)[kMessageBytes], ReadOutcome outcome, const char* file_name, int line_number) {
    switch (outcome) {
        case kReadTooBig: return compose(out, "Jobcut: file too big - ", file_name, " > 128KB");
        case kReadTooManyRows: return compose(out, "Jobcut: Jobcut too many(max 256) - ", file_name, "");
        case kReadZeroLength: return compose_with_line(out, "Jobcut: 2nd value read error - ", file_name, line_number);
        case kReadFormatError: return compose_with_line(out, "Jobcut: format error - ", file_name, line_number);
        case kReadFailed: return compose(out, "Jobcut: read error - ", file_name, "");
        case kReadCannotOpen: return compose(out, "Jobcut: file not found - ", file_name, "");
        default: {
            char head[40];
            Writer writer{head, sizeof head, 0};
            writer.append("Jobcut: error(");
            writer.append_number(outcome);
            writer.append(") - ");
            return compose(out, head, file_name, "");
        }
    }
}

void compose_table_error(char (&out)[kMessageBytes], TableError error, const char* file_name) {
    switch (error) {
        case TableError::kTooManyFrames: return compose(out, "Jobcut: too many frames(max 2147483647) - ", file_name, "");
        case TableError::kAudioTooLong: return compose(out, "Jobcut: audio too long - ", file_name, "");
        case TableError::kNone: break;
    }
    out[0] = 0;
}

void compose_out_of_memory(char (&out)[kMessageBytes]) {
    Writer writer{out, kMessageBytes, 0};
    writer.append("Jobcut: Not enough memory");
}

}  // namespace jobcut
