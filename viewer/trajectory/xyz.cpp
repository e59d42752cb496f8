#include "viewer/trajectory/xyz.h"

#include "viewer/io/text.h"
#include "viewer/trajectory/indexed.h"
#include "viewer/trajectory/rows.h"
#include "viewer/trajectory/xyz_comment.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace vv {

namespace detail {

namespace {

// A count or comment line longer than this is not an XYZ file's.
constexpr std::size_t kMaxLine = std::size_t(1) << 20;
// Rows are counted in slices this size, so that finding the last row's end
// with memchr walks one slice at most.
constexpr std::size_t kSlice = std::size_t(1) << 16;
// More columns than this in one row is not an XYZ file's.
constexpr std::size_t kMaxColumns = 4096;

// ---- The index -----------------------------------------------------------------

class Scanner {
  public:
    Scanner(Source &source, const std::string &name, FrameIndex &index, std::string &error)
        : w_(source), name_(name), index_(index), error_(error) {}

    bool run() {
        if (!fill())
            return false;
        if (w_.len == 0) {
            error_ = name_ + ": empty file";
            return false;
        }
        for (;;) {
            bool end = false;
            if (!skip_blank_lines(end))
                return false;
            if (end)
                break;
            const int got = frame();
            if (got < 0)
                return false;
            if (got == 0) // the file ends inside it
                return true;
        }
        if (index_.frames.empty()) {
            error_ = name_ + ": no frame, only blank lines";
            return false;
        }
        return true;
    }

  private:
    // Slides the window on past the bytes scanned.
    bool fill() { return w_.slide(w_.pos, error_); }

    std::size_t frame_number() const { return index_.frames.size() + 1; }

    // The end of the line starting at w_.buf[from] (its newline, or w_.len for a
    // last line without one), refilling as needed; from is kept relative to
    // w_.pos. False with error set for a line too long.
    bool line_end(std::size_t &from, std::size_t &end, std::uint64_t line) {
        for (;;) {
            const std::size_t room = std::min(w_.len - from, kMaxLine);
            const char *nl =
                static_cast<const char *>(std::memchr(w_.buf.get() + from, '\n', room));
            if (nl) {
                end = nl - w_.buf.get();
                return true;
            }
            if (w_.len - from >= kMaxLine || (w_.pos == 0 && w_.len == w_.size)) {
                error_ = where(name_, frame_number(), line) + "line longer than " +
                         std::to_string(std::min(kMaxLine, w_.size)) + " bytes";
                return false;
            }
            if (w_.eof) {
                end = w_.len;
                return true;
            }
            const std::size_t shift = w_.pos;
            if (!fill())
                return false;
            from -= shift;
        }
    }

    bool skip_blank_lines(bool &end) {
        for (;;) {
            if (w_.pos == w_.len) {
                if (w_.eof) {
                    end = true;
                    return true;
                }
                if (!fill())
                    return false;
                continue;
            }
            std::size_t from = w_.pos, e;
            if (!line_end(from, e, 1))
                return false;
            for (std::size_t i = from; i < e; ++i)
                if (!is_blank(w_.buf[i]))
                    return true;
            w_.pos = e < w_.len ? e + 1 : w_.len;
        }
    }

