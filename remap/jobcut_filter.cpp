// Construction and teardown of the filter: its read buffer, its range table and
// its source reference.
#include "remap/jobcut_filter.h"

#include "platform/memory.h"
#include "remap/range_table.h"
#include "subset/subset_reader.h"

namespace jobcut {

void* JobcutFilter::operator new(size_t bytes) noexcept { return memory_allocate(bytes); }

void JobcutFilter::operator delete(void* block) { memory_release(block); }

JobcutFilter::JobcutFilter(const PClip& source) : GenericVideoFilter(source), table(nullptr), rows_in_use(0) {}

JobcutFilter::~JobcutFilter() { memory_release(table); }

JobcutFilter* JobcutFilter::create(const PClip& source, const char* file_name, char (&message)[kMessageBytes]) {
    JobcutFilter* filter = new JobcutFilter(source);
    if (!filter) {
        compose_out_of_memory(message);
        return nullptr;
    }
    if (!filter->load(file_name, message)) {
        delete filter;  // frees the table and drops the source reference
        return nullptr;
    }
    return filter;
}

bool JobcutFilter::load(const char* file_name, char (&message)[kMessageBytes]) {
    unsigned char* buffer = static_cast<unsigned char*>(memory_allocate(kReadBufferBytes));
    if (buffer) table = static_cast<SubsetEntry*>(memory_allocate(kMaxRows * sizeof(SubsetEntry)));
    if (!buffer || !table) {
        memory_release(buffer);
        compose_out_of_memory(message);
        return false;
    }
    int line_number = 0;
    ReadOutcome outcome = read_subset_file(file_name, buffer, table, &rows_in_use, &line_number);
    memory_release(buffer);
    if (outcome != kReadOk) {
        rows_in_use = 0;
        compose_read_error(message, outcome, file_name, line_number);
        return false;
    }
    if (rows_in_use == 0) {
        rows_in_use = fill_whole_source_row(table, vi);
        return true;
    }
    const TableError error = derive_range_table(table, rows_in_use, &vi);
    if (error != TableError::kNone) {
        compose_table_error(message, error, file_name);
        return false;
    }
    return true;
}

}  // namespace jobcut
