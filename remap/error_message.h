// The texts the filter raises, composed in a fixed area that is never overrun.
#ifndef JOBCUT_REMAP_ERROR_MESSAGE_H
#define JOBCUT_REMAP_ERROR_MESSAGE_H

#include "remap/range_table.h"
#include "subset/subset_reader.h"

namespace jobcut {

constexpr unsigned kMessageBytes = 256;

void compose_read_error(char (&out)[kMessageBytes], ReadOutcome outcome, const char* file_name, int line_number);
void compose_table_error(char (&out)[kMessageBytes], TableError error, const char* file_name);
void compose_out_of_memory(char (&out)[kMessageBytes]);

}  // namespace jobcut

#endif
