// What every trajectory reader gives, whatever the file's format: the frame
// index that one scan of a file makes, and one frame read through it. No
// OpenGL here; the viewer's playback sits on top.
#ifndef VORLIX_VIEWER_TRAJECTORY_FRAME_H
#define VORLIX_VIEWER_TRAJECTORY_FRAME_H

#include "viewer/cloud/field.h"
#include "viewer/io/source.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace vv {

struct TrajectoryFormat; // a row of the format table (trajectory.h)

namespace detail {
struct Sequence; // the files of a trajectory given as several (sequence.h)
}

// Where a frame starts and what its header says: 24 bytes a frame.
struct FrameEntry {
    std::uint64_t offset = 0; // of its first line, in the uncompressed stream
    std::int64_t timestep = 0;
    std::uint64_t atoms = 0; // the count its header declares
};

struct FrameIndex {
    // The format that made the index: its frames are read through that
    // format and no other. Null for an index no format made.
    const TrajectoryFormat *format = nullptr;
    std::string path; // as given to the indexer (the name, for bytes in memory)
    io::Kind compression = io::Kind::Plain; // of the file, told by its first bytes
    std::vector<FrameEntry> frames;         // complete frames only, in file order
    // End of the last complete frame in the uncompressed stream: frame k
    // spans [frames[k].offset, frames[k+1].offset or end).
    std::uint64_t end = 0;
    // Empty, or one line naming the file and the frame that was dropped
    // because the file ends inside it (a run still writing, or cut short).
    std::string warning;
    // True when some frame's header gave no timestep (an XYZ comment
    // without one): its timestep is then its number in the file, which
    // orders nothing across files.
    bool numbered = false;
    // Set for a trajectory of several files (one per step, one per rank):
    // frames[k].offset then counts the sequence's frame parts, and path is
    // the name it goes by. Shared by copies, never changed once made.
    std::shared_ptr<const detail::Sequence> sequence;
    // The union of every indexed frame's box (each box's corners, a tilted
    // cell's parallelepiped), when the scan read every frame's box from its
    // header, so that nothing parses rows to fit the run into view. A format
    // that does not fill it leaves it unknown: the player then finds it by
    // reading every frame.
    bool boxes_known = false;
    double boxes_lo[3] = {0, 0, 0}, boxes_hi[3] = {0, 0, 0};
};

// The box as LAMMPS defines it: edges lo..hi along x, y, z and, for a
// triclinic box, the tilts. The dump writes a triclinic box's bounding box;
// that is converted back by the dump reader (lo = lo_bound - min(0, xy, xz,
// xy+xz) and so on, as the LAMMPS documentation gives it), so a point at
// scaled (a, b, c) is
//   x = xlo + a*(xhi-xlo) + b*xy + c*xz,  y = ylo + b*(yhi-ylo) + c*yz,
//   z = zlo + c*(zhi-zlo).
struct Box {
    double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    double xy = 0, xz = 0, yz = 0;
    bool triclinic = false;
    std::string boundary[3]; // "pp", "fs", "mm"...; empty when the file gave none
    // The cell's edge vectors a, b, c (rows) from lo, as the file spelled
    // them (extended XYZ's Lattice=), has_cell then true; LAMMPS dumps leave
    // it false. lo, hi and the tilts are then the same cell turned as LAMMPS
    // turns one (a along +x, b in the xy plane), which is the very cell when
    // the file's already lies so, and a rotation of it otherwise.
    bool has_cell = false;
    double cell[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
};

// Whether the box has any size: a file without a box (a plain XYZ, an
// extended XYZ without Lattice) leaves it all zero.
inline bool has_size(const Box &box) {
    return box.hi[0] > box.lo[0] || box.hi[1] > box.lo[1] || box.hi[2] > box.lo[2];
}

// The box's 8 corners, as LAMMPS defines its edge vectors: a = (lx, 0, 0),
// b = (xy, ly, 0), c = (xz, yz, lz); an orthogonal box has no tilts.
inline void box_corners(const Box &box, double corner[8][3]) {
    const double lx = box.hi[0] - box.lo[0], ly = box.hi[1] - box.lo[1], lz = box.hi[2] - box.lo[2];
    const double xy = box.triclinic ? box.xy : 0, xz = box.triclinic ? box.xz : 0,
                 yz = box.triclinic ? box.yz : 0;
    for (int k = 0; k < 8; ++k) {
        const double a = k & 1, b = (k >> 1) & 1, c = (k >> 2) & 1;
        corner[k][0] = box.lo[0] + a * lx + b * xy + c * xz;
        corner[k][1] = box.lo[1] + b * ly + c * yz;
        corner[k][2] = box.lo[2] + c * lz;
    }
}

namespace io {
struct Cursor;
}

// One frame. Every vector holds one entry per kept atom (or is empty when
// the column is absent); reading a frame reuses their storage.
struct Frame {
    std::int64_t timestep = 0;
    // The simulated time, where the file gives it (a dump's TIME item,
    // dump_modify time yes, text or binary); NaN where it does not.
    double time = std::numeric_limits<double>::quiet_NaN();
    std::uint64_t declared = 0; // the count the header declares
    std::size_t atoms = 0;      // kept: declared less skipped
    std::size_t skipped = 0;    // rows whose position is NaN, infinite or beyond float range
    Box box;
    std::vector<std::string> columns; // of a row, in the file's order
    // The columns the positions came from: "x y z", "xu yu zu", "xs ys zs" or
    // "xsu ysu zsu" (that order of preference when there are several); a
    // dump without the z column (2-D) gives z = 0 and names two. Extended
    // XYZ names "pos".
    std::string position_columns;
    std::vector<float> position; // x, y, z per atom, scaled ones put through the box
    std::vector<std::int64_t> id;
    std::vector<std::int32_t> type;
    std::vector<std::uint32_t> element;     // index into element_names
    std::vector<std::string> element_names; // in order of first appearance
    // Every other number column (the unused coordinate columns among them),
    // as floats (beyond float range: +-infinity).
    std::vector<Field> fields;
    // Bytes of the frame and, for a compressed stream, the open stream, which a
    // later read continues from when it asks for a frame further on.
    std::vector<char> text;
    std::shared_ptr<io::Cursor> cursor;
    // A sequence's: one gzip stream per file read on, so that the parts of
    // a frame each continue their own file (cursor above stays unused).
    std::vector<std::shared_ptr<io::Cursor>> part_cursors;
};

} // namespace vv

#endif
