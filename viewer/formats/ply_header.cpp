// The PLY header: its elements and their properties, and which vertex
// properties are the position, the colour and the scalar fields.
#include "viewer/formats/ply_reader.h"

#include "viewer/io/tokens.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace vv {

namespace ply {

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

bool find_type(std::string_view word, Type &t) {
    for (const auto &k : kTypes)
        if (word == k.name) {
            t = k.type;
            return true;
        }
    return false;
}

// The colour's naming sets, the first complete one used: a property of
// another set ("b" beside red, green and blue, say) is a scalar like any.
const char *const kColourSets[3][3] = {
    {"red", "green", "blue"}, {"diffuse_red", "diffuse_green", "diffuse_blue"}, {"r", "g", "b"}};

} // namespace

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

float unit(double v, double scale) {
    const double c = v / scale;
    return std::isfinite(c) ? static_cast<float>(std::clamp(c, 0.0, 1.0)) : 0.0f;
}

bool Reader::header_line(std::string_view s) {
    std::string_view w[6];
    const std::size_t n = io::split(s, w, 6);
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
        if (!io::parse_int(w[2].data(), w[2].data() + w[2].size(), e.count))
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
    if (io::split(s, first, 2) != 1 || first[0] != "ply")
        return fail("not a PLY file (no 'ply' line at the start)");
    while (true) {
        if (!next_line(s, end))
            return end ? fail("the header has no end_header line") : false;
        std::string_view w[1];
        if (io::split(s, w, 1) >= 1 && w[0] == "end_header")
            break;
        if (line() > kMaxHeaderLines)
            return fail("the header has no end_header line in its first " +
                        std::to_string(kMaxHeaderLines) + " lines");
        if (!header_line(s))
            return false;
    }
    if (!have_format_)
        return fail("the header has no format line");
    swap_ = format_ != Format::Ascii && io::needs_swap(format_ == Format::Little);
    mark_body();
    return find_roles();
}

bool Reader::find_roles() {
    const auto vertex = std::find_if(elements_.begin(), elements_.end(),
                                     [](const Element &e) { return e.name == "vertex"; });
    vertex_ = static_cast<std::size_t>(vertex - elements_.begin());
    if (vertex == elements_.end())
        return true; // refused after the first pass, which may find the file short

    const std::vector<Property> &props = vertex->properties;
    const auto find = [&props](const char *name) {
        for (std::size_t i = 0; i < props.size(); ++i)
            if (!props[i].list && props[i].name == name)
                return static_cast<int>(i);
        return -1;
    };
    for (int axis = 0; axis < 3; ++axis)
        if ((roles_[axis] = find(std::string(1, "xyz"[axis]).c_str())) < 0)
            return fail(std::string("the vertex element has no ") + "xyz"[axis] + " property");
    for (const auto &set : kColourSets) {
        const int rgb[3] = {find(set[0]), find(set[1]), find(set[2])};
        if (rgb[0] >= 0 && rgb[1] >= 0 && rgb[2] >= 0) {
            std::copy(rgb, rgb + 3, roles_ + 3);
            break;
        }
    }
    for (int c = 0; c < 3 && roles_[3] >= 0; ++c)
        scale_[c] = full_scale(props[static_cast<std::size_t>(roles_[3 + c])].type);
    for (int role = 0; role < 6; ++role) {
        if (roles_[role] < 0)
            continue;
        const auto k = static_cast<std::size_t>(roles_[role]);
        for (std::size_t i = 0; i < k; ++i)
            offsets_[role] += props[i].list ? 0 : io::size_of(props[i].type);
        types_[role] = props[k].type;
    }
    // Every other number is a scalar to colour by; alpha is no colour we use.
    std::size_t offset = 0;
    for (std::size_t i = 0; i < props.size();
         offset += props[i].list ? 0 : io::size_of(props[i].type), ++i) {
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

} // namespace ply

} // namespace vv
