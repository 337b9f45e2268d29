#include "view_common.h"

#include <QDateTime>
#include <QFont>
#include <QHash>
#include <QLabel>
#include <QWidget>

QIcon shared_icon(const char* path)
{
    // One icon per file for the whole program: every new QIcon loaded from a
    // file puts its scaled pixmaps into Qt's pixmap cache under new keys, so
    // views made again and again, and buttons whose icon changes with their
    // state, would fill the cache to its limit. Never destroyed (pixmaps must
    // not outlive the application object).
    static auto* const icons = new QHash<QString, QIcon>;
    const QString key = QString::fromUtf8(path);
    auto found = icons->find(key);
    if (found == icons->end())
        found = icons->insert(key, QIcon(key));
    return *found;
}

QIcon view_icon(const char* name)
{
    return shared_icon((QByteArrayLiteral(":/zavire/image/") + name).constData());
}

QString view_time_stamp_text()
{
    return QStringLiteral("%1;").arg(static_cast<qulonglong>(QDateTime::currentSecsSinceEpoch()));
}

void view_set_small_font(std::initializer_list<QLabel*> labels)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    for (QLabel* label : labels)
        label->setFont(font);
}

void view_fit_image_view(QWidget* view, QWidget* title, QWidget* image_area, QWidget* bar,
                         QWidget* strip)
{
    QWidget* parent = view->parentWidget();
    if (parent == nullptr)
        return;
    const int wp = parent->width();
    const int hp = parent->height();
    view->resize(wp, hp);
    title->resize(wp, title->height());
    image_area->setGeometry(0, title->geometry().bottom(), wp,
                            hp - bar->height() - title->height());
    bar->setGeometry(bar->x(), hp - bar->height(), image_area->width(), bar->height());
    strip->move(0, bar->y() - strip->height());
}
