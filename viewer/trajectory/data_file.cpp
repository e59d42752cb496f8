#include "viewer/trajectory/data_file.h"

#include "viewer/io/text.h"
#include "viewer/trajectory/one_frame.h"
#include "viewer/trajectory/rows.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace vv {

namespace detail {

namespace {

struct Style {
    const char *name;
    const char *columns;
};

const Style kStyles[] = {
    {"atomic", "id type x y z"},
    {"charge", "id type q x y z"},
    {"molecular", "id mol type x y z"},
    {"bond", "id mol type x y z"},
    {"angle", "id mol type x y z"},
    {"full", "id mol type q x y z"},
    {"sphere", "id type diameter density x y z"},
    {"ellipsoid", "id type ellipsoidflag density x y z"},
    {"dipole", "id type q x y z mux muy muz"},
    {"peri", "id type volume density x y z"},
    {"body", "id type bodyflag mass x y z"},
    {"dpd", "id type theta x y z"},
    {"line", "id mol type lineflag density x y z"},
    {"tri", "id mol type triangleflag density x y z"},
};

// Types beyond this are not a data file's (the masses are a table by type).
constexpr std::int64_t kMaxType = std::int64_t(1) << 20;

std::vector<std::string> words(const char *p, const char *e) {
    std::vector<std::string> out;
    const char *tb, *te;
    while (next_token(p, e, tb, te))
        out.emplace_back(tb, te);
    return out;
}

// The line without its '#' comment (kept in [*cb, *ce)), trimmed.
void strip(const char *&b, const char *&e, const char **cb = nullptr, const char **ce = nullptr) {
    const char *found = std::find(b, e, '#');
    const char *hash = found == e ? nullptr : found;
    if (cb) {
        *cb = hash ? hash + 1 : e;
        *ce = e;
    }
    if (hash)
        e = hash;
    trim(b, e);
}

bool is_section(const char *b, const char *e) {
    return b < e && std::isalpha(static_cast<unsigned char>(*b));
}

struct Header {
    std::uint64_t atoms = 0;
    bool has_atoms = false;
    std::int64_t step = 0;
    double lo[3] = {-0.5, -0.5, -0.5}, hi[3] = {0.5, 0.5, 0.5}, tilt[3] = {0, 0, 0};
    bool triclinic = false;
};

// The title's "timestep = N", as write_data writes it.
void title_step(const char *b, const char *e, std::int64_t &step) {
    const std::string title(b, e);
    const std::size_t at = title.find("timestep =");
    if (at == std::string::npos)
        return;
    const char *p = title.data() + at + 10, *end = title.data() + title.size();
    while (p < end && is_blank(*p))
        ++p;
    const char *q = p;
    while (q < end && (std::isdigit(static_cast<unsigned char>(*q)) || *q == '-'))
        ++q;
    if (!parse_int(p, q, step))
        step = 0;
}

// The title and header lines from in, which is left at the first section's
// line. False with line and problem set.
bool read_header(LineReader &in, Header &h, std::uint64_t &line, std::string &problem) {
    auto say = [&](const std::string &p) {
        line = in.number;
        problem = p;
        return false;
    };
    const char *b, *e;
    if (!in.next(b, e))
        return say("no title line");
    title_step(b, e, h.step);
    for (;;) {
        LineReader before = in;
        if (!in.next(b, e))
            break;
        strip(b, e);
        if (b == e)
            continue;
        if (is_section(b, e)) {
            in = before;
            break;
        }
        const std::vector<std::string> w = words(b, e);
        std::size_t n = 0;
        double v[3] = {0, 0, 0};
        for (double x; n < w.size() && parse_number(w[n].data(), w[n].size(), x); ++n)
            if (n < 3)
                v[n] = x;
        std::string key;
        for (std::size_t i = n; i < w.size(); ++i)
            key += (i > n ? " " : "") + w[i];
        if (n == 0 || key.empty())
            return say("expected a header line (numbers, then keywords), found " +
                       quote_token(b, e - b));
        const bool finite = std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
        if (key == "atoms") {
            if (n != 1 || !parse_int(w[0].data(), w[0].data() + w[0].size(), h.atoms))
                return say("atom count is not a non-negative integer: " + quote_token(b, e - b));
            h.has_atoms = true;
        } else if (key == "xlo xhi" || key == "ylo yhi" || key == "zlo zhi") {
            if (n != 2 || !finite)
                return say(key + " needs 2 finite numbers: " + quote_token(b, e - b));
            h.lo[key[0] - 'x'] = v[0];
            h.hi[key[0] - 'x'] = v[1];
        } else if (key == "xy xz yz") {
            if (n != 3 || !finite)
                return say("xy xz yz needs 3 finite numbers: " + quote_token(b, e - b));
            std::copy(v, v + 3, h.tilt);
            h.triclinic = true;
        }
        // Other counts (bonds, atom types, ...) and keywords: nothing to keep.
    }
    if (!h.has_atoms)
        return say("no \"N atoms\" line in the header");
    return true;
}

bool header_entry(const char *data, std::size_t size, const std::string &name, FrameEntry &entry,
                  std::string &error) {
    LineReader in{data, data + size};
    Header h;
    std::uint64_t line = 0;
    std::string problem;
    if (!read_header(in, h, line, problem)) {
        error = where(name, 1, line) + problem;
        return false;
    }
    entry.offset = 0;
    entry.atoms = h.atoms;
    entry.timestep = h.step;
    return true;
}

bool index_from(Source &source, const std::string &name, FrameIndex &index, std::string &error) {
    // A row is five values and their separators at least.
    return index_one_frame(source, name, index, error, header_entry, 10);
}

// ---- One frame -----------------------------------------------------------------

class FrameParser : FrameParserBase {
  public:
    using FrameParserBase::FrameParserBase;

