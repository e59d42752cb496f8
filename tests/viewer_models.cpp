// Models through the importer on Debian's test models, their colours, and
// load errors that name the file and the problem.
#include "viewer/app/options.h"
#include "viewer/app/view.h"
#include "viewer/cloud/cloud.h"
#include "viewer/formats/load.h"
#include "viewer/formats/pcd.h"
#include "viewer/formats/ply.h"
#include "viewer/formats/xyz.h"
#include "viewer/output/png.h"

#include "cloud_files.h"
#include "geometry.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace vt;

// Every voxel inside the cube, the longest side spanning it, and the lists
// holding each voxel once.
void expect_fitted(const vv::Cloud &c) {
    float lo[3] = {1, 1, 1}, hi[3] = {-1, -1, -1};
    std::size_t listed = 0;
    for (VoxelNode *head : c.lists)
        for (const VoxelNode *v = head; v; v = v->next, ++listed) {
            const float p[3] = {v->x, v->y, v->z};
            for (int i = 0; i < 3; ++i) {
                ASSERT_GE(p[i], -0.5f);
                ASSERT_LE(p[i], 0.5f);
                lo[i] = std::min(lo[i], p[i]);
                hi[i] = std::max(hi[i], p[i]);
            }
            ASSERT_TRUE(v->r >= 0 && v->r <= 1 && v->g >= 0 && v->g <= 1 && v->b >= 0 && v->b <= 1);
        }
    EXPECT_EQ(listed, c.count);
    float longest = 0;
    for (int i = 0; i < 3; ++i) {
        longest = std::max(longest, hi[i] - lo[i]);
        EXPECT_NEAR(lo[i] + hi[i], 0.0f, 1e-5f) << "axis " << i << " not centred";
    }
    EXPECT_NEAR(longest, 1.0f, 1e-5f);
}

// The vertices of Debian's test models, counted from the files themselves
// and not by the importer: a PLY or OFF header's count; for OBJ and STL,
// which repeat a vertex for every face (OBJ groups) or facet (STL) that
// uses it, the number of distinct points listed.
struct ModelFile {
    const char *path; // under VIEWER_MODELS
    std::size_t vertices;
};
std::ostream &operator<<(std::ostream &out, const ModelFile &m) {
    return out << m.path;
}
const ModelFile kModelFiles[] = {
    {"PLY/cube.ply", 8},     {"PLY/cube_binary.ply", 8},    {"PLY/Wuson.ply", 11184},
    {"OBJ/box.obj", 8},      {"OBJ/spider.obj", 722},       {"OFF/Cube.off", 8},
    {"OFF/Wuson.off", 3205}, {"STL/Spider_ascii.stl", 722}, {"STL/Spider_binary.stl", 722},
};
// The vertices pond.0.ply declares; it holds fewer.
constexpr std::size_t kPondDeclared = 70051;

class ViewerModels : public ::testing::TestWithParam<ModelFile> {};

TEST_P(ViewerModels, EveryVertexBecomesOneVoxelInsideTheCube) {
    const std::string path = std::string(VIEWER_MODELS "/") + GetParam().path;
    if (access(path.c_str(), R_OK) != 0)
        GTEST_SKIP() << path << " missing: install assimp-testmodels (bash .ci/test does)";
    const vv::Cloud c = load_ok(path);
    EXPECT_EQ(c.count, GetParam().vertices);
    EXPECT_EQ(c.skipped, 0u);
    expect_fitted(c);
}

INSTANTIATE_TEST_SUITE_P(Files, ViewerModels, ::testing::ValuesIn(kModelFiles));

