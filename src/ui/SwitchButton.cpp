#include "SwitchButton.h"

#include "Theme.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>

SwitchButton::SwitchButton(QWidget *parent)
    : KeyboardButton(parent)
{
    setCheckable(true);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

bool SwitchButton::hitButton(const QPoint &pos) const
{
    return rect().contains(pos);
}

void SwitchButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = palette();
    const QSizeF track = sizeHint();
    const QRectF r(
        (width() - track.width()) / 2.0, (height() - track.height()) / 2.0, track.width(), track.height());
    QColor fill;
    if (isChecked()) {
        fill = Theme::accent(pal);
    } else {
        fill = Theme::primary(pal);
        fill.setAlphaF(Theme::isDark(pal) ? 0.25 : 0.15);
    }
    if (isDown())
        fill = fill.darker(115);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    paintFocusRing(p, r.adjusted(-1.5, -1.5, 1.5, 1.5), r.height() / 2 + 1.5, 0.5, 2);
    const qreal knob = r.height() - 4;
    const qreal x = isChecked() ? r.right() - 2 - knob : r.left() + 2;
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(QRectF(x, r.top() + 2.5, knob, knob));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(x, r.top() + 2, knob, knob));
}
