#include "view_bar_fit.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QSpacerItem>
#include <QVariant>
#include <QWidget>
#include <algorithm>

namespace {
constexpr int kButtonGap = 20;        // the forms' spacing between 30 px buttons
constexpr int kRightMargin = 11;      // room right of the last button
constexpr int kLabelPad = 4;          // around a label's text
constexpr int kGroupGap = 8;          // between caption-value pairs
constexpr int kNarrowestButton = 22;  // a 20 px icon and its border
}  // namespace

void view_pack_bar_buttons(QWidget* strip, std::initializer_list<QAbstractButton*> order,
                           int bar_width)
{
    // The strip keeps its form's width while the bar has room for it; the
    // form's width is remembered, so a wider bar gives it back.
    QVariant form_width = strip->property("view_form_width");
    if (!form_width.isValid()) {
        form_width = strip->width();
        strip->setProperty("view_form_width", form_width);
    }
    const int width = std::max(0, std::min(form_width.toInt(), bar_width));
    strip->setGeometry(bar_width - width, strip->y(), width, strip->height());

    std::vector<QAbstractButton*> shown;
    for (QAbstractButton* b : order)
        if (!b->isHidden())
            shown.push_back(b);
    const int n = static_cast<int>(shown.size());
    if (n == 0)
        return;
    // Buttons keep their form's width while they fit; when even without gaps
    // they do not, each gives up the same few pixels of its padding.
    int total = 0;
    for (QAbstractButton* b : shown) {
        QVariant own = b->property("view_form_width");
        if (!own.isValid()) {
            own = b->width();
            b->setProperty("view_form_width", own);
        }
        total += own.toInt();
    }
    const int room = width - 1;
    const int squeeze = total > room ? (total - room + n - 1) / n : 0;
    total = 0;
    for (QAbstractButton* b : shown) {
        const int w = std::max(kNarrowestButton, b->property("view_form_width").toInt() - squeeze);
        b->resize(w, b->height());
        total += w;
    }
    const int gap =
        n > 1 ? std::max(0, std::min(kButtonGap, (width - kRightMargin - total) / (n - 1))) : 0;
    int right = std::max(total + gap * (n - 1), width - kRightMargin);
    for (int i = n - 1; i >= 0; --i) {
        QAbstractButton* b = shown[static_cast<size_t>(i)];
        b->move(right - b->width(), b->y());
        right -= b->width() + gap;
    }
}

void view_shrinkable_bar(QLayout* layout)
{
    if (layout == nullptr)
        return;
    for (int i = 0; i < layout->count(); ++i) {
        QSpacerItem* spacer = layout->itemAt(i)->spacerItem();
        if (spacer == nullptr || spacer->sizePolicy().horizontalPolicy() != QSizePolicy::Fixed)
            continue;
        const QSize hint = spacer->sizeHint();
        spacer->changeSize(hint.width(), hint.height(), QSizePolicy::Maximum,
                           spacer->sizePolicy().verticalPolicy());
    }
    layout->invalidate();
}

void view_fit_info_strip(QWidget* strip, const std::vector<std::pair<QLabel*, QString>>& labels,
                         int max_width)
{
    struct group {
        std::vector<std::pair<QLabel*, int>> items;
        int width = 0;
    };
    std::vector<group> groups;
    for (size_t i = 0; i < labels.size(); ++i) {
        QLabel* label = labels[i].first;
        const QFontMetrics fm(label->font());
        const int w = std::max(fm.horizontalAdvance(label->text()),
                               fm.horizontalAdvance(labels[i].second))
                      + kLabelPad;
        // Captions (even positions) open a group with their value.
        if (i % 2 == 0)
            groups.emplace_back();
        groups.back().items.emplace_back(label, w);
        groups.back().width += w;
    }
    const int line_height = labels.empty() ? strip->height() : labels.front().first->height();
    int x = 0;
    int line = 0;
    int widest = 0;
    std::vector<std::pair<int, int>> origin;  // per group: x, line
    for (const group& g : groups) {
        if (x > 0 && x + kGroupGap + g.width > max_width) {
            ++line;
            x = 0;
        }
        if (x > 0)
            x += kGroupGap;
        origin.emplace_back(x, line);
        x += g.width;
        widest = std::max(widest, x);
    }
    const int lines = line + 1;
    for (size_t gi = 0; gi < groups.size(); ++gi) {
        int gx = origin[gi].first;
        const int gy = origin[gi].second * line_height;
        for (const auto& [label, w] : groups[gi].items) {
            label->setGeometry(gx, gy, w, line_height);
            gx += w;
        }
    }
    const int bottom = strip->y() + strip->height();
    const int height = lines * line_height;
    strip->setGeometry(strip->x(), bottom - height, std::min(widest, std::max(max_width, 0)), height);
}
