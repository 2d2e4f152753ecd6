#include "Theme.h"

#include <QApplication>

#include <optional>

namespace {

std::optional<QColor> &desktopAccent()
{
    static std::optional<QColor> accent;
    return accent;
}

struct PaletteColors
{
    QColor window, windowText, base, alternateBase, text, button, buttonText, brightText;
    QColor light, midlight, mid, dark, shadow;
    QColor highlight, highlightedText, link, linkVisited, toolTipBase, toolTipText, placeholder;
    QColor disabledText;
};

QPalette makePalette(const PaletteColors &c)
{
    QPalette p;
    for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled }) {
        const bool disabled = group == QPalette::Disabled;
        p.setColor(group, QPalette::Window, c.window);
        p.setColor(group, QPalette::WindowText, disabled ? c.disabledText : c.windowText);
        p.setColor(group, QPalette::Base, c.base);
        p.setColor(group, QPalette::AlternateBase, c.alternateBase);
        p.setColor(group, QPalette::Text, disabled ? c.disabledText : c.text);
        p.setColor(group, QPalette::Button, c.button);
        p.setColor(group, QPalette::ButtonText, disabled ? c.disabledText : c.buttonText);
        p.setColor(group, QPalette::BrightText, c.brightText);
        p.setColor(group, QPalette::Light, c.light);
        p.setColor(group, QPalette::Midlight, c.midlight);
        p.setColor(group, QPalette::Mid, c.mid);
        p.setColor(group, QPalette::Dark, c.dark);
        p.setColor(group, QPalette::Shadow, c.shadow);
        p.setColor(group, QPalette::Highlight, disabled ? c.mid : c.highlight);
        p.setColor(group, QPalette::HighlightedText, c.highlightedText);
        p.setColor(group, QPalette::Link, c.link);
        p.setColor(group, QPalette::LinkVisited, c.linkVisited);
        p.setColor(group, QPalette::ToolTipBase, c.toolTipBase);
        p.setColor(group, QPalette::ToolTipText, c.toolTipText);
        p.setColor(group, QPalette::PlaceholderText, c.placeholder);
        p.setColor(group, QPalette::NoRole, QColor());
    }
    return p;
}

QColor withAlpha(QColor c, qreal alpha)
{
    c.setAlphaF(c.alphaF() * alpha);
    return c;
}

} // namespace

QPalette Theme::lightPalette()
{
    PaletteColors c;
    c.window = QColor(0xec, 0xec, 0xec);
    c.windowText = QColor(0x1d, 0x1d, 0x1f);
    c.base = QColor(0xff, 0xff, 0xff);
    c.alternateBase = QColor(0xf4, 0xf5, 0xf5);
    c.text = c.windowText;
    c.button = QColor(0xf6, 0xf6, 0xf6);
    c.buttonText = c.windowText;
    c.brightText = Qt::white;
    c.light = Qt::white;
    c.midlight = QColor(0xe3, 0xe3, 0xe3);
    c.mid = QColor(0xc6, 0xc6, 0xc8);
    c.dark = QColor(0xa0, 0xa0, 0xa4);
    c.shadow = QColor(0x00, 0x00, 0x00);
    c.highlight = QColor(0x0a, 0x64, 0xd8);
    c.highlightedText = Qt::white;
    c.link = QColor(0x0a, 0x64, 0xd8);
    c.linkVisited = QColor(0x6b, 0x3f, 0xa0);
    c.toolTipBase = QColor(0xff, 0xff, 0xf0);
    c.toolTipText = c.windowText;
    c.placeholder = QColor(0x1d, 0x1d, 0x1f, 0x73);
    c.disabledText = QColor(0x1d, 0x1d, 0x1f, 0x60);
    return makePalette(c);
}

QPalette Theme::darkPalette()
{
    PaletteColors c;
    c.window = QColor(0x32, 0x32, 0x34);
    c.windowText = QColor(0xf2, 0xf2, 0xf4);
    c.base = QColor(0x1e, 0x1e, 0x20);
    c.alternateBase = QColor(0x2a, 0x2a, 0x2c);
    c.text = c.windowText;
    c.button = QColor(0x3a, 0x3a, 0x3c);
    c.buttonText = c.windowText;
    c.brightText = Qt::white;
    c.light = QColor(0x5a, 0x5a, 0x5e);
    c.midlight = QColor(0x48, 0x48, 0x4a);
    c.mid = QColor(0x4a, 0x4a, 0x4e);
    c.dark = QColor(0x1a, 0x1a, 0x1a);
    c.shadow = QColor(0x00, 0x00, 0x00);
    c.highlight = QColor(0x35, 0x84, 0xe4);
    c.highlightedText = Qt::white;
    c.link = QColor(0x62, 0xa0, 0xea);
    c.linkVisited = QColor(0xb0, 0x8c, 0xe0);
    c.toolTipBase = QColor(0x2a, 0x2a, 0x2c);
    c.toolTipText = c.windowText;
    c.placeholder = QColor(0xf2, 0xf2, 0xf4, 0x73);
    c.disabledText = QColor(0xf2, 0xf2, 0xf4, 0x60);
    return makePalette(c);
}

QColor Theme::primary(const QPalette &palette)
{
    return palette.color(QPalette::Active, QPalette::WindowText);
}

QColor Theme::secondary(const QPalette &palette)
{
    return withAlpha(primary(palette), 0.5);
}

QColor Theme::tertiary(const QPalette &palette)
{
    return withAlpha(primary(palette), 0.26);
}

QColor Theme::accent(const QPalette &palette)
{
    const auto &desktop = desktopAccent();
    if (desktop && desktop->isValid())
        return *desktop;
    return palette.color(QPalette::Active, QPalette::Highlight);
}

void Theme::setDesktopAccent(const QColor &color)
{
    if (color.isValid())
        desktopAccent() = color;
    else
        desktopAccent().reset();
}

QColor Theme::color(const QPalette &palette, Tone tone)
{
    switch (tone) {
    case Tone::primary:
        return primary(palette);
    case Tone::secondary:
        return secondary(palette);
    case Tone::tertiary:
        return tertiary(palette);
    case Tone::accent:
        return accent(palette);
    case Tone::white:
        return Qt::white;
    }
    return primary(palette);
}

QFont Theme::font(qreal pixelSize, QFont::Weight weight)
{
    QFont f = QApplication::font();
    // Logical pixels, not typographic points: a point is a third larger at
    // 96 DPI and would push the grid down over the event list.
    f.setPixelSize(qMax(1, qRound(pixelSize)));
    f.setWeight(weight);
    return f;
}

bool Theme::isDark(const QPalette &palette)
{
    return palette.color(QPalette::Active, QPalette::Window).lightness() < 128;
}
