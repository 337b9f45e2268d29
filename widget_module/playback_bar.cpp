#include "playback_bar.h"

#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <playback/recording_camera.h>

#include "app/user_message.h"
#include "record_texts.h"

namespace {

const char* const kButtonStyle =
    "QPushButton{border:0px;background-color:transparent;color:rgb(255,255,255);}"
    "QPushButton:hover{background-color:rgb(120,120,120);}"
    "QPushButton:checked{background-color:rgb(90,90,90);}";

QString seconds_text(double s)
{
    const int whole = static_cast<int>(s);
    return QStringLiteral("%1:%2.%3")
        .arg(whole / 60)
        .arg(whole % 60, 2, 10, QLatin1Char('0'))
        .arg(static_cast<int>((s - whole) * 10) % 10);
}

enum class glyph { play,
                   pause,
                   back,
                   forward };

// Light glyphs that read on the dark bar.
QIcon draw_media_icon(glyph g)
{
    QPixmap pixmap(36, 36);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(235, 235, 235));
    auto triangle = [&p](qreal left, qreal right) {
        QPainterPath path;
        path.moveTo(left, 8);
        path.lineTo(right, 18);
        path.lineTo(left, 28);
        path.closeSubpath();
        p.drawPath(path);
    };
    switch (g) {
    case glyph::play:
        triangle(10, 28);
        break;
    case glyph::pause:
        p.drawRect(QRectF(10, 8, 6, 20));
        p.drawRect(QRectF(20, 8, 6, 20));
        break;
    case glyph::forward:
        triangle(8, 24);
        p.drawRect(QRectF(24, 8, 4, 20));
        break;
    case glyph::back:
        p.translate(36, 0);
        p.scale(-1, 1);
        triangle(8, 24);
        p.drawRect(QRectF(24, 8, 4, 20));
        break;
    }
    p.end();
    return QIcon(pixmap);
}

// Drawn once per glyph: a new icon at every state change would put its
// scaled pixmaps into Qt's pixmap cache under new keys. Never destroyed
// (pixmaps must not outlive the application object); GUI thread only.
QIcon media_icon(glyph g)
{
    static auto* const icons = new QIcon[4]{draw_media_icon(glyph::play), draw_media_icon(glyph::pause),
                                            draw_media_icon(glyph::back), draw_media_icon(glyph::forward)};
    return icons[static_cast<int>(g)];
}

}  // namespace

const QVector<double>& playback_bar::speeds()
{
    static const QVector<double> values = {0.25, 0.5, 1.0, 1.5, 2.0, 4.0};
    return values;
}

playback_bar::playback_bar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("widget_playback_bar"));
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QStringLiteral("#widget_playback_bar{background-color:rgb(50,50,50);}"
                                 "QLabel{color:rgb(255,255,255);}"));
    auto button = [this](const QString& name, glyph icon, const QString& tip) {
        auto* b = new QPushButton(this);
        b->setObjectName(name);
        b->setStyleSheet(QString::fromLatin1(kButtonStyle));
        b->setIcon(media_icon(icon));
        b->setIconSize(QSize(18, 18));
        b->setToolTip(tip);
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    btn_back = button(QStringLiteral("btn_step_back"), glyph::back, tr("One frame back (Left)"));
    btn_play = button(QStringLiteral("btn_play"), glyph::pause, tr("Play / pause (Space)"));
    btn_forward =
        button(QStringLiteral("btn_step_forward"), glyph::forward, tr("One frame forward (Right)"));
    btn_loop = new QPushButton(tr("Loop"), this);
    btn_loop->setObjectName(QStringLiteral("btn_loop"));
    btn_loop->setCheckable(true);
    btn_loop->setStyleSheet(QString::fromLatin1(kButtonStyle));
    btn_loop->setFocusPolicy(Qt::NoFocus);

    slider_seek = new QSlider(Qt::Horizontal, this);
    slider_seek->setObjectName(QStringLiteral("slider_seek"));
    slider_seek->setFocusPolicy(Qt::NoFocus);
    slider_seek->setRange(0, 0);

    combo_speed = new QComboBox(this);
    combo_speed->setObjectName(QStringLiteral("combo_speed"));
    combo_speed->setFocusPolicy(Qt::NoFocus);
    for (double s : speeds())
        combo_speed->addItem(QStringLiteral("%1\u00d7").arg(s));
    combo_speed->setCurrentIndex(speeds().indexOf(1.0));

    label_position = new QLabel(this);
    label_position->setObjectName(QStringLiteral("label_position"));

    connect(btn_play, &QPushButton::clicked, this, &playback_bar::toggle_play);
    connect(btn_back, &QPushButton::clicked, this, &playback_bar::step_back);
    connect(btn_forward, &QPushButton::clicked, this, &playback_bar::step_forward);
    connect(btn_loop, &QPushButton::toggled, this, [this](bool on) {
        if (m_camera)
            m_camera->set_loop(on);
    });
    connect(slider_seek, &QSlider::valueChanged, this, [this](int value) {
        if (m_camera && !m_updating)
            m_camera->seek(static_cast<size_t>(value));
    });
    connect(combo_speed, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int i) {
        if (m_camera && i >= 0 && i < speeds().size())
            m_camera->set_speed(speeds()[i]);
    });

    m_timer = new QTimer(this);
    m_timer->setInterval(40);
    connect(m_timer, &QTimer::timeout, this, &playback_bar::refresh);
    resize(600, kHeight);
}

