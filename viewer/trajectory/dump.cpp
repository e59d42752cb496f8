#include "viewer/trajectory/dump.h"

#include "viewer/io/text.h"
#include "viewer/trajectory/indexed.h"
#include "viewer/trajectory/rows.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace vv {

namespace detail {

namespace {

// A frame header longer than kMaxHeader bytes is not a dump's.
constexpr std::size_t kMaxHeader = std::size_t(1) << 16;
constexpr char kTimestep[] = "ITEM: TIMESTEP";
constexpr std::size_t kTimestepLen = sizeof kTimestep - 1;
// TIMESTEP, NUMBER OF ATOMS and BOX BOUNDS with their values, and ATOMS.
constexpr std::uint64_t kHeaderLines = 9;

bool is_units_or_time(const char *b, const char *e) {
    return starts_with(b, e, "ITEM: UNITS") ||
           (starts_with(b, e, "ITEM: TIME") && !starts_with(b, e, kTimestep));
}

// A triclinic box as LAMMPS defines it, from the bounding box a dump
// writes (lo, hi) and its tilts.
void unbound(Box &box, const double tilt[3]) {
    box.xy = tilt[0];
    box.xz = tilt[1];
    box.yz = tilt[2];
    from_bounding_box(box);
}

// The box of a frame header whose BOX BOUNDS line starts at p, for the
// index: 1 read into box, 0 more bytes needed, -1 none that the scan can
// take (the frame's parse then says what is wrong, if anything is).
int header_box(const char *p, const char *end, bool eof, Box &box) {
    const char *line[5];
    line[0] = p;
    for (int i = 1; i < 5; ++i) {
        const std::size_t room = std::min<std::size_t>(end - p, kMaxHeader);
        const char *nl = static_cast<const char *>(std::memchr(p, '\n', room));
        if (!nl)
            return static_cast<std::size_t>(end - p) < kMaxHeader && !eof ? 0 : -1;
        p = nl + 1;
        line[i] = p;
    }
    const char *b = line[0], *e = line[1] - 1, *tb, *te;
    if (!starts_with(b, e, "ITEM: BOX BOUNDS"))
        return -1;
    b += 16;
    box = Box();
    int flags = 0;
    for (; next_token(b, e, tb, te); ++flags)
        if (flags == 0 && te - tb == 2 && std::memcmp(tb, "xy", 2) == 0)
            box.triclinic = true;
    double tilt[3] = {0, 0, 0};
    for (int a = 0; a < 3; ++a) {
        const char *q = line[a + 1], *le = line[a + 2] - 1;
        double v[3];
        int got = 0;
        const int want = box.triclinic ? 3 : 2;
        for (; got <= want && next_token(q, le, tb, te); ++got)
            if (got == want || !parse_number(tb, te - tb, v[got]) || !std::isfinite(v[got]))
                return -1;
        if (got != want)
            return -1;
        box.lo[a] = v[0];
        box.hi[a] = v[1];
        tilt[a] = box.triclinic ? v[2] : 0;
    }
    if (box.triclinic)
        unbound(box, tilt);
    return 1;
}

// The one scan of a dump: finds every "ITEM: TIMESTEP" at a line start
// with memchr, reads the four header lines after it, and counts every
// frame's newlines so that a short frame shows.
class Scanner {
  public:
    Scanner(Source &source, const std::string &name, FrameIndex &index, std::string &error)
        : w_(source), name_(name), index_(index), error_(error) {}

