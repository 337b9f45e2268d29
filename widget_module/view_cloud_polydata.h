#pragma once

#include <vtkSmartPointer.h>
#include <vtkType.h>

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
class view_cloud_polydata {
 public:
  view_cloud_polydata();
  ~view_cloud_polydata();

  void assign(const pcl::PointCloud<pcl::PointXYZRGB>& cloud);

  vtkPolyData* polydata() const;
  vtkIdType point_count() const;

 private:
  vtkSmartPointer<vtkPolyData> m_polydata;
  vtkSmartPointer<vtkPoints> m_points;
  vtkSmartPointer<vtkUnsignedCharArray> m_colours;
  vtkSmartPointer<vtkCellArray> m_verts;
  vtkIdType m_cell_count = -1;
};