void playback_bar::attach(std::shared_ptr<playback::recording_camera> camera)
{
    m_camera = std::move(camera);
    if (!m_camera) {
        m_timer->stop();
        return;
    }
    m_updating = true;
    btn_loop->setChecked(false);
    combo_speed->setCurrentIndex(speeds().indexOf(1.0));
    m_updating = false;
    m_camera->set_loop(false);
    m_camera->set_speed(1.0);
    m_timer->start();
    refresh();
}

void playback_bar::toggle_play()
{
    if (m_camera)
        m_camera->toggle_play();
    refresh();
}

void playback_bar::step_back()
{
    if (m_camera)
        m_camera->step(-1);
    refresh();
}

void playback_bar::step_forward()
{
    if (m_camera)
        m_camera->step(1);
    refresh();
}

void playback_bar::refresh()
{
    if (!m_camera)
        return;
    const playback::position p = m_camera->where();
    m_updating = true;
    const int last = p.count > 0 ? static_cast<int>(p.count - 1) : 0;
    if (slider_seek->maximum() != last)
        slider_seek->setRange(0, last);
    if (!slider_seek->isSliderDown())
        slider_seek->setValue(static_cast<int>(p.index));
    m_updating = false;
    if (btn_play->property("playing").toBool() != p.playing || !btn_play->property("playing").isValid()) {
        btn_play->setIcon(media_icon(p.playing ? glyph::pause : glyph::play));
        btn_play->setProperty("playing", p.playing);
    }
    btn_play->setToolTip(p.playing ? tr("Pause (Space)") : tr("Play (Space)"));
    // Frame sets that cannot be read are skipped; the user is told at most
    // every 5 s, with how many.
    std::string why;
    m_failures_untold += m_camera->take_read_failures(why);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (m_failures_untold > 0 && !why.empty() && now - m_failures_told_ms >= 5000) {
        post_user_message(QString::fromUtf8(record_text::unreadable_frames)
                              .arg(m_failures_untold)
                              .arg(QString::fromStdString(why)));
        m_failures_untold = 0;
        m_failures_told_ms = now;
    }
    label_position->setText(tr("%1 / %2   frame %3 / %4")
                                .arg(seconds_text(p.seconds), seconds_text(p.duration_s))
                                .arg(p.shown ? p.index + 1 : 0)
                                .arg(p.count));
}

void playback_bar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layout_parts();
}

void playback_bar::layout_parts()
{
    const int h = height();
    const int y = (h - 30) / 2;
    int x = 8;
    for (QPushButton* b : {btn_back, btn_play, btn_forward}) {
        b->setGeometry(x, y, 30, 30);
        x += 34;
    }
    const int right_w = 60 + 6 + 52 + 8;
    const int label_w = 220;
    const int slider_w = std::max(60, width() - x - 8 - label_w - right_w);
    slider_seek->setGeometry(x + 4, y, slider_w, 30);
    x += 4 + slider_w + 8;
    label_position->setGeometry(x, y, label_w, 30);
    x += label_w;
    btn_loop->setGeometry(x, y, 52, 30);
    x += 52 + 6;
    combo_speed->setGeometry(x, y + 3, 60, 24);
}
