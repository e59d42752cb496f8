#include "viewer/cloud/colour.h"

#include "viewer/cloud/elements.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>

namespace vv {

void colour_map(float t, float rgb[3]) {
    // A degree-6 polynomial fitted to the published 256-entry table, within
    // 0.015 of it everywhere: no table to carry, and smooth between entries.
    static const double c[7][3] = {{0.2777273272234177, 0.005407344544966578, 0.3340998053353061},
                                   {0.1050930431085774, 1.404613529898575, 1.384590162594685},
                                   {-0.3308618287255563, 0.214847559468213, 0.09509516302823659},
                                   {-4.634230498983486, -5.799100973351585, -19.33244095627987},
                                   {6.228269936347081, 14.17993336680509, 56.69055260068105},
                                   {4.776384997670288, -13.74514537774601, -65.35303263337234},
                                   {-5.435455855934631, 4.645852612178535, 26.3124352495832}};
    const double x = std::isnan(t) ? 0.5 : std::clamp(static_cast<double>(t), 0.0, 1.0);
    for (int k = 0; k < 3; ++k) {
        double v = c[6][k];
        for (int i = 5; i >= 0; --i)
            v = v * x + c[i][k];
        rgb[k] = static_cast<float>(std::clamp(v, 0.0, 1.0));
    }
}

Range range_of(const float *values, std::size_t n) {
    Range r;
    for (std::size_t i = 0; i < n; ++i) {
        const float v = values[i];
        if (!std::isfinite(v))
            continue;
        r.lo = r.empty ? v : std::min(r.lo, v);
        r.hi = r.empty ? v : std::max(r.hi, v);
        r.empty = false;
    }
    return r;
}

const Field *find_field(const std::vector<Field> &fields, const std::string &name) {
    for (const Field &f : fields)
        if (f.name == name)
            return &f;
    return nullptr;
}

bool check_colouring(const std::vector<std::string> &names, const std::string &name,
                     std::string &error) {
    if (std::find(names.begin(), names.end(), name) != names.end())
        return true;
    std::string list;
    for (const std::string &n : names)
        list += (list.empty() ? "" : ", ") + n;
    error = "no quantity '" + name + "' to colour by (" + list + ")";
    return false;
}

std::string next_colouring(const std::vector<std::string> &names, const std::string &current) {
    const auto at = std::find(names.begin(), names.end(), current);
    return at == names.end() || at + 1 == names.end() ? names.front() : *(at + 1);
}

namespace {

void paint(VoxelNode &v, const float rgb[3]) {
    v.r = rgb[0];
    v.g = rgb[1];
    v.b = rgb[2];
}

} // namespace

void paint_values(const float *values, std::size_t count, const Range &range, VoxelNode *nodes,
                  std::size_t n) {
    const float span = range.hi - range.lo;
    const float grey[3] = {kMissingGrey, kMissingGrey, kMissingGrey};
    for (std::size_t i = 0; i < n; ++i) {
        const float x = i < count ? values[i] : NAN;
        if (!std::isfinite(x)) {
            paint(nodes[i], grey);
            continue;
        }
        // A quantity that never changes sits in the middle of the map.
        float rgb[3];
        colour_map(span > 0 ? (x - range.lo) / span : 0.5f, rgb);
        paint(nodes[i], rgb);
    }
}

Range paint_quantity(const Quantities &q, const std::string &name, const Range *range,
                     VoxelNode *nodes, std::size_t n) {
    float rgb[3];
    if (name == "type" && q.type) {
        const std::vector<std::int32_t> &type = *q.type;
        for (std::size_t i = 0; i < n; ++i) {
            type_colour(i < type.size() ? type[i] : 1, rgb);
            paint(nodes[i], rgb);
        }
        return Range();
    }
    if (name == "element" && q.element) {
        const std::vector<std::uint32_t> &element = *q.element;
        // A colour per element name, not per atom.
        std::vector<std::array<float, 3>> named(q.element_names ? q.element_names->size() : 0);
        for (std::size_t e = 0; e < named.size(); ++e)
            if (!element_colour((*q.element_names)[e], named[e].data()))
                named[e] = {kUnknownElementGrey, kUnknownElementGrey, kUnknownElementGrey};
        const float grey[3] = {kMissingGrey, kMissingGrey, kMissingGrey};
        for (std::size_t i = 0; i < n; ++i)
            paint(nodes[i], i < element.size() && element[i] < named.size()
                                ? named[element[i]].data()
                                : grey);
        return Range();
    }
    const Field *f = q.fields ? find_field(*q.fields, name) : nullptr;
    const std::size_t count = f ? std::min(f->values.size(), n) : 0;
    const Range r = !f ? Range() : range ? *range : range_of(f->values.data(), count);
    paint_values(f ? f->values.data() : nullptr, count, r, nodes, n);
    return r;
}

std::vector<std::string> colourings(const Cloud &cloud) {
    std::vector<std::string> names = {"height"};
    if (cloud.file_colours)
        names.push_back("file");
    for (const Field &f : cloud.fields)
        names.push_back(f.name);
    return names;
}

namespace {

std::uint32_t pack(const VoxelNode &v) {
    auto byte = [](float c) {
        return static_cast<std::uint32_t>(std::lround(std::clamp(c, 0.0f, 1.0f) * 255));
    };
    return byte(v.r) << 16 | byte(v.g) << 8 | byte(v.b);
}

void unpack(std::uint32_t rgb, VoxelNode &v) {
    v.r = static_cast<float>(rgb >> 16 & 0xff) / 255;
    v.g = static_cast<float>(rgb >> 8 & 0xff) / 255;
    v.b = static_cast<float>(rgb & 0xff) / 255;
}

} // namespace

bool colour_by(Cloud &cloud, const std::string &name, std::string &error) {
    if (!check_colouring(colourings(cloud), name, error))
        return false;
    // The file's colours exist only in the nodes until the first change.
    if (cloud.file_colours && cloud.file_rgb.empty() && cloud.count > 0) {
        try {
            cloud.file_rgb.resize(cloud.count);
        } catch (const std::bad_alloc &) {
            error = "not enough memory to keep the file's colours of " +
                    std::to_string(cloud.count) + " points";
            return false;
        }
        for (std::size_t i = 0; i < cloud.count; ++i)
            cloud.file_rgb[i] = pack(cloud.nodes[i]);
    }
    if (name == "file") {
        for (std::size_t i = 0; i < cloud.count; ++i)
            unpack(cloud.file_rgb[i], cloud.nodes[i]);
    } else if (name == "height") {
        for (std::size_t i = 0; i < cloud.count; ++i)
            cloud.nodes[i].r = kNoColour;
        colour_by_height(cloud);
    } else {
        Quantities q;
        q.fields = &cloud.fields;
        paint_quantity(q, name, nullptr, cloud.nodes.get(), cloud.count);
    }
    return true;
}

std::string next_colouring(const Cloud &cloud, const std::string &current) {
    return next_colouring(colourings(cloud), current);
}

std::string describe_colouring(const Cloud &cloud, const std::string &name) {
    if (name == "file")
        return "file colours";
    const Field *field = find_field(cloud.fields, name);
    if (name == "height" || !field)
        return name;
    const Range r = range_of(field->values.data(), cloud.count);
    if (r.empty)
        return name + " (no finite values)";
    char text[64];
    std::snprintf(text, sizeof text, " %.4g .. %.4g", r.lo, r.hi);
    return name + text;
}

} // namespace vv
