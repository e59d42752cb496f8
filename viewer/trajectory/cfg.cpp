#include "viewer/trajectory/cfg.h"

#include "viewer/io/text.h"
#include "viewer/trajectory/one_frame.h"
#include "viewer/trajectory/rows.h"
#include "viewer/trajectory/xyz_comment.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace vv {

namespace detail {

namespace {

constexpr char kParticles[] = "Number of particles";
// More auxiliaries than this is not a CFG file's.
constexpr std::size_t kMaxEntries = 4096;

struct Header {
    std::uint64_t count = 0;
    bool has_count = false;
    double scale = 1;
    double h0[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    bool velocity = true;
    std::size_t entries = 0; // 0: no entry_count line
    std::vector<std::string> aux;
};

// A line that is neither blank nor a '#' comment, trimmed.
bool content_line(LineReader &in, const char *&b, const char *&e) {
    while (in.next(b, e)) {
        trim(b, e);
        if (b != e && *b != '#')
            return true;
    }
    return false;
}

// The first token after '=' as a number.
bool value_of(const char *eq, const char *e, double &v) {
    const char *p = eq + 1, *tb, *te;
    return next_token(p, e, tb, te) && parse_number(tb, te - tb, v) && std::isfinite(v);
}

// Reads the header lines from in, which is left before the first atom
// line (a mass). False with line and problem set.
bool read_header(LineReader &in, Header &h, std::uint64_t &line, std::string &problem) {
    auto say = [&](const std::string &p) {
        line = in.number;
        problem = p;
        return false;
    };
    for (;;) {
        LineReader before = in;
        const char *b, *e;
        if (!content_line(in, b, e)) {
            in = before;
            break;
        }
        if (e - b == 13 && std::memcmp(b, ".NO_VELOCITY.", 13) == 0) {
            h.velocity = false;
            continue;
        }
        const char *eq = static_cast<const char *>(std::memchr(b, '=', e - b));
        if (!eq) {
            in = before;
            break;
        }
        const char *kb = b, *ke = eq;
        trim(kb, ke);
        const std::string key(kb, ke);
        double v = 0;
        if (key == kParticles) {
            const char *p = eq + 1, *tb, *te;
            if (!next_token(p, e, tb, te) || !parse_int(tb, te, h.count))
                return say("Number of particles is not a non-negative integer: " +
                           quote_token(eq + 1, e - eq - 1));
            h.has_count = true;
        } else if (key == "A") {
            if (!value_of(eq, e, h.scale))
                return say("A is not a finite number: " + quote_token(eq + 1, e - eq - 1));
        } else if (key.size() == 7 && key.compare(0, 3, "H0(") == 0 && key[4] == ',' &&
                   key[6] == ')' && key[3] >= '1' && key[3] <= '3' && key[5] >= '1' &&
                   key[5] <= '3') {
            if (!value_of(eq, e, v))
                return say(key + " is not a finite number: " + quote_token(eq + 1, e - eq - 1));
            h.h0[key[3] - '1'][key[5] - '1'] = v;
        } else if (key.compare(0, 10, "Transform(") == 0 || key.compare(0, 4, "eta(") == 0) {
            return say("Transform and eta are not read: " + quote_token(kb, ke - kb));
        } else if (key == "entry_count") {
            const char *p = eq + 1, *tb, *te;
            if (!next_token(p, e, tb, te) || !parse_int(tb, te, h.entries) || h.entries < 3 ||
                h.entries > kMaxEntries)
                return say("entry_count is not a number from 3 to " + std::to_string(kMaxEntries) +
                           ": " + quote_token(eq + 1, e - eq - 1));
        } else if (key.compare(0, 10, "auxiliary[") == 0 && key.back() == ']') {
            std::size_t k = 0;
            const char *p = eq + 1, *tb, *te;
            if (!parse_int(key.data() + 10, key.data() + key.size() - 1, k) || k >= kMaxEntries ||
                !next_token(p, e, tb, te))
                return say("bad auxiliary line: " + quote_token(b, e - b));
            if (h.aux.size() <= k)
                h.aux.resize(k + 1);
            h.aux[k].assign(tb, te);
        }
        // R = ... and other keys: nothing to keep.
    }
    // A line the header lacks is told at the header's start.
    auto lacks = [&](const char *p) {
        line = 1;
        problem = p;
        return false;
    };
    if (!h.has_count)
        return lacks("no Number of particles line in the header");
    if (h.entries == 0)
        return lacks("no entry_count line: only extended CFG is read");
    const std::size_t due = h.entries - 3 - (h.velocity ? 3 : 0);
    if (h.entries < (h.velocity ? 6u : 3u) || h.aux.size() > due)
        return say("entry_count " + std::to_string(h.entries) + " does not hold the " +
                   (h.velocity ? "coordinates, velocities" : "coordinates") + " and " +
                   std::to_string(h.aux.size()) + " auxiliaries");
    h.aux.resize(due);
    for (std::size_t k = 0; k < due; ++k)
        if (h.aux[k].empty())
            h.aux[k] = "auxiliary" + std::to_string(k);
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
    entry.atoms = h.count;
    entry.timestep = step_from_name(name);
    return true;
}

bool index_from(Source &source, const std::string &name, FrameIndex &index, std::string &error) {
    // A row is three values and their separators at least.
    return index_one_frame(source, name, index, error, header_entry, 6);
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
        if (!read_header(in, h, line, problem))
            return fail(line, problem);
        frame_.declared = h.count;
        frame_.timestep = step_from_name(name_);
        box(h);
        columns(h);
        const std::uint64_t count_line = 1;
        const auto left = static_cast<std::size_t>(in.end - in.p);
        if (h.count > left / (2 * h.entries))
            return fail(count_line, "Number of particles " + std::to_string(h.count) +
                                        " is more than the file's " + std::to_string(left) +
                                        " bytes of rows can hold");
        reserve(h.count);
        return rows(in, h);
    }

