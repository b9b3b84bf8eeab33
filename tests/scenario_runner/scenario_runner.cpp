#include "scenario_runner.h"

#include "host/avisynth/sample_type.h"

namespace scenario {
namespace {

size_t text_length(const char* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

bool same(const char* a, size_t a_size, const char* b) {
    size_t b_size = text_length(b);
    if (a_size != b_size) return false;
    for (size_t i = 0; i < a_size; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// A byte array that grows in the Host's memory.
class Bytes {
public:
    explicit Bytes(Host& host) : host_(host) {}
    ~Bytes() { host_.release(data_); }
    Bytes(const Bytes&) = delete;
    Bytes& operator=(const Bytes&) = delete;

    bool append(const uint8_t* bytes, size_t count) {
        if (!reserve(size_ + count + 1)) return false;
        for (size_t i = 0; i < count; ++i) data_[size_ + i] = bytes[i];
        size_ += count;
        data_[size_] = 0;  // kept terminated so it can serve as a name
        return true;
    }
    bool append_byte(uint8_t byte) { return append(&byte, 1); }
    void clear() {
        size_ = 0;
        if (data_) data_[0] = 0;
    }
    const uint8_t* data() const { return data_; }
    const char* text() const { return data_ ? reinterpret_cast<const char*>(data_) : ""; }
    size_t size() const { return size_; }

private:
    bool reserve(size_t wanted) {
        if (wanted <= capacity_) return true;
        size_t capacity = capacity_ ? capacity_ : 64;
        while (capacity < wanted) capacity *= 2;
        uint8_t* grown = static_cast<uint8_t*>(host_.allocate(capacity));
        if (!grown) return false;
        for (size_t i = 0; i < size_; ++i) grown[i] = data_[i];
        host_.release(data_);
        data_ = grown;
        capacity_ = capacity;
        return true;
    }

    Host& host_;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// A cursor over one line of the list.
struct Cursor {
    const char* at;
    const char* end;

    bool done() const { return at >= end; }
    // The next word up to a space (not consumed).
    size_t word_size() const {
        size_t n = 0;
        while (at + n < end && at[n] != ' ') ++n;
        return n;
    }
    void skip_spaces() {
        while (at < end && *at == ' ') ++at;
    }
};

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes TEXT's escapes into `out`. False on a malformed escape.
bool decode(const char* at, const char* end, Bytes& out) {
    while (at < end) {
        char c = *at++;
        if (c != '\\') {
            if (!out.append_byte(uint8_t(c))) return false;
            continue;
        }
        if (at >= end) return false;
        char e = *at++;
        uint8_t byte;
        switch (e) {
            case 'n': byte = '\n'; break;
            case 'r': byte = '\r'; break;
            case 't': byte = '\t'; break;
            case 's': byte = ' '; break;
            case '\\': byte = '\\'; break;
            case 'x': {
                if (end - at < 2 || hex_digit(at[0]) < 0 || hex_digit(at[1]) < 0) return false;
                byte = uint8_t(hex_digit(at[0]) * 16 + hex_digit(at[1]));
                at += 2;
                break;
            }
            default: return false;
        }
        if (!out.append_byte(byte)) return false;
    }
    return true;
}

// A whole word as a signed decimal number that fits `min`..`max`.
bool parse_number(const char* at, size_t size, int64_t min, int64_t max, int64_t* value) {
    bool negative = size > 0 && at[0] == '-';
    size_t i = negative ? 1 : 0;
    if (i == size) return false;
    uint64_t magnitude = 0;
    for (; i < size; ++i) {
        if (at[i] < '0' || at[i] > '9') return false;
        magnitude = magnitude * 10 + uint64_t(at[i] - '0');
        if (magnitude > (uint64_t(1) << 63)) return false;
    }
    if (negative) {
        if (magnitude > uint64_t(-(min + 1)) + 1) return false;
        *value = magnitude == (uint64_t(1) << 63) ? INT64_MIN : -int64_t(magnitude);
    } else {
        if (magnitude > uint64_t(max)) return false;
        *value = int64_t(magnitude);
    }
    return true;
}

Properties default_source() {
    return Properties{64, 48, 25, 1, 1000, 7, 200, 2, 2, 8000, 0};
}

struct ClipEntry {
    int clip;
    int source;
    int64_t live_before;  // the plug-in's live heap blocks before the clip was made
};

class Runner {
public:
    Runner(Host& host, Report& report)
        : host_(host), report_(report), content_(host), file_name_(host), scratch_(host) {}
    ~Runner() { host_.release(clips_); }

    void run_line(const char* at, const char* end);

private:
    enum class NameMode { kDefault, kNone, kWritten, kMissing, kDirectory };

    bool text_argument(Cursor c, Bytes& out) {
        out.clear();
        if (!decode(c.at, c.end, out)) {
            report_.problem("bad text escape");
            return false;
        }
        return true;
    }

    void reset_scenario() {
        content_.clear();
        name_mode_ = NameMode::kDefault;
        source_ = default_source();
    }

    bool push_clip(const ClipEntry& entry) {
        if (clip_count_ == clip_capacity_) {
            int capacity = clip_capacity_ ? clip_capacity_ * 2 : 16;
            ClipEntry* grown = static_cast<ClipEntry*>(host_.allocate(sizeof(ClipEntry) * size_t(capacity)));
            if (!grown) return false;
            for (int i = 0; i < clip_count_; ++i) grown[i] = clips_[i];
            host_.release(clips_);
            clips_ = grown;
            clip_capacity_ = capacity;
        }
        clips_[clip_count_++] = entry;
        return true;
    }

    const ClipEntry* current() {
        if (clip_count_ == 0) report_.problem("no current clip");
        return clip_count_ ? &clips_[clip_count_ - 1] : nullptr;
    }

    void print_info(const Properties& p) {
        report_.put("  vi width=");
        report_.put_number(p.width);
        report_.put(" height=");
        report_.put_number(p.height);
        report_.put(" fps=");
        report_.put_unsigned(p.fps_numerator);
        report_.put("/");
        report_.put_unsigned(p.fps_denominator);
        report_.put(" frames=");
        report_.put_number(p.num_frames);
        report_.put(" pixel_type=");
        report_.put_number(p.pixel_type);
        report_.put(" rate=");
        report_.put_number(p.audio_rate);
        report_.put(" type=");
        report_.put_number(p.sample_type);
        report_.put(" channels=");
        report_.put_number(p.channels);
        report_.put(" samples=");
        report_.put_number(p.audio_samples);
        report_.put(" image_type=");
        report_.put_number(p.image_type);
        report_.end_line();
    }

    void print_leaks(int64_t live_before) {
        int64_t leaked = host_.live_allocations() - live_before;
        if (leaked != 0) {
            report_.put("  leaked ");
            report_.put_number(leaked);
            report_.put(" allocations");
            report_.end_line();
        }
    }

    void source_keys(Cursor c);
    void create(bool shared);
    void audio(int64_t start, int64_t count);
    void print_audio_result(const uint8_t* data, int64_t bytes, int64_t bps);

    Host& host_;
    Report& report_;
    Bytes content_;
    Bytes file_name_;
    Bytes scratch_;
    NameMode name_mode_ = NameMode::kDefault;
    Properties source_ = default_source();
    ClipEntry* clips_ = nullptr;
    int clip_count_ = 0;
    int clip_capacity_ = 0;
};

void Runner::source_keys(Cursor c) {
    while (true) {
        c.skip_spaces();
        if (c.done()) return;
        size_t size = c.word_size();
        const char* word = c.at;
        c.at += size;
        size_t eq = 0;
        while (eq < size && word[eq] != '=') ++eq;
        const char* value = word + eq + 1;
        size_t value_size = eq < size ? size - eq - 1 : 0;
        int64_t v = 0;
        bool ok = eq < size;
        auto key = [&](const char* name) { return same(word, eq, name); };
        auto int32 = [&](int32_t* field) {
            ok = ok && parse_number(value, value_size, INT32_MIN, INT32_MAX, &v);
            if (ok) *field = int32_t(v);
        };
        if (key("fps")) {
            size_t slash = 0;
            while (slash < value_size && value[slash] != '/') ++slash;
            int64_t num = 0, den = 0;
            ok = ok && slash < value_size && parse_number(value, slash, 0, UINT32_MAX, &num) &&
                 parse_number(value + slash + 1, value_size - slash - 1, 0, UINT32_MAX, &den);
            if (ok) {
                source_.fps_numerator = uint32_t(num);
                source_.fps_denominator = uint32_t(den);
            }
        } else if (key("samples")) {
            ok = ok && parse_number(value, value_size, INT64_MIN, INT64_MAX, &v);
            if (ok) source_.audio_samples = v;
        } else if (key("width")) {
            int32(&source_.width);
        } else if (key("height")) {
            int32(&source_.height);
        } else if (key("frames")) {
            int32(&source_.num_frames);
        } else if (key("pixel_type")) {
            int32(&source_.pixel_type);
        } else if (key("rate")) {
            int32(&source_.audio_rate);
        } else if (key("type")) {
            int32(&source_.sample_type);
        } else if (key("channels")) {
            int32(&source_.channels);
        } else if (key("image_type")) {
            int32(&source_.image_type);
        } else {
            ok = false;
        }
        if (!ok) report_.problem("bad source setting");
    }
}

void Runner::create(bool shared) {
    int source;
    if (shared) {
        const ClipEntry* entry = current();
        if (!entry) return;
        source = entry->source;
    } else {
        source = host_.make_source(source_);
    }

    const char* name = nullptr;
    switch (name_mode_) {
        case NameMode::kDefault:
            name = "cuts.vcf";
            if (!host_.write_file(name, content_.data(), content_.size())) report_.problem("cannot write cuts.vcf");
            break;
        case NameMode::kWritten:
            name = file_name_.text();
            if (!host_.write_file(name, content_.data(), content_.size())) report_.problem("cannot write the settings file");
            break;
        case NameMode::kMissing:
            name = file_name_.text();
            host_.remove_file(name);
            break;
        case NameMode::kDirectory:
            name = file_name_.text();
            host_.make_directory(name);
            break;
        case NameMode::kNone: break;
    }

    const int64_t live_before = host_.live_allocations();
    const int64_t open_before = host_.open_files();
    int clip = -1;
    const char* error = nullptr;
    bool made = host_.create(source, name, report_, &clip, &error);
    if (report_.failed_fatally()) return;
    if (made) {
        report_.put("  clip");
        report_.end_line();
        print_info(host_.info(clip, report_));
    } else {
        report_.put("  error ");
        report_.put(error ? error : "(no message)");
        report_.end_line();
    }
    report_.put("  source refs ");
    report_.put_number(host_.source_refs(source));
    report_.end_line();
    if (host_.open_files() != open_before) report_.problem("files left open:", host_.open_files() - open_before);
    if (made) {
        if (!push_clip(ClipEntry{clip, source, live_before})) report_.fatal("out of memory");
    } else {
        print_leaks(live_before);
    }
}

void Runner::audio(int64_t start, int64_t count) {
    const ClipEntry* entry = current();
    if (!entry) return;
    Properties p = host_.info(entry->clip, report_);
    const int64_t bps = jobcut::bytes_per_audio_sample(p.sample_type, p.channels);
    int64_t bytes = count > 0 ? count * bps : 0;
    if (bps != 0 && count > 0 && bytes / bps != count) bytes = -1;
    if (bytes < 0 || bytes > (int64_t(1) << 28)) {
        report_.problem("audio request too large for the test buffer");
        return;
    }
    const size_t total = size_t(bytes + 2 * kGuardBytes);
    uint8_t* buffer = static_cast<uint8_t*>(host_.allocate(total));
    if (!buffer) {
        report_.fatal("out of memory");
        return;
    }
    for (size_t i = 0; i < total; ++i) buffer[i] = kFillByte;
    report_.begin_audio();
    host_.audio(entry->clip, start, count, buffer, bytes, report_);
    if (!report_.failed_fatally()) print_audio_result(buffer, bytes, bps);
    host_.release(buffer);
}

// What the plug-in left in the buffer: guards, each source request's bytes,
// and runs of the bytes no request covered.
void Runner::print_audio_result(const uint8_t* buffer, int64_t bytes, int64_t bps) {
    const uint8_t* data = buffer + kGuardBytes;
    for (int64_t i = 0; i < kGuardBytes; ++i) {
        if (buffer[i] != kFillByte || data[bytes + i] != kFillByte) {
            report_.put("  guard overwritten");
            report_.end_line();
            break;
        }
    }

    // Which request last wrote each byte (-1: none).
    int32_t* owner = static_cast<int32_t*>(host_.allocate(size_t(bytes > 0 ? bytes : 1) * sizeof(int32_t)));
    if (!owner) {
        report_.fatal("out of memory");
        return;
    }
    for (int64_t i = 0; i < bytes; ++i) owner[i] = -1;
    const Report::AudioRequest* requests = report_.audio_requests();
    for (int r = 0; r < report_.audio_request_count(); ++r) {
        const Report::AudioRequest& q = requests[r];
        if (q.count <= 0 || bps == 0) continue;
        int64_t from = q.at < 0 ? 0 : q.at;
        int64_t length = q.count > (int64_t(1) << 40) / bps ? (int64_t(1) << 40) : q.count * bps;
        int64_t to = q.at + length;
        if (to > bytes) to = bytes;
        for (int64_t i = from; i < to; ++i) owner[i] = r;
    }

    // Bytes of a request that do not hold the source's samples, as runs.
    for (int64_t i = 0; i < bytes;) {
        int32_t r = owner[i];
        bool wrong = false;
        if (r >= 0) {
            const Report::AudioRequest& q = requests[r];
            int64_t offset = i - q.at;
            wrong = data[i] != source_sample_byte(q.start + offset / bps, offset % bps);
        }
        if (!wrong) {
            ++i;
            continue;
        }
        report_.put("  wrong samples at=");
        report_.put_number(i);
        report_.end_line();
        while (i < bytes && owner[i] >= 0) {
            const Report::AudioRequest& q = requests[owner[i]];
            int64_t offset = i - q.at;
            if (data[i] == source_sample_byte(q.start + offset / bps, offset % bps)) break;
            ++i;
        }
    }

    for (int64_t i = 0; i < bytes;) {
        if (owner[i] >= 0) {
            ++i;
            continue;
        }
        int64_t run = i;
        while (run < bytes && owner[run] < 0 && data[run] == data[i]) ++run;
        if (data[i] == kFillByte) {
            report_.put("  unwritten at=");
            report_.put_number(i);
            report_.put(" bytes=");
            report_.put_number(run - i);
        } else {
            report_.put("  silence at=");
            report_.put_number(i);
            report_.put(" bytes=");
            report_.put_number(run - i);
            report_.put(" fill=0x");
            report_.put_hex_byte(data[i]);
        }
        report_.end_line();
        i = run;
    }
    host_.release(owner);
}

void Runner::run_line(const char* at, const char* end) {
    report_.put(at, size_t(end - at));
    report_.end_line();

    Cursor c{at, end};
    const size_t word_size = c.word_size();
    const char* word = c.at;
    c.at += word_size;
    // TEXT: the rest of the line after the keyword and one space.
    Cursor text{c.at < end ? c.at + 1 : end, end};
    auto is = [&](const char* name) { return same(word, word_size, name); };
    auto number_word = [&](int64_t min, int64_t max, int64_t* value) {
        c.skip_spaces();
        size_t size = c.word_size();
        bool ok = parse_number(c.at, size, min, max, value);
        c.at += size;
        return ok;
    };

    if (is("load")) {
        if (!host_.load(report_) && !report_.failed_fatally()) report_.fatal("the plug-in cannot be loaded");
    } else if (is("scenario")) {
        reset_scenario();
    } else if (is("line") || is("text")) {
        if (text_argument(text, scratch_)) {
            if (!content_.append(scratch_.data(), scratch_.size()) || (is("line") && !content_.append_byte('\n')))
                report_.fatal("out of memory");
        }
    } else if (is("repeat")) {
        int64_t n;
        if (!number_word(0, INT32_MAX, &n)) {
            report_.problem("bad repeat count");
            return;
        }
        Cursor rest{c.at < end ? c.at + 1 : end, end};
        if (!text_argument(rest, scratch_)) return;
        for (int64_t i = 0; i < n; ++i) {
            if (!content_.append(scratch_.data(), scratch_.size())) {
                report_.fatal("out of memory");
                return;
            }
        }
    } else if (is("filename") || is("missing") || is("directory")) {
        if (is("filename") && same(text.at, size_t(text.end - text.at), "none")) {
            name_mode_ = NameMode::kNone;
        } else if (text_argument(text, file_name_)) {
            name_mode_ = is("filename") ? NameMode::kWritten : is("missing") ? NameMode::kMissing : NameMode::kDirectory;
        }
    } else if (is("source")) {
        source_keys(c);
    } else if (is("create")) {
        c.skip_spaces();
        if (c.done()) {
            create(false);
        } else if (same(c.at, size_t(end - c.at), "shared")) {
            create(true);
        } else {
            report_.problem("unknown create mode");
        }
    } else if (is("info")) {
        if (const ClipEntry* entry = current()) print_info(host_.info(entry->clip, report_));
    } else if (is("version")) {
        if (const ClipEntry* entry = current()) {
            int v = host_.version(entry->clip, report_);
            report_.put("  version ");
            report_.put_number(v);
            report_.end_line();
        }
    } else if (is("frame")) {
        int64_t n;
        if (!number_word(INT32_MIN, INT32_MAX, &n)) {
            report_.problem("bad frame number");
            return;
        }
        if (const ClipEntry* entry = current()) {
            FrameResult got = host_.frame(entry->clip, int32_t(n), report_);
            if (report_.failed_fatally()) return;
            if (got.ours) {
                report_.put("  got frame ");
                report_.put_number(got.tag);
                report_.put(" refs ");
                report_.put_number(got.refs);
            } else {
                report_.put("  got foreign frame");
            }
            report_.end_line();
        }
    } else if (is("parity")) {
        int64_t n;
        if (!number_word(INT32_MIN, INT32_MAX, &n)) {
            report_.problem("bad frame number");
            return;
        }
        if (const ClipEntry* entry = current()) {
            bool parity = host_.parity(entry->clip, int32_t(n), report_);
            if (report_.failed_fatally()) return;
            report_.put(parity ? "  got parity true" : "  got parity false");
            report_.end_line();
        }
    } else if (is("audio")) {
        int64_t start, count;
        if (!number_word(INT64_MIN, INT64_MAX, &start) || !number_word(INT64_MIN, INT64_MAX, &count)) {
            report_.problem("bad audio request");
            return;
        }
        audio(start, count);
    } else if (is("release")) {
        if (const ClipEntry* entry = current()) {
            ClipEntry released = *entry;
            --clip_count_;
            host_.release_clip(released.clip, report_);
            if (report_.failed_fatally()) return;
            report_.put("  source refs ");
            report_.put_number(host_.source_refs(released.source));
            report_.end_line();
            print_leaks(released.live_before);
        }
    } else {
        report_.problem("unknown action");
    }
}

}  // namespace

uint8_t source_sample_byte(int64_t s, int64_t j) {
    int64_t m = s % 251;
    if (m < 0) m += 251;
    return uint8_t((m * 13 + j * 7 + 5) % 251);
}

Report::~Report() {
    flush();
    host_.release(out_);
    host_.release(requests_);
}

void Report::put(const char* text, size_t size) {
    if (out_size_ + size > out_capacity_) {
        size_t capacity = out_capacity_ ? out_capacity_ : 4096;
        while (capacity < out_size_ + size) capacity *= 2;
        char* grown = static_cast<char*>(host_.allocate(capacity));
        if (!grown) {
            flush();
            host_.write_output(text, size);
            return;
        }
        for (size_t i = 0; i < out_size_; ++i) grown[i] = out_[i];
        host_.release(out_);
        out_ = grown;
        out_capacity_ = capacity;
    }
    for (size_t i = 0; i < size; ++i) out_[out_size_ + i] = text[i];
    out_size_ += size;
}

void Report::put(const char* text) { put(text, text_length(text)); }

void Report::put_unsigned(uint64_t value) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    char text[24];
    for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
    put(text, size_t(n));
}

void Report::put_number(int64_t value) {
    if (value < 0) {
        put("-");
        put_unsigned(uint64_t(0) - uint64_t(value));
    } else {
        put_unsigned(uint64_t(value));
    }
}

void Report::put_hex_byte(uint8_t value) {
    const char digits[] = "0123456789ABCDEF";
    char text[2] = {digits[value >> 4], digits[value & 15]};
    put(text, 2);
}

void Report::end_line() { put("\n", 1); }

void Report::flush() {
    if (out_size_) host_.write_output(out_, out_size_);
    out_size_ = 0;
}

void Report::function_registered(const char* name, const char* params, bool has_user_data) {
    put("  function ");
    put(name);
    put(" ");
    put(params);
    if (has_user_data) put(" userdata");
    end_line();
}

void Report::entry_returned(const char* text) {
    if (text) {
        put("  entry returned ");
        put(text);
    } else {
        put("  entry returned null");
    }
    end_line();
}

void Report::source_frame(int32_t n) {
    put("  source frame ");
    put_number(n);
    end_line();
}

void Report::source_parity(int32_t n) {
    put("  source parity ");
    put_number(n);
    end_line();
}

void Report::begin_audio() { request_count_ = 0; }

void Report::source_audio(int64_t at, int64_t start, int64_t count) {
    put("  source audio at=");
    put_number(at);
    put(" start=");
    put_number(start);
    put(" count=");
    put_number(count);
    end_line();
    if (request_count_ == request_capacity_) {
        int capacity = request_capacity_ ? request_capacity_ * 2 : 16;
        AudioRequest* grown = static_cast<AudioRequest*>(host_.allocate(sizeof(AudioRequest) * size_t(capacity)));
        if (!grown) {
            fatal("out of memory");
            return;
        }
        for (int i = 0; i < request_count_; ++i) grown[i] = requests_[i];
        host_.release(requests_);
        requests_ = grown;
        request_capacity_ = capacity;
    }
    requests_[request_count_++] = AudioRequest{at, start, count};
}

void Report::problem(const char* text) {
    put("  ");
    put(text);
    end_line();
}

void Report::problem(const char* text, int64_t value) {
    put("  ");
    put(text);
    put(" ");
    put_number(value);
    end_line();
}

void Report::fatal(const char* text) {
    problem(text);
    fatal_ = true;
}

int run(Host& host, const char* script, size_t size) {
    Report report(host);
    Runner runner(host, report);
    const char* end = script + size;
    for (const char* at = script; at < end;) {
        const char* line_end = at;
        while (line_end < end && *line_end != '\n') ++line_end;
        // Comments, blank lines and expected results are not actions.
        bool blank = true;
        for (const char* c = at; c < line_end && blank; ++c)
            blank = *c == ' ' || *c == '\t' || *c == '\r' || *c == '\v' || *c == '\f';
        bool expected = line_end - at >= 2 && at[0] == ' ' && at[1] == ' ';
        if (!blank && !expected && *at != '#') runner.run_line(at, line_end);
        report.flush();
        if (report.failed_fatally()) return 1;
        at = line_end + 1;
    }
    return 0;
}

}  // namespace scenario
