#pragma once

#include "Glyphs.h"
#include "Theme.h"

#include "KeyboardButton.h"

#include <optional>

/**
 * A borderless button: a text, a glyph or both, tinted by theme tones, with
 * no bezel and only a pressed dimming as feedback. Enter and Return click it
 * like Space, as keyboard users of a popup expect.
 */
class PlainButton : public KeyboardButton
{
    Q_OBJECT
public:
    explicit PlainButton(QWidget *parent = nullptr);

    void setLabel(const QString &text, qreal pixelSize, QFont::Weight weight, Theme::Tone tone);
    /** The glyph is drawn after the text, sized like text of glyphPixelSize. */
    void setGlyph(Glyphs::Glyph glyph, qreal glyphPixelSize, Theme::Tone tone, int spacing = 2);
    /** A fixed height (natural width) or a fixed square box. */
    void setFixedBoxHeight(int height);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int glyphSide() const;

    Theme::Tone m_textTone = Theme::Tone::primary;
    std::optional<Glyphs::Glyph> m_glyph;
    qreal m_glyphPixelSize = 9;
    Theme::Tone m_glyphTone = Theme::Tone::secondary;
    int m_spacing = 2;
    int m_boxHeight = 28;
};