  private:
    void box(const Header &h) {
        Box &box = frame_.box;
        box = Box();
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                box.cell[r][c] = h.h0[r][c] * h.scale;
        box.has_cell = true;
        turn_cell(box);
    }

    // What each value of a row is: roles_[i] for value i.
    void columns(const Header &h) {
        frame_.columns = {"mass", "element", "xs", "ys", "zs"};
        frame_.position_columns = "xs ys zs";
        std::vector<std::string> rest;
        if (h.velocity)
            rest = {"vx", "vy", "vz"};
        rest.insert(rest.end(), h.aux.begin(), h.aux.end());
        roles_.assign(3, Role::kX);
        field_.assign(3, 0);
        std::size_t fields = 0;
        add_field(fields, "mass");
        bool id = false, type = false;
        for (const std::string &name : rest) {
            frame_.columns.push_back(name);
            Role role = Role::kField;
            if (name == "id" && !id)
                role = Role::kId, id = true;
            else if (name == "type" && !type)
                role = Role::kType, type = true;
            roles_.push_back(role);
            field_.push_back(static_cast<std::uint32_t>(fields));
            if (role == Role::kField)
                add_field(fields, name);
        }
        frame_.fields.resize(fields);
        has_id_ = id;
        has_type_ = type;
    }

    void add_field(std::size_t &fields, const std::string &name) {
        if (frame_.fields.size() <= fields)
            frame_.fields.emplace_back();
        frame_.fields[fields].name = printable(name.data(), name.size());
        frame_.fields[fields].values.clear();
        ++fields;
    }

    void reserve(std::uint64_t count) {
        frame_.position.reserve(3 * count);
        frame_.element.reserve(count);
        if (has_id_)
            frame_.id.reserve(count);
        if (has_type_)
            frame_.type.reserve(count);
        for (Field &f : frame_.fields)
            f.values.reserve(count);
    }

    bool rows(LineReader &in, const Header &h) {
        const char *b, *e, *tb, *te;
        std::uint64_t atoms = 0;
        bool have_element = false;
        std::uint32_t element = 0;
        double mass = 0;
        std::vector<double> values(h.entries);
        const Box &box = frame_.box;
        const double len[3] = {box.hi[0] - box.lo[0], box.hi[1] - box.lo[1], box.hi[2] - box.lo[2]};
        while (content_line(in, b, e)) {
            const char *p = b;
            std::size_t n = 0;
            for (; n < h.entries && next_token(p, e, tb, te); ++n) {
                if (roles_[n] == Role::kId || roles_[n] == Role::kType) {
                    std::int64_t v;
                    if (!parse_int(tb, te, v))
                        return bad(in, n, tb, te);
                    values[n] = static_cast<double>(v);
                } else if (!parse_number(tb, te - tb, values[n])) {
                    if (n == 0)
                        break;
                    return bad(in, n, tb, te);
                }
            }
            if (n == 1 && !next_token(p, e, tb, te)) { // a mass line, then the element's
                mass = values[0];
                const char *eb, *ee;
                if (!content_line(in, eb, ee))
                    return fail(in.number + 1, "a mass line without the element line after it");
                if (!element_index(frame_, eb, ee, element))
                    return fail(in.number, "more than 256 element names");
                have_element = true;
                continue;
            }
            if (n != h.entries || next_token(p, e, tb, te))
                return fail(in.number, "expected " + std::to_string(h.entries) +
                                           " values (entry_count) or a mass, found " +
                                           quote_token(b, e - b));
            if (!have_element)
                return fail(in.number, "an atom row before any mass and element lines");
            if (++atoms > h.count)
                return fail(in.number, "more atoms than Number of particles says (" +
                                           std::to_string(h.count) + ")");
            const double *s = values.data();
            const double pos[3] = {box.lo[0] + s[0] * len[0] + s[1] * box.xy + s[2] * box.xz,
                                   box.lo[1] + s[1] * len[1] + s[2] * box.yz,
                                   box.lo[2] + s[2] * len[2]};
            if (!add_position(frame_, pos))
                continue;
            frame_.element.push_back(element);
            frame_.fields[0].values.push_back(to_float(mass));
            for (std::size_t i = 3; i < h.entries; ++i) {
                if (roles_[i] == Role::kId)
                    frame_.id.push_back(static_cast<std::int64_t>(values[i]));
                else if (roles_[i] == Role::kType)
                    frame_.type.push_back(static_cast<std::int32_t>(values[i]));
                else
                    frame_.fields[field_[i]].values.push_back(to_float(values[i]));
            }
        }
        if (atoms < h.count)
            return fail(in.number + 1, std::to_string(atoms) +
                                           " atoms where Number of particles says " +
                                           std::to_string(h.count));
        frame_.atoms = frame_.position.size() / 3;
        return true;
    }

    bool bad(const LineReader &in, std::size_t n, const char *tb, const char *te) {
        const std::string &column = frame_.columns[n + 2];
        return fail(in.number, "column " + quote_token(column.data(), column.size()) +
                                   ": bad value " + quote_token(tb, te - tb));
    }

    std::vector<Role> roles_;
    std::vector<std::uint32_t> field_;
    bool has_id_ = false, has_type_ = false;
};

} // namespace

const FormatSteps kCfgSteps = {index_from, parse_with<FrameParser>};

bool looks_like_cfg(const char *data, std::size_t size) {
    LineReader in{data, data + size};
    const char *b, *e;
    return content_line(in, b, e) && starts_with(b, e, kParticles);
}

} // namespace detail

} // namespace vv
