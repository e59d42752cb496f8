// PCD, read by hand in two streamed passes like PLY (ply.cpp): the first
// checks every record, counts the finite points and gathers their bounds, so
// that the voxel block is allocated once for the points really there; the
// second stores them. No Debian library reads PCD into a block of ours: the
// point cloud library's reader comes with its whole stack (Boost, Eigen,
// VTK, FLANN) and builds a cloud of its own first, and the model importer
// does not read PCD at all. binary_compressed (LZF) is refused rather than
// decoded by a hand-written decompressor. Every other field of one value
// (intensity, label, curvature, ...) is kept as a scalar field, its values
// beside their nodes; fields of several values (normals as one field,
// histograms) and PCL's padding "_" are not scalars and are left out.
#include "viewer/formats/pcd.h"

#include "viewer/formats/passes.h"
#include "viewer/formats/row_counts.h"
#include "viewer/io/binary.h"
#include "viewer/io/text.h"
#include "viewer/io/tokens.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string_view>
#include <vector>

namespace vv {
namespace {

using io::Type;

// No field has more values than this: it keeps a record's size far from
// overflow whatever the header says.
constexpr std::uint64_t kMaxCount = 1000000;

struct Field {
    std::string name;
    std::uint64_t size = 0; // SIZE: bytes per value
    char kind = 0;          // TYPE: I, U or F
    std::uint64_t count = 1;
    Type type = Type::F32;
    std::uint64_t offset = 0; // of its first value in a binary record
    std::size_t first = 0;    // index of its first value in an ascii row
};

// The numeric type of a TYPE and SIZE pair.
bool type_of(char kind, std::uint64_t size, Type &t) {
    static const struct {
        char kind;
        std::uint64_t size;
        Type type;
    } kTypes[] = {{'I', 1, Type::I8},  {'I', 2, Type::I16}, {'I', 4, Type::I32},
                  {'I', 8, Type::I64}, {'U', 1, Type::U8},  {'U', 2, Type::U16},
                  {'U', 4, Type::U32}, {'U', 8, Type::U64}, {'F', 4, Type::F32},
                  {'F', 8, Type::F64}};
    for (const auto &k : kTypes)
        if (k.kind == kind && k.size == size) {
            t = k.type;
            return true;
        }
    return false;
}

std::string quote(std::string_view s) {
    return quote_token(s.data(), s.size());
}

bool whole_number(std::string_view s, std::uint64_t &out) {
    return io::parse_int(s.data(), s.data() + s.size(), out);
}

enum class Data { None, Ascii, Binary };

class Reader : public SourceReader {
  public:
    using SourceReader::SourceReader;

    bool header();
    bool pass(Tally &t, Cloud *store, const Normaliser *norm);
    // Gives `cloud` the scalar fields, `count` values each; false when the
    // memory is not there.
    // The scalar fields kept for colouring, by name.
    std::vector<std::string> field_names() const;

  private:
    bool truncated(std::uint64_t found) {
        return fail_whole(truncated_message(name_, points_, "points", found));
    }
    bool header_line(const std::vector<std::string_view> &w);
    bool values(const std::vector<std::string_view> &w, std::uint64_t Field::*member);
    bool finish_header();
    bool point(const double *xyz, std::uint32_t rgb, const double *scalars, Tally &t, Cloud *store,
               const Normaliser *norm);
    bool ascii_rows(Tally &t, Cloud *store, const Normaliser *norm);
    bool binary_rows(Tally &t, Cloud *store, const Normaliser *norm);

