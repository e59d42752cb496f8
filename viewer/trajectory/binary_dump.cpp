#include "viewer/trajectory/binary_dump.h"

#include "viewer/io/binary.h"
#include "viewer/io/text.h"
#include "viewer/trajectory/dump.h"
#include "viewer/trajectory/rows.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace vv {

namespace detail {

namespace {

// Bounds that no real header comes near; past them a header is refused
// before its lengths are believed.
constexpr std::int64_t kMaxMagic = 64;
constexpr std::int32_t kMaxText = 1 << 20;   // units and column names
constexpr std::int32_t kMaxValues = 1 << 16; // values an atom
constexpr std::int32_t kOrderWord = 1;       // as the writer's machine stores 1
constexpr std::int32_t kRevision = 2;        // the revision that names columns

template <typename T> T value(const char *p) {
    return io::load<T, false>(p);
}
template <typename T> T swapped(const char *p) {
    return io::load<T, true>(p);
}

// One frame's header as the file holds it.
struct Header {
    std::int64_t timestep = 0, atoms = 0;
    double time = std::numeric_limits<double>::quiet_NaN(); // where the dump has one
    std::int32_t triclinic = 0;
    std::int32_t boundary[6] = {};
    double box[9] = {};
    std::int32_t size_one = 0;
    std::string columns;
    std::int32_t nchunk = 0;
};

// A header read: whole, cut by the end of the bytes, refused (problem set),
// or a binary dump without the magic (older LAMMPS).
enum class Got { kOk, kEnd, kBad, kOld };

const char kOldMessage[] =
    "a LAMMPS binary dump without the DUMPATOM or DUMPCUSTOM magic (older LAMMPS), which "
    "names no columns; convert it with LAMMPS's tools/binary2txt, or write it again with a "
    "newer LAMMPS";

std::string word(std::int32_t v) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(v));
    return hex;
}

