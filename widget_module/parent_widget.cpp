#include "parent_widget.h"

#include <QCloseEvent>

#include "zavire_resources.h"

parent_widget::parent_widget(QWidget* parent) : QWidget(parent)
{
    init_zavire_resources();
    setAttribute(Qt::WA_DeleteOnClose, true);
    setAttribute(Qt::WA_QuitOnClose, false);
}

void parent_widget::closeEvent(QCloseEvent* event)
{
    emit sig_exit();
    QWidget::closeEvent(event);
}

void parent_widget::paintEvent(QPaintEvent*)
{
    // Deliberately empty: the style sheets of the derived forms paint.
}
