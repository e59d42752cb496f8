#include "viewer/trajectory/dump.h"

#include "viewer/io/text.h"
#include "viewer/trajectory/indexed.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vv {

namespace {

using namespace detail;

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

// The one scan of index_dump: finds every "ITEM: TIMESTEP" at a line start
// with memchr, reads the four header lines after it, and counts every
// frame's newlines so that a short frame shows.
class Scanner {
  public:
    Scanner(Source &source, const std::string &name, DumpIndex &index, std::string &error)
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
                truncated(w_.offset + c);
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
        entry.offset = w_.offset + c;
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
        if (!close_middle())
            return -1;
        current_ = entry;
        open_ = true;
        lines_ = 0;
        return 1;
    }

    // The frame before a new one must hold its header and all its rows.
    bool close_middle() {
        if (!open_)
            return true;
        if (!complete()) {
            error_ = short_message();
            return false;
        }
        index_.frames.push_back(current_);
        open_ = false;
        return true;
    }

    bool complete() const {
        return lines_ >= kHeaderLines && lines_ - kHeaderLines >= current_.atoms;
    }

    std::string short_message() const {
        const std::size_t k = index_.frames.size() + 1;
        if (lines_ < kHeaderLines)
            return where(name_, k, lines_ + 1) + "the frame ends inside its header";
        return where(name_, k, lines_ + 1) + std::to_string(lines_ - kHeaderLines) +
               " rows where NUMBER OF ATOMS says " + std::to_string(current_.atoms);
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
        index_.frames.push_back(current_);
        index_.end = w_.offset + w_.len;
        return true;
    }

    Window w_;
    const std::string &name_;
    DumpIndex &index_;
    std::string &error_;
    bool open_ = false; // current_ is a frame whose end is not yet found
    FrameEntry current_;
    std::uint64_t lines_ = 0; // newlines from current_'s start to w_.pos
};

bool index_from(Source &source, const std::string &name, DumpIndex &index, std::string &error) {
    Scanner scanner(source, name, index, error);
    return scanner.run();
}

// ---- One frame ----------------------------------------------------------------

enum Role : std::uint8_t { kId, kType, kElement, kPosX, kPosY, kPosZ, kField };

class FrameParser {
  public:
    FrameParser(const std::string &name, std::size_t k, Frame &frame, std::string &error)
        : name_(name), k_(k), frame_(frame), error_(error) {}

    bool parse(const char *data, std::size_t size) {
        LineReader in{data, data + size};
        const char *b, *e;
        // A frame's span starts at its TIMESTEP line; UNITS and TIME sections
        // before it end the previous span (tail()).
        if (!expect(in, b, e, kTimestep))
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
        // Every row holds a field and its separator per column: a count that
        // the bytes left cannot hold is refused before anything is reserved.
        const std::size_t left = static_cast<std::size_t>(in.end - in.p);
        if (frame_.declared > left / (2 * roles_.size()))
            return fail(count_line, "NUMBER OF ATOMS " + std::to_string(frame_.declared) +
                                        " is more than the frame's " + std::to_string(left) +
                                        " bytes of rows can hold");
        return rows(in) && tail(in);
    }

  private:
    bool fail(std::uint64_t line, const std::string &problem) {
        error_ = where(name_, k_, line) + problem;
        return false;
    }

    bool expect(LineReader &in, const char *&b, const char *&e, const char *item) {
        if (!in.next(b, e))
            return fail(in.number + 1, std::string("expected ") + item + ", found the end");
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
        if (box.triclinic) {
            // The dump gives the bounding box of the tilted cell.
            box.xy = tilt[0];
            box.xz = tilt[1];
            box.yz = tilt[2];
            box.lo[0] -= std::min({0.0, box.xy, box.xz, box.xy + box.xz});
            box.hi[0] -= std::max({0.0, box.xy, box.xz, box.xy + box.xz});
            box.lo[1] -= std::min(0.0, box.yz);
            box.hi[1] -= std::max(0.0, box.yz);
        }
        return true;
    }

    bool columns(std::uint64_t line, const char *p, const char *e) {
        frame_.columns.clear();
        roles_.clear();
        const char *tb, *te;
        while (next_token(p, e, tb, te))
            frame_.columns.emplace_back(tb, te);
        if (frame_.columns.empty())
            return fail(line, "ITEM: ATOMS names no column");
        // Positions: wrapped before unwrapped, real before scaled.
        static const char *const kSets[4][3] = {
            {"x", "y", "z"}, {"xu", "yu", "zu"}, {"xs", "ys", "zs"}, {"xsu", "ysu", "zsu"}};
        const std::size_t n = frame_.columns.size();
        roles_.assign(n, kField);
        auto find = [&](const char *want) {
            for (std::size_t i = 0; i < n; ++i)
                if (roles_[i] == kField && frame_.columns[i] == want)
                    return static_cast<long>(i);
            return -1L;
        };
        int set = -1;
        for (int s = 0; s < 4 && set < 0; ++s) {
            const long ix = find(kSets[s][0]), iy = find(kSets[s][1]);
            if (ix < 0 || iy < 0)
                continue;
            set = s;
            roles_[ix] = kPosX;
            roles_[iy] = kPosY;
            const long iz = find(kSets[s][2]);
            if (iz >= 0)
                roles_[iz] = kPosZ;
            frame_.position_columns = std::string(kSets[s][0]) + " " + kSets[s][1] +
                                      (iz >= 0 ? std::string(" ") + kSets[s][2] : "");
        }
        if (set < 0)
            return fail(line, "no position columns (x y z, xu yu zu, xs ys zs or xsu ysu zsu) "
                              "among " +
                                  std::to_string(n) + " columns");
        scaled_ = set >= 2;
        const char *const named[3] = {"id", "type", "element"};
        for (int r = 0; r < 3; ++r) {
            const long i = find(named[r]);
            if (i >= 0)
                roles_[i] = static_cast<Role>(kId + r);
        }
        std::size_t fields = 0;
        for (std::size_t i = 0; i < n; ++i)
            if (roles_[i] == kField) {
                if (frame_.fields.size() <= fields)
                    frame_.fields.emplace_back();
                Field &f = frame_.fields[fields++];
                f.name = printable(frame_.columns[i].data(), frame_.columns[i].size());
                f.values.clear();
            }
        frame_.fields.resize(fields);
        has_[kId] = find_role(kId);
        has_[kType] = find_role(kType);
        has_[kElement] = find_role(kElement);
        has_z_ = find_role(kPosZ);
        return true;
    }

