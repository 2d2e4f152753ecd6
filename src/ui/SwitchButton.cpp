#include "SwitchButton.h"

#include "Theme.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>

SwitchButton::SwitchButton(QWidget *parent)
    : QAbstractButton(parent)
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
    if (hasFocus() && m_keyboardFocus) {
        QColor ring = Theme::accent(pal);
        ring.setAlphaF(0.5);
        p.setPen(QPen(ring, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r.adjusted(-1.5, -1.5, 1.5, 1.5), r.height() / 2 + 1.5, r.height() / 2 + 1.5);
        p.setPen(Qt::NoPen);
    }
    const qreal knob = r.height() - 4;
    const qreal x = isChecked() ? r.right() - 2 - knob : r.left() + 2;
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(QRectF(x, r.top() + 2.5, knob, knob));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(x, r.top() + 2, knob, knob));
}

void SwitchButton::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
        animateClick();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void SwitchButton::focusInEvent(QFocusEvent *event)
{
    // The ring is for keyboard users; focus that arrives with the window or a click shows none.
    m_keyboardFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
}