    bool parse(const char *data, std::size_t size) {
        LineReader in{data, data + size};
        Header h;
        std::uint64_t line = 0;
        std::string problem;
        rows_.start(frame_);
        frame_.fields.clear(); // velocities and masses are added after the row map's
        if (!read_header(in, h, line, problem))
            return fail(line, problem);
        frame_.declared = h.atoms;
        frame_.timestep = h.step;
        Box &box = frame_.box;
        box = Box();
        std::copy(h.lo, h.lo + 3, box.lo);
        std::copy(h.hi, h.hi + 3, box.hi);
        box.xy = h.tilt[0];
        box.xz = h.tilt[1];
        box.yz = h.tilt[2];
        box.triclinic = h.triclinic;
        bool atoms = false;
        const char *b, *e, *cb, *ce;
        while (in.next(b, e)) {
            strip(b, e, &cb, &ce);
            if (b == e)
                continue;
            const std::string section(b, e);
            if (section == "Atoms") {
                if (atoms)
                    return fail(in.number, "a second Atoms section");
                atoms = true;
                if (!read_atoms(in, words(cb, ce)))
                    return false;
            } else if (section == "Velocities") {
                if (!atoms)
                    return fail(in.number, "Velocities before Atoms");
                if (!read_velocities(in))
                    return false;
            } else if (section == "Masses") {
                if (!read_masses(in))
                    return false;
            } else {
                skip_section(in);
            }
        }
        if (!atoms && h.atoms > 0)
            return fail(in.number + 1, "no Atoms section, where the header counts " +
                                           std::to_string(h.atoms) + " atoms");
        add_masses();
        frame_.atoms = frame_.position.size() / 3;
        return true;
    }

  private:
    // The next row of a section: false (in left at it) at a blank line, a
    // section name or the end.
    static bool row(LineReader &in, const char *&b, const char *&e) {
        LineReader before = in;
        if (!in.next(b, e)) {
            in = before;
            return false;
        }
        strip(b, e);
        if (b == e || is_section(b, e)) {
            in = before;
            return false;
        }
        return true;
    }

    static void skip_blank(LineReader &in) {
        LineReader before = in;
        const char *b, *e;
        while (in.next(b, e)) {
            strip(b, e);
            if (b != e)
                break;
            before = in;
        }
        in = before;
    }

