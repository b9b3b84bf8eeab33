// The settings file read into a range table: the read buffer lives only while
// the file is read, the rows until the clip that serves them goes.
#include "remap/table_file.h"

#include "platform/memory.h"
#include "remap/frame_rule.h"
#include "subset/subset_reader.h"

namespace jobcut {

void release_table(RangeTable* table) {
    memory_release(table->rows);
    table->rows = nullptr;
    table->held = nullptr;
    table->count = 0;
}

bool load_table(const char* file_name, ClipTiming* timing, RangeTable* table, char (&message)[kMessageBytes],
                NameEncoding encoding) {
    table->rows = nullptr;
    table->held = nullptr;
    table->count = 0;
    unsigned char* buffer = static_cast<unsigned char*>(memory_allocate(kReadBufferBytes));
    // The held frames follow the rows, whose size keeps them aligned.
    static_assert(sizeof(SubsetEntry) % sizeof(int32_t) == 0, "held frames after the rows");
    if (buffer)
        table->rows = static_cast<SubsetEntry*>(memory_allocate(kMaxRows * (sizeof(SubsetEntry) + sizeof(int32_t))));
    if (!buffer || !table->rows) {
        memory_release(buffer);
        compose_out_of_memory(message);
        return false;
    }
    int line_number = 0;
    const ReadOutcome outcome = read_subset_file(file_name, buffer, table->rows, &table->count, &line_number, encoding);
    memory_release(buffer);
    if (outcome != kReadOk) {
        release_table(table);
        compose_read_error(message, outcome, file_name, line_number);
        return false;
    }
    table->held = reinterpret_cast<int32_t*>(table->rows + kMaxRows);
    if (table->count == 0) {
        table->count = fill_whole_source_row(table->rows, *timing);
    } else {
        const TableError error = derive_range_table(table->rows, table->count, timing);
        if (error != TableError::kNone) {
            release_table(table);
            compose_table_error(message, error, file_name);
            return false;
        }
    }
    derive_held_frames(table->rows, table->count, table->held);
    return true;
}

}  // namespace jobcut