    bool find_role(Role r) const {
        return std::find(roles_.begin(), roles_.end(), r) != roles_.end();
    }

    bool rows(LineReader &in) {
        const std::uint64_t count = frame_.declared;
        frame_.position.reserve(3 * count);
        if (has_[kId])
            frame_.id.reserve(count);
        if (has_[kType])
            frame_.type.reserve(count);
        if (has_[kElement])
            frame_.element.reserve(count);
        for (Field &f : frame_.fields)
            f.values.reserve(count);
        const std::size_t n = roles_.size();
        values_.resize(n);
        const Box &box = frame_.box;
        const double len[3] = {box.hi[0] - box.lo[0], box.hi[1] - box.lo[1], box.hi[2] - box.lo[2]};
        for (std::uint64_t r = 0; r < count; ++r) {
            const char *b, *e;
            const bool more = in.next(b, e);
            if (!more || starts_with(b, e, "ITEM:"))
                return fail(in.number + (more ? 0 : 1), std::to_string(r) +
                                                            " rows where NUMBER OF ATOMS says " +
                                                            std::to_string(count));
            double pos[3] = {0, 0, 0};
            std::int64_t id = 0;
            std::int32_t type = 0;
            std::uint32_t element = 0;
            const char *p = b, *tb, *te;
            for (std::size_t i = 0; i < n; ++i) {
                if (!next_token(p, e, tb, te))
                    return fail(in.number, std::to_string(i) + " fields where ITEM: ATOMS names " +
                                               std::to_string(n));
                const Role role = roles_[i];
                bool ok = true;
                if (role == kId)
                    ok = parse_int(tb, te, id);
                else if (role == kType)
                    ok = parse_int(tb, te, type);
                else if (role == kElement)
                    ok = element_index(frame_, tb, te, element);
                else
                    ok = parse_number(tb, te - tb, role == kField ? values_[i] : pos[role - kPosX]);
                if (!ok)
                    return fail(in.number, "column " +
                                               quote_token(frame_.columns[i].data(),
                                                           frame_.columns[i].size()) +
                                               ": bad value " + quote_token(tb, te - tb));
            }
            if (next_token(p, e, tb, te))
                return fail(in.number,
                            "more fields than the " + std::to_string(n) + " ITEM: ATOMS names");
            if (scaled_) {
                const double s[3] = {pos[0], pos[1], pos[2]};
                pos[0] = box.lo[0] + s[0] * len[0] + s[1] * box.xy + s[2] * box.xz;
                pos[1] = box.lo[1] + s[1] * len[1] + s[2] * box.yz;
                pos[2] = has_z_ ? box.lo[2] + s[2] * len[2] : 0.0;
            }
            if (!add_position(frame_, pos))
                continue;
            if (has_[kId])
                frame_.id.push_back(id);
            if (has_[kType])
                frame_.type.push_back(type);
            if (has_[kElement])
                frame_.element.push_back(element);
            std::size_t f = 0;
            for (std::size_t i = 0; i < n; ++i)
                if (roles_[i] == kField)
                    frame_.fields[f++].values.push_back(to_float(values_[i]));
        }
        frame_.atoms = frame_.position.size() / 3;
        return true;
    }

    // After the rows: blank lines, or UNITS and TIME sections of the next
    // frame.
    bool tail(LineReader &in) {
        const char *b, *e;
        while (in.next(b, e)) {
            if (b == e)
                continue;
            if (is_units_or_time(b, e)) {
                in.next(b, e);
                continue;
            }
            return fail(in.number, "more rows than NUMBER OF ATOMS says (" +
                                       std::to_string(frame_.declared) +
                                       "): " + quote_token(b, e - b));
        }
        return true;
    }

    const std::string &name_;
    std::size_t k_;
    Frame &frame_;
    std::string &error_;
    std::vector<Role> roles_;
    std::vector<double> values_;
    bool scaled_ = false, has_z_ = false;
    bool has_[3] = {false, false, false};
};

bool parse_dump_frame(const char *data, std::size_t size, const std::string &name,
                      std::size_t number, Frame &frame, std::string &error) {
    FrameParser parser(name, number, frame, error);
    return parser.parse(data, size);
}

const FormatSteps kDump = {index_from, parse_dump_frame};

} // namespace

bool index_dump(const std::string &path, DumpIndex &index, std::string &error) {
    return index_path(kDump, path, index, error);
}

bool index_dump_bytes(const char *data, std::size_t size, const std::string &name, DumpIndex &index,
                      std::string &error) {
    return index_memory(kDump, data, size, name, index, error);
}

bool read_frame(const DumpIndex &index, std::size_t k, Frame &frame, std::string &error) {
    return read_indexed(kDump, index, k, frame, error);
}

bool read_frame_bytes(const char *data, std::size_t size, const DumpIndex &index, std::size_t k,
                      Frame &frame, std::string &error) {
    return read_indexed_bytes(kDump, data, size, index, k, frame, error);
}

} // namespace vv
