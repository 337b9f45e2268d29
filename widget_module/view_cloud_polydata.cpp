#include "view_cloud_polydata.h"

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>
#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkIdTypeArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkUnsignedCharArray.h>

#include <cmath>

view_cloud_polydata::view_cloud_polydata()
    : m_polydata(vtkSmartPointer<vtkPolyData>::New()),
      m_points(vtkSmartPointer<vtkPoints>::New()),
      m_colours(vtkSmartPointer<vtkUnsignedCharArray>::New()),
      m_verts(vtkSmartPointer<vtkCellArray>::New()) {
  m_points->SetDataTypeToFloat();
  m_colours->SetNumberOfComponents(3);
  m_colours->SetName("rgb");
  m_polydata->SetPoints(m_points);
  m_polydata->SetVerts(m_verts);
  m_polydata->GetPointData()->SetScalars(m_colours);
}

view_cloud_polydata::~view_cloud_polydata() = default;

void view_cloud_polydata::assign(const pcl::PointCloud<pcl::PointXYZRGB>& cloud) {
  vtkIdType n = 0;
  for (const auto& p : cloud.points)
    if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) ++n;

  m_points->SetNumberOfPoints(n);
  m_colours->SetNumberOfTuples(n);
  float* xyz = vtkFloatArray::SafeDownCast(m_points->GetData())->GetPointer(0);
  unsigned char* rgb = m_colours->GetPointer(0);
  for (const auto& p : cloud.points) {
    if (!(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z))) continue;
    *xyz++ = p.x;
    *xyz++ = p.y;
    *xyz++ = p.z;
    *rgb++ = p.r;
    *rgb++ = p.g;
    *rgb++ = p.b;
  }

  if (n != m_cell_count) {
    auto offsets = vtkSmartPointer<vtkIdTypeArray>::New();
    auto connectivity = vtkSmartPointer<vtkIdTypeArray>::New();
    offsets->SetNumberOfValues(n + 1);
    connectivity->SetNumberOfValues(n);
    for (vtkIdType i = 0; i < n; ++i) {
      offsets->SetValue(i, i);
      connectivity->SetValue(i, i);
    }
    offsets->SetValue(n, n);
    m_verts->SetData(offsets, connectivity);
    m_cell_count = n;
  }
  m_points->Modified();
  m_colours->Modified();
  m_polydata->Modified();
}

vtkPolyData* view_cloud_polydata::polydata() const { return m_polydata; }

vtkIdType view_cloud_polydata::point_count() const { return m_points->GetNumberOfPoints(); }