// The header through take(n), which gives the next n bytes or null at the
// end of the bytes.
template <class Take> Got read_header(Take &&take, Header &h, std::string &problem) {
    const char *p;
#define NEXT(n)                                                                                    \
    if (!(p = take(n)))                                                                            \
    return Got::kEnd
    NEXT(8);
    const std::int64_t first = value<std::int64_t>(p);
    if (first >= 0)
        return Got::kOld;
    if (first < -kMaxMagic) {
        const std::int64_t other = swapped<std::int64_t>(p);
        problem = other < 0 && other >= -kMaxMagic
                      ? "written in the other byte order, which this reader does not convert"
                      : "no DUMPATOM or DUMPCUSTOM magic where the frame starts";
        return Got::kBad;
    }
    const auto len = static_cast<std::size_t>(-first);
    NEXT(len);
    if (!((len == 8 && std::memcmp(p, "DUMPATOM", 8) == 0) ||
          (len == 10 && std::memcmp(p, "DUMPCUSTOM", 10) == 0))) {
        problem = "magic " + quote_token(p, len) + " is not DUMPATOM or DUMPCUSTOM";
        return Got::kBad;
    }
    NEXT(4);
    const std::int32_t order = value<std::int32_t>(p);
    if (order != kOrderWord) {
        problem = swapped<std::int32_t>(p) == kOrderWord
                      ? "byte-order word " + word(order) +
                            ": written in the other byte order, which this reader does not convert"
                      : "byte-order word " + word(order) + " is not LAMMPS's 1";
        return Got::kBad;
    }
    NEXT(4);
    const std::int32_t revision = value<std::int32_t>(p);
    if (revision != kRevision) {
        problem = "format revision " + std::to_string(revision) + ", where this reader knows " +
                  std::to_string(kRevision) + " (the one that names the columns)";
        return Got::kBad;
    }
    NEXT(16);
    h.timestep = value<std::int64_t>(p);
    h.atoms = value<std::int64_t>(p + 8);
    if (h.atoms < 0) {
        problem = "atom count " + std::to_string(h.atoms) + " is negative";
        return Got::kBad;
    }
    NEXT(28);
    h.triclinic = value<std::int32_t>(p);
    if (h.triclinic != 0 && h.triclinic != 1) {
        problem = "triclinic flag " + std::to_string(h.triclinic) + " is not 0 or 1";
        return Got::kBad;
    }
    for (int i = 0; i < 6; ++i) {
        h.boundary[i] = value<std::int32_t>(p + 4 + 4 * i);
        if (h.boundary[i] < 0 || h.boundary[i] > 3) {
            problem = "boundary code " + std::to_string(h.boundary[i]) + " is not 0 to 3";
            return Got::kBad;
        }
    }
    const int nbox = h.triclinic ? 9 : 6;
    NEXT(8 * nbox);
    for (int i = 0; i < nbox; ++i)
        if (!std::isfinite(h.box[i] = value<double>(p + 8 * i))) {
            problem = "box value " + std::to_string(i + 1) + " is not a finite number";
            return Got::kBad;
        }
    NEXT(8);
    h.size_one = value<std::int32_t>(p);
    if (h.size_one < 1 || h.size_one > kMaxValues) {
        problem = std::to_string(h.size_one) + " values an atom";
        return Got::kBad;
    }
    const std::int32_t units = value<std::int32_t>(p + 4);
    if (units < 0 || units > kMaxText) {
        problem = "units length " + std::to_string(units);
        return Got::kBad;
    }
    if (units > 0)
        NEXT(static_cast<std::size_t>(units));
    NEXT(1);
    if (*p) {
        NEXT(8);
        h.time = value<double>(p);
    }
    NEXT(4);
    const std::int32_t names = value<std::int32_t>(p);
    if (names < 0 || names > kMaxText) {
        problem = "column names length " + std::to_string(names);
        return Got::kBad;
    }
    NEXT(static_cast<std::size_t>(names));
    h.columns.assign(p, static_cast<std::size_t>(names));
    NEXT(4);
    h.nchunk = value<std::int32_t>(p);
    if (h.nchunk < 0) {
        problem = "chunk count " + std::to_string(h.nchunk) + " is negative";
        return Got::kBad;
    }
#undef NEXT
    return Got::kOk;
}

// A magic-less header of older LAMMPS: timestep, atoms, triclinic flag,
// boundary codes, an ordered box, size_one, a chunk count and the first
// chunk's length all in range. Only to say what the file is.
bool looks_old(const char *d, std::size_t n) {
    if (n < 44)
        return false;
    const std::int64_t step = value<std::int64_t>(d), atoms = value<std::int64_t>(d + 8);
    const std::int32_t tri = value<std::int32_t>(d + 16);
    if (step < 0 || atoms < 0 || atoms > (std::int64_t(1) << 40) || (tri != 0 && tri != 1))
        return false;
    for (int i = 0; i < 6; ++i) {
        const std::int32_t b = value<std::int32_t>(d + 20 + 4 * i);
        if (b < 0 || b > 3)
            return false;
    }
    const std::size_t at = 44 + 8 * (tri ? 9 : 6);
    if (n < at + 12)
        return false;
    for (int a = 0; a < 3; ++a) {
        const double lo = value<double>(d + 44 + 16 * a), hi = value<double>(d + 52 + 16 * a);
        if (!(std::isfinite(lo) && std::isfinite(hi) && lo <= hi))
            return false;
    }
    const std::int32_t size_one = value<std::int32_t>(d + at),
                       nchunk = value<std::int32_t>(d + at + 4),
                       first = value<std::int32_t>(d + at + 8);
    return size_one >= 1 && size_one <= 1000 && nchunk >= 1 && nchunk <= (1 << 20) && first >= 0 &&
           first % size_one == 0 && first / size_one <= atoms;
}

std::string frame_at(const std::string &name, std::size_t k) {
    return name + ": frame " + std::to_string(k) + ": ";
}

// ---- The index ------------------------------------------------------------------

