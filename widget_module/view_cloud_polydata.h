#pragma once

#include <vtkSmartPointer.h>
#include <vtkType.h>

#include <vector>

class vtkCellArray;
class vtkPoints;
class vtkPolyData;
class vtkUnsignedCharArray;
namespace pcl {
struct PointXYZRGB;
template <typename PointT>
class PointCloud;
}  // namespace pcl

// Vertex poly data of a coloured point cloud, rebuilt in place for each
// frame: the arrays are reused, only an array whose values changed is marked
// modified, and the vertex cells are rebuilt only when the point count
// changes. Non-finite points are left out; colours are R, G, B.
//
// Two levels of detail share the point arrays: full draws every point, coarse
// only the points of every other row and column of an organised cloud (every
// fourth point of an unorganised one). Switching level swaps the vertex cells
// only, so the picture on screen can return to full detail without the cloud.
class view_cloud_polydata {
public:
    view_cloud_polydata();
    ~view_cloud_polydata();

    void assign(const pcl::PointCloud<pcl::PointXYZRGB>& cloud);
    void set_coarse(bool coarse);
    bool coarse() const { return m_coarse; }

    vtkPolyData* polydata() const;
    vtkIdType point_count() const;
    // Points the vertex cells of the current level draw.
    vtkIdType drawn_count() const;

private:
    vtkSmartPointer<vtkPolyData> m_polydata;
    vtkSmartPointer<vtkPoints> m_points;
    vtkSmartPointer<vtkUnsignedCharArray> m_colours;
    vtkSmartPointer<vtkCellArray> m_verts;
    vtkSmartPointer<vtkCellArray> m_coarse_verts;
    std::vector<vtkIdType> m_coarse_ids;  // kept points of the coarse level
    vtkIdType m_cell_count = -1;
    bool m_coarse = false;
    bool m_coarse_stale = true;  // m_coarse_verts lags m_coarse_ids

    void install_cells();
};
