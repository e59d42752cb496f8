// One trajectory from several files: LAMMPS's `*` in a dump's name (a file
// per step), its `%` (a file per rank) or both, or any files given together.
// Each file is indexed by the format table as it would be alone; their
// frames are then ordered by timestep, and frames of different files that
// carry the same step are the parts of one frame, read one after the other
// and put together (atom counts add up). Parts must hold different atoms:
// two that share an atom id are refused, naming both files and the step
// (this also refuses the same step written twice, as by a run and its
// restart: which copy is meant is the user's to say).
//
// The expansion of a pattern is glob(3)'s, with `%` standing for a rank
// number (digits only) as LAMMPS spells it; the files are taken in natural
// order (p.2 before p.10), so that the shell's order does not matter and the
// parts of a frame come in rank order, as a single dump writes them.
#ifndef VORLIX_VIEWER_TRAJECTORY_SEQUENCE_H
#define VORLIX_VIEWER_TRAJECTORY_SEQUENCE_H

#include "viewer/trajectory/frame.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vv {

namespace detail {

// One part of a sequence's frame: frame `frame` of file `file`.
struct SequencePart {
    std::uint32_t file = 0;
    std::uint32_t frame = 0;
};

// The files in order, each with its own index, and every frame's parts: a
// frame k of the sequence is parts[frames[k].offset .. frames[k+1].offset).
struct Sequence {
    std::vector<FrameIndex> files;
    std::vector<SequencePart> parts;
};

// The inputs as the command line gives them, each a file or a pattern with
// `*` and `%` (a name that exists is a file, whatever its characters), into
// the files they name: sorted in natural order, each once. False with error
// "PATTERN: matches no file" when a pattern finds none.
bool expand_inputs(const std::vector<std::string> &inputs, std::vector<std::string> &paths,
                   std::string &error);

// What a sequence is called in messages and the title: the one input
// given (a pattern), else "FIRST ... (N files)".
std::string sequence_name(const std::vector<std::string> &inputs,
                          const std::vector<std::string> &paths);

// Indexes each file (by the format of its first bytes; files whose sniffs
// name different formats are refused) and orders their frames into one
// index named `name`. On failure false, index cleared, error one line
// naming the file at fault.
bool index_sequence(const std::vector<std::string> &paths, const std::string &name,
                    FrameIndex &index, std::string &error);

// Frame k of a sequence: its parts read, each through its own file's gzip
// stream kept in frame.part_cursors, and put together; see read_frame.
bool read_sequence(const FrameIndex &index, std::size_t k, Frame &frame, std::string &error);

} // namespace detail

} // namespace vv

#endif