    bool run() {
        if (!fill(0))
            return false;
        if (w_.len == 0) {
            error_ = name_ + ": empty file";
            return false;
        }
        const char *first_end = static_cast<const char *>(std::memchr(w_.buf.get(), '\n', w_.len));
        if (!first_end)
            first_end = w_.buf.get() + std::min(w_.len, kMaxHeader);
        if (!starts_with(w_.buf.get(), first_end, kTimestep) &&
            !is_units_or_time(w_.buf.get(), first_end)) {
            error_ = where(name_, 1, 1) + "expected ITEM: TIMESTEP, found " +
                     quote_token(w_.buf.get(), first_end - w_.buf.get());
            return false;
        }
        for (;;) {
            const std::size_t safe =
                w_.eof ? w_.len : (w_.len > kTimestepLen ? w_.len - kTimestepLen : 0);
            if (w_.pos >= safe) {
                if (w_.eof)
                    break;
                if (!fill(w_.pos ? w_.pos - 1 : 0))
                    return false;
                continue;
            }
            const char *base = w_.buf.get();
            const char *hit =
                static_cast<const char *>(std::memchr(base + w_.pos, 'I', safe - w_.pos));
            if (!hit) {
                lines_ += count_newlines(base + w_.pos, safe - w_.pos);
                w_.pos = safe;
                continue;
            }
            const std::size_t c = hit - base;
            const bool at_line_start = c == 0 ? w_.offset == 0 : base[c - 1] == '\n';
            if (!at_line_start || w_.len - c < kTimestepLen ||
                std::memcmp(hit, kTimestep, kTimestepLen) != 0 ||
                (w_.len - c > kTimestepLen && !is_blank(hit[kTimestepLen]) &&
                 hit[kTimestepLen] != '\n')) {
                lines_ += count_newlines(base + w_.pos, c + 1 - w_.pos);
                w_.pos = c + 1;
                // UNITS and TIME sections (dump_modify units, time) open the
                // frame whose TIMESTEP follows: its span starts with them.
                if (at_line_start && !pending_ &&
                    is_units_or_time(hit, base + std::min(w_.len, c + kTimestepLen))) {
                    pending_ = true;
                    pending_offset_ = w_.offset + c;
                    pending_lines_ = lines_;
                }
                continue;
            }
            lines_ += count_newlines(base + w_.pos, c - w_.pos);
            w_.pos = c;
            const int header = frame_header(c);
            if (header < 0)
                return false;
            if (header == 0) { // needs more bytes
                if (!fill(c ? c - 1 : 0))
                    return false;
                continue;
            }
            if (header == 2) // the file ends inside this header
                return true;
            w_.pos = c + 1;
        }
        return close_last();
    }

  private:
    // Slides the window on past w_.buf[0..keep).
    bool fill(std::size_t keep) {
        if (w_.len - keep == w_.size && !w_.eof) { // cannot happen: kMaxHeader is well below kBlock
            error_ = name_ + ": a header does not fit the scan's buffer";
            return false;
        }
        return w_.slide(keep, error_);
    }

    std::size_t frame_number() const { return index_.frames.size() + 1 + (open_ ? 1 : 0); }

