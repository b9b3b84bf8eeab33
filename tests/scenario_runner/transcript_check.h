// Holds a real host's transcript of the scenario list to the list, result by
// result, on what that host lets one see. A real host hides part of what the
// list prints (the source requests and reference counts; frames and audio
// outside the clip, which it answers itself), and each host may hide more:
// a HostView says what.
#ifndef JOBCUT_TESTS_SCENARIO_RUNNER_TRANSCRIPT_CHECK_H
#define JOBCUT_TESTS_SCENARIO_RUNNER_TRANSCRIPT_CHECK_H

#include <cstdint>
#include <string>

namespace scenario {

// A property a host cannot show: the driver reports it as this value, and the
// checker leaves that field out on both sides.
constexpr int32_t kNotShown = INT32_MIN;

struct HostView {
    const char* name;          // for the report: "real host", "VapourSynth"
    bool shows_parity;         // field parity is an AviSynth notion
    bool clamps_to_source;     // frames past the source's end show its last frame, and
                               // source audio outside the source is silence (0)
    const char* not_applicable;  // a create error beginning with this marks a scenario the
                                 // host cannot run: the rest of it is left out (null: none)
    bool messages_in_utf8;       // scripts read messages as UTF-8: each byte that is not part
                                 // of a UTF-8 character shows as U+FFFD
};

// The text as a reader of UTF-8 sees it when every stray byte shows as U+FFFD
// (the text itself when it is UTF-8).
std::string as_utf8(const std::string& text);

// Compares the transcript with the list and prints what was checked, what the
// host hides and every difference. Returns the exit status: 0 when every
// result the host shows matches and the run went through the whole list.
int check_transcript(const HostView& view, const std::string& list, const std::string& transcript, int run_status);

}  // namespace scenario

#endif
