#include "PlainButton.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

PlainButton::PlainButton(QWidget *parent)
    : KeyboardButton(parent)
{
    // A mouse click leaves focus where it was; only Tab brings the focus ring.
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::ArrowCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void PlainButton::setLabel(const QString &text, qreal pixelSize, QFont::Weight weight, Theme::Tone tone)
{
    setText(text);
    setFont(Theme::font(pixelSize, weight));
    m_textTone = tone;
    if (accessibleName().isEmpty())
        setAccessibleName(text);
    updateGeometry();
    update();
}

void PlainButton::setGlyph(Glyphs::Glyph glyph, qreal glyphPixelSize, Theme::Tone tone, int spacing)
{
    m_glyph = glyph;
    m_glyphPixelSize = glyphPixelSize;
    m_glyphTone = tone;
    m_spacing = spacing;
    updateGeometry();
    update();
}

void PlainButton::setFixedBoxHeight(int height)
{
    m_boxHeight = height;
    updateGeometry();
}

int PlainButton::glyphSide() const
{
    return QFontMetrics(Theme::font(m_glyphPixelSize)).height() * 3 / 4 + 1;
}

QSize PlainButton::sizeHint() const
{
    int width = 0;
    if (!text().isEmpty())
        width += fontMetrics().horizontalAdvance(text());
    if (m_glyph) {
        if (width > 0)
            width += m_spacing;
        width += glyphSide();
    }
    if (text().isEmpty())
        width = qMax(width, m_boxHeight);
    return QSize(width, m_boxHeight);
}

void PlainButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (isDown())
        p.setOpacity(0.55);
    const QPalette pal = palette();
    const QSize natural = sizeHint();
    qreal x = (width() - (text().isEmpty() ? glyphSide() : natural.width())) / 2.0;
    if (!text().isEmpty()) {
        const int textWidth = fontMetrics().horizontalAdvance(text());
        p.setFont(font());
        p.setPen(Theme::color(pal, m_textTone));
        p.drawText(QRectF(x, 0, textWidth, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
        x += textWidth + m_spacing;
    }
    if (m_glyph) {
        const int side = glyphSide();
        Glyphs::paint(
            p, QRectF(x, (height() - side) / 2.0, side, side), *m_glyph, Theme::color(pal, m_glyphTone));
    }
    paintFocusRing(p, QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 6);
}