    static void skip_section(LineReader &in) {
        skip_blank(in);
        LineReader before = in;
        const char *b, *e;
        while (in.next(b, e)) {
            strip(b, e);
            if (is_section(b, e))
                break;
            before = in;
        }
        in = before;
    }

    bool short_rows(const LineReader &in, const char *section, std::uint64_t got) {
        return fail(in.number + 1, std::to_string(got) + " " + section +
                                       " rows where the header says " +
                                       std::to_string(frame_.declared));
    }

    // The Atoms rows; `said` is the section line's comment ("full").
    bool read_atoms(LineReader &in, const std::vector<std::string> &said) {
        const std::uint64_t count = frame_.declared;
        const std::uint64_t section_line = in.number;
        skip_blank(in);
        const auto left = static_cast<std::size_t>(in.end - in.p);
        if (count > left / 10)
            return fail(section_line, "atom count " + std::to_string(count) +
                                          " is more than the file's " + std::to_string(left) +
                                          " bytes of rows can hold");
        const char *b, *e;
        LineReader first = in;
        if (count == 0)
            return true;
        if (!row(first, b, e))
            return short_rows(in, "Atoms", 0);
        const std::size_t n = words(b, e).size();
        const Style *style = nullptr;
        if (!said.empty()) {
            for (const Style &s : kStyles)
                if (said[0] == s.name)
                    style = &s;
            if (!style)
                return fail(section_line, "atom style " +
                                              quote_token(said[0].data(), said[0].size()) +
                                              " is not read (atomic, charge, molecular, bond, "
                                              "angle, full, sphere, ellipsoid, dipole, peri, "
                                              "body, dpd, line, tri)");
        } else if (n == 5 || n == 8) {
            style = &kStyles[0];
        } else {
            return fail(section_line, "Atoms rows of " + std::to_string(n) +
                                          " columns fit more than one atom style: name it "
                                          "(\"Atoms # full\")");
        }
        std::vector<std::string> names =
            words(style->columns, style->columns + std::strlen(style->columns));
        if (n == names.size() + 3)
            names.insert(names.end(), {"ix", "iy", "iz"});
        else if (n != names.size())
            return fail(first.number, std::to_string(n) + " columns where atom style " +
                                          style->name + " has " + std::to_string(names.size()) +
                                          " (" + std::to_string(names.size() + 3) +
                                          " with image flags)");
        if (!rows_.by_name(frame_, names))
            return fail(section_line, "no x y z columns"); // cannot happen: every style has them
        // The row map reads the rows; they are counted first, so that a short
        // section is told as such and not as a blank row.
        LineReader count_in = in;
        std::uint64_t got = 0;
        bool comments = false;
        while (got < count && row(count_in, b, e)) {
            comments = comments || std::find(b, count_in.p, '#') != count_in.p;
            ++got;
        }
        if (got < count)
            return short_rows(count_in, "Atoms", got);
        // Rows with comments (hand-written files: "1 1 0 0 0 # O") are read
        // from a copy without them, line for line; write_data writes none.
        std::string stripped;
        if (comments) {
            LineReader copy{in.p, count_in.p};
            while (copy.next(b, e)) {
                strip(b, e);
                stripped.append(b, e).push_back('\n');
            }
        }
        LineReader rows =
            comments ? LineReader{stripped.data(), stripped.data() + stripped.size(), in.number}
                     : LineReader{in.p, count_in.p, in.number};
        static const RowWords kWords = {
            "%i Atoms rows where the header says %n", "%i columns where the first row has %n",
            "more columns than the first row's %n",
            "atom count %n is more than the section's %i bytes of rows can hold", false};
        if (!rows_.read(rows, frame_, section_line, kWords, name_, k_, error_))
            return false;
        in.p = count_in.p;
        in.number = count_in.number;
        LineReader after = in;
        if (row(after, b, e))
            return fail(after.number, "more Atoms rows than the header says (" +
                                          std::to_string(count) + "): " + quote_token(b, e - b));
        return true;
    }

