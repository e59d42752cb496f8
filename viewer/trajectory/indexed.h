// The frame around every trajectory format: a format gives its two steps
// (scan a source into an index, parse one frame's bytes) and this indexes a
// file or bytes in memory, fetches frame k by its index entry and refuses it
// when it no longer matches the entry, the same way for every format.
#ifndef VORLIX_VIEWER_TRAJECTORY_INDEXED_H
#define VORLIX_VIEWER_TRAJECTORY_INDEXED_H

#include "viewer/io/lines.h"
#include "viewer/io/numbers.h"
#include "viewer/io/source.h"
#include "viewer/io/tokens.h"
#include "viewer/io/window.h"
#include "viewer/trajectory/frame.h"

namespace vv {

namespace detail {

// The byte layer's pieces every trajectory format reads with.
using io::count_newlines;
using io::is_blank;
using io::kBlock;
using io::LineReader;
using io::memory_source;
using io::next_token;
using io::open_source;
using io::parse_int;
using io::read_span;
using io::Source;
using io::starts_with;
using io::to_float;
using io::trim;
using io::Window;

// "NAME: frame K: line L: ", the start of a message about a frame.
std::string where(const std::string &name, std::size_t frame, std::uint64_t line);

// Frame k's bytes of an indexed file into frame.text (a compressed stream read on
// through frame.cursor, see read_frame in trajectory.h).
bool fetch_frame(const FrameIndex &index, std::size_t k, Frame &frame, std::string &error);

// Frame k's bytes within data[0..size), indexed over those bytes.
bool frame_span(const char *data, std::size_t size, const FrameIndex &index, std::size_t k,
                const char *&begin, std::size_t &length, std::string &error);

// Every atom of the frame dropped, storage kept for the next frame.
void clear_atoms(Frame &frame);

// The index of element name [b, e) in frame.element_names, added when new;
// false past 256 names (elements are a periodic table's worth, not a name
// per atom).
bool element_index(Frame &frame, const char *b, const char *e, std::uint32_t &out);

// Appends an atom's position as floats; false, the atom counted in
// frame.skipped instead, when a coordinate is NaN, infinite or beyond what a
// float holds.
bool add_position(Frame &frame, const double pos[3]);

// A format's own two steps: its scan of a source into an index (which
// index_path and index_memory hand over empty, and clear again when it
// fails), and its parse of one frame's bytes into a frame whose atoms are
// cleared (`number` counts frames from 1, for messages).
struct FormatSteps {
    bool (*index)(Source &source, const std::string &name, FrameIndex &index, std::string &error);
    bool (*parse)(const char *data, std::size_t size, const std::string &name, std::size_t number,
                  Frame &frame, std::string &error);
};

// What every format does around its steps, as trajectory.h promises for
// each public call: index a file (plain or compressed) or bytes in memory; read frame
// k, parse it, and refuse it when it no longer matches its index entry.
// On failure the frame holds no atoms.
bool index_path(const FormatSteps &format, const std::string &path, FrameIndex &index,
                std::string &error);
bool index_memory(const FormatSteps &format, const char *data, std::size_t size,
                  const std::string &name, FrameIndex &index, std::string &error);
bool read_indexed(const FormatSteps &format, const FrameIndex &index, std::size_t k, Frame &frame,
                  std::string &error);
bool read_indexed_bytes(const FormatSteps &format, const char *data, std::size_t size,
                        const FrameIndex &index, std::size_t k, Frame &frame, std::string &error);

} // namespace detail

} // namespace vv

#endif
