// LAMMPS text dumps ("dump atom", "dump custom" and their /gz forms): a frame
// index made by one fast scan of the file, and frames read one at a time
// through it. No OpenGL here; the viewer's playback sits on top.
//
// A dump is a run of frames, each:
//   ITEM: TIMESTEP / step / ITEM: NUMBER OF ATOMS / N /
//   ITEM: BOX BOUNDS [xy xz yz] b b b / three lines "lo hi [tilt]" /
//   ITEM: ATOMS column... / N rows of as many fields.
// "ITEM: UNITS" and "ITEM: TIME" sections (dump_modify units/time) may stand
// before a frame's TIMESTEP and are passed over.
//
// Messages are one line of plain ASCII, "NAME: frame K: line L: problem",
// where K counts frames from 1 and L counts lines from 1 at that frame's
// "ITEM: TIMESTEP" line; problems with the file as a whole are "NAME:
// problem". Bytes from the file are shown escaped (viewer/io/text.h).
#ifndef VORLIX_VIEWER_TRAJECTORY_DUMP_H
#define VORLIX_VIEWER_TRAJECTORY_DUMP_H

#include "viewer/cloud/field.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vv {

// Where a frame starts and what its header says: 24 bytes a frame.
struct FrameEntry {
    std::uint64_t offset = 0; // of its "ITEM: TIMESTEP" line, in the uncompressed stream
    std::int64_t timestep = 0;
    std::uint64_t atoms = 0; // NUMBER OF ATOMS
};

struct DumpIndex {
    std::string path; // as given to index_dump (the name, for index_dump_bytes)
    bool gzip = false;
    std::vector<FrameEntry> frames; // complete frames only, in file order
    // End of the last complete frame in the uncompressed stream: frame k
    // spans [frames[k].offset, frames[k+1].offset or end).
    std::uint64_t end = 0;
    // Empty, or one line naming the file and the frame that was dropped
    // because the file ends inside it (a run still writing, or cut short).
    std::string warning;
};

// Scans the file once, front to back, in large blocks (gzip streams, known
// by their magic bytes whatever the name, through zlib), and fills the
// index. Atom rows are not parsed: a frame's header (timestep and atom
// count) is, and its lines are counted, so that a frame with fewer rows than
// its count is found. Only the last frame may be short: it is then dropped
// and named in index.warning (true is returned; a file whose first frame is
// already cut gives an empty index with the warning). A short frame before
// the last, a header that is not a dump's, bytes before the first frame
// other than UNITS/TIME sections, or an empty file: false, index cleared,
// error set. The index memory is the 24 bytes a frame above.
bool index_dump(const std::string &path, DumpIndex &index, std::string &error);

// The same over bytes in memory; NAME is used in messages and index.path.
bool index_dump_bytes(const char *data, std::size_t size, const std::string &name, DumpIndex &index,
                      std::string &error);

// The box as LAMMPS defines it: edges lo..hi along x, y, z and, for a
// triclinic box, the tilts. The dump writes a triclinic box's bounding box;
// that is converted back here (lo = lo_bound - min(0, xy, xz, xy+xz) and so on,
// as the LAMMPS documentation gives it), so a point at scaled (a, b, c) is
//   x = xlo + a*(xhi-xlo) + b*xy + c*xz,  y = ylo + b*(yhi-ylo) + c*yz,
//   z = zlo + c*(zhi-zlo).
struct Box {
    double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    double xy = 0, xz = 0, yz = 0;
    bool triclinic = false;
    std::string boundary[3]; // "pp", "fs", "mm"...; empty when the dump gave none
    // The cell's edge vectors a, b, c (rows) from lo, as the file spelled
    // them (extended XYZ's Lattice=), has_cell then true; LAMMPS dumps leave
    // it false. lo, hi and the tilts are then the same cell turned as LAMMPS
    // turns one (a along +x, b in the xy plane), which is the very cell when
    // the file's already lies so, and a rotation of it otherwise.
    bool has_cell = false;
    double cell[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
};

namespace detail {
struct Cursor;
}

// One frame. Every vector holds one entry per kept atom (or is empty when
// the column is absent); read_frame reuses their storage between calls.
struct Frame {
    std::int64_t timestep = 0;
    std::uint64_t declared = 0; // NUMBER OF ATOMS
    std::size_t atoms = 0;      // kept: declared less skipped
    std::size_t skipped = 0;    // rows whose position is NaN, infinite or beyond float range
    Box box;
    std::vector<std::string> columns; // ITEM: ATOMS, in the file's order
    // The columns the positions came from: "x y z", "xu yu zu", "xs ys zs" or
    // "xsu ysu zsu" (that order of preference when there are several); a
    // dump without the z column (2-D) gives z = 0 and names two.
    std::string position_columns;
    std::vector<float> position; // x, y, z per atom, scaled ones put through the box
    std::vector<std::int64_t> id;
    std::vector<std::int32_t> type;
    std::vector<std::uint32_t> element;     // index into element_names
    std::vector<std::string> element_names; // in order of first appearance
    // Every other column (the unused coordinate columns among them), as
    // floats (beyond float range: +-infinity): all must be numbers.
    std::vector<Field> fields;
    // Bytes of the frame and, for a gzip stream, the open stream, which a
    // later read_frame continues from when it asks for a frame further on.
    std::vector<char> text;
    std::shared_ptr<detail::Cursor> cursor;
};

// Reads frame k of the indexed dump into frame. A gzip stream is read on
// from where the previous call on the same Frame stopped when frame k lies
// further on, and decompressed again from its start otherwise: playing
// forwards costs one pass, jumping back costs the way from the start.
// On failure (a malformed frame; the file changed since it was indexed)
// returns false with error set; frame then holds no atoms.
bool read_frame(const DumpIndex &index, std::size_t k, Frame &frame, std::string &error);

// The same for a dump indexed with index_dump_bytes over these bytes.
bool read_frame_bytes(const char *data, std::size_t size, const DumpIndex &index, std::size_t k,
                      Frame &frame, std::string &error);

} // namespace vv

#endif
