#include "viewer/trajectory/xyz.h"

#include "viewer/io/text.h"
#include "viewer/trajectory/indexed.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

namespace vv {

namespace {

using namespace detail;

// A count or comment line longer than this is not an XYZ file's.
constexpr std::size_t kMaxLine = std::size_t(1) << 20;
// Rows are counted in slices this size, so that finding the last row's end
// with memchr walks one slice at most.
constexpr std::size_t kSlice = std::size_t(1) << 16;
// More columns than this in one row is not an XYZ file's.
constexpr std::size_t kMaxColumns = 4096;

bool same_key(const std::string &key, const char *want) {
    const std::size_t n = std::strlen(want);
    if (key.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(key[i])) != want[i])
            return false;
    return true;
}

// A value or key as the comment spells it: quoted ("...", a backslash
// escaping the next byte), braced ({...}), or up to the next blank or '='.
// An unclosed quote runs to the end of the line: a plain XYZ comment is free
// text.
std::string comment_word(const char *&p, const char *e, bool key) {
    std::string out;
    if (p < e && *p == '"') {
        for (++p; p < e && *p != '"'; ++p) {
            if (*p == '\\' && p + 1 < e)
                ++p;
            out += *p;
        }
        if (p < e)
            ++p;
        return out;
    }
    if (!key && p < e && *p == '{') {
        const char *close = static_cast<const char *>(std::memchr(p, '}', e - p));
        const char *stop = close ? close : e;
        out.assign(p + 1, stop);
        p = close ? close + 1 : e;
        return out;
    }
    while (p < e && !is_blank(*p) && (!key || *p != '='))
        out += *p++;
    return out;
}

struct Pair {
    std::string key, value;
};

// The comment's key=value pairs; a bare word is a key with the value "T".
void comment_pairs(const char *p, const char *e, std::vector<Pair> &pairs) {
    pairs.clear();
    for (;;) {
        while (p < e && is_blank(*p))
            ++p;
        if (p >= e)
            return;
        Pair pair;
        const char *before = p;
        pair.key = comment_word(p, e, true);
        const char *q = p;
        while (q < e && is_blank(*q))
            ++q;
        if (q < e && *q == '=') {
            ++q;
            while (q < e && is_blank(*q))
                ++q;
            p = q;
            pair.value = comment_word(p, e, false);
        } else {
            pair.value = "T";
        }
        if (p == before) // a lone '=': passed over
            ++p;
        pairs.push_back(std::move(pair));
    }
}

const Pair *find_pair(const std::vector<Pair> &pairs, const char *key) {
    for (const Pair &pair : pairs)
        if (same_key(pair.key, key))
            return &pair;
    return nullptr;
}

// The timestep the comment gives: 1 found, 0 none, -1 not an integer.
int comment_step(const std::vector<Pair> &pairs, std::int64_t &step, const Pair *&bad) {
    bad = find_pair(pairs, "step");
    if (!bad)
        bad = find_pair(pairs, "timestep");
    if (!bad)
        return 0;
    const std::string &v = bad->value;
    return parse_int(v.data(), v.data() + v.size(), step) ? 1 : -1;
}

std::string bad_step(const Pair &pair) {
    return printable(pair.key.data(), pair.key.size()) +
           "= is not an integer: " + quote_token(pair.value.data(), pair.value.size());
}

// ---- The index -----------------------------------------------------------------

class Scanner {
  public:
    Scanner(Source &source, const std::string &name, DumpIndex &index, std::string &error)
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
        const int step = comment_step(pairs_, entry.timestep, bad);
        if (step < 0) {
            error_ = where(name_, k, 2) + bad_step(*bad);
            return -1;
        }
        if (step == 0)
            entry.timestep = static_cast<std::int64_t>(index_.frames.size());
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
    DumpIndex &index_;
    std::string &error_;
    std::vector<Pair> pairs_;
};

bool index_from(Source &source, const std::string &name, DumpIndex &index, std::string &error) {
    Scanner scanner(source, name, index, error);
    return scanner.run();
}

// ---- One frame -----------------------------------------------------------------

// What a row's column is for; a field's column is kField + its field index.
enum Role : std::uint32_t { kSkip, kElement, kPosX, kPosY, kPosZ, kField };

class FrameParser {
  public:
    FrameParser(const std::string &name, std::size_t k, Frame &frame, std::string &error)
        : name_(name), k_(k), frame_(frame), error_(error) {}