    std::vector<Field> fields_;
    bool have_size_ = false, have_type_ = false;
    bool have_width_ = false, have_points_ = false;
    std::uint64_t width_ = 0, height_ = 1, points_ = 0;
    Data data_ = Data::None;
    // Indices into fields_ of x, y, z and the packed colour (-1 for none).
    int roles_[4] = {-1, -1, -1, -1};
    std::uint64_t record_ = 0;            // bytes per binary record
    std::size_t values_ = 0;              // values per ascii row
    std::vector<std::string_view> words_; // of the line at hand
    std::vector<std::size_t> scalars_;    // indices into fields_ of the scalar fields
    std::vector<double> scalar_values_;   // of the row at hand
};

// SIZE, TYPE or COUNT: one value per field. `member` is where a number goes;
// TYPE (member null) stores its letter.
bool Reader::values(const std::vector<std::string_view> &w, std::uint64_t Field::*member) {
    if (fields_.empty())
        return fail_line(quote(w[0]) + " before FIELDS");
    if (w.size() - 1 != fields_.size())
        return fail_line(quote(w[0]) + " has " + std::to_string(w.size() - 1) + " values for " +
                         std::to_string(fields_.size()) + " fields");
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const std::string_view v = w[i + 1];
        if (!member) {
            if (v != "I" && v != "U" && v != "F")
                return fail_line("TYPE " + quote(v) + " is not I, U or F");
            fields_[i].kind = v[0];
        } else if (member == &Field::size) {
            if (!whole_number(v, fields_[i].size) ||
                (fields_[i].size != 1 && fields_[i].size != 2 && fields_[i].size != 4 &&
                 fields_[i].size != 8))
                return fail_line("SIZE " + quote(v) + " is not 1, 2, 4 or 8");
        } else if (!whole_number(v, fields_[i].count) || fields_[i].count == 0 ||
                   fields_[i].count > kMaxCount) {
            return fail_line("COUNT " + quote(v) + " is not a whole number from 1 to " +
                             std::to_string(kMaxCount));
        }
    }
    return true;
}

bool Reader::header_line(const std::vector<std::string_view> &w) {
    const std::string_view key = w[0];
    if (key == "VERSION" || key == "VIEWPOINT")
        return true; // the viewer fits the cloud to the screen itself
    if (key == "FIELDS" || key == "COLUMNS") {
        if (w.size() < 2)
            return fail_line("FIELDS without a field");
        // SIZE, TYPE and COUNT already read would not match a new list.
        if (!fields_.empty())
            return fail_line("a second FIELDS line");
        for (std::size_t i = 1; i < w.size(); ++i)
            fields_.push_back(Field{std::string(w[i])});
        return true;
    }
    if (key == "SIZE")
        return (have_size_ = true, values(w, &Field::size));
    if (key == "TYPE")
        return (have_type_ = true, values(w, nullptr));
    if (key == "COUNT")
        return values(w, &Field::count);
    if (key == "WIDTH" || key == "HEIGHT" || key == "POINTS") {
        std::uint64_t &n = key == "WIDTH" ? width_ : key == "HEIGHT" ? height_ : points_;
        if (w.size() != 2 || !whole_number(w[1], n))
            return fail_line(std::string(key) + " " + (w.size() > 1 ? quote(w[1]) : "''") +
                             " is not a whole number");
        (key == "WIDTH" ? have_width_ : have_points_) |= key != "HEIGHT";
        return true;
    }
    if (key == "DATA") {
        const std::string_view kind = w.size() > 1 ? w[1] : std::string_view();
        if (kind == "ascii")
            data_ = Data::Ascii;
        else if (kind == "binary")
            data_ = Data::Binary;
        else if (kind == "binary_compressed")
            return fail("PCD binary_compressed (LZF) is not supported; save it as binary or "
                        "ascii");
        else
            return fail_line("unknown DATA " + quote(kind));
        return true;
    }
    return fail_line("unknown header line " + quote(key));
}

bool Reader::header() {
    std::string_view s;
    bool end = false;
    std::vector<std::string_view> w;
    while (data_ == Data::None) {
        if (!next_line(s, end))
            return end ? fail("the header has no DATA line") : false;
        if (line() > kMaxHeaderLines)
            return fail("the header has no DATA line in its first " +
                        std::to_string(kMaxHeaderLines) + " lines");
        io::split(s, w);
        if (w.empty() || w[0][0] == '#')
            continue;
        if (!header_line(w))
            return false;
    }
    mark_body();
    return finish_header();
}

bool Reader::finish_header() {
    if (fields_.empty())
        return fail("the header has no FIELDS line");
    if (!have_size_ || !have_type_)
        return fail(std::string("the header has no ") + (have_size_ ? "TYPE" : "SIZE") + " line");
    std::uint64_t wh = 0;
    if (have_width_ && __builtin_mul_overflow(width_, height_, &wh))
        return fail("WIDTH x HEIGHT is too large");
    if (!have_points_) {
        if (!have_width_)
            return fail("the header has neither POINTS nor WIDTH");
        points_ = wh;
    } else if (have_width_ && wh != points_) {
        return fail("POINTS " + std::to_string(points_) + " is not WIDTH " +
                    std::to_string(width_) + " x HEIGHT " + std::to_string(height_));
    }
    for (Field &f : fields_) {
        if (!type_of(f.kind, f.size, f.type))
            return fail("field " + quote(f.name) + " has TYPE " + f.kind + " of SIZE " +
                        std::to_string(f.size) + ", which is not a number type");
        f.offset = record_;
        f.first = values_;
        record_ += f.size * f.count;
        values_ += static_cast<std::size_t>(f.count);
    }
    static const char *const kNames[4][2] = {
        {"x", nullptr}, {"y", nullptr}, {"z", nullptr}, {"rgb", "rgba"}};
    for (int role = 0; role < 4; ++role)
        for (const char *n : kNames[role])
            for (std::size_t i = 0; n && i < fields_.size() && roles_[role] < 0; ++i)
                if (fields_[i].name == n)
                    roles_[role] = static_cast<int>(i);
    for (int axis = 0; axis < 3; ++axis)
        if (roles_[axis] < 0)
            return fail(std::string("the header has no ") + "xyz"[axis] + " field");
    if (roles_[3] >= 0 && fields_[static_cast<std::size_t>(roles_[3])].size != 4)
        roles_[3] = -1; // not a packed colour: the height ramp instead
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const Field &f = fields_[i];
        const bool role = std::find(std::begin(roles_), std::end(roles_), static_cast<int>(i)) !=
                          std::end(roles_);
        if (!role && f.count == 1 && f.name != "rgb" && f.name != "rgba" && f.name != "_")
            scalars_.push_back(i);
    }
    scalar_values_.resize(scalars_.size());
    return true;
}