    bool read_velocities(LineReader &in) {
        std::unordered_map<std::int64_t, std::size_t> at;
        if (frame_.id.empty() && frame_.atoms > 0)
            return fail(in.number, "Velocities, where the Atoms rows have no ids");
        at.reserve(frame_.id.size());
        for (std::size_t i = 0; i < frame_.id.size(); ++i)
            at.emplace(frame_.id[i], i);
        const std::size_t first = frame_.fields.size();
        const char *const names[3] = {"vx", "vy", "vz"};
        for (const char *name : names) {
            frame_.fields.emplace_back();
            frame_.fields.back().name = name;
            frame_.fields.back().values.assign(frame_.id.size(), 0.0f);
        }
        skip_blank(in);
        const char *b, *e, *tb, *te;
        for (std::uint64_t r = 0; r < frame_.declared; ++r) {
            if (!row(in, b, e))
                return short_rows(in, "Velocities", r);
            const char *p = b;
            std::int64_t id = 0;
            double v[3];
            if (!next_token(p, e, tb, te) || !parse_int(tb, te, id))
                return fail(in.number, "Velocities: bad atom id " + quote_token(b, e - b));
            for (double &x : v)
                if (!next_token(p, e, tb, te) || !parse_number(tb, te - tb, x))
                    return fail(in.number,
                                "Velocities: expected id vx vy vz, found " + quote_token(b, e - b));
            const auto it = at.find(id);
            if (it == at.end()) {
                if (frame_.skipped > 0) // the atom was left out
                    continue;
                return fail(in.number,
                            "Velocities: atom id " + std::to_string(id) + " is in no Atoms row");
            }
            for (int c = 0; c < 3; ++c)
                frame_.fields[first + c].values[it->second] = to_float(v[c]);
        }
        return true;
    }

    bool read_masses(LineReader &in) {
        skip_blank(in);
        const char *b, *e, *tb, *te;
        while (row(in, b, e)) {
            const char *p = b;
            std::int64_t type = 0;
            double m = 0;
            if (!next_token(p, e, tb, te) || !parse_int(tb, te, type) || type < 1 ||
                type > kMaxType || !next_token(p, e, tb, te) || !parse_number(tb, te - tb, m))
                return fail(in.number,
                            "Masses: expected type mass, found " + quote_token(b, e - b));
            if (masses_.size() <= static_cast<std::size_t>(type))
                masses_.resize(type + 1, 0.0);
            masses_[type] = m;
        }
        return true;
    }

    // The mass of each atom's type, when the file gives masses and types.
    void add_masses() {
        if (masses_.empty() || frame_.type.empty())
            return;
        frame_.fields.emplace_back();
        Field &mass = frame_.fields.back();
        mass.name = "mass";
        mass.values.reserve(frame_.type.size());
        for (const std::int32_t t : frame_.type)
            mass.values.push_back(t > 0 && static_cast<std::size_t>(t) < masses_.size()
                                      ? to_float(masses_[t])
                                      : 0.0f);
    }

    std::vector<double> masses_;
};

} // namespace

const FormatSteps kDataSteps = {index_from, parse_with<FrameParser>};

bool looks_like_data_file(const char *data, std::size_t size) {
    // Judged on the lines' shape alone, so that a data file with a bad value
    // in its header is still one, and told so by this format's messages.
    LineReader in{data, data + size};
    const char *b, *e, *tb, *te;
    if (!in.next(b, e))
        return false;
    while (in.next(b, e)) {
        strip(b, e);
        if (b == e)
            continue;
        if (is_section(b, e))
            return false;
        const char *p = b;
        double v;
        if (!next_token(p, e, tb, te) || !parse_number(tb, te - tb, v))
            return false;
        if (next_token(p, e, tb, te) && te - tb == 5 && std::memcmp(tb, "atoms", 5) == 0 &&
            !next_token(p, e, tb, te))
            return true;
    }
    return false;
}

} // namespace detail

} // namespace vv
