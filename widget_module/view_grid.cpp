#include "view_grid.h"

QVector<QRect> view_grid_cells(int W, int H, int columns, int aw, int ah, int n)
{
    QVector<QRect> cells;
    if (n <= 0 || columns <= 0 || aw <= 0 || ah <= 0)
        return cells;
    const int C = columns;
    const int R = n / C + (n % C != 0 ? 1 : 0);
    const int rem = n % C;
    int cw = W / C;
    int ch = H / R;
    if ((ch - 70) * aw <= (cw - 10) * ah)
        cw = (ch - 70) * aw / ah + 10;
    else
        ch = (cw - 10) * ah / aw + 70;
    cells.reserve(n);
    for (int i = 0; i < n; ++i) {
        const int row = i / C;
        const int column = i % C;
        const int row_width = (i + rem < n) ? cw * C : cw * rem;
        const int x = (W - row_width) / 2 + 5 + column * cw;
        const int y = (H - R * ch) / 2 + 5 + row * ch;
        cells.append(QRect(x, y, cw - 10, ch - 10));
    }
    return cells;
}
