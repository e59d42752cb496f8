// Point-cloud files made in the test from tables of values, and the checks
// every reader's tests share: what a read left behind, refusals, nodes.
#ifndef VORLIX_TESTS_CLOUD_FILES_H
#define VORLIX_TESTS_CLOUD_FILES_H

#include "float_bits.h"
#include "viewer/cloud/cloud.h"
#include "viewer/formats/las.h"
#include "viewer/formats/load.h"
#include "viewer/formats/pcd.h"
#include "viewer/formats/ply.h"
#include "viewer/formats/xyz.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vt {

struct Loaded {
    vv::Cloud cloud;
    std::string error;
    bool ok = false;
};

using ReadFn = bool (*)(vv::io::Source &, const std::string &, vv::Cloud &, std::string &);

inline Loaded read_as(ReadFn read_fn, const char *name, const std::string &bytes) {
    Loaded r;
    const auto source = vv::io::memory_source(bytes.data(), bytes.size());
    r.ok = read_fn(*source, name, r.cloud, r.error);
    return r;
}

inline Loaded read(const std::string &text) {
    return read_as(vv::read_xyz, "t.xyz", text);
}

inline Loaded read_ply(const std::string &bytes) {
    return read_as(vv::read_ply, "t.ply", bytes);
}

inline Loaded read_pcd(const std::string &bytes) {
    return read_as(vv::read_pcd, "t.pcd", bytes);
}

// A refused file: one line of plain ASCII naming it and the problem, and no
// block left behind.
inline void expect_refused(const Loaded &r, const std::string &message) {
    EXPECT_FALSE(r.ok) << message;
    EXPECT_EQ(r.error, message);
    EXPECT_EQ(r.cloud.nodes, nullptr);
    EXPECT_TRUE(std::all_of(r.error.begin(), r.error.end(), [](char c) {
        return c >= 0x20 && c < 0x7f;
    })) << r.error;
}

inline std::string temp_file(const std::string &suffix, const std::string &content) {
    std::string path = ::testing::TempDir() + "cloud_file_XXXXXX" + suffix;
    const int fd = mkstemps(path.data(), static_cast<int>(suffix.size()));
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(fd);
    return path;
}

inline void expect_node(const VoxelNode &n, float x, float y, float z, float r, float g, float b) {
    EXPECT_NEAR(n.x, x, 1e-6f);
    EXPECT_NEAR(n.y, y, 1e-6f);
    EXPECT_NEAR(n.z, z, 1e-6f);
    EXPECT_NEAR(n.r, r, 1e-6f);
    EXPECT_NEAR(n.g, g, 1e-6f);
    EXPECT_NEAR(n.b, b, 1e-6f);
}

inline std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline vv::Cloud load_ok(const std::string &path) {
    vv::Cloud c;
    std::string error;
    EXPECT_TRUE(vv::load_cloud(path, c, error)) << error;
    return c;
}

// A PLY file from a table: each element its properties as the header spells
// them ("float x", "list uchar int vertex_indices") and its rows of numbers
// (for a list: the item count, then the items).
struct PlyElement {
    std::string name;
    std::vector<std::string> properties;
    std::vector<std::vector<double>> rows;
};

inline const char *const kPlyFormats[] = {"ascii", "binary_little_endian", "binary_big_endian"};

template <typename T> inline void put_as(std::string &out, double v, bool big_endian) {
    const T x = static_cast<T>(v);
    char b[sizeof(T)];
    std::memcpy(b, &x, sizeof x);
    if (big_endian) // the test hosts (x86-64, arm64) are little-endian
        std::reverse(b, b + sizeof b);
    out.append(b, sizeof b);
}