    bool parse(const char *data, std::size_t size) {
        LineReader in{data, data + size};
        const char *b, *e;
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
        const int step = comment_step(pairs, frame_.timestep, bad);
        if (step < 0)
            return fail(2, bad_step(*bad));
        if (step == 0)
            frame_.timestep = static_cast<std::int64_t>(k_ - 1);
        if (!cell(pairs))
            return false;
        const Pair *properties = find_pair(pairs, "properties");
        if (properties ? !extended_columns(properties->value) : !plain_columns(in))
            return false;
        // Every row holds a token and its separator per column: a count that
        // the bytes left cannot hold is refused before anything is reserved.
        const std::size_t left = static_cast<std::size_t>(in.end - in.p);
        if (frame_.declared > left / (2 * roles_.size()))
            return fail(1, "atom count " + std::to_string(frame_.declared) +
                               " is more than the frame's " + std::to_string(left) +
                               " bytes of rows can hold");
        return rows(in) && tail(in);
    }

  private:
    bool fail(std::uint64_t line, const std::string &problem) {
        error_ = where(name_, k_, line) + problem;
        return false;
    }

    // n finite numbers from a value (blanks, commas or brackets between them).
    static bool numbers(const std::string &value, double *out, int n) {
        std::string text = value;
        for (char &c : text)
            if (c == ',' || c == '[' || c == ']' || c == '{' || c == '}')
                c = ' ';
        const char *p = text.data(), *e = p + text.size(), *tb, *te;
        int got = 0;
        for (; next_token(p, e, tb, te); ++got)
            if (got == n || !parse_number(tb, te - tb, out[got]) || !std::isfinite(out[got]))
                return false;
        return got == n;
    }

    bool cell(const std::vector<Pair> &pairs) {
        Box &box = frame_.box;
        box = Box();
        if (const Pair *pbc = find_pair(pairs, "pbc")) {
            const char *p = pbc->value.data(), *e = p + pbc->value.size(), *tb, *te;
            for (int a = 0; a < 3 && next_token(p, e, tb, te); ++a)
                box.boundary[a] = (*tb == 'T' || *tb == 't') ? "pp" : "ff";
        }
        const Pair *lattice = find_pair(pairs, "lattice");
        if (!lattice)
            return true;
        double v[9];
        if (!numbers(lattice->value, v, 9))
            return fail(2, "Lattice= is not 9 finite numbers: " +
                               quote_token(lattice->value.data(), lattice->value.size()));
        if (const Pair *origin = find_pair(pairs, "origin"))
            if (!numbers(origin->value, box.lo, 3))
                return fail(2, "Origin= is not 3 finite numbers: " +
                                   quote_token(origin->value.data(), origin->value.size()));
        box.has_cell = true;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                box.cell[r][c] = v[3 * r + c];
        // LAMMPS's restricted triclinic form of the same cell.
        const double *a = box.cell[0], *b = box.cell[1], *c = box.cell[2];
        auto dot = [](const double *u, const double *w) {
            return u[0] * w[0] + u[1] * w[1] + u[2] * w[2];
        };
        const double ax = std::sqrt(dot(a, a));
        const double bx = ax > 0 ? dot(a, b) / ax : 0;
        const double by = std::sqrt(std::max(0.0, dot(b, b) - bx * bx));
        const double cx = ax > 0 ? dot(a, c) / ax : 0;
        const double cy = by > 0 ? (dot(b, c) - bx * cx) / by : 0;
        const double cz = std::sqrt(std::max(0.0, dot(c, c) - cx * cx - cy * cy));
        const double len[3] = {ax, by, cz};
        for (int i = 0; i < 3; ++i)
            box.hi[i] = box.lo[i] + len[i];
        box.xy = bx;
        box.xz = cx;
        box.yz = cy;
        box.triclinic = bx != 0 || cx != 0 || cy != 0;
        return true;
    }