TEST(ViewerModelColours, FileVertexColoursAreKept) {
    const std::string path = VIEWER_MODELS "/PLY/points.ply";
    if (access(path.c_str(), R_OK) != 0)
        GTEST_SKIP() << "assimp-testmodels missing";
    // The file's own colours: "x y z red green blue nx ny nz", colours as bytes.
    std::istringstream in(slurp(path));
    std::string line;
    while (std::getline(in, line) && line != "end_header") {
    }
    std::vector<std::array<float, 3>> want;
    float x, y, z, r, g, b, nx, ny, nz;
    while (in >> x >> y >> z >> r >> g >> b >> nx >> ny >> nz)
        want.push_back({r / 255, g / 255, b / 255});
    ASSERT_EQ(want.size(), 4u);
    const vv::Cloud c = load_ok(path);
    ASSERT_EQ(c.count, want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(c.nodes[i].r, want[i][0], 1e-6f) << i;
        EXPECT_NEAR(c.nodes[i].g, want[i][1], 1e-6f) << i;
        EXPECT_NEAR(c.nodes[i].b, want[i][2], 1e-6f) << i;
    }
}

TEST(ViewerModelColours, ObjVertexColoursSurviveTheFold) {
    const std::string path = VIEWER_MODELS "/OBJ/cube_with_vertexcolors.obj";
    if (access(path.c_str(), R_OK) != 0)
        GTEST_SKIP() << "assimp-testmodels missing";
    std::set<std::array<float, 3>> want;
    std::istringstream in(slurp(path));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("v ", 0) == 0) {
            std::istringstream l(line.substr(2));
            float x, y, z, r, g, b;
            l >> x >> y >> z >> r >> g >> b;
            want.insert({r, g, b});
        }
    const vv::Cloud c = load_ok(path);
    EXPECT_EQ(c.count, 8u);
    std::set<std::array<float, 3>> got;
    for (std::size_t i = 0; i < c.count; ++i)
        got.insert({c.nodes[i].r, c.nodes[i].g, c.nodes[i].b});
    EXPECT_EQ(got, want);
}

TEST(ViewerModelColours, BinaryScanWithNanPointsSkipsAndCountsThem) {
    // pond.0.ply: binary little-endian, 31 bytes a vertex (x y z nx ny nz as
    // float, three bytes of colour, one float), some NaN positions, and a
    // few bytes short of the vertices its header declares. Loaded as it is,
    // it is refused as truncated (below); cut to its complete vertices,
    // with the header saying so, it loads.
    const std::string path = VIEWER_MODELS "/PLY/pond.0.ply";
    if (access(path.c_str(), R_OK) != 0)
        GTEST_SKIP() << "assimp-testmodels missing";
    const std::string data = slurp(path);
    const std::size_t body = data.find("end_header\n") + 11;
    const std::size_t complete = (data.size() - body) / 31;
    ASSERT_LT(complete, kPondDeclared);
    std::size_t non_finite = 0;
    for (std::size_t i = 0; i < complete; ++i) {
        float p[3];
        std::memcpy(p, data.data() + body + 31 * i, 12);
        non_finite += !(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]));
    }
    ASSERT_GT(non_finite, 0u);

    std::string header = data.substr(0, body);
    const std::string count = "element vertex " + std::to_string(kPondDeclared);
    header.replace(header.find(count), count.size(), "element vertex " + std::to_string(complete));
    const std::string cut = temp_file(".ply", header + data.substr(body, complete * 31));
    const vv::Cloud c = load_ok(cut);
    EXPECT_EQ(c.skipped, non_finite);
    EXPECT_EQ(c.count + c.skipped, complete);
    EXPECT_EQ(c.capacity, c.count) << "skipped points take no node";
    expect_fitted(c);
    std::remove(cut.c_str());
}

TEST(ViewerLoadErrors, NameTheFileAndTheProblem) {
    const std::string dir = ::testing::TempDir();
    const std::string empty = temp_file(".ply", "");
    const std::string text = temp_file(".txt", "just some words, not a model at all\n");
    const std::string obj =
        temp_file(".obj", "# an OBJ file with a comment and nothing else\no empty\n");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {dir + "no_such_file.ply", dir + "no_such_file.ply: no such file"},
        {dir, dir + ": is a directory"},
        {empty, empty + ": empty file"},
        {text, text + ": unknown format (no importer reads this kind of file)"},
        {obj, obj + ": no vertices"},
    };
    for (const auto &[path, message] : cases) {
        vv::Cloud c;
        std::string error;
        EXPECT_FALSE(vv::load_cloud(path, c, error)) << path;
        EXPECT_EQ(error, message);
        EXPECT_EQ(c.count, 0u);
        EXPECT_EQ(c.nodes, nullptr);
        EXPECT_TRUE(c.lists.empty());
    }
    for (const std::string &p : {empty, text, obj})
        std::remove(p.c_str());
}

