#include "GlyphView.h"

#include <QFontMetrics>
#include <QPainter>

GlyphView::GlyphView(Glyphs::Glyph glyph, qreal pixelSize, Theme::Tone tone, QWidget *parent)
    : QWidget(parent)
    , m_glyph(glyph)
    , m_pixelSize(pixelSize)
    , m_tone(tone)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize GlyphView::sizeHint() const
{
    const int side = QFontMetrics(Theme::font(m_pixelSize)).height() * 3 / 4 + 1;
    return QSize(side, side);
}

void GlyphView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    Glyphs::paint(p, QRectF(rect()), m_glyph, Theme::color(palette(), m_tone));
}
