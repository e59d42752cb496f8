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
// say), and ignores diffuse_* colours. The header is read in ply_header.cpp.
#include "viewer/formats/ply.h"

#include "viewer/formats/ply_reader.h"
#include "viewer/io/tokens.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vv {

namespace ply {

namespace {

// Bytes of binary vertex rows taken from the buffer at once.
constexpr std::size_t kRowBlock = std::size_t{1} << 20;

} // namespace

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
        store->fields[j].values[store->count - 1] = io::to_float(v[scalars_[j].property]);
    return true;
}

bool Reader::ascii_vertices(const Element &e, Tally &t, Cloud *store, const Normaliser *norm) {
    std::vector<double> values(e.properties.size(), 0.0);
    std::string_view s;
    bool end = false;
    for (std::uint64_t row = 0; row < e.count;) {
        if (!next_line(s, end))
            return end ? truncated(e, row) : false;
        const char *at = s.data(), *const end_of_line = at + s.size(), *tb, *te;
        const auto token = [&](std::string_view &out) {
            if (!io::next_token(at, end_of_line, tb, te))
                return false;
            out = std::string_view(tb, static_cast<std::size_t>(te - tb));
            return true;
        };
        std::string_view tok;
        if (io::all_blank(s))
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
        row += !io::all_blank(s);
    }
    return true;
}

// The rows of one binary element: vertices to `point` when t is given, any
// other element skipped.
bool Reader::binary_rows(const Element &e, Tally *t, Cloud *store, const Normaliser *norm) {
    if (e.properties.empty())
        return true; // rows of nothing, however many, take no bytes
    const std::uint64_t row_size = e.row_size();
    const std::uint64_t left = size - std::min(size, offset());
    if (row_size > 0 && !t) {
        // Rows of one size: the length of the file says how many are there.
        const std::uint64_t rows = std::min(e.count, left / row_size);
        if (rows < e.count)
            return truncated(e, rows);
        return seek(offset() + rows * row_size);
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
             at += io::size_of(e.properties[k++].type))
            offsets.push_back(at);
        for (std::uint64_t row = 0; row < e.count; ++row) {
            const char *bytes = take(static_cast<std::size_t>(row_size));
            if (!bytes)
                return truncated(e, row);
            for (const int k : roles_)
                if (k >= 0)
                    values[k] = io::decode(bytes + offsets[k], e.properties[k].type, swap_);
            for (const Scalar &s : scalars_)
                if (store)
                    values[s.property] = io::decode(bytes + s.offset, s.type, swap_);
            if (!point(values.data(), *t, store, norm))
                return false;
        }
        return true;
    }
    for (std::uint64_t row = 0; row < e.count; ++row) {
        for (std::size_t k = 0; k < e.properties.size(); ++k) {
            const Property &p = e.properties[k];
            const Type type = p.list ? p.count_type : p.type;
            const char *bytes = take(io::size_of(type));
            if (!bytes)
                return truncated(e, row);
            values[k] = io::decode(bytes, type, swap_);
            if (!p.list)
                continue;
            if (values[k] < 0)
                return fail("a " + printable(e.name.data(), e.name.size()) +
                            " row has a negative list length");
            const std::uint64_t skip = static_cast<std::uint64_t>(values[k]) * io::size_of(p.type);
            const std::uint64_t here = offset();
            if (skip > size - std::min(size, here))
                return truncated(e, row);
            if (!seek(here + skip))
                return false;
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
    const std::uint64_t left = size - std::min(size, offset());
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
        const char *block = take(n * static_cast<std::size_t>(row_size));
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
        const float x = io::load<float, swap>(rows + ox), y = io::load<float, swap>(rows + oy),
                    z = io::load<float, swap>(rows + oz);
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
                node.r = unit(io::decode(rows + oc[0], tc[0], swap_), scale_[0]);
                node.g = unit(io::decode(rows + oc[1], tc[1], swap_), scale_[1]);
                node.b = unit(io::decode(rows + oc[2], tc[2], swap_), scale_[2]);
            }
        }
        for (std::size_t j = 0; nodes && j < scalars_.size(); ++j)
            early->fields[j].values[t.points] =
                io::to_float(io::decode(rows + scalars_[j].offset, scalars_[j].type, swap));
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

} // namespace ply

bool read_ply(io::Source &source, const std::string &name, Cloud &cloud, std::string &error) {
    clear(cloud);
    ply::Reader reader(source, name, error);
    if (!reader.measure())
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
        cloud.unit = norm.unit();
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
    return store_rows(reader, cloud, measure, name, "vertices", error);
}

} // namespace vv
