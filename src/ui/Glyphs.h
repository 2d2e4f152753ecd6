#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

/**
 * The handful of symbols the popover shows. The icon theme's symbolic icon is
 * used where the desktop has one, tinted like the text beside it; otherwise
 * the symbol is drawn here, so the popover never shows a blank where a theme
 * lacks an icon.
 */
namespace Glyphs {

enum class Glyph { chevronDown, chevronLeft, chevronRight, gear, closeCircle, mapPin, camera, link };

/** Paints glyph centred in rect, fitted to its shorter side, in color. */
void paint(QPainter &painter, const QRectF &rect, Glyph glyph, const QColor &color);

/** The icon-theme name tried first for glyph. */
const char *themeName(Glyph glyph);

} // namespace Glyphs
