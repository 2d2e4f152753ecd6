#include "ChoiceButton.h"

#include "Theme.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>

ChoiceButton::ChoiceButton(
    const QString &text, qreal pointSize, int verticalPadding, bool highlighted, QWidget *parent)
    : KeyboardButton(parent)
    , m_verticalPadding(verticalPadding)
    , m_highlighted(highlighted)
{
    setText(text);
    setAccessibleName(text);
    setFont(Theme::font(pointSize, highlighted ? QFont::Bold : QFont::Normal));
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    if (highlighted)
        setAccessibleDescription(QStringLiteral("current"));
}

QSize ChoiceButton::sizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(text()) + 8, fontMetrics().height() + 2 * m_verticalPadding);
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
    // A long month name in a wide font shrinks to fit its column rather than losing letters.
    QFont f = font();
    const int room = width() - 4;
    while (QFontMetrics(f).horizontalAdvance(text()) > room && f.pointSizeF() > 8)
        f.setPointSizeF(f.pointSizeF() - 0.5);
    p.setFont(f);
    p.setPen(m_highlighted ? QColor(Qt::white) : Theme::primary(pal));
    p.drawText(rect(), Qt::AlignCenter, text());
}