// Headers and chunk lengths, the chunks' values seeked past: the last byte
// of each chunk is read, so that a file that ends inside one shows.
bool index_from(Source &source, const std::string &name, FrameIndex &index, std::string &error) {
    Window w(source, io::kParseBlock);
    std::string problem;
    for (std::size_t k = 1;; ++k) {
        const std::uint64_t start = w.tell();
        const std::string at = frame_at(name, k);
        if (!w.need(1, error)) {
            if (!error.empty())
                return false;
            if (k == 1) {
                error = name + ": empty file";
                return false;
            }
            index.end = start;
            return true;
        }
        Header h;
        const Got got = read_header([&](std::size_t n) { return w.take(n, error); }, h, problem);
        if (!error.empty())
            return false;
        const auto cut = [&](const std::string &where) {
            index.end = start;
            index.warning = at + "the file ends inside " + where + "; the frame is left out";
            return true;
        };
        switch (got) {
        case Got::kOk:
            break;
        case Got::kEnd:
            return cut("the frame's header");
        case Got::kOld:
            error = k == 1 ? name + ": " + kOldMessage
                           : at + "header: no DUMPATOM or DUMPCUSTOM magic where the frame starts";
            return false;
        case Got::kBad:
            error = at + "header: " + problem;
            return false;
        }
        const auto per = static_cast<std::uint64_t>(h.size_one);
        std::uint64_t values = 0;
        for (std::int32_t c = 1; c <= h.nchunk; ++c) {
            const std::string chunk = "chunk " + std::to_string(c);
            const char *p = w.take(4, error);
            if (!p)
                return error.empty() ? cut(chunk) : false;
            const std::int32_t n = value<std::int32_t>(p);
            if (n < 0 || n % h.size_one != 0) {
                error = at + chunk + ": length " + std::to_string(n) +
                        " is not a whole number of atoms of " + std::to_string(h.size_one) +
                        " values";
                return false;
            }
            values += static_cast<std::uint64_t>(n);
            if (n > 0 && (!w.seek(w.tell() + 8 * static_cast<std::uint64_t>(n) - 1, error) ||
                          !w.take(1, error)))
                return error.empty() ? cut(chunk + " (" + std::to_string(n) + " values)") : false;
        }
        if (values / per != static_cast<std::uint64_t>(h.atoms)) {
            error = at + "the chunks hold " + std::to_string(values / per) +
                    " atoms where the header says " + std::to_string(h.atoms);
            return false;
        }
        FrameEntry entry;
        entry.offset = start;
        entry.timestep = h.timestep;
        entry.atoms = static_cast<std::uint64_t>(h.atoms);
        index.frames.push_back(entry);
    }
}

// ---- One frame ------------------------------------------------------------------

class FrameParser : FrameParserBase {
  public:
    using FrameParserBase::FrameParserBase;

    bool parse(const char *data, std::size_t size) {
        p_ = data;
        end_ = data + size;
        Header h;
        std::string problem;
        switch (read_header([this](std::size_t n) { return take(n); }, h, problem)) {
        case Got::kOk:
            break;
        case Got::kEnd:
            return bad("header: the frame ends inside its header");
        case Got::kOld:
            return bad("header: no DUMPATOM or DUMPCUSTOM magic where the frame starts");
        case Got::kBad:
            return bad("header: " + problem);
        }
        frame_.timestep = h.timestep;
        frame_.time = h.time;
        frame_.declared = static_cast<std::uint64_t>(h.atoms);
        box(h);
        if (!columns(h))
            return false;
        // Every atom is size_one doubles: a count the bytes left cannot hold
        // is refused before anything is reserved.
        const auto left = static_cast<std::size_t>(end_ - p_);
        const auto row = 8 * static_cast<std::size_t>(h.size_one);
        if (frame_.declared > left / row)
            return bad("header: " + std::to_string(frame_.declared) + " atoms of " +
                       std::to_string(row) + " bytes are more than the frame's " +
                       std::to_string(left) + " bytes can hold");
        make_room();
        std::uint64_t atoms = 0;
        for (std::int32_t c = 1; c <= h.nchunk; ++c) {
            const char *q = take(4);
            const std::int32_t n = q ? value<std::int32_t>(q) : -1;
            const auto rows = static_cast<std::uint64_t>(n) / h.size_one;
            if (!q || n < 0 || n % h.size_one != 0 || rows > frame_.declared - atoms ||
                !(q = take(8 * static_cast<std::size_t>(n))))
                return bad("chunk " + std::to_string(c) +
                           ": its length does not match the header or the index (the file "
                           "changed since it was indexed?)");
            if (!convert(q, static_cast<std::size_t>(rows), row, c))
                return false;
            atoms += rows;
        }
        if (atoms != frame_.declared || p_ != end_)
            return bad("the chunks do not hold the header's atoms (the file changed since it "
                       "was indexed?)");
        finish();
        return true;
    }

