"""Writes a small coloured cloud with normals with Open3D, as ascii and as
binary PLY and as ascii, binary and binary_compressed PCD, and the same
points as plain text for the test to compare against.

Usage: open3d_ply.py DIR   -> DIR/open3d_ascii.ply, DIR/open3d_binary.ply,
                              DIR/open3d_ascii.pcd, DIR/open3d_binary.pcd,
                              DIR/open3d_compressed.pcd,
                              DIR/expected.txt ("x y z r g b nx ny nz" per
                              point, r g b as the bytes Open3D stores).
Exits 77 when Open3D is not installed (python3-open3d), so that the test skips.
"""
import sys

try:
    import numpy as np
    import open3d as o3d
except ImportError:
    sys.exit(77)

out = sys.argv[1]
rng = np.random.default_rng(7)
points = rng.uniform(-50.0, 250.0, size=(40, 3))
# Colours on the byte grid, so that Open3D's conversion to bytes is exact.
colours = rng.integers(0, 256, size=(40, 3))
cloud = o3d.geometry.PointCloud()
cloud.points = o3d.utility.Vector3dVector(points)
cloud.colors = o3d.utility.Vector3dVector(colours / 255.0)
normals = rng.normal(size=(40, 3))
normals /= np.linalg.norm(normals, axis=1)[:, None]
cloud.normals = o3d.utility.Vector3dVector(normals)
for name, ascii, compressed in (
    ("open3d_ascii.ply", True, False),
    ("open3d_binary.ply", False, False),
    ("open3d_ascii.pcd", True, False),
    ("open3d_binary.pcd", False, False),
    ("open3d_compressed.pcd", False, True),
):
    if not o3d.io.write_point_cloud(
        f"{out}/{name}", cloud, write_ascii=ascii, compressed=compressed
    ):
        sys.exit(f"Open3D could not write {name}")
with open(f"{out}/expected.txt", "w") as f:
    for p, c, n in zip(points, colours, normals):
        f.write("%.17g %.17g %.17g %d %d %d %.17g %.17g %.17g\n" % (*p, *c, *n))
