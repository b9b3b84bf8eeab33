#include "tools/inspect/ticks.h"

namespace inspect {

Ticks ticks(Milliseconds end, unsigned most) {
    // Steps a reader counts in: 1-2-5 below a second, clock divisions above it.
    static const Milliseconds kSteps[] = {1,     2,     5,      10,     20,     50,      100,     200,
                                          500,   1000,  2000,   5000,   10000,  15000,   30000,   60000,
                                          120000, 300000, 600000, 900000, 1800000, 3600000, 7200000, 21600000,
                                          43200000, 86400000};
    Milliseconds step = 0;
    for (const Milliseconds candidate : kSteps) {
        step = candidate;
        if (end / step <= most) break;
    }
    while (end / step > most) step *= 2;  // past a day: whole days, doubled
    Ticks result{{}, step < 1000};
    for (Milliseconds at = 0; at <= end; at += step) result.at.push_back(at);
    return result;
}

}  // namespace inspect
