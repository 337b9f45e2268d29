#pragma once

#include <QRect>
#include <QVector>

// Cells of the view area: n containers in `columns` columns of a W x H area,
// each cell keeping the aspect aw:ah for its content (70 px of each cell's
// height and 10 px of its width are outside the aspect ratio, 5 px margin all
// round). A partly filled last row is centred. Integer arithmetic throughout.
QVector<QRect> view_grid_cells(int W, int H, int columns, int aw, int ah, int n);
