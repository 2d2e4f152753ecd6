#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QList>

#include <optional>

/**
 * The tray icon: a thin ring with the day of the month in it, drawn on a
 * 22-unit square and scaled to each size a panel may ask for. Every pixel is
 * the one tint at some alpha, so the icon behaves like a monochrome mask.
 */
class DateIconRenderer
{
public:
    static constexpr qreal designSize = 22.0;
    static constexpr qreal ringRadius = 9.0;
    static constexpr qreal ringStroke = 2.0;
    static constexpr qreal fontSize = 11.0;

    /** Panels ask for these; scalable icons show empty on some hosts, so each is painted. */
    static QList<int> pixelSizes();

    /**
     * One bitmap of pixelSize × pixelSize logical pixels at the given device
     * pixel ratio; a valid backdrop colour fills the ring behind the digits.
     */
    static QImage render(int day, int pixelSize, qreal devicePixelRatio, const QColor &tint,
        const QColor &backdrop = QColor());

    /** Every size of pixelSizes(), each at 1× and 2×. */
    static QIcon icon(int day, const QColor &tint, const QColor &backdrop = QColor());

    /** The colours the icon is drawn in on one panel. */
    struct Look
    {
        QColor tint;
        QColor backdrop; ///< invalid: none
    };
    /**
     * What the panel says wins: a tray that names its foreground colour gets
     * a plain icon in it. Otherwise the colour is a guess, so the ring is
     * filled with the opposite colour: a small badge that reads on a panel of
     * either kind, and on the panel it was guessed for blends in. A named
     * colour that would not stand out on the panel's sampled background counts
     * as a guess too: panels have been seen naming their light theme's ink
     * on a dark panel.
     */
    static Look lookFor(const std::optional<QColor> &panelForeground, const QColor &guessedTint,
        const QColor &panelBackground = QColor());

    /** The colour most of the frame of a shot of the icon's place shows: the panel behind it. */
    static QColor panelBackground(const QImage &iconArea);

    /**
     * The tint that reads on the panel. Some shells keep their panel dark
     * whatever the colour scheme says, so the desktop's name counts first.
     */
    static QColor tintFor(const QString &currentDesktop, bool darkScheme);
};