  private:
    const char *take(std::size_t n) {
        if (static_cast<std::size_t>(end_ - p_) < n)
            return nullptr;
        const char *q = p_;
        p_ += n;
        return q;
    }

    bool bad(const std::string &problem) {
        error_ = frame_at(name_, k_) + problem;
        return false;
    }

    void box(const Header &h) {
        Box &box = frame_.box;
        box = Box();
        static const char kCodes[] = "pfsm";
        for (int a = 0; a < 3; ++a) {
            box.lo[a] = h.box[2 * a];
            box.hi[a] = h.box[2 * a + 1];
            box.boundary[a] = {kCodes[h.boundary[2 * a]], kCodes[h.boundary[2 * a + 1]]};
        }
        if (h.triclinic) {
            box.triclinic = true;
            box.xy = h.box[6];
            box.xz = h.box[7];
            box.yz = h.box[8];
            from_bounding_box(box);
        }
    }

    // The columns' roles as a text dump's of the same names.
    bool columns(const Header &h) {
        std::vector<std::string> names;
        const char *p = h.columns.data(), *e = p + h.columns.size(), *tb, *te;
        while (next_token(p, e, tb, te))
            names.emplace_back(tb, te);
        if (names.size() != static_cast<std::size_t>(h.size_one))
            return bad("header: " + std::to_string(names.size()) + " column names for " +
                       std::to_string(h.size_one) + " values an atom");
        std::vector<Role> roles;
        Flavour flavour = Flavour::kPlain;
        std::string position;
        const bool found = roles_by_name(names, roles, flavour, position);
        rows_.start(frame_);
        std::fill(std::begin(col_), std::end(col_), -1);
        field_cols_.clear();
        for (std::size_t i = 0; i < names.size(); ++i) {
            // Values here are numbers: an element column is its number.
            const Role role = roles[i] == Role::kElement ? Role::kField : roles[i];
            rows_.add(frame_, names[i], role);
            const int c = static_cast<int>(i);
            switch (role) {
            case Role::kId:
                col_[0] = c;
                break;
            case Role::kType:
                col_[1] = c;
                break;
            case Role::kX:
            case Role::kY:
            case Role::kZ:
                col_[2 + static_cast<int>(role) - static_cast<int>(Role::kX)] = c;
                break;
            case Role::kField:
                field_cols_.push_back(c);
                break;
            default:
                break;
            }
        }
        rows_.finish(frame_, flavour, position);
        if (!found)
            return bad("header: no position columns (x y z, xu yu zu, xs ys zs or xsu ysu zsu) "
                       "among " +
                       std::to_string(names.size()) + " columns");
        scaled_ = flavour == Flavour::kScaled || flavour == Flavour::kScaledUnwrapped;
        return true;
    }

    void make_room() {
        const std::size_t n = static_cast<std::size_t>(frame_.declared);
        frame_.position.resize(3 * n);
        if (col_[0] >= 0)
            frame_.id.resize(n);
        if (col_[1] >= 0)
            frame_.type.resize(n);
        for (Field &f : frame_.fields)
            f.values.resize(n);
        kept_ = 0;
    }