    void add_column(const std::string &name, Role role) {
        frame_.columns.push_back(name);
        if (role != kField) {
            roles_.push_back(role);
            return;
        }
        if (frame_.fields.size() <= fields_)
            frame_.fields.emplace_back();
        Field &f = frame_.fields[fields_];
        f.name = printable(name.data(), name.size());
        f.values.clear();
        roles_.push_back(static_cast<Role>(kField + fields_++));
    }

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
                n > kMaxColumns - roles_.size())
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
                add_column("pos_0", kPosX);
                add_column("pos_1", kPosY);
                add_column("pos_2", kPosZ);
                continue;
            }
            const bool element = name == "species" && t == 'S' && n == 1 &&
                                 std::find(roles_.begin(), roles_.end(), kElement) == roles_.end();
            const Role role = element ? kElement : (t == 'R' || t == 'I') ? kField : kSkip;
            for (std::size_t c = 0; c < n; ++c)
                add_column(n == 1 ? name : name + "_" + std::to_string(c), role);
        }
        if (!pos)
            return fail(2, "Properties: no pos:R:3");
        frame_.position_columns = "pos";
        frame_.fields.resize(fields_);
        return true;
    }

    // Plain XYZ: as many columns as the first row has.
    bool plain_columns(const LineReader &in) {
        LineReader peek = in;
        const char *b = in.end, *e = in.end, *p, *tb, *te;
        std::size_t n = 0;
        if (peek.next(b, e))
            for (p = b; n <= kMaxColumns && next_token(p, e, tb, te);)
                ++n;
        if (frame_.declared > 0 && (n < 4 || n > kMaxColumns))
            return fail(3, "expected element x y z, found " + quote_token(b, e - b));
        const char *const first[4] = {"element", "x", "y", "z"};
        const Role roles[4] = {kElement, kPosX, kPosY, kPosZ};
        for (int i = 0; i < 4; ++i)
            add_column(first[i], roles[i]);
        for (std::size_t i = 4; i < n; ++i)
            add_column("col" + std::to_string(i + 1), kField);
        frame_.position_columns = "x y z";
        frame_.fields.resize(fields_);
        return true;
    }

    bool rows(LineReader &in) {
        const std::uint64_t count = frame_.declared;
        const bool has_element = std::find(roles_.begin(), roles_.end(), kElement) != roles_.end();
        frame_.position.reserve(3 * count);
        if (has_element)
            frame_.element.reserve(count);
        for (Field &f : frame_.fields)
            f.values.reserve(count);
        const std::size_t n = roles_.size();
        values_.resize(fields_);
        for (std::uint64_t r = 0; r < count; ++r) {
            const char *b, *e;
            if (!in.next(b, e))
                return fail(in.number + 1, std::to_string(r) + " rows where the count says " +
                                               std::to_string(count));
            double pos[3] = {0, 0, 0};
            std::uint32_t element = 0;
            const char *p = b, *tb, *te;
            for (std::size_t i = 0; i < n; ++i) {
                if (!next_token(p, e, tb, te))
                    return fail(in.number, std::to_string(i) + " columns where the frame has " +
                                               std::to_string(n));
                const Role role = roles_[i];
                bool ok = true;
                if (role == kElement)
                    ok = element_index(frame_, tb, te, element);
                else if (role != kSkip)
                    ok = parse_number(tb, te - tb,
                                      role >= kField ? values_[role - kField] : pos[role - kPosX]);
                if (!ok)
                    return fail(in.number, "column " +
                                               quote_token(frame_.columns[i].data(),
                                                           frame_.columns[i].size()) +
                                               ": bad value " + quote_token(tb, te - tb));
            }
            if (next_token(p, e, tb, te))
                return fail(in.number, "more columns than the frame's " + std::to_string(n));
            if (!add_position(frame_, pos))
                continue;
            if (has_element)
                frame_.element.push_back(element);
            for (std::size_t f = 0; f < fields_; ++f)
                frame_.fields[f].values.push_back(to_float(values_[f]));
        }
        frame_.atoms = frame_.position.size() / 3;
        return true;
    }

    // After the rows only blank lines may follow.
    bool tail(LineReader &in) {
        const char *b, *e;
        while (in.next(b, e)) {
            trim(b, e);
            if (b != e)
                return fail(in.number, "more rows than the count says (" +
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
    std::size_t fields_ = 0;
};

bool parse_xyz_frame(const char *data, std::size_t size, const std::string &name,
                     std::size_t number, Frame &frame, std::string &error) {
    frame.columns.clear();
    frame.position_columns.clear();
    FrameParser parser(name, number, frame, error);
    return parser.parse(data, size);
}

const FormatSteps kXyz = {index_from, parse_xyz_frame};

} // namespace

bool index_xyz(const std::string &path, DumpIndex &index, std::string &error) {
    return index_path(kXyz, path, index, error);
}

bool index_xyz_bytes(const char *data, std::size_t size, const std::string &name, DumpIndex &index,
                     std::string &error) {
    return index_memory(kXyz, data, size, name, index, error);
}

bool read_xyz_frame(const DumpIndex &index, std::size_t k, Frame &frame, std::string &error) {
    return read_indexed(kXyz, index, k, frame, error);
}

bool read_xyz_frame_bytes(const char *data, std::size_t size, const DumpIndex &index, std::size_t k,
                          Frame &frame, std::string &error) {
    return read_indexed_bytes(kXyz, data, size, index, k, frame, error);
}

bool looks_like_xyz_trajectory(const char *data, std::size_t size) {
    LineReader in{data, data + size};
    const char *b, *e;
    do {
        if (!in.next(b, e))
            return false;
        trim(b, e);
    } while (b == e);
    std::uint64_t count;
    if (!parse_int(b, e, count) || !in.next(b, e) || !in.next(b, e))
        return false;
    const char *tb, *te;
    double v;
    return next_token(b, e, tb, te) && !parse_number(tb, te - tb, v);
}

} // namespace vv
