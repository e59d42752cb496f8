// PLY, read by hand in two streamed passes like XYZ: the first walks every
// row of the file to check it, count the vertices and gather their bounds,
// so that the voxel block is allocated once for the rows really there; the
// second stores each vertex straight into the block, centred and scaled in
// double precision. Binary files with float x, y and z (most scans) take
// one pass: the file's length vouches for the rows before the block is
// allocated, the raw floats are stored while the bounds are gathered, and
// they are centred and scaled in place afterwards, the same bits as the
// second pass (a float widens to double without loss). Every other number
// of a vertex (intensity, nx, quality, ...) is kept as a scalar field, its
// values beside their nodes, allocated with the block. No Debian library
// reads PLY points streamed into a block of ours: the model importer builds
// a whole scene first (several times the block's memory on a large scan),
// draws made-up points when an element comes before the vertices (a camera,
// say), and ignores diffuse_* colours.
#include "viewer/formats/ply.h"

#include "viewer/formats/row_counts.h"
#include "viewer/io/stream.h"
#include "viewer/io/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <istream>
#include <iterator>
#include <string_view>
#include <vector>

namespace vv {
namespace {

const struct {
    const char *name;
    Type type;
} kTypes[] = {
    {"char", Type::I8},   {"int8", Type::I8},     {"uchar", Type::U8},   {"uint8", Type::U8},
    {"short", Type::I16}, {"int16", Type::I16},   {"ushort", Type::U16}, {"uint16", Type::U16},
    {"int", Type::I32},   {"int32", Type::I32},   {"uint", Type::U32},   {"uint32", Type::U32},
    {"float", Type::F32}, {"float32", Type::F32}, {"double", Type::F64}, {"float64", Type::F64}};

bool is_integer(Type t) {
    return t != Type::F32 && t != Type::F64;
}

// What a colour value of the type means at full intensity.
double full_scale(Type t) {
    switch (t) {
    case Type::I16:
    case Type::U16:
        return 65535;
    case Type::F32:
    case Type::F64:
        return 1;
    default:
        return 255;
    }
}

// The header's table of properties, all of them kept: x, y, z and colours
// fill the nodes, the other numbers of a vertex become scalar fields.
struct Property {
    std::string name;
    Type type = Type::U8; // of the value, or of each item of a list
    bool list = false;
    Type count_type = Type::U8; // of a list's item count
};

struct Element {
    std::string name;
    std::uint64_t count = 0;
    std::vector<Property> properties;
    // Bytes per binary row; 0 when a list makes rows differ.
    std::uint64_t row_size() const {
        std::uint64_t n = 0;
        for (const Property &p : properties) {
            if (p.list)
                return 0;
            n += size_of(p.type);
        }
        return n;
    }
};

enum class Format { Ascii, Little, Big };

// Bytes of binary vertex rows taken from the buffer at once.
constexpr std::size_t kRowBlock = std::size_t{1} << 20;

std::string quote(std::string_view s) {
    return quote_token(s.data(), s.size());
}

bool find_type(std::string_view word, Type &t) {
    for (const auto &k : kTypes)
        if (word == k.name) {
            t = k.type;
            return true;
        }
    return false;
}

// A float of the file, its bytes swapped when `swap`.
template <bool swap> float load_float(const char *p) {
    std::uint32_t u;
    std::memcpy(&u, p, sizeof u);
    if (swap)
        u = __builtin_bswap32(u);
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

class Reader : public LineReader {
  public:
    using LineReader::LineReader;

    bool header();
    bool pass(Tally &t, Cloud *store, const Normaliser *norm);
    bool has_vertices() const { return vertex_ < elements_.size(); }
    // Gives `cloud` the vertex element's scalar fields, `count` values each;
    // false when the memory is not there.
    // The scalar properties kept for colouring, by name.
    std::vector<std::string> field_names() const;
    // Set before the first pass: a binary file with float x, y and z stores
    // its vertices here as it is measured (see float_vertices).
    Cloud *early = nullptr;
    bool early_stored = false; // all vertex rows are in `early`, raw

  private:
    bool truncated(const Element &e, std::uint64_t found) {
        error_ = truncated_message(name_, e.count,
                                   printable(e.name.data(), e.name.size()) + " rows", found);
        return false;
    }
    bool header_line(std::string_view s);
    bool find_roles();
    bool point(const double *v, Tally &t, Cloud *store, const Normaliser *norm);
    bool ascii_vertices(const Element &e, Tally &t, Cloud *store, const Normaliser *norm);
    bool ascii_skip(const Element &e);
    bool binary_rows(const Element &e, Tally *t, Cloud *store, const Normaliser *norm);
    bool float_vertices(const Element &e, std::uint64_t row_size, Tally &t);
    template <bool swap, bool bytes>
    void store_floats(const char *rows, std::size_t n, std::size_t row_size, Tally &t);

    bool have_format_ = false;
    Format format_ = Format::Ascii;
    bool swap_ = false;
    std::vector<Element> elements_;
    std::size_t vertex_ = 0; // index of the vertex element; the count of them for none
    // Indices into the vertex element's properties: x, y, z, then red,
    // green, blue (-1 for no colour).
    int roles_[6] = {-1, -1, -1, -1, -1, -1};
    double scale_[3] = {1, 1, 1};
    // Byte offset in a binary vertex row and type of each of those roles.
    std::size_t offsets_[6] = {};
    Type types_[6] = {};
    // The vertex properties kept as scalar fields, in the file's order:
    // index, byte offset in a binary row (of fixed size) and type.
    struct Scalar {
        std::size_t property;
        std::size_t offset;
        Type type;
    };
    std::vector<Scalar> scalars_;
};

bool Reader::header_line(std::string_view s) {
    std::string_view w[6];
    const std::size_t n = split(s, w, 6);
    if (n == 0 || w[0] == "comment" || w[0] == "obj_info")
        return true;
    if (w[0] == "format") {
        if (n < 2)
            return fail_line("format line without a format");
        if (w[1] == "ascii")
            format_ = Format::Ascii;
        else if (w[1] == "binary_little_endian")
            format_ = Format::Little;
        else if (w[1] == "binary_big_endian")
            format_ = Format::Big;
        else
            return fail_line("unknown format " + quote(w[1]));
        have_format_ = true;
        return true;
    }
    if (w[0] == "element") {
        if (n < 3)
            return fail_line("element line needs a name and a count");
        Element e;
        e.name = std::string(w[1]);
        const auto r = std::from_chars(w[2].data(), w[2].data() + w[2].size(), e.count);
        if (r.ec != std::errc() || r.ptr != w[2].data() + w[2].size())
            return fail_line("element count " + quote(w[2]) + " is not a whole number");
        elements_.push_back(std::move(e));
        return true;
    }
    if (w[0] == "property") {
        if (elements_.empty())
            return fail_line("property before any element");
        Property p;
        const bool list = n >= 2 && w[1] == "list";
        if (n < (list ? 5u : 3u))
            return fail_line(list ? "list property needs a count type, an item type and a name"
                                  : "property needs a type and a name");
        const std::string_view type = w[list ? 2 : 1];
        if (!find_type(type, list ? p.count_type : p.type))
            return fail_line("unknown property type " + quote(type));
        if (list) {
            if (!is_integer(p.count_type))
                return fail_line("list count type " + quote(type) + " is not an integer type");
            if (!find_type(w[3], p.type))
                return fail_line("unknown property type " + quote(w[3]));
        }
        p.list = list;
        p.name = std::string(w[list ? 4 : 2]);
        elements_.back().properties.push_back(std::move(p));
        return true;
    }
    // Any other line (a bare text line some exporters write) is ignored, as
    // the importer has always done.
    return true;
}

bool Reader::header() {
    std::string_view s;
    bool end = false;
    if (!next_line(s, end))
        return end ? fail("empty file") : false;
    std::string_view first[2];
    if (split(s, first, 2) != 1 || first[0] != "ply")
        return fail("not a PLY file (no 'ply' line at the start)");
    while (true) {
        if (!next_line(s, end))
            return end ? fail("the header has no end_header line") : false;
        std::string_view w[1];
        if (split(s, w, 1) >= 1 && w[0] == "end_header")
            break;
        if (line_ > kMaxHeaderLines)
            return fail("the header has no end_header line in its first " +
                        std::to_string(kMaxHeaderLines) + " lines");
        if (!header_line(s))
            return false;
    }
    if (!have_format_)
        return fail("the header has no format line");
    swap_ = format_ != Format::Ascii && (format_ == Format::Little) != host_is_little_endian();
    mark_body();
    return find_roles();
}

bool Reader::find_roles() {
    const auto vertex = std::find_if(elements_.begin(), elements_.end(),
                                     [](const Element &e) { return e.name == "vertex"; });
    vertex_ = static_cast<std::size_t>(vertex - elements_.begin());
    if (vertex == elements_.end())
        return true; // refused after the first pass, which may find the file short

    static const char *const kNames[6][3] = {
        {"x", nullptr, nullptr},         {"y", nullptr, nullptr},
        {"z", nullptr, nullptr},         {"red", "r", "diffuse_red"},
        {"green", "g", "diffuse_green"}, {"blue", "b", "diffuse_blue"}};
    const std::vector<Property> &props = vertex->properties;
    for (int role = 0; role < 6; ++role)
        for (std::size_t i = 0; i < props.size() && roles_[role] < 0; ++i)
            for (const char *n : kNames[role])
                if (n && !props[i].list && props[i].name == n)
                    roles_[role] = static_cast<int>(i);
    for (int axis = 0; axis < 3; ++axis)
        if (roles_[axis] < 0)
            return fail(std::string("the vertex element has no ") + "xyz"[axis] + " property");
    if (roles_[3] < 0 || roles_[4] < 0 || roles_[5] < 0)
        roles_[3] = roles_[4] = roles_[5] = -1;
    for (int c = 0; c < 3 && roles_[3] >= 0; ++c)
        scale_[c] = full_scale(props[static_cast<std::size_t>(roles_[3 + c])].type);
    std::size_t at[sizeof roles_ / sizeof *roles_] = {};
    for (int role = 0; role < 6; ++role) {
        if (roles_[role] < 0)
            continue;
        const auto k = static_cast<std::size_t>(roles_[role]);
        for (std::size_t i = 0; i < k; ++i)
            at[role] += props[i].list ? 0 : size_of(props[i].type);
        offsets_[role] = at[role];
        types_[role] = props[k].type;
    }
    // Every other number is a scalar to colour by; alpha is no colour we use.
    std::size_t offset = 0;
    for (std::size_t i = 0; i < props.size();
         offset += props[i].list ? 0 : size_of(props[i].type), ++i) {
        const bool role = std::find(std::begin(roles_), std::end(roles_), static_cast<int>(i)) !=
                          std::end(roles_);
        if (!props[i].list && !role && props[i].name != "alpha" && props[i].name != "diffuse_alpha")
            scalars_.push_back({i, offset, props[i].type});
    }
    return true;
}

std::vector<std::string> Reader::field_names() const {
    const std::vector<Property> &props = elements_[vertex_].properties;
    std::vector<std::string> names;
    for (const Scalar &s : scalars_)
        names.push_back(props[s.property].name);
    return names;
}

float unit(double v, double scale) {
    const double c = v / scale;
    return std::isfinite(c) ? static_cast<float>(std::clamp(c, 0.0, 1.0)) : 0.0f;
}

// One vertex row's values, indexed by property (lists left out).
bool Reader::point(const double *v, Tally &t, Cloud *store, const Normaliser *norm) {
    const double x = v[roles_[0]], y = v[roles_[1]], z = v[roles_[2]];
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
        ++t.skipped;
        return true;
    }
    if (!store) {
        t.bounds.add(x, y, z);
        ++t.points;
        return true;
    }
    if (store->count == store->capacity)
        return fail(kChanged);
    VoxelNode &node = store->nodes[store->count++];
    norm->apply(x, y, z, node);
    if (roles_[3] >= 0) {
        node.r = unit(v[roles_[3]], scale_[0]);
        node.g = unit(v[roles_[4]], scale_[1]);
        node.b = unit(v[roles_[5]], scale_[2]);
    } else {
        node.r = node.g = node.b = kNoColour;
    }
    for (std::size_t j = 0; j < scalars_.size(); ++j)
        store->fields[j].values[store->count - 1] = to_float(v[scalars_[j].property]);
    return true;
}

bool Reader::ascii_vertices(const Element &e, Tally &t, Cloud *store, const Normaliser *norm) {
    std::vector<double> values(e.properties.size(), 0.0);
    std::string_view s;
    bool end = false;
    for (std::uint64_t row = 0; row < e.count;) {
        if (!next_line(s, end))
            return end ? truncated(e, row) : false;
        std::size_t i = 0;
        const auto token = [&](std::string_view &out) {
            while (i < s.size() && is_space(s[i]))
                ++i;
            const std::size_t start = i;
            while (i < s.size() && !is_space(s[i]))
                ++i;
            out = s.substr(start, i - start);
            return !out.empty();
        };
        std::string_view tok;
        if (is_blank(s))
            continue;
        for (std::size_t k = 0; k < e.properties.size(); ++k) {
            const Property &p = e.properties[k];
            if (!token(tok))
                return fail_line("too few values for a vertex row");
            double v = 0;
            if (!parse_number(tok.data(), tok.size(), v))
                return fail_line(quote(tok) + " is not a number");
            if (!p.list) {
                values[k] = v;
                continue;
            }
            if (!(v >= 0 && v <= 1e9) || v != std::floor(v))
                return fail_line("list length " + quote(tok) + " is not a whole number");
            for (auto items = static_cast<std::uint64_t>(v); items > 0; --items)
                if (!token(tok))
                    return fail_line("too few values for a vertex row");
        }
        if (token(tok))
            return fail_line("more values than the vertex element has properties");
        if (!point(values.data(), t, store, norm))
            return false;
        ++row;
    }
    return true;
}

// Rows of another element in ascii: one line each, blank lines aside.
bool Reader::ascii_skip(const Element &e) {
    std::string_view s;
    bool end = false;
    for (std::uint64_t row = 0; row < e.count;) {
        if (!next_line(s, end))
            return end ? truncated(e, row) : false;
        row += !is_blank(s);
    }
    return true;
}

// The rows of one binary element: vertices to `point` when t is given, any
// other element skipped.
bool Reader::binary_rows(const Element &e, Tally *t, Cloud *store, const Normaliser *norm) {
    if (e.properties.empty())
        return true; // rows of nothing, however many, take no bytes
    const std::uint64_t row_size = e.row_size();
    const std::uint64_t left = size - std::min(size, src_.offset());
    if (row_size > 0 && !t) {
        // Rows of one size: the length of the file says how many are there.
        const std::uint64_t rows = std::min(e.count, left / row_size);
        if (rows < e.count)
            return truncated(e, rows);
        src_.seek(src_.offset() + rows * row_size);
        return true;
    }
    if (row_size > 0 && t && !store && early) {
        const Property *const p = e.properties.data();
        if (p[roles_[0]].type == Type::F32 && p[roles_[1]].type == Type::F32 &&
            p[roles_[2]].type == Type::F32)
            return float_vertices(e, row_size, *t);
    }
    std::vector<double> values(e.properties.size(), 0.0);
    if (row_size > 0) {
        // Vertex rows of one size: decode the values we use, at their offsets.
        std::vector<std::size_t> offsets;
        for (std::size_t k = 0, at = 0; k < e.properties.size();
             at += size_of(e.properties[k++].type))
            offsets.push_back(at);
        for (std::uint64_t row = 0; row < e.count; ++row) {
            const char *bytes = src_.take(static_cast<std::size_t>(row_size));
            if (!bytes)
                return truncated(e, row);
            for (const int k : roles_)
                if (k >= 0)
                    values[k] = decode(bytes + offsets[k], e.properties[k].type, swap_);
            for (const Scalar &s : scalars_)
                if (store)
                    values[s.property] = decode(bytes + s.offset, s.type, swap_);
            if (!point(values.data(), *t, store, norm))
                return false;
        }
        return true;
    }
    for (std::uint64_t row = 0; row < e.count; ++row) {
        for (std::size_t k = 0; k < e.properties.size(); ++k) {
            const Property &p = e.properties[k];
            const Type type = p.list ? p.count_type : p.type;
            const char *bytes = src_.take(size_of(type));
            if (!bytes)
                return truncated(e, row);
            values[k] = decode(bytes, type, swap_);
            if (!p.list)
                continue;
            if (values[k] < 0)
                return fail("a " + printable(e.name.data(), e.name.size()) +
                            " row has a negative list length");
            const std::uint64_t skip = static_cast<std::uint64_t>(values[k]) * size_of(p.type);
            const std::uint64_t here = src_.offset();
            if (skip > size - std::min(size, here))
                return truncated(e, row);
            src_.seek(here + skip);
        }
        if (t && !point(values.data(), *t, store, norm))
            return false;
    }
    return true;
}

// The vertex rows of a binary file with float x, y and z, measured and, when
// the block can be had for all of them, stored raw into `early`, colours as
// the second pass would. A skipped row leaves the block one node too large:
// read_ply then makes the second pass into a block of the points' size.
bool Reader::float_vertices(const Element &e, std::uint64_t row_size, Tally &t) {
    const std::uint64_t left = size - std::min(size, src_.offset());
    const std::uint64_t rows = std::min(e.count, left / row_size);
    if (rows < e.count)
        return truncated(e, rows); // before any allocation
    // Rows are at least 12 bytes and all in the file, so this cannot overflow.
    if (rows > 0 && (!allocate(*early, static_cast<std::size_t>(rows)) ||
                     !add_fields(*early, field_names(), static_cast<std::size_t>(rows)))) {
        clear(*early);
        early = nullptr; // left to the two passes, with their message
    }
    const Property *const p = e.properties.data();
    const bool bytes =
        roles_[3] < 0 || (p[roles_[3]].type == Type::U8 && p[roles_[4]].type == Type::U8 &&
                          p[roles_[5]].type == Type::U8);
    const std::size_t per_block = std::max<std::size_t>(1, kRowBlock / row_size);
    for (std::uint64_t row = 0; row < rows;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(rows - row, per_block));
        const char *block = src_.take(n * static_cast<std::size_t>(row_size));
        if (!block)
            return fail(kChanged);
        const auto rs = static_cast<std::size_t>(row_size);
        if (swap_)
            bytes ? store_floats<true, true>(block, n, rs, t)
                  : store_floats<true, false>(block, n, rs, t);
        else
            bytes ? store_floats<false, true>(block, n, rs, t)
                  : store_floats<false, false>(block, n, rs, t);
        row += n;
    }
    early_stored = early != nullptr;
    return true;
}

// n rows into `early` (or only measured, without it). `bytes`: colours are
// uchar (or absent), read without decode().
template <bool swap, bool bytes>
void Reader::store_floats(const char *rows, std::size_t n, std::size_t row_size, Tally &t) {
    const std::size_t ox = offsets_[0], oy = offsets_[1], oz = offsets_[2];
    const bool colour = roles_[3] >= 0;
    const std::size_t oc[3] = {offsets_[3], offsets_[4], offsets_[5]};
    const Type tc[3] = {types_[3], types_[4], types_[5]};
    Bounds &b = t.bounds;
    VoxelNode *const nodes = early ? early->nodes.get() : nullptr;
    // unit() of every byte, worked out once rather than per value.
    float byte_unit[3][256];
    for (int c = 0; c < 3 && bytes && colour; ++c)
        for (int v = 0; v < 256; ++v)
            byte_unit[c][v] = unit(v, scale_[c]);
    for (std::size_t i = 0; i < n; ++i, rows += row_size) {
        const float x = load_float<swap>(rows + ox), y = load_float<swap>(rows + oy),
                    z = load_float<swap>(rows + oz);
        if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
            ++t.skipped;
            continue;
        }
        if (b.empty) {
            b.add(x, y, z);
        } else {
            const double p[3] = {x, y, z};
            for (int k = 0; k < 3; ++k) {
                b.lo[k] = std::min(b.lo[k], p[k]);
                b.hi[k] = std::max(b.hi[k], p[k]);
            }
        }
        if (nodes) {
            VoxelNode &node = nodes[t.points];
            node.x = x;
            node.y = y;
            node.z = z;
            if (!colour) {
                node.r = node.g = node.b = kNoColour;
            } else if (bytes) {
                node.r = byte_unit[0][static_cast<unsigned char>(rows[oc[0]])];
                node.g = byte_unit[1][static_cast<unsigned char>(rows[oc[1]])];
                node.b = byte_unit[2][static_cast<unsigned char>(rows[oc[2]])];
            } else {
                node.r = unit(decode(rows + oc[0], tc[0], swap_), scale_[0]);
                node.g = unit(decode(rows + oc[1], tc[1], swap_), scale_[1]);
                node.b = unit(decode(rows + oc[2], tc[2], swap_), scale_[2]);
            }
        }
        for (std::size_t j = 0; nodes && j < scalars_.size(); ++j)
            early->fields[j].values[t.points] =
                to_float(decode(rows + scalars_[j].offset, scalars_[j].type, swap));
        ++t.points;
    }
}

