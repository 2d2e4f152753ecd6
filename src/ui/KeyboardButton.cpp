#include "KeyboardButton.h"

#include "Theme.h"

#include <QKeyEvent>
#include <QPainter>

void KeyboardButton::keyPressEvent(QKeyEvent *event)
{
    const bool plainEnter = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && plainEnter
        && !event->isAutoRepeat()) {
        animateClick();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void KeyboardButton::focusInEvent(QFocusEvent *event)
{
    // Focus that arrives with the window or a click shows no ring.
    m_keyboardFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
}

void KeyboardButton::paintFocusRing(QPainter &painter, const QRectF &r, qreal radius, qreal alpha,
    qreal penWidth) const
{
    if (!showsFocusRing())
        return;
    painter.save();
    painter.setOpacity(1.0);
    QColor ring = Theme::accent(palette());
    ring.setAlphaF(alpha);
    painter.setPen(QPen(ring, penWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(r, radius, radius);
    painter.restore();
}