inline void put(std::string &out, const std::string &type, double v, const std::string &format) {
    if (format == "ascii") {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g ", v);
        out += text;
        return;
    }
    using Put = void (*)(std::string &, double, bool);
    static const std::map<std::string, Put> kPut = {
        {"char", put_as<std::int8_t>},     {"int8", put_as<std::int8_t>},
        {"uchar", put_as<std::uint8_t>},   {"uint8", put_as<std::uint8_t>},
        {"short", put_as<std::int16_t>},   {"int16", put_as<std::int16_t>},
        {"ushort", put_as<std::uint16_t>}, {"uint16", put_as<std::uint16_t>},
        {"int", put_as<std::int32_t>},     {"int32", put_as<std::int32_t>},
        {"uint", put_as<std::uint32_t>},   {"uint32", put_as<std::uint32_t>},
        {"float", put_as<float>},          {"float32", put_as<float>},
        {"double", put_as<double>},        {"float64", put_as<double>},
        {"int64", put_as<std::int64_t>},   {"uint64", put_as<std::uint64_t>}};
    kPut.at(type)(out, v, format == "binary_big_endian");
}

inline std::string ply_file(const std::string &format, const std::vector<PlyElement> &elements) {
    std::string s = "ply\nformat " + format + " 1.0\ncomment made by a test\n";
    for (const PlyElement &e : elements) {
        s += "element " + e.name + " " + std::to_string(e.rows.size()) + "\n";
        for (const std::string &p : e.properties)
            s += "property " + p + "\n";
    }
    s += "end_header\n";
    for (const PlyElement &e : elements)
        for (const std::vector<double> &row : e.rows) {
            std::size_t k = 0;
            for (const std::string &p : e.properties) {
                std::istringstream words(p);
                std::string type, item;
                words >> type;
                if (type != "list") {
                    put(s, type, row.at(k++), format);
                    continue;
                }
                words >> type >> item;
                const double items = row.at(k++);
                put(s, type, items, format);
                for (int i = 0; i < items; ++i)
                    put(s, item, row.at(k++), format);
            }
            if (format == "ascii")
                s += "\n";
        }
    return s;
}

// x, y, z of one type and a colour of another, in every format: the values
// land exactly; colours scale by their type (bytes 0..255, 16 bits 0..65535,

struct PcdField {
    std::string name;
    char type;
    int size;
    int count;
};

// A PCD file from a table: the fields, then per point all their values in
// field order, written as DATA `data` ("ascii" or "binary"), the points
// `height` rows of an organised cloud.
inline std::string pcd_file(const std::string &data, const std::vector<PcdField> &fields,
                            const std::vector<std::vector<double>> &rows, std::size_t height = 1) {
    std::string names, sizes, types, counts;
    for (const PcdField &f : fields) {
        names += " " + f.name;
        sizes += " " + std::to_string(f.size);
        types += std::string(" ") + f.type;
        counts += " " + std::to_string(f.count);
    }
    std::string s = "# .PCD v0.7 - Point Cloud Data file format\nVERSION 0.7\nFIELDS" + names +
                    "\nSIZE" + sizes + "\nTYPE" + types + "\nCOUNT" + counts + "\nWIDTH " +
                    std::to_string(rows.size() / height) + "\nHEIGHT " + std::to_string(height) +
                    "\nVIEWPOINT 0 0 0 1 0 0 0\nPOINTS " + std::to_string(rows.size()) + "\nDATA " +
                    data + "\n";
    // The PLY type of each TYPE and SIZE, so that put() writes it.
    static const std::map<std::string, std::string> kPlyType = {
        {"I1", "char"},   {"I2", "short"}, {"I4", "int"},    {"I8", "int64"}, {"U1", "uchar"},
        {"U2", "ushort"}, {"U4", "uint"},  {"U8", "uint64"}, {"F4", "float"}, {"F8", "double"}};
    const std::string format = data == "ascii" ? "ascii" : "binary_little_endian";
    for (const std::vector<double> &row : rows) {
        std::size_t k = 0;
        for (const PcdField &f : fields)
            for (int i = 0; i < f.count; ++i)
                put(s, kPlyType.at(f.type + std::to_string(f.size)), row.at(k++), format);
        if (data == "ascii")
            s += "\n";
    }
    return s;
}

// The float whose bits are `bits`, as PCL packs a colour into an rgb field.
inline double packed_float(std::uint32_t bits) {
    return from_bits(bits);
}

inline Loaded read_las(const std::string &bytes) {
    return read_as(vv::read_las, "t.las", bytes);
}

