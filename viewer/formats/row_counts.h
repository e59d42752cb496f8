// Whether an OFF file ends before the rows its header declares. The model
// importer fills the rows a short file lacks with whatever its buffers held,
// so a truncated file would be drawn with made-up points; this check runs
// before the importer gets the file. (PLY files are read by our own reader,
// which counts their rows itself and refuses a short one in the same words.)
#ifndef VORLIX_VIEWER_FORMATS_ROW_COUNTS_H
#define VORLIX_VIEWER_FORMATS_ROW_COUNTS_H

#include "viewer/io/source.h"

#include <cstdint>
#include <string>

namespace vv {

// Reads the source from its start (an OFF file is told by its first line)
// and counts the vertex and face rows its header declares. Returns false with
// error set to truncated_message(...) when the file ends before them; true
// for complete files, for other formats and for headers it cannot read,
// which are left to the importer.
bool check_row_counts(io::Source &source, const std::string &name, std::string &error);

// "NAME: truncated: the header declares N WHAT, the file ends after M".
std::string truncated_message(const std::string &name, std::uint64_t declared,
                              const std::string &what, std::uint64_t found);

} // namespace vv

#endif
