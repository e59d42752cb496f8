// Whether a PLY or OFF file ends before the rows its header declares. The
// model importer fills the rows a short file lacks with whatever its buffers
// held, so a truncated file would be drawn with made-up points; this check
// runs before the importer gets the file.
#ifndef VORLIX_VIEWER_FORMATS_ROW_COUNTS_H
#define VORLIX_VIEWER_FORMATS_ROW_COUNTS_H

#include <iosfwd>
#include <string>

namespace vv {

// Reads the stream from its start (a PLY or OFF file is told by its first
// line) and counts the rows of each element the header declares: lines for
// ASCII, bytes for binary PLY. Returns false with error set to
// "NAME: truncated: the header declares N WHAT, the file ends after M" when
// the file ends before them; true for complete files, for other formats and
// for headers it cannot read, which are left to the importer.
bool check_row_counts(std::istream &in, const std::string &name, std::string &error);

} // namespace vv

#endif
