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
#include <cstdint>
#include <cstring>

view_cloud_polydata::view_cloud_polydata()
    : m_polydata(vtkSmartPointer<vtkPolyData>::New()),
      m_points(vtkSmartPointer<vtkPoints>::New()),
      m_colours(vtkSmartPointer<vtkUnsignedCharArray>::New()),
      m_verts(vtkSmartPointer<vtkCellArray>::New()),
      m_coarse_verts(vtkSmartPointer<vtkCellArray>::New())
{
    m_points->SetDataTypeToFloat();
    m_colours->SetNumberOfComponents(3);
    m_colours->SetName("rgb");
    m_polydata->SetPoints(m_points);
    m_polydata->SetVerts(m_verts);
    m_polydata->GetPointData()->SetScalars(m_colours);
}

view_cloud_polydata::~view_cloud_polydata() = default;

void view_cloud_polydata::assign(const pcl::PointCloud<pcl::PointXYZRGB>& cloud)
{
    vtkIdType n = 0;
    for (const auto& p : cloud.points)
        if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z))
            ++n;

    const bool resized = n != m_points->GetNumberOfPoints() || n != m_colours->GetNumberOfTuples();
    // Resizing marks the array modified even to the same size.
    if (resized) {
        m_points->SetNumberOfPoints(n);
        m_colours->SetNumberOfTuples(n);
    }
    float* xyz = vtkFloatArray::SafeDownCast(m_points->GetData())->GetPointer(0);
    unsigned char* rgb = m_colours->GetPointer(0);
    // Differences are gathered while copying: an array whose values stayed the
    // same is not marked modified, so the mapper does not upload it again.
    // (Freshly sized arrays hold nothing to compare with.)
    uint32_t xyz_diff = resized ? 1 : 0;
    uint32_t rgb_diff = resized ? 1 : 0;
    const bool organised = cloud.height > 1 && cloud.width > 0 && static_cast<std::size_t>(cloud.width) * cloud.height == cloud.points.size();
    const std::size_t width = organised ? cloud.width : 1;
    std::vector<vtkIdType> coarse_ids;
    coarse_ids.reserve(m_coarse_ids.size());
    vtkIdType kept = 0;
    for (std::size_t i = 0; i < cloud.points.size(); ++i) {
        const auto& p = cloud.points[i];
        if (!(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)))
            continue;
        const bool keep = organised ? ((i / width) % 2 == 0 && (i % width) % 2 == 0) : i % 4 == 0;
        if (keep)
            coarse_ids.push_back(kept);
        ++kept;
        const float v[3] = {p.x, p.y, p.z};
        if (!resized) {
            uint32_t now[3], was[3];
            std::memcpy(now, v, sizeof now);
            std::memcpy(was, xyz, sizeof was);
            xyz_diff |= (now[0] ^ was[0]) | (now[1] ^ was[1]) | (now[2] ^ was[2]);
            rgb_diff |= static_cast<uint32_t>((rgb[0] ^ p.r) | (rgb[1] ^ p.g) | (rgb[2] ^ p.b));
        }
        std::memcpy(xyz, v, sizeof v);
        xyz += 3;
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
    if (coarse_ids != m_coarse_ids) {
        m_coarse_ids.swap(coarse_ids);
        m_coarse_stale = true;
    }
    install_cells();
    // The poly data's time stamp follows its arrays'.
    if (xyz_diff != 0)
        m_points->Modified();
    if (rgb_diff != 0)
        m_colours->Modified();
}

void view_cloud_polydata::set_coarse(bool coarse)
{
    if (coarse == m_coarse)
        return;
    m_coarse = coarse;
    install_cells();
    m_polydata->SetVerts(coarse ? m_coarse_verts : m_verts);
}

void view_cloud_polydata::install_cells()
{
    if (!m_coarse || !m_coarse_stale)
        return;
    const auto n = static_cast<vtkIdType>(m_coarse_ids.size());
    auto offsets = vtkSmartPointer<vtkIdTypeArray>::New();
    auto connectivity = vtkSmartPointer<vtkIdTypeArray>::New();
    offsets->SetNumberOfValues(n + 1);
    connectivity->SetNumberOfValues(n);
    for (vtkIdType i = 0; i < n; ++i) {
        offsets->SetValue(i, i);
        connectivity->SetValue(i, m_coarse_ids[static_cast<std::size_t>(i)]);
    }
    offsets->SetValue(n, n);
    m_coarse_verts->SetData(offsets, connectivity);
    m_coarse_stale = false;
}

vtkIdType view_cloud_polydata::drawn_count() const
{
    return m_polydata->GetVerts() ? m_polydata->GetVerts()->GetNumberOfCells() : 0;
}

vtkPolyData* view_cloud_polydata::polydata() const { return m_polydata; }

vtkIdType view_cloud_polydata::point_count() const { return m_points->GetNumberOfPoints(); }