std::vector<std::string> Reader::field_names() const {
    std::vector<std::string> names;
    for (const std::size_t i : scalars_)
        names.push_back(fields_[i].name);
    return names;
}

float channel(std::uint32_t rgb, int shift) {
    return static_cast<float>((rgb >> shift) & 0xff) / 255.0f;
}

bool Reader::point(const double *xyz, std::uint32_t rgb, const double *scalars, Tally &t,
                   Cloud *store, const Normaliser *norm) {
    if (!std::isfinite(xyz[0]) || !std::isfinite(xyz[1]) || !std::isfinite(xyz[2])) {
        ++t.skipped;
        return true;
    }
    if (!store) {
        t.bounds.add(xyz[0], xyz[1], xyz[2]);
        ++t.points;
        return true;
    }
    if (store->count == store->capacity)
        return fail(kChanged);
    VoxelNode &node = store->nodes[store->count++];
    norm->apply(xyz[0], xyz[1], xyz[2], node);
    if (roles_[3] >= 0) {
        node.r = channel(rgb, 16);
        node.g = channel(rgb, 8);
        node.b = channel(rgb, 0);
    } else {
        node.r = node.g = node.b = kNoColour;
    }
    for (std::size_t j = 0; j < scalars_.size(); ++j)
        store->fields[j].values[store->count - 1] = io::to_float(scalars[j]);
    return true;
}

bool Reader::ascii_rows(Tally &t, Cloud *store, const Normaliser *norm) {
    std::vector<double> v(values_, 0.0);
    std::string_view s;
    bool end = false;
    for (std::uint64_t row = 0; row < points_;) {
        if (!next_line(s, end))
            return end ? truncated(row) : false;
        if (io::all_blank(s))
            continue;
        io::split(s, words_);
        if (words_.size() < values_)
            return fail_line("too few values for a point");
        if (words_.size() > values_)
            return fail_line("more values than the fields hold");
        for (std::size_t k = 0; k < values_; ++k)
            if (!parse_number(words_[k].data(), words_[k].size(), v[k]))
                return fail_line(quote(words_[k]) + " is not a number");
        double xyz[3];
        for (int axis = 0; axis < 3; ++axis)
            xyz[axis] = v[fields_[static_cast<std::size_t>(roles_[axis])].first];
        std::uint32_t rgb = 0;
        if (roles_[3] >= 0) {
            const Field &f = fields_[static_cast<std::size_t>(roles_[3])];
            const double c = v[f.first];
            if (f.kind == 'F') {
                // The float's bits are the colour.
                const auto bits = static_cast<float>(c);
                std::memcpy(&rgb, &bits, sizeof rgb);
            } else if (c > 0) {
                rgb = c < 4294967295.0 ? static_cast<std::uint32_t>(c) : 0xffffffffu;
            }
        }
        for (std::size_t j = 0; j < scalars_.size(); ++j)
            scalar_values_[j] = v[fields_[scalars_[j]].first];
        if (!point(xyz, rgb, scalar_values_.data(), t, store, norm))
            return false;
        ++row;
    }
    return true;
}

bool Reader::binary_rows(Tally &t, Cloud *store, const Normaliser *norm) {
    const std::uint64_t left = size - std::min(size, offset());
    if (left / record_ < points_)
        return truncated(left / record_); // before any allocation
    const bool swap = io::needs_swap(true);
    for (std::uint64_t row = 0; row < points_; ++row) {
        const char *bytes = take(static_cast<std::size_t>(record_));
        if (!bytes)
            return fail(kChanged);
        double xyz[3];
        for (int axis = 0; axis < 3; ++axis) {
            const Field &f = fields_[static_cast<std::size_t>(roles_[axis])];
            xyz[axis] = io::decode(bytes + f.offset, f.type, swap);
        }
        std::uint32_t rgb = 0;
        if (roles_[3] >= 0) {
            const char *at = bytes + fields_[static_cast<std::size_t>(roles_[3])].offset;
            rgb = swap ? io::load<std::uint32_t, true>(at) : io::load<std::uint32_t, false>(at);
        }
        for (std::size_t j = 0; store && j < scalars_.size(); ++j) {
            const Field &f = fields_[scalars_[j]];
            scalar_values_[j] = io::decode(bytes + f.offset, f.type, swap);
        }
        if (!point(xyz, rgb, scalar_values_.data(), t, store, norm))
            return false;
    }
    return true;
}

bool Reader::pass(Tally &t, Cloud *store, const Normaliser *norm) {
    return data_ == Data::Ascii ? ascii_rows(t, store, norm) : binary_rows(t, store, norm);
}

} // namespace

bool read_pcd(io::Source &source, const std::string &name, Cloud &cloud, std::string &error) {
    clear(cloud);
    Reader reader(source, name, error);
    if (!reader.measure())
        return false;
    Tally measure;
    if (!reader.header() || !reader.pass(measure, nullptr, nullptr))
        return false;
    return store_rows(reader, cloud, measure, name, "points", error);
}

} // namespace vv