    // The header of the frame starting at w_.buf[c]: 1 read (the previous
    // frame closed, this one opened), 0 more bytes needed (the four lines,
    // at most kMaxHeader each, always fit a block), 2 the stream ends inside
    // it (the end noted), -1 error.
    int frame_header(std::size_t c) {
        // The lines of the UNITS and TIME sections that open this frame.
        const std::uint64_t leading = pending_ ? lines_ - pending_lines_ : 0;
        const char *b = w_.buf.get() + c, *end = w_.buf.get() + w_.len;
        const char *line[5];
        line[0] = b;
        const char *p = b;
        for (int i = 1; i < 5; ++i) {
            const std::size_t room = std::min<std::size_t>(end - p, kMaxHeader);
            const char *nl = static_cast<const char *>(std::memchr(p, '\n', room));
            if (!nl) {
                if (static_cast<std::size_t>(end - p) >= kMaxHeader) {
                    error_ = where(name_, frame_number(), i) + "line longer than " +
                             std::to_string(kMaxHeader) + " bytes";
                    return -1;
                }
                if (!w_.eof)
                    return 0;
                if (!close_middle())
                    return -1;
                truncated(start(c));
                return 2;
            }
            p = nl + 1;
            line[i] = p;
        }
        // Only UNITS and TIME sections may come before the first frame.
        if (!open_ && index_.frames.empty() && lines_ > 4) {
            error_ = where(name_, 1, 1) + "more than UNITS and TIME sections before the first "
                                          "ITEM: TIMESTEP";
            return -1;
        }
        FrameEntry entry;
        entry.offset = start(c);
        const std::size_t k = frame_number();
        if (!parse_int(line[1], line[2] - 1, entry.timestep)) {
            error_ = where(name_, k, 2) +
                     "timestep is not an integer: " + quote_token(line[1], line[2] - 1 - line[1]);
            return -1;
        }
        const char *e = line[3] - 1;
        const char *s = line[2];
        trim(s, e);
        if (e - s != 21 || std::memcmp(s, "ITEM: NUMBER OF ATOMS", 21) != 0) {
            error_ = where(name_, k, 3) + "expected ITEM: NUMBER OF ATOMS, found " +
                     quote_token(line[2], line[3] - 1 - line[2]);
            return -1;
        }
        if (!parse_int(line[3], line[4] - 1, entry.atoms)) {
            error_ = where(name_, k, 4) + "atom count is not a non-negative integer: " +
                     quote_token(line[3], line[4] - 1 - line[3]);
            return -1;
        }
        Box box;
        const int boxed = header_box(line[4], end, w_.eof, box);
        if (boxed == 0)
            return 0;
        if (!close_middle())
            return -1;
        current_box_ = box;
        current_boxed_ = boxed == 1;
        current_ = entry;
        open_ = true;
        current_leading_ = leading;
        lines_ = 0;
        pending_ = false;
        return 1;
    }

    // Where the frame whose TIMESTEP is at w_.buf[c] starts: at its UNITS
    // or TIME section, if it has one.
    std::uint64_t start(std::size_t c) const { return pending_ ? pending_offset_ : w_.offset + c; }

    // The open frame's newlines from its TIMESTEP: the UNITS and TIME
    // sections of the next one, seen since, are not its.
    std::uint64_t own_lines() const { return pending_ ? pending_lines_ : lines_; }

    // The frame before a new one must hold its header and all its rows.
    bool close_middle() {
        if (!open_)
            return true;
        if (!complete()) {
            error_ = short_message();
            return false;
        }
        push();
        open_ = false;
        return true;
    }

    // The frame now complete into the index, its box into the union.
    void push() {
        index_.frames.push_back(current_);
        if (!current_boxed_) {
            boxed_ = false;
            return;
        }
        double corner[8][3];
        box_corners(current_box_, corner);
        for (const auto &c : corner)
            for (int a = 0; a < 3; ++a) {
                const bool first = index_.frames.size() == 1 && &c == &corner[0];
                index_.boxes_lo[a] = first ? c[a] : std::min(index_.boxes_lo[a], c[a]);
                index_.boxes_hi[a] = first ? c[a] : std::max(index_.boxes_hi[a], c[a]);
            }
    }

    bool complete() const {
        return own_lines() >= kHeaderLines && own_lines() - kHeaderLines >= current_.atoms;
    }

    std::string short_message() const {
        const std::size_t k = index_.frames.size() + 1;
        const std::uint64_t lines = own_lines();
        if (lines < kHeaderLines)
            return where(name_, k, current_leading_ + lines + 1) +
                   "the frame ends inside its header";
        return where(name_, k, current_leading_ + lines + 1) +
               std::to_string(lines - kHeaderLines) + " rows where NUMBER OF ATOMS says " +
               std::to_string(current_.atoms);
    }

    // The stream ends inside the frame: the index ends where it starts.
    void truncated(std::uint64_t at) {
        index_.end = at;
        if (open_)
            index_.warning = short_message() + "; the file ends there, the frame is left out";
        else
            index_.warning = where(name_, index_.frames.size() + 1, 1) +
                             "the file ends inside the frame's header; the frame is left out";
    }

    bool close_last() {
        if (!open_) {
            error_ = where(name_, 1, lines_ + 1) + "no ITEM: TIMESTEP in the file";
            return false;
        }
        if (!complete()) {
            truncated(current_.offset);
            return true;
        }
        push();
        // A file may end with the UNITS or TIME section of a frame not yet
        // written: the last frame ends before it.
        index_.end = start(w_.len);
        return true;
    }

