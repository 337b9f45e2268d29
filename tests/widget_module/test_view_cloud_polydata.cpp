#include <gtest/gtest.h>

#include <limits>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>
#include <vtkCellArray.h>
#include <vtkCellArrayIterator.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkUnsignedCharArray.h>

#include "widget_module/view_cloud_polydata.h"

namespace {

pcl::PointXYZRGB point(float x, float y, float z, uint8_t r, uint8_t g, uint8_t b)
{
    pcl::PointXYZRGB p;
    p.x = x;
    p.y = y;
    p.z = z;
    p.r = r;
    p.g = g;
    p.b = b;
    return p;
}

TEST(CloudPolyData, KeepsFinitePointsWithTheirColours)
{
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

TEST(CloudPolyData, FollowsTheCloudSizeFromFrameToFrame)
{
    view_cloud_polydata data;
    for (int n : {5, 5, 12, 0, 3}) {
        pcl::PointCloud<pcl::PointXYZRGB> cloud;
        for (int i = 0; i < n; ++i)
            cloud.push_back(point(i, 0, 1, 0, 0, 0));
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

// Each frame refills the same arrays; only those whose values changed get a
// new time stamp, so the mapper uploads nothing else again.
TEST(CloudPolyData, MarksOnlyTheArraysThatChangedAsModified)
{
    struct step {
        const char* name;
        int count;
        float shift;     // added to every x
        uint8_t colour;  // every channel
        bool points_modified;
        bool colours_modified;
    };
    const step steps[] = {
        {"first frame", 4, 0, 10, true, true},
        {"same frame again", 4, 0, 10, false, false},
        {"points moved, colours kept", 4, 1, 10, true, false},
        {"colours changed, points kept", 4, 1, 20, false, true},
        {"both changed", 4, 2, 30, true, true},
        {"fewer points", 3, 2, 30, true, true},
    };
    view_cloud_polydata data;
    vtkPolyData* poly = data.polydata();
    vtkPoints* points = poly->GetPoints();
    vtkDataArray* colours = poly->GetPointData()->GetScalars();
    for (const step& s : steps) {
        SCOPED_TRACE(s.name);
        pcl::PointCloud<pcl::PointXYZRGB> cloud;
        for (int i = 0; i < s.count; ++i)
            cloud.push_back(point(i + s.shift, 1, 2, s.colour, s.colour, s.colour));
        const vtkMTimeType points_before = points->GetMTime();
        const vtkMTimeType colours_before = colours->GetMTime();
        const vtkMTimeType poly_before = poly->GetMTime();
        data.assign(cloud);
        // Same objects every frame: nothing is rebuilt.
        ASSERT_EQ(data.polydata(), poly);
        ASSERT_EQ(poly->GetPoints(), points);
        ASSERT_EQ(poly->GetPointData()->GetScalars(), colours);
        EXPECT_EQ(points->GetMTime() != points_before, s.points_modified);
        EXPECT_EQ(colours->GetMTime() != colours_before, s.colours_modified);
        EXPECT_EQ(poly->GetMTime() != poly_before, s.points_modified || s.colours_modified);
        EXPECT_EQ(data.point_count(), s.count);
        double xyz[3];
        poly->GetPoint(s.count - 1, xyz);
        EXPECT_EQ(xyz[0], s.count - 1 + s.shift);
        EXPECT_EQ(colours->GetComponent(s.count - 1, 1), s.colour);
    }
}


// The coarse level keeps the points of even rows and columns of an organised
// cloud (every fourth of an unorganised one), skipping the non-finite ones;
// switching back draws every point of the same arrays again.
TEST(CloudPolyData, CoarseLevelDrawsEveryOtherRowAndColumn)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct grid {
        const char* name;
        uint32_t width, height;
    };
    for (const grid& g : {grid{"organised 6 x 4", 6, 4}, grid{"organised 5 x 3", 5, 3}, grid{"unorganised 10", 10, 1}}) {
        SCOPED_TRACE(g.name);
        pcl::PointCloud<pcl::PointXYZRGB> cloud;
        for (uint32_t i = 0; i < g.width * g.height; ++i)
            cloud.push_back(point(static_cast<float>(i), 0, 1, 0, 0, 0));
        cloud.points[2].x = nan;  // an even column of row 0: not drawn at either level
        cloud.width = g.width;
        cloud.height = g.height;
        // Expected by position: row r, column c kept when both are even.
        std::vector<float> expected;
        for (uint32_t i = 0; i < g.width * g.height; ++i) {
            const bool kept = g.height > 1 ? (i / g.width) % 2 == 0 && (i % g.width) % 2 == 0 : i % 4 == 0;
            if (kept && i != 2)
                expected.push_back(static_cast<float>(i));
        }
        view_cloud_polydata data;
        data.set_coarse(true);
        data.assign(cloud);
        vtkPolyData* poly = data.polydata();
        EXPECT_EQ(poly->GetNumberOfPoints(), static_cast<vtkIdType>(g.width * g.height - 1));
        ASSERT_EQ(data.drawn_count(), static_cast<vtkIdType>(expected.size()));
        std::vector<float> drawn;
        auto it = vtk::TakeSmartPointer(poly->GetVerts()->NewIterator());
        for (it->GoToFirstCell(); !it->IsDoneWithTraversal(); it->GoToNextCell()) {
            vtkIdType n = 0;
            const vtkIdType* ids = nullptr;
            it->GetCurrentCell(n, ids);
            ASSERT_EQ(n, 1);
            double xyz[3];
            poly->GetPoint(ids[0], xyz);
            drawn.push_back(static_cast<float>(xyz[0]));
        }
        EXPECT_EQ(drawn, expected);
        const vtkMTimeType before = poly->GetMTime();
        data.set_coarse(false);
        EXPECT_GT(poly->GetMTime(), before) << "the mapper must see the new cells";
        EXPECT_EQ(data.drawn_count(), static_cast<vtkIdType>(g.width * g.height - 1));
        // The next frame at full detail, then coarse again, draws the same subset.
        data.assign(cloud);
        data.set_coarse(true);
        EXPECT_EQ(data.drawn_count(), static_cast<vtkIdType>(expected.size()));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
