#include "ChoiceButton.h"

#include "Theme.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>

ChoiceButton::ChoiceButton(
    const QString &text, qreal pixelSize, int verticalPadding, bool highlighted, QWidget *parent)
    : KeyboardButton(parent)
    , m_verticalPadding(verticalPadding)
    , m_highlighted(highlighted)
{
    setText(text);
    setAccessibleName(text);
    setFont(Theme::font(pixelSize, highlighted ? QFont::Bold : QFont::Normal));
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    if (highlighted)
        setAccessibleDescription(QStringLiteral("current"));
}

QSize ChoiceButton::sizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(text()) + horizontalPadding,
        fontMetrics().height() + 2 * m_verticalPadding);
}

QSize ChoiceButton::minimumSizeHint() const
{
    return QSize(10, sizeHint().height());
}

void ChoiceButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (isDown())
        p.setOpacity(0.55);
    const QPalette pal = palette();
    if (m_highlighted) {
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::accent(pal));
        p.drawRoundedRect(QRectF(rect()), 6, 6);
    }
    paintFocusRing(p, QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 6);
    // The owner picks one size for all choices; a text that still does not fit is elided, not cut.
    p.setFont(font());
    p.setPen(m_highlighted ? QColor(Qt::white) : Theme::primary(pal));
    const QRect room = rect().adjusted(horizontalPadding / 2, 0, -horizontalPadding / 2, 0);
    p.drawText(room, Qt::AlignCenter, fontMetrics().elidedText(text(), Qt::ElideRight, room.width()));
}