    // One frame from w_.pos: 1 indexed, 0 the file ends inside it (noted),
    // -1 error.
    int frame() {
        const std::size_t k = frame_number();
        std::size_t from = w_.pos, count_end;
        if (!line_end(from, count_end, 1))
            return -1;
        FrameEntry entry;
        entry.offset = w_.offset + w_.pos;
        const char *b = w_.buf.get() + w_.pos, *e = w_.buf.get() + count_end;
        if (!parse_int(b, e, entry.atoms)) {
            error_ = where(name_, k, 1) + "expected an atom count, found " + quote_token(b, e - b) +
                     (k > 1 ? " (does the frame before hold as many rows as its count?)" : "");
            return -1;
        }
        if (count_end == w_.len)
            return cut(entry, 1, "the file ends inside the frame's header; the frame is left out");
        std::size_t comment = count_end + 1 - w_.pos, comment_end;
        from = w_.pos + comment;
        if (!line_end(from, comment_end, 2))
            return -1;
        comment_pairs(w_.buf.get() + from, w_.buf.get() + comment_end, pairs_);
        const Pair *bad;
        int step = comment_step(pairs_, entry.timestep, bad);
        if (step < 0) {
            error_ = where(name_, k, 2) + bad_step(*bad);
            return -1;
        }
        if (step == 0)
            step = lammps_xyz_step(w_.buf.get() + from, w_.buf.get() + comment_end, entry.timestep);
        if (step < 0) {
            error_ = where(name_, k, 2) + kLammpsXyz + " is not followed by an integer";
            return -1;
        }
        if (step == 0) {
            entry.timestep = static_cast<std::int64_t>(index_.frames.size());
            index_.numbered = true;
        }
        if (comment_end == w_.len) {
            if (entry.atoms > 0)
                return cut(entry, 2,
                           "the file ends inside the frame's header; the frame is left out");
            w_.pos = w_.len;
        } else {
            w_.pos = comment_end + 1;
        }
        // The rows: counted, not read.
        std::uint64_t left = entry.atoms;
        while (left > 0) {
            if (w_.pos == w_.len) {
                if (w_.eof)
                    break;
                if (!fill())
                    return -1;
                continue;
            }
            const std::size_t n = std::min(w_.len - w_.pos, kSlice);
            const std::uint64_t lines = count_newlines(w_.buf.get() + w_.pos, n);
            if (lines < left) {
                left -= lines;
                w_.pos += n;
                continue;
            }
            const char *p = w_.buf.get() + w_.pos;
            for (; left > 0; --left)
                p = static_cast<const char *>(std::memchr(p, '\n', w_.buf.get() + w_.len - p)) + 1;
            w_.pos = p - w_.buf.get();
        }
        if (left > 0)
            return cut(entry, 3 + entry.atoms - left,
                       std::to_string(entry.atoms - left) + " rows where the count says " +
                           std::to_string(entry.atoms) +
                           "; the file ends there, the frame is left out");
        index_.frames.push_back(entry);
        index_.end = w_.offset + w_.pos;
        return 1;
    }

    int cut(const FrameEntry &entry, std::uint64_t line, const std::string &problem) {
        index_.warning = where(name_, frame_number(), line) + problem;
        index_.end = entry.offset;
        return 0;
    }

    Window w_;
    const std::string &name_;
    FrameIndex &index_;
    std::string &error_;
    std::vector<Pair> pairs_;
};

bool index_from(Source &source, const std::string &name, FrameIndex &index, std::string &error) {
    Scanner scanner(source, name, index, error);
    return scanner.run();
}

// ---- One frame -----------------------------------------------------------------

// How an XYZ file's refusals of rows are worded.
const RowWords kWords = {"%i rows where the count says %n", "%i columns where the frame has %n",
                         "more columns than the frame's %n",
                         "atom count %n is more than the frame's %i bytes of rows can hold", false};

class FrameParser : FrameParserBase {
  public:
    using FrameParserBase::FrameParserBase;

    bool parse(const char *data, std::size_t size) {
        LineReader in{data, data + size};
        const char *b, *e;
        rows_.start(frame_);
        if (!in.next(b, e) || !parse_int(b, e, frame_.declared))
            return fail(1, "expected an atom count");
        if (!in.next(b, e)) {
            if (frame_.declared > 0)
                return fail(2, "the frame ends before its comment line");
            b = e = in.end;
        }
        std::vector<Pair> pairs;
        comment_pairs(b, e, pairs);
        const Pair *bad;
        int step = comment_step(pairs, frame_.timestep, bad);
        if (step < 0)
            return fail(2, bad_step(*bad));
        if (step == 0 && (step = lammps_xyz_step(b, e, frame_.timestep)) < 0)
            return fail(2, std::string(kLammpsXyz) + " is not followed by an integer");
        if (step == 0)
            frame_.timestep = static_cast<std::int64_t>(k_ - 1);
        std::string problem;
        if (!comment_box(pairs, frame_.box, problem))
            return fail(2, problem);
        const Pair *properties = find_pair(pairs, "properties");
        if (properties ? !extended_columns(properties->value) : !plain_columns(in))
            return false;
        return rows_.read(in, frame_, 1, kWords, name_, k_, error_) && tail(in);
    }

