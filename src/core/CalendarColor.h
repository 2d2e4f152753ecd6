#pragma once

#include <QString>
#include <QStringView>

/**
 * A calendar's colour as the stores read it: 8-bit red, green, blue and
 * alpha, or none. The core holds colours without the GUI library, so the
 * agenda and the stores stay free of it; the widgets convert with argb().
 */
class CalendarColor
{
public:
    constexpr CalendarColor() = default;
    constexpr CalendarColor(int red, int green, int blue, int alpha = 255)
        : m_argb((quint32(alpha & 0xff) << 24) | (quint32(red & 0xff) << 16) | (quint32(green & 0xff) << 8)
            | quint32(blue & 0xff))
        , m_valid(true)
    { }

    /**
     * Reads the forms desktops and calendar services write: "#rgb",
     * "#rrggbb", "#aarrggbb", "#rrrgggbbb", "#rrrrggggbbbb" and the CSS/SVG
     * colour names (any case, spaces ignored), "transparent" included.
     * Anything else gives no colour.
     */
    static CalendarColor fromString(QStringView text);

    bool isValid() const { return m_valid; }
    int red() const { return int((m_argb >> 16) & 0xff); }
    int green() const { return int((m_argb >> 8) & 0xff); }
    int blue() const { return int(m_argb & 0xff); }
    int alpha() const { return int(m_argb >> 24); }
    /** 0xAARRGGBB, the layout of QRgb. */
    quint32 argb() const { return m_argb; }
    /** "#rrggbb" in lower case, alpha left out. */
    QString name() const;

    friend bool operator==(const CalendarColor &, const CalendarColor &) = default;

private:
    quint32 m_argb = 0xff000000;
    bool m_valid = false;
};