// One pass over the body: without `store` every element is walked (its rows
// counted) and the vertices measured; with it, the vertices are stored and
// what follows them is left unread.
bool Reader::pass(Tally &t, Cloud *store, const Normaliser *norm) {
    for (std::size_t i = 0; i < elements_.size(); ++i) {
        const Element &e = elements_[i];
        if (store && i > vertex_)
            break;
        const bool vertex = i == vertex_;
        const bool ok = format_ == Format::Ascii
                            ? (vertex ? ascii_vertices(e, t, store, norm) : ascii_skip(e))
                            : binary_rows(e, vertex ? &t : nullptr, store, norm);
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

bool read_ply(std::istream &in, const std::string &name, Cloud &cloud, std::string &error) {
    clear(cloud);
    Reader reader(in, name, error);
    if (!seekable_size(in, name, reader.size, error))
        return false;
    reader.early = &cloud;
    Tally measure;
    if (!reader.header() || !reader.pass(measure, nullptr, nullptr)) {
        clear(cloud);
        return false;
    }
    if (!reader.has_vertices()) {
        error = name + ": no vertex element";
        return false;
    }
    if (reader.early_stored && measure.skipped == 0 && measure.points > 0) {
        // Every row stored raw: centre and scale them where they lie.
        const Normaliser norm(measure.bounds);
        for (std::size_t i = 0; i < measure.points; ++i) {
            VoxelNode &node = cloud.nodes[i];
            norm.apply(node.x, node.y, node.z, node);
        }
        cloud.count = measure.points;
        return true;
    }
    // Rows were skipped (the block is too large for the points) or some
    // coordinate is not a float: the second pass stores them, into a block
    // of their own size.
    return second_pass(
        cloud, measure, name, "vertices", error,
        [&](Tally &t, Cloud *store, const Normaliser *norm) {
            reader.rewind();
            return reader.pass(t, store, norm);
        },
        reader.field_names());
}

} // namespace vv