  private:
    bool extended_columns(const std::string &properties) {
        std::vector<std::string> parts;
        std::size_t at = 0;
        for (;;) {
            const std::size_t colon = properties.find(':', at);
            parts.push_back(properties.substr(at, colon - at));
            if (colon == std::string::npos)
                break;
            at = colon + 1;
        }
        if (parts.size() % 3 != 0)
            return fail(2, "Properties= is not name:type:count triples: " +
                               quote_token(properties.data(), properties.size()));
        bool pos = false;
        for (std::size_t i = 0; i < parts.size(); i += 3) {
            const std::string &name = parts[i], &type = parts[i + 1], &count = parts[i + 2];
            std::size_t n = 0;
            if (!parse_int(count.data(), count.data() + count.size(), n) || n == 0 ||
                n > kMaxColumns - rows_.columns())
                return fail(2, "Properties: bad count " + quote_token(count.data(), count.size()) +
                                   " of " + quote_token(name.data(), name.size()));
            const char t = type.size() == 1 ? static_cast<char>(std::toupper(type[0])) : '?';
            if (t != 'S' && t != 'R' && t != 'I' && t != 'L')
                return fail(2, "Properties: unknown type " + quote_token(type.data(), type.size()) +
                                   " of " + quote_token(name.data(), name.size()) +
                                   " (S, R, I or L)");
            if (name == "pos" && !pos) {
                if (t != 'R' || n != 3)
                    return fail(2, "Properties: pos is not R:3");
                pos = true;
                rows_.add(frame_, "pos_0", Role::kX);
                rows_.add(frame_, "pos_1", Role::kY);
                rows_.add(frame_, "pos_2", Role::kZ);
                continue;
            }
            const bool element =
                name == "species" && t == 'S' && n == 1 && !rows_.has(Role::kElement);
            const Role role = element                  ? Role::kElement
                              : (t == 'R' || t == 'I') ? Role::kField
                                                       : Role::kSkip;
            for (std::size_t c = 0; c < n; ++c)
                rows_.add(frame_, n == 1 ? name : name + "_" + std::to_string(c), role);
        }
        if (!pos)
            return fail(2, "Properties: no pos:R:3");
        rows_.finish(frame_, Flavour::kPlain, "pos");
        return true;
    }

    // Plain XYZ: as many columns as the first row has. LAMMPS's dump xyz
    // writes the type number where others write the element (an element
    // too, after dump_modify element): a first column that is an integer is
    // the type, for the whole frame.
    bool plain_columns(const LineReader &in) {
        LineReader peek = in;
        const char *b = in.end, *e = in.end, *p, *tb, *te;
        std::size_t n = 0;
        bool type = false;
        if (peek.next(b, e))
            for (p = b; n <= kMaxColumns && next_token(p, e, tb, te);) {
                std::int32_t t;
                if (n++ == 0)
                    type = parse_int(tb, te, t);
            }
        if (frame_.declared > 0 && (n < 4 || n > kMaxColumns))
            return fail(3, "expected element x y z, found " + quote_token(b, e - b));
        // Named so that the dump's names give them their roles.
        std::vector<std::string> names = {type ? "type" : "element", "x", "y", "z"};
        for (std::size_t i = 4; i < n; ++i)
            names.push_back("col" + std::to_string(i + 1));
        return rows_.by_name(frame_, names);
    }

    // After the rows only blank lines may follow.
    bool tail(LineReader &in) {
        const char *b, *e;
        while (in.next(b, e)) {
            trim(b, e);
            if (b != e)
                return extra_row(in, b, e, "the count");
        }
        return true;
    }
};

} // namespace

const FormatSteps kXyzSteps = {index_from, parse_with<FrameParser>};

bool looks_like_xyz_trajectory(const char *data, std::size_t size) {
    LineReader in{data, data + size};
    const char *b, *e;
    do {
        if (!in.next(b, e))
            return false;
        trim(b, e);
    } while (b == e);
    std::uint64_t count;
    if (!parse_int(b, e, count) || !in.next(b, e))
        return false;
    const char *cb = b, *ce = e;
    trim(cb, ce);
    if (starts_with(cb, ce, kLammpsXyz)) // LAMMPS's, even with no atom in its first frame
        return true;
    if (!in.next(b, e))
        return false;
    const char *tb, *te;
    double v;
    if (!next_token(b, e, tb, te))
        return false;
    if (!parse_number(tb, te - tb, v))
        return true;
    // LAMMPS's dump xyz: the type number, then x y z. A point cloud has no
    // line of one number, so its count line already told it apart.
    std::int32_t type;
    if (!parse_int(tb, te, type))
        return false;
    std::size_t n = 1;
    while (n < 5 && next_token(b, e, tb, te))
        ++n;
    return n == 4;
}

} // namespace detail

} // namespace vv