// The importer fills the rows a short PLY or OFF file lacks with leftover
// data; such a file must be refused, naming what is missing.
TEST(ViewerLoadErrors, FilesShorterThanTheirHeaderSaysAreRefused) {
    std::string points_binary, points_ascii;
    for (int i = 0; i < 1000; ++i) {
        const float p[3] = {i / 1000.0f, (i % 7) / 7.0f, (i % 13) / 13.0f};
        points_binary.append(reinterpret_cast<const char *>(p), sizeof p);
        points_ascii +=
            std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]) + "\n";
    }
    const auto ply = [](const char *format, const std::string &rows) {
        return std::string("ply\nformat ") + format +
               " 1.0\nelement vertex 1000\nproperty float x\nproperty float y\n"
               "property float z\nend_header\n" +
               rows;
    };
    const std::string cube = slurp(VIEWER_MODELS "/PLY/cube_binary.ply");
    const std::string off = "OFF\n# a comment line\n4 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n"
                            "3 0 1 2\n3 0 2 3\n";
    struct Case {
        std::string suffix, content, problem;
    };
    std::vector<Case> cases = {
        {".ply", ply("binary_little_endian", points_binary.substr(0, 500 * 12 + 7)),
         "the header declares 1000 vertex rows, the file ends after 500"},
        {".ply", ply("ascii", points_ascii.substr(0, points_ascii.size() / 2)),
         "the header declares 1000 vertex rows, the file ends after 500"},
        {".off", off.substr(0, off.find("1 1 0")),
         "the header declares 4 vertices, the file ends after 2"},
        {".off", off.substr(0, off.find("0 1 0")),
         "the header declares 4 vertices, the file ends after 3"},
        {".off", off.substr(0, off.find("3 0 2 3")),
         "the header declares 2 faces, the file ends after 1"},
        // A list whose item count runs past the end of the file.
        {".ply",
         "ply\nformat binary_big_endian 1.0\nelement face 2\nproperty list uint int i\n"
         "end_header\n" +
             std::string("\0\0\0\1\0\0\0\7\xff\xff\xff\xff\0\0\0\1", 16),
         "the header declares 2 face rows, the file ends after 1"},
    };
    if (!cube.empty()) // 12 faces of 13 bytes after the vertices: drop the last
        cases.push_back({".ply", cube.substr(0, cube.size() - 13),
                         "the header declares 12 face rows, the file ends after 11"});
    for (const Case &k : cases) {
        const std::string path = temp_file(k.suffix, k.content);
        vv::Cloud c;
        std::string error;
        EXPECT_FALSE(vv::load_cloud(path, c, error)) << k.problem;
        EXPECT_EQ(error, path + ": truncated: " + k.problem);
        EXPECT_EQ(c.count, 0u);
        std::remove(path.c_str());
    }

    // The same files whole, with CRLF line ends or trailing data, still load.
    std::string crlf = ply("ascii", points_ascii);
    for (std::size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2)
        crlf.insert(at, "\r");
    for (const auto &[suffix, content] : std::vector<std::pair<std::string, std::string>>{
             {".ply", ply("binary_little_endian", points_binary + "extra")},
             {".ply", crlf},
             {".off", off}}) {
        const std::string path = temp_file(suffix, content);
        vv::Cloud c;
        std::string error;
        EXPECT_TRUE(vv::load_cloud(path, c, error)) << error;
        EXPECT_EQ(c.count, suffix == ".off" ? 4u : 1000u);
        std::remove(path.c_str());
    }

    // The real pond.0.ply scan is three vertices short.
    const std::string pond = VIEWER_MODELS "/PLY/pond.0.ply";
    if (access(pond.c_str(), R_OK) == 0) {
        vv::Cloud c;
        std::string error;
        EXPECT_FALSE(vv::load_cloud(pond, c, error));
        EXPECT_EQ(
            error,
            pond + ": truncated: the header declares 70051 vertex rows, the file ends after 70048");
    }
}

} // namespace
