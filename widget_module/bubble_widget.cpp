#include "bubble_widget.h"

#include <QGuiApplication>
#include <algorithm>
#include <QScreen>
#include <QTimer>

QPoint bubble_position(const QList<QRect>& available_areas, const QSize& bubble_size)
{
    const QRect* best = nullptr;
    for (const QRect& area : available_areas) {
        if (area.right() > 0 && (!best || area.right() > best->right()))
            best = &area;
    }
    if (!best)
        return QPoint(0, 0);
    return QPoint(best->right() - bubble_size.width() - 1,
                  best->bottom() - bubble_size.height() - 40);
}

bubble_widget::bubble_widget(QWidget* parent) : parent_widget(parent)
{
    opacity = 1.0;
    setWindowFlags(Qt::FramelessWindowHint);
    setupUi(this);

    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens())
        areas.append(screen->availableGeometry());
    move(bubble_position(areas, size()));

    stay_timer = new QTimer(this);
    fade_timer = new QTimer(this);
    connect(stay_timer, &QTimer::timeout, this, &bubble_widget::slot_stay_timeout);
    connect(fade_timer, &QTimer::timeout, this, &bubble_widget::slot_close_timeout);

    label_title_2->setWordWrap(true);
    QFont title_font("Arial");
    title_font.setPixelSize(16);
    label_title->setFont(title_font);
    QFont text_font("Arial");
    text_font.setPixelSize(14);
    label_title_2->setFont(text_font);

    m_form_text_height = label_title_2->height();
    m_form_height = height();
    m_bottom = y() + height();
}

void bubble_widget::fit_text()
{
    const int needed = label_title_2->heightForWidth(label_title_2->width());
    const int text_height = std::max(m_form_text_height, needed);
    label_title_2->resize(label_title_2->width(), text_height);
    const int h = m_form_height + (text_height - m_form_text_height);
    setGeometry(x(), m_bottom - h, width(), h);
}

void bubble_widget::slot_show_message(QStringList content)
{
    if (content.size() < 2)
        return;
    if (fade_timer->isActive())
        fade_timer->stop();
    opacity = 1.0;
    label_title->setText(content.at(0));
    // Folders in a message may break after each "/" (a zero-width space),
    // so a long path wraps instead of running out of the bubble.
    QString text = content.at(1);
    text.replace(QLatin1Char('/'), QStringLiteral("/\u200b"));
    label_title_2->setText(text);
    fit_text();
    setWindowOpacity(1.0);
    show();
    activateWindow();
    stay_timer->start(stay_ms);
}

void bubble_widget::slot_stay_timeout()
{
    stay_timer->stop();
    fade_timer->start(fade_step_ms);
}

void bubble_widget::slot_close_timeout()
{
    opacity -= 0.1;
    if (opacity > 0) {
        setWindowOpacity(opacity);
    } else {
        fade_timer->stop();
        hide();
    }
}
