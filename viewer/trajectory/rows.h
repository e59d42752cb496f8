// The atom rows of a frame, the same for every trajectory format: the
// frame's columns mapped once to what they hold, then each row parsed
// through that map into the Frame.
#ifndef VORLIX_VIEWER_TRAJECTORY_ROWS_H
#define VORLIX_VIEWER_TRAJECTORY_ROWS_H

#include "viewer/io/source.h"
#include "viewer/io/text.h"
#include "viewer/trajectory/frame.h"
#include "viewer/trajectory/indexed.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vv {

namespace detail {

// What a column holds. kSkip: nothing kept (extended XYZ's strings and
// logicals); kField: a number kept as a Frame field.
enum class Role : std::uint8_t { kSkip, kId, kType, kElement, kX, kY, kZ, kField };

// How positions are written: in the box's units, wrapped (x) or not (xu),
// or scaled to the box's edges (xs, xsu), which rows put through the box.
enum class Flavour : std::uint8_t { kPlain, kUnwrapped, kScaled, kScaledUnwrapped };

// The roles of columns named as LAMMPS names them. The positions are the
// first of the sets x y z, xu yu zu, xs ys zs, xsu ysu zsu whose x and y
// columns are both there, with its z column when there is one (a 2-D dump
// may leave it out); the first id, type and element columns are those;
// every other column is a field, the other sets' coordinates among them.
// position_columns names the set's columns ("x y z", "xu yu"). False when
// no set is there.
bool roles_by_name(const std::vector<std::string> &names, std::vector<Role> &roles,
                   Flavour &flavour, std::string &position_columns);

// A scaled position (xs ys zs) put through the box, whose edge lengths are
// len; without a z column (a 2-D dump) z is 0.
inline void unscale(const Box &box, const double len[3], bool has_z, double pos[3]) {
    const double s[3] = {pos[0], pos[1], pos[2]};
    pos[0] = box.lo[0] + s[0] * len[0] + s[1] * box.xy + s[2] * box.xz;
    pos[1] = box.lo[1] + s[1] * len[1] + s[2] * box.yz;
    pos[2] = has_z ? box.lo[2] + s[2] * len[2] : 0.0;
}

// How a format words its refusals of rows: %i and %n in each stand for
// the two numbers given.
struct RowWords {
    const char *short_rows;   // %i rows read of %n declared
    const char *few_columns;  // %i columns found of %n due
    const char *more_columns; // %n due
    const char *too_many;     // %n declared, %i bytes left for the rows
    bool item_ends_rows;      // a line starting "ITEM:" ends the rows (a dump's next section)
};

class RowMap {
  public:
    // Forgets the previous frame's columns: frame.columns and
    // position_columns emptied; the storage of frame.fields kept for reuse.
    void start(Frame &frame);
    // The next column of a row, named as the frame's columns show it.
    void add(Frame &frame, const std::string &name, Role role);
    // Ends the columns: frame.fields are as many as the columns given kField.
    void finish(Frame &frame, Flavour flavour, const std::string &position_columns);
    // start, add for each name as roles_by_name gives it, and finish; false
    // when roles_by_name finds no positions (frame.columns then named).
    bool by_name(Frame &frame, const std::vector<std::string> &names);

    std::size_t columns() const { return roles_.size(); }
    bool has(Role role) const;

    // The frame's frame.declared rows from in, into frame's atoms: refused
    // (error "NAME: frame K: line L: problem") when a row has fewer or more
    // columns than the map, a value its role does not take, or the rows end
    // early; a count the bytes left cannot hold is refused at count_line
    // before anything is reserved. Rows whose position is not finite in
    // float are skipped and counted in frame.skipped.
    bool read(LineReader &in, Frame &frame, std::uint64_t count_line, const RowWords &words,
              const std::string &name, std::size_t k, std::string &error);

  private:
    std::vector<Role> roles_;
    std::vector<std::uint32_t> field_; // a kField column's index in frame.fields
    std::vector<double> values_;       // a row's fields
    std::uint32_t fields_ = 0;
    Flavour flavour_ = Flavour::kPlain;
    bool has_[8] = {};
};

// What every format's frame parser holds: the file's name and the frame's
// number for messages, the frame it fills, the error it sets and the row
// map; fail() words a refusal at a line of the frame.
class FrameParserBase {
  public:
    FrameParserBase(const std::string &name, std::size_t k, Frame &frame, std::string &error)
        : name_(name), k_(k), frame_(frame), error_(error) {}

  protected:
    bool fail(std::uint64_t line, const std::string &problem) {
        error_ = where(name_, k_, line) + problem;
        return false;
    }

    // Refuses a row past the count the frame declared (`count` names it as
    // the format does).
    bool extra_row(const LineReader &in, const char *b, const char *e, const char *count) {
        return fail(in.number, std::string("more rows than ") + count + " says (" +
                                   std::to_string(frame_.declared) + "): " + quote_token(b, e - b));
    }

    const std::string &name_;
    std::size_t k_;
    Frame &frame_;
    std::string &error_;
    RowMap rows_;
};

// A format's parse step (FormatSteps::parse) from its parser class.
template <class Parser>
bool parse_with(const char *data, std::size_t size, const std::string &name, std::size_t number,
                Frame &frame, std::string &error) {
    Parser parser(name, number, frame, error);
    return parser.parse(data, size);
}

} // namespace detail

} // namespace vv

#endif