    // Rows of one chunk into the frame: a load and a conversion a value.
    bool convert(const char *p, std::size_t rows, std::size_t stride, std::int32_t chunk) {
        const Box &box = frame_.box;
        const double len[3] = {box.hi[0] - box.lo[0], box.hi[1] - box.lo[1], box.hi[2] - box.lo[2]};
        const int ix = col_[2], iy = col_[3], iz = col_[4], iid = col_[0], itype = col_[1];
        float *pos_out = frame_.position.data();
        for (std::size_t r = 0; r < rows; ++r, p += stride) {
            double pos[3] = {value<double>(p + 8 * ix), value<double>(p + 8 * iy),
                             iz >= 0 ? value<double>(p + 8 * iz) : 0.0};
            if (scaled_)
                unscale(box, len, iz >= 0, pos);
            if (!(std::fabs(pos[0]) <= FLT_MAX && std::fabs(pos[1]) <= FLT_MAX &&
                  std::fabs(pos[2]) <= FLT_MAX))
                continue; // counted as skipped in finish()
            const std::size_t k = kept_;
            if (iid >= 0) {
                const double v = value<double>(p + 8 * iid);
                if (!(v == std::floor(v) && std::fabs(v) < 9.2e18))
                    return bad_value(chunk, r, iid, v);
                frame_.id[k] = static_cast<std::int64_t>(v);
            }
            if (itype >= 0) {
                const double v = value<double>(p + 8 * itype);
                if (!(v == std::floor(v) && std::fabs(v) <= 2147483647.0))
                    return bad_value(chunk, r, itype, v);
                frame_.type[k] = static_cast<std::int32_t>(v);
            }
            for (std::size_t f = 0; f < field_cols_.size(); ++f)
                frame_.fields[f].values[k] = to_float(value<double>(p + 8 * field_cols_[f]));
            pos_out[3 * k] = static_cast<float>(pos[0]);
            pos_out[3 * k + 1] = static_cast<float>(pos[1]);
            pos_out[3 * k + 2] = static_cast<float>(pos[2]);
            ++kept_;
        }
        return true;
    }

    bool bad_value(std::int32_t chunk, std::size_t r, int column, double v) {
        const std::string &name = frame_.columns[static_cast<std::size_t>(column)];
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", v);
        return bad("chunk " + std::to_string(chunk) + ": row " + std::to_string(r + 1) +
                   ": column " + quote_token(name.data(), name.size()) + ": " + text +
                   " is not a whole number");
    }

    // Storage cut to the atoms kept.
    void finish() {
        frame_.position.resize(3 * kept_);
        if (col_[0] >= 0)
            frame_.id.resize(kept_);
        if (col_[1] >= 0)
            frame_.type.resize(kept_);
        for (Field &f : frame_.fields)
            f.values.resize(kept_);
        frame_.atoms = kept_;
        frame_.skipped = static_cast<std::size_t>(frame_.declared) - kept_;
    }

    const char *p_ = nullptr, *end_ = nullptr;
    int col_[5] = {-1, -1, -1, -1, -1}; // id, type, x, y, z
    std::vector<int> field_cols_;
    bool scaled_ = false;
    std::size_t kept_ = 0;
};

} // namespace

const FormatSteps kBinaryDumpSteps = {index_from, parse_with<FrameParser>};

bool looks_like_binary_dump(const char *data, std::size_t size) {
    if (size >= 18)
        for (const bool swap : {false, true}) {
            const std::int64_t first =
                swap ? swapped<std::int64_t>(data) : value<std::int64_t>(data);
            if ((first == -8 && std::memcmp(data + 8, "DUMPATOM", 8) == 0) ||
                (first == -10 && std::memcmp(data + 8, "DUMPCUSTOM", 10) == 0))
                return true;
        }
    return looks_old(data, size);
}

} // namespace detail

} // namespace vv
