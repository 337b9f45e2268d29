#include <gtest/gtest.h>

#include <limits>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>
#include <vtkCellArray.h>
#include <vtkCellArrayIterator.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkUnsignedCharArray.h>

#include "widget_module/view_cloud_polydata.h"

namespace {

pcl::PointXYZRGB point(float x, float y, float z, uint8_t r, uint8_t g, uint8_t b) {
  pcl::PointXYZRGB p;
  p.x = x;
  p.y = y;
  p.z = z;
  p.r = r;
  p.g = g;
  p.b = b;
  return p;
}

TEST(CloudPolyData, KeepsFinitePointsWithTheirColours) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  pcl::PointCloud<pcl::PointXYZRGB> cloud;
  cloud.push_back(point(1, 2, 3, 10, 20, 30));
  cloud.push_back(point(nan, 0, 0, 1, 1, 1));
  cloud.push_back(point(0, 0, 0, 40, 50, 60));  // a pixel without depth stays
  cloud.push_back(point(0, std::numeric_limits<float>::infinity(), 0, 1, 1, 1));
  view_cloud_polydata data;
  data.assign(cloud);
  vtkPolyData* poly = data.polydata();
  ASSERT_EQ(poly->GetNumberOfPoints(), 2);
  EXPECT_EQ(poly->GetNumberOfVerts(), 2);
  double xyz[3];
  poly->GetPoint(0, xyz);
  EXPECT_EQ(xyz[0], 1);
  EXPECT_EQ(xyz[1], 2);
  EXPECT_EQ(xyz[2], 3);
  auto* colours = vtkUnsignedCharArray::SafeDownCast(poly->GetPointData()->GetScalars());
  ASSERT_NE(colours, nullptr);
  ASSERT_EQ(colours->GetNumberOfComponents(), 3);
  EXPECT_EQ(colours->GetValue(0), 10);
  EXPECT_EQ(colours->GetValue(2), 30);
  EXPECT_EQ(colours->GetValue(3), 40);
  EXPECT_EQ(colours->GetValue(5), 60);
}

TEST(CloudPolyData, FollowsTheCloudSizeFromFrameToFrame) {
  view_cloud_polydata data;
  for (int n : {5, 5, 12, 0, 3}) {
    pcl::PointCloud<pcl::PointXYZRGB> cloud;
    for (int i = 0; i < n; ++i) cloud.push_back(point(i, 0, 1, 0, 0, 0));
    data.assign(cloud);
    EXPECT_EQ(data.point_count(), n);
    EXPECT_EQ(data.polydata()->GetNumberOfVerts(), n);
    // Each vertex cell refers to its own point.
    vtkIdType count = 0;
    const vtkIdType* ids = nullptr;
    auto it = vtk::TakeSmartPointer(data.polydata()->GetVerts()->NewIterator());
    vtkIdType expected = 0;
    for (it->GoToFirstCell(); !it->IsDoneWithTraversal(); it->GoToNextCell(), ++expected) {
      it->GetCurrentCell(count, ids);
      ASSERT_EQ(count, 1);
      EXPECT_EQ(ids[0], expected);
    }
    EXPECT_EQ(expected, n);
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
