// Files Open3D (python3-open3d) writes in the test, for the PLY and PCD
// readers' tests: the script's points, colours and normals beside the files.
// Needs SYSTEM_PYTHON and OPEN3D_SCRIPT defined by the test target.
#ifndef VORLIX_TESTS_OPEN3D_FILES_H
#define VORLIX_TESTS_OPEN3D_FILES_H

#include "cloud_files.h"

#include <array>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>

namespace vt {

const char *const kOpen3dMissing = "Open3D missing: install python3-open3d (bash .ci/deps does)";

// Files from another tool: Open3D (python3-open3d) writes a coloured cloud
// with normals at test time (tests/open3d_ply.py) as PLY and PCD, ascii and
// binary, and the points, colours and normals it chose; the directory goes
// with the object.
struct Open3dFiles {
    std::string dir = ::testing::TempDir() + "viewer_open3d_XXXXXX";
    int status = -1;
    std::vector<std::array<double, 9>> want; // x y z r g b nx ny nz, colours as bytes
    vv::Bounds bounds;

    Open3dFiles() {
        if (!mkdtemp(dir.data()))
            return;
        status =
            std::system((std::string(SYSTEM_PYTHON " " OPEN3D_SCRIPT " '") + dir + "'").c_str());
        std::istringstream in(slurp(dir + "/expected.txt"));
        for (std::array<double, 9> p;
             in >> p[0] >> p[1] >> p[2] >> p[3] >> p[4] >> p[5] >> p[6] >> p[7] >> p[8];) {
            want.push_back(p);
            bounds.add(p[0], p[1], p[2]);
        }
    }
    ~Open3dFiles() {
        for (const char *f : {"/open3d_ascii.ply", "/open3d_binary.ply", "/open3d_ascii.pcd",
                              "/open3d_binary.pcd", "/open3d_compressed.pcd", "/expected.txt"})
            std::remove((dir + f).c_str());
        rmdir(dir.c_str());
    }
    bool missing() const { return WIFEXITED(status) && WEXITSTATUS(status) == 77; }

    // The file loads as the points and colours the script chose, positions
    // within `tolerance` of the fit, and the normals as the three scalar
    // fields the format names them.
    void expect_as_written(const char *file, float tolerance,
                           const std::array<const char *, 3> &normal) const {
        SCOPED_TRACE(file);
        ASSERT_EQ(status, 0) << OPEN3D_SCRIPT " failed";
        ASSERT_EQ(want.size(), 40u);
        const vv::Cloud c = load_ok(dir + file);
        ASSERT_EQ(c.count, want.size());
        const vv::Normaliser norm(bounds);
        for (std::size_t i = 0; i < want.size(); ++i) {
            VoxelNode n;
            norm.apply(want[i][0], want[i][1], want[i][2], n);
            EXPECT_NEAR(c.nodes[i].x, n.x, tolerance) << i;
            EXPECT_NEAR(c.nodes[i].y, n.y, tolerance) << i;
            EXPECT_NEAR(c.nodes[i].z, n.z, tolerance) << i;
            EXPECT_NEAR(c.nodes[i].r, want[i][3] / 255, 1e-6f) << i;
            EXPECT_NEAR(c.nodes[i].g, want[i][4] / 255, 1e-6f) << i;
            EXPECT_NEAR(c.nodes[i].b, want[i][5] / 255, 1e-6f) << i;
        }
        ASSERT_EQ(c.fields.size(), 3u);
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(c.fields[k].name, normal[k]);
            ASSERT_EQ(c.fields[k].values.size(), want.size());
            for (std::size_t i = 0; i < want.size(); ++i)
                EXPECT_NEAR(c.fields[k].values[i], want[i][6 + k], 1e-6) << normal[k] << i;
        }
    }

    // The same for both of the format's files, open3d_ascii.EXT and
    // open3d_binary.EXT: ascii text keeps fewer digits than binary.
    void expect_both_as_written(const std::string &ext, float ascii_tolerance,
                                float binary_tolerance,
                                const std::array<const char *, 3> &normal) const {
        expect_as_written(("/open3d_ascii." + ext).c_str(), ascii_tolerance, normal);
        expect_as_written(("/open3d_binary." + ext).c_str(), binary_tolerance, normal);
    }
};

} // namespace vt

#endif
