#include "custom_table_widget.h"

#include <QHeaderView>

custom_table_widget::custom_table_widget(QWidget* parent) : QTableWidget(parent)
{
    hide();
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
}
