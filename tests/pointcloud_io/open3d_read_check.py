"""Reads a PCD file with Open3D and compares it with the expected values.

Usage: open3d_read_check.py CLOUD.pcd EXPECTED.txt
EXPECTED holds one "x y z r g b" line per point, colours 0-255 (as the test
wrote them, before any text formatting). Exit 0 when Open3D reads the same
points (to float precision) and colours; prints the first difference else.
"""
import sys

import numpy as np
import open3d as o3d


def main():
    cloud = o3d.io.read_point_cloud(sys.argv[1], format="pcd", remove_nan_points=False,
                                    remove_infinite_points=False)
    expected = np.loadtxt(sys.argv[2], ndmin=2)
    points = np.asarray(cloud.points)
    colours = np.rint(np.asarray(cloud.colors) * 255.0)
    if points.shape[0] != expected.shape[0]:
        print(f"open3d read {points.shape[0]} points, expected {expected.shape[0]}")
        return 1
    if not cloud.has_colors():
        print("open3d read no colours")
        return 1
    xyz_error = np.abs(points - expected[:, 0:3]) / np.maximum(np.abs(expected[:, 0:3]), 1e-30)
    worst = np.unravel_index(np.argmax(xyz_error), xyz_error.shape)
    if xyz_error[worst] > 1e-7:
        print(f"point {worst[0]}: open3d {points[worst[0]]}, expected {expected[worst[0], 0:3]}")
        return 1
    bad = np.nonzero(np.any(colours != expected[:, 3:6], axis=1))[0]
    if bad.size:
        i = bad[0]
        print(f"colour {i}: open3d {colours[i]}, expected {expected[i, 3:6]}")
        return 1
    print(f"open3d read {points.shape[0]} points, all equal")
    return 0


if __name__ == "__main__":
    sys.exit(main())