  public:
    // Whether every frame in the index gave its box.
    bool boxed() const { return boxed_ && !index_.frames.empty(); }

  private:
    Window w_;
    const std::string &name_;
    FrameIndex &index_;
    std::string &error_;
    bool open_ = false; // current_ is a frame whose end is not yet found
    FrameEntry current_;
    Box current_box_;
    bool current_boxed_ = false;        // current_box_ was read from its header
    bool boxed_ = true;                 // so was every indexed frame's
    std::uint64_t lines_ = 0;           // newlines from current_'s TIMESTEP to w_.pos
    std::uint64_t current_leading_ = 0; // current_'s lines before its TIMESTEP
    // A UNITS or TIME section seen since the last TIMESTEP: where it starts
    // (the next frame's offset) and lines_ at its first line.
    bool pending_ = false;
    std::uint64_t pending_offset_ = 0, pending_lines_ = 0;
};

bool index_from(Source &source, const std::string &name, FrameIndex &index, std::string &error) {
    Scanner scanner(source, name, index, error);
    if (!scanner.run())
        return false;
    index.boxes_known = scanner.boxed();
    return true;
}

// ---- One frame ----------------------------------------------------------------

// How a dump's refusals of rows are worded.
const RowWords kWords = {
    "%i rows where NUMBER OF ATOMS says %n", "%i fields where ITEM: ATOMS names %n",
    "more fields than the %n ITEM: ATOMS names",
    "NUMBER OF ATOMS %n is more than the frame's %i bytes of rows can hold", true};

class FrameParser : FrameParserBase {
  public:
    using FrameParserBase::FrameParserBase;

    bool parse(const char *data, std::size_t size) {
        LineReader in{data, data + size};
        const char *b, *e;
        // A frame's span starts with its UNITS and TIME sections, if any,
        // then its TIMESTEP line.
        frame_.time = std::numeric_limits<double>::quiet_NaN();
        if (!in.next(b, e))
            return fail(1, std::string("expected ") + kTimestep + ", found the end");
        while (is_units_or_time(b, e)) {
            const bool time = starts_with(b, e, "ITEM: TIME");
            const char *vb, *ve;
            if (!in.next(vb, ve))
                return fail(in.number + 1, "expected its value, found the end");
            if (time && !parse_number(vb, static_cast<std::size_t>(ve - vb), frame_.time))
                return fail(in.number, "time is not a number: " + quote_token(vb, ve - vb));
            if (!in.next(b, e))
                return fail(in.number + 1,
                            std::string("expected ") + kTimestep + ", found the end");
        }
        if (!is_item(in, b, e, kTimestep))
            return false;
        if (!number_line(in, frame_.timestep, "timestep is not an integer"))
            return false;
        if (!expect(in, b, e, "ITEM: NUMBER OF ATOMS"))
            return false;
        if (!number_line(in, frame_.declared, "atom count is not a non-negative integer"))
            return false;
        const std::uint64_t count_line = in.number;
        if (!expect(in, b, e, "ITEM: BOX BOUNDS") || !box(in, b + 16, e))
            return false;
        if (!expect(in, b, e, "ITEM: ATOMS") || !columns(in.number, b + 11, e))
            return false;
        return rows_.read(in, frame_, count_line, kWords, name_, k_, error_) && tail(in);
    }

  private:
    bool expect(LineReader &in, const char *&b, const char *&e, const char *item) {
        if (!in.next(b, e))
            return fail(in.number + 1, std::string("expected ") + item + ", found the end");
        return is_item(in, b, e, item);
    }

    // Whether the line just read, [b, e), is ITEM (a message if not).
    bool is_item(const LineReader &in, const char *b, const char *e, const char *item) {
        if (!starts_with(b, e, item) ||
            (e - b > static_cast<long>(std::strlen(item)) && !is_blank(b[std::strlen(item)])))
            return fail(in.number,
                        std::string("expected ") + item + ", found " + quote_token(b, e - b));
        return true;
    }

