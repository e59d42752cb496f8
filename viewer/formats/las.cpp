// LAS, read by hand in one pass. No Debian package reads LAS into a block
// of ours: PDAL is a pipeline framework with heavy dependencies that reads
// into point tables of its own (and Debian 12 does not ship it), while a
// LAS file is a fixed header followed by fixed-size records, short to read.
// The file's length vouches for the records before the block is
// allocated, so the block is filled while the bounds are gathered: each
// node holds the record's raw int32 X, Y, Z bits and raw 16-bit colour
// until the end, when they are scaled, offset, centred and fitted in place,
// in double precision (the same values as two passes). Compressed files
// (LAZ) are refused: no LAZ library is used.
#include "viewer/formats/las.h"

#include "viewer/formats/passes.h"
#include "viewer/formats/row_counts.h"
#include "viewer/io/binary.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

namespace vv {
namespace {

// The public header's fixed fields, by offset; 227 bytes in every version.
constexpr std::size_t kVersionMajor = 24, kVersionMinor = 25, kHeaderSize = 94, kPointOffset = 96,
                      kFormat = 104, kRecordLength = 105, kLegacyCount = 107, kScale = 131,
                      kOffset = 155, kMinHeader = 227;
// LAS 1.4 adds a 64-bit point count.
constexpr std::size_t kExtendedCount = 247;

// Where each point data format keeps what we read: its minimum record
// length, the classification byte (and the bits of it that are the class),
// and the red, green, blue triple (0 for none). X, Y, Z are the first 12
// bytes and intensity the next 2 in every format.
struct PointFormat {
    std::size_t length;
    std::size_t classification;
    std::uint8_t class_mask;
    std::size_t rgb;
};
constexpr PointFormat kFormats[] = {{20, 15, 0x1f, 0},  {28, 15, 0x1f, 0},  {26, 15, 0x1f, 20},
                                    {34, 15, 0x1f, 28}, {57, 15, 0x1f, 0},  {63, 15, 0x1f, 28},
                                    {30, 16, 0xff, 0},  {36, 16, 0xff, 30}, {38, 16, 0xff, 30},
                                    {59, 16, 0xff, 0},  {67, 16, 0xff, 30}};
constexpr std::size_t kIntensity = 12;

// Bytes of records taken from the stream at once.
constexpr std::size_t kRecordBlock = std::size_t{1} << 20;

const char *const kLaz = "LAZ (compressed LAS) is not supported; decompress it to .las first";

// The int32 coordinates are kept in the float slots of a node, bit for bit,
// until the bounds are known.
void keep(float &slot, std::int32_t v) {
    std::memcpy(&slot, &v, sizeof v);
}
std::int32_t kept(float slot) {
    std::int32_t v;
    std::memcpy(&v, &slot, sizeof v);
    return v;
}

struct Header {
    std::uint64_t points = 0;
    std::uint64_t data = 0; // offset of the first record
    std::size_t record = 0; // bytes per record
    const PointFormat *format = nullptr;
    double scale[3] = {1, 1, 1}, offset[3] = {0, 0, 0};
};

// What the records hold in total: the int32 bounds and the largest colour
// value.
struct Extent {
    std::int32_t lo[3] = {std::numeric_limits<std::int32_t>::max(),
                          std::numeric_limits<std::int32_t>::max(),
                          std::numeric_limits<std::int32_t>::max()};
    std::int32_t hi[3] = {std::numeric_limits<std::int32_t>::min(),
                          std::numeric_limits<std::int32_t>::min(),
                          std::numeric_limits<std::int32_t>::min()};
    std::uint16_t colour = 0;
};

bool header(io::Window &src, std::uint64_t size, const std::string &name, Header &h,
            std::string &error) {
    std::string source_error;
    const auto fail = [&](const std::string &why) {
        error = source_error.empty() ? name + ": " + why : source_error;
        return false;
    };
    const char *p =
        src.take(static_cast<std::size_t>(std::min<std::uint64_t>(size, kMinHeader)), source_error);
    if (!p || size < 4 || std::memcmp(p, "LASF", 4) != 0)
        return fail("not a LAS file (it does not start with \"LASF\")");
    if (size < kMinHeader)
        return fail("the header ends after " + std::to_string(size) + " bytes; a LAS header has " +
                    std::to_string(kMinHeader));
    const int major = static_cast<unsigned char>(p[kVersionMajor]);
    const int minor = static_cast<unsigned char>(p[kVersionMinor]);
    if (major != 1 || minor > 4)
        return fail("LAS version " + std::to_string(major) + "." + std::to_string(minor) +
                    " is not supported (1.0 to 1.4 are)");
    const std::uint16_t header_size = io::load_little<std::uint16_t>(p + kHeaderSize);
    if (header_size < kMinHeader)
        return fail("header size " + std::to_string(header_size) + " is less than the " +
                    std::to_string(kMinHeader) + " bytes of a LAS header");
    h.data = io::load_little<std::uint32_t>(p + kPointOffset);
    if (h.data < header_size)
        return fail("the point data offset " + std::to_string(h.data) + " is inside the header (" +
                    std::to_string(header_size) + " bytes)");
    const auto format = static_cast<unsigned char>(p[kFormat]);
    if (format & 0xc0)
        return fail(kLaz);
    if (format >= std::size(kFormats))
        return fail("unknown point data format " + std::to_string(format));
    h.format = &kFormats[format];
    h.record = io::load_little<std::uint16_t>(p + kRecordLength);
    if (h.record < h.format->length)
        return fail("the point data record length " + std::to_string(h.record) +
                    " is less than the " + std::to_string(h.format->length) +
                    " bytes of point data format " + std::to_string(format));
    h.points = io::load_little<std::uint32_t>(p + kLegacyCount);
    for (int axis = 0; axis < 3; ++axis) {
        h.scale[axis] = io::load_little<double>(p + kScale + 8 * axis);
        h.offset[axis] = io::load_little<double>(p + kOffset + 8 * axis);
        if (!std::isfinite(h.scale[axis]) || !std::isfinite(h.offset[axis]))
            return fail(std::string("the ") + "xyz"[axis] + " scale or offset is not finite");
    }
    if (minor >= 4 && header_size >= kExtendedCount + 8) {
        const char *count =
            src.seek(kExtendedCount, source_error) ? src.take(8, source_error) : nullptr;
        if (!count)
            return fail("the header ends before its 64-bit point count");
        if (const auto extended = io::load_little<std::uint64_t>(count); extended != 0)
            h.points = extended;
    }
    return true;
}

// n records into nodes and fields from `at` on, their extent gathered.
template <bool swap>
void store(const char *records, std::size_t n, const Header &h, std::size_t at, Cloud &cloud,
           Extent &e) {
    const std::size_t length = h.record, oc = h.format->classification, orgb = h.format->rgb;
    const std::uint8_t mask = h.format->class_mask;
    VoxelNode *const nodes = cloud.nodes.get() + at;
    float *const intensity = cloud.fields[0].values.data() + at;
    float *const classification = cloud.fields[1].values.data() + at;
    for (std::size_t i = 0; i < n; ++i, records += length) {
        VoxelNode &node = nodes[i];
        float *const slots[3] = {&node.x, &node.y, &node.z};
        for (int k = 0; k < 3; ++k) {
            const std::int32_t v = io::load<std::int32_t, swap>(records + 4 * k);
            e.lo[k] = std::min(e.lo[k], v);
            e.hi[k] = std::max(e.hi[k], v);
            keep(*slots[k], v);
        }
        intensity[i] = io::load<std::uint16_t, swap>(records + kIntensity);
        classification[i] = static_cast<std::uint8_t>(records[oc]) & mask;
        if (orgb) {
            const std::uint16_t r = io::load<std::uint16_t, swap>(records + orgb),
                                g = io::load<std::uint16_t, swap>(records + orgb + 2),
                                b = io::load<std::uint16_t, swap>(records + orgb + 4);
            e.colour = std::max({e.colour, r, g, b});
            node.r = r;
            node.g = g;
            node.b = b;
        } else {
            node.r = node.g = node.b = kNoColour;
        }
    }
}

// The real coordinate of an int32 one on an axis.
double real(const Header &h, int axis, std::int32_t v) {
    return static_cast<double>(v) * h.scale[axis] + h.offset[axis];
}

bool records(io::Window &src, std::uint64_t size, const std::string &name, const Header &h,
             Cloud &cloud, std::string &error) {
    const std::uint64_t left = size - std::min(size, h.data);
    if (left / h.record < h.points) {
        error = truncated_message(name, h.points, "points", left / h.record);
        return false; // before any allocation
    }
    // Records are at least 20 bytes and all in the file: the count fits.
    const auto n = static_cast<std::size_t>(h.points);
    if (!allocate_points(cloud, n, 0, name, "points", error, {"intensity", "classification"}))
        return false;
    if (!src.seek(h.data, error))
        return false;
    Extent e;
    const std::size_t per_block = std::max<std::size_t>(1, kRecordBlock / h.record);
    const bool swap = io::needs_swap(true);
    for (std::size_t at = 0; at < n;) {
        const std::size_t k = std::min(n - at, per_block);
        std::string source_error;
        const char *block = src.take(k * h.record, source_error);
        if (!block) {
            error = source_error.empty() ? name + ": " + kChanged : source_error;
            return false;
        }
        swap ? store<true>(block, k, h, at, cloud, e) : store<false>(block, k, h, at, cloud, e);
        at += k;
    }
    // Both corners of the int32 bounds, real: a negative scale swaps them.
    // Z is elevation in LAS and the screen's up axis is y: x stays east, y
    // takes Z, and north (Y) goes into the screen, a turn and no mirror.
    Bounds b;
    for (const std::int32_t *corner : {e.lo, e.hi})
        b.add(real(h, 0, corner[0]), real(h, 2, corner[2]), -real(h, 1, corner[1]));
    for (int axis = 0; axis < 3; ++axis)
        if (!std::isfinite(b.lo[axis]) || !std::isfinite(b.hi[axis])) {
            error = name + ": " + "xyz"[axis] + " coordinates beyond the range of a double";
            return false;
        }
    const Normaliser norm(b);
    cloud.unit = norm.unit();
    const float full = e.colour > 255 ? 65535.0f : 255.0f; // divided, so full is exactly 1
    const bool colours = h.format->rgb != 0;
    for (std::size_t i = 0; i < n; ++i) {
        VoxelNode &node = cloud.nodes[i];
        norm.apply(real(h, 0, kept(node.x)), real(h, 2, kept(node.z)), -real(h, 1, kept(node.y)),
                   node);
        if (colours) {
            node.r /= full;
            node.g /= full;
            node.b /= full;
        }
    }
    cloud.count = n;
    return true;
}

} // namespace

bool read_las(io::Source &source, const std::string &name, Cloud &cloud, std::string &error) {
    clear(cloud);
    std::uint64_t size = 0;
    if (!source.size(size, error))
        return false;
    io::Window src(source);
    Header h;
    if (!header(src, size, name, h, error) || !records(src, size, name, h, cloud, error)) {
        clear(cloud);
        return false;
    }
    return true;
}

bool read_laz(io::Source &, const std::string &name, Cloud &cloud, std::string &error) {
    clear(cloud);
    error = name + ": " + kLaz;
    return false;
}

} // namespace vv
