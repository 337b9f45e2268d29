#pragma once

#include <QTableWidget>

// The module list: a plain, read-only, single-row-selection table without
// headers or grid. Columns, rows, font and style are set by the main window.
class custom_table_widget : public QTableWidget {
    Q_OBJECT
public:
    explicit custom_table_widget(QWidget* parent = nullptr);
};