    template <typename Int> bool number_line(LineReader &in, Int &out, const char *problem) {
        const char *b, *e;
        if (!in.next(b, e))
            return fail(in.number + 1, std::string(problem) + ": the frame ends");
        if (!parse_int(b, e, out))
            return fail(in.number, problem + (": " + quote_token(b, e - b)));
        return true;
    }

    bool box(LineReader &in, const char *p, const char *e) {
        Box &box = frame_.box;
        box = Box();
        const char *tb, *te;
        std::vector<std::string> flags;
        while (next_token(p, e, tb, te))
            flags.emplace_back(tb, te);
        if (flags.size() >= 3 && flags[0] == "xy" && flags[1] == "xz" && flags[2] == "yz") {
            box.triclinic = true;
            flags.erase(flags.begin(), flags.begin() + 3);
        }
        if (flags.size() == 3)
            for (int a = 0; a < 3; ++a)
                box.boundary[a] = printable(flags[a].data(), flags[a].size());
        else if (!flags.empty())
            return fail(in.number, "expected three boundary flags after BOX BOUNDS, found " +
                                       std::to_string(flags.size()));
        double tilt[3] = {0, 0, 0};
        for (int a = 0; a < 3; ++a) {
            const char *b, *le;
            if (!in.next(b, le))
                return fail(in.number + 1, "the box ends early");
            double v[3];
            const int want = box.triclinic ? 3 : 2;
            int got = 0;
            for (const char *q = b; next_token(q, le, tb, te); ++got) {
                if (got == want)
                    return fail(in.number, "more than " + std::to_string(want) + " box values");
                if (!parse_number(tb, te - tb, v[got]) || !std::isfinite(v[got]))
                    return fail(in.number,
                                "box value is not a finite number: " + quote_token(tb, te - tb));
            }
            if (got != want)
                return fail(in.number, std::to_string(got) + " box values where " +
                                           std::to_string(want) + " are due");
            box.lo[a] = v[0];
            box.hi[a] = v[1];
            if (box.triclinic)
                tilt[a] = v[2];
        }
        if (box.triclinic) // the dump gives the bounding box of the tilted cell
            unbound(box, tilt);
        return true;
    }

    bool columns(std::uint64_t line, const char *p, const char *e) {
        std::vector<std::string> names;
        const char *tb, *te;
        while (next_token(p, e, tb, te))
            names.emplace_back(tb, te);
        if (names.empty()) {
            rows_.start(frame_);
            return fail(line, "ITEM: ATOMS names no column");
        }
        if (!rows_.by_name(frame_, names))
            return fail(line, "no position columns (x y z, xu yu zu, xs ys zs or xsu ysu zsu) "
                              "among " +
                                  std::to_string(names.size()) + " columns");
        return true;
    }

    // After the rows: blank lines only (the next frame's span starts at its
    // UNITS or TIME section).
    bool tail(LineReader &in) {
        const char *b, *e;
        while (in.next(b, e)) {
            if (b == e)
                continue;
            return extra_row(in, b, e, "NUMBER OF ATOMS");
        }
        return true;
    }
};

} // namespace

const FormatSteps kDumpSteps = {index_from, parse_with<FrameParser>};

void from_bounding_box(Box &box) {
    box.lo[0] -= std::min({0.0, box.xy, box.xz, box.xy + box.xz});
    box.hi[0] -= std::max({0.0, box.xy, box.xz, box.xy + box.xz});
    box.lo[1] -= std::min(0.0, box.yz);
    box.hi[1] -= std::max(0.0, box.yz);
}

bool looks_like_dump(const char *data, std::size_t size) {
    // Dumps start with their first frame's TIMESTEP, or with the UNITS or
    // TIME item that dump_modify puts before it.
    return starts_with(data, data + size, "ITEM: ");
}

} // namespace detail

} // namespace vv
