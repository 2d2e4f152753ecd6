#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

/**
 * Colours and palettes shared by every widget, so the popover, the panels
 * and the tray icon agree on what "primary", "secondary" and "accent" mean.
 */
class Theme
{
public:
    /** Complete palettes for a forced light or dark appearance (every group and role set). */
    static QPalette lightPalette();
    static QPalette darkPalette();

    static QColor primary(const QPalette &palette);
    static QColor secondary(const QPalette &palette);
    static QColor tertiary(const QPalette &palette);
    /** The desktop's accent colour where it tells one, else the palette's highlight. */
    static QColor accent(const QPalette &palette);
    /** Overrides the accent (the colour-scheme watcher sets it from the desktop portal). */
    static void setDesktopAccent(const QColor &color);

    /** The roles text and glyphs are tinted with; resolved against the palette at paint time. */
    enum class Tone { primary, secondary, tertiary, accent, white };
    static QColor color(const QPalette &palette, Tone tone);

    /** The application font at pixelSize logical pixels and the given weight. */
    static QFont font(qreal pixelSize, QFont::Weight weight = QFont::Normal);
    /** Whether the palette reads as dark, for the few looks that differ beyond colour roles. */
    static bool isDark(const QPalette &palette);
};
