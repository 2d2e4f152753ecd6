#pragma once

#include "Glyphs.h"
#include "Theme.h"

#include <QWidget>

/** A symbol standing beside a text, sized and tinted like that text. */
class GlyphView : public QWidget
{
    Q_OBJECT
public:
    GlyphView(Glyphs::Glyph glyph, qreal pixelSize, Theme::Tone tone, QWidget *parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Glyphs::Glyph m_glyph;
    qreal m_pixelSize;
    Theme::Tone m_tone;
};