// A LAS file from a table: its version, point data format, scale and
// offset, and per point the raw int32 X, Y, Z and the values we read. Each
// record gets `extra` bytes after its format's. 1.4 files put the count in
// the 64-bit field and 0 in the legacy one (as formats 6 to 10 require);
// `declared` replaces the count written. The header's minimum and maximum
// are left 0, wrong as some writers leave them: readers must not use them.
struct LasPoint {
    std::int32_t x, y, z;
    std::uint16_t intensity;
    std::uint8_t classification; // the whole byte, flags and all
    std::uint16_t r, g, b;
};

struct LasFile {
    int minor = 2;
    int format = 0;
    double scale[3] = {0.01, 0.01, 0.01};
    double offset[3] = {0, 0, 0};
    std::vector<LasPoint> points;
    int extra = 0;
    double declared = -1;
};

inline std::string las_file(const LasFile &f) {
    // Per format: record length, classification byte, rgb (0 for none).
    static const int kLayout[11][3] = {{20, 15, 0},  {28, 15, 0},  {26, 15, 20}, {34, 15, 28},
                                       {57, 15, 0},  {63, 15, 28}, {30, 16, 0},  {36, 16, 30},
                                       {38, 16, 30}, {59, 16, 0},  {67, 16, 30}};
    const int *layout = kLayout[f.format];
    const int header = f.minor >= 4 ? 375 : f.minor == 3 ? 235 : 227;
    const double count = f.declared >= 0 ? f.declared : static_cast<double>(f.points.size());
    std::string s(static_cast<std::size_t>(header), '\0');
    const auto at = [&s](std::size_t offset, auto value) {
        std::memcpy(&s[offset], &value, sizeof value);
    };
    s.replace(0, 4, "LASF");
    s[24] = 1;
    s[25] = static_cast<char>(f.minor);
    at(94, static_cast<std::uint16_t>(header));
    at(96, static_cast<std::uint32_t>(header)); // no variable length records
    s[104] = static_cast<char>(f.format);
    at(105, static_cast<std::uint16_t>(layout[0] + f.extra));
    at(107, static_cast<std::uint32_t>(f.minor >= 4 ? 0 : count));
    for (int k = 0; k < 3; ++k) {
        at(131 + 8 * k, f.scale[k]);
        at(155 + 8 * k, f.offset[k]);
    }
    if (f.minor >= 4)
        at(247, static_cast<std::uint64_t>(count));
    for (const LasPoint &p : f.points) {
        std::string record(static_cast<std::size_t>(layout[0] + f.extra), '\x5a');
        std::memcpy(&record[0], &p.x, 4);
        std::memcpy(&record[4], &p.y, 4);
        std::memcpy(&record[8], &p.z, 4);
        std::memcpy(&record[12], &p.intensity, 2);
        record[static_cast<std::size_t>(layout[1])] = static_cast<char>(p.classification);
        const std::uint16_t rgb[3] = {p.r, p.g, p.b};
        if (layout[2])
            std::memcpy(&record[static_cast<std::size_t>(layout[2])], rgb, sizeof rgb);
        s += record;
    }
    return s;
}

// The scalar fields of a cloud: their names in order and each one's values
// node by node (NaN compares equal to NaN here).
using Fields = std::vector<std::pair<std::string, std::vector<float>>>;

inline void expect_fields(const vv::Cloud &cloud, const Fields &expected) {
    ASSERT_EQ(cloud.fields.size(), expected.size());
    for (std::size_t j = 0; j < expected.size(); ++j) {
        EXPECT_EQ(cloud.fields[j].name, expected[j].first);
        ASSERT_EQ(cloud.fields[j].values.size(), cloud.count) << expected[j].first;
        for (std::size_t i = 0; i < cloud.count; ++i)
            EXPECT_TRUE(
                cloud.fields[j].values[i] == expected[j].second.at(i) ||
                (std::isnan(cloud.fields[j].values[i]) && std::isnan(expected[j].second[i])))
                << expected[j].first << "[" << i << "] = " << cloud.fields[j].values[i];
    }
}

} // namespace vt

#endif
