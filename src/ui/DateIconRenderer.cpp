#include "DateIconRenderer.h"

#include <QFont>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPen>
#include <QPixmap>

#include <algorithm>
#include <cmath>

QList<int> DateIconRenderer::pixelSizes()
{
    return { 16, 22, 24, 32, 48, 64 };
}

QImage DateIconRenderer::render(
    int day, int pixelSize, qreal devicePixelRatio, const QColor &tint, const QColor &backdrop)
{
    const int devicePixels = qRound(pixelSize * devicePixelRatio);
    QImage image(devicePixels, devicePixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(devicePixelRatio);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(pixelSize / designSize, pixelSize / designSize);

    const QPointF centre(designSize / 2, designSize / 2);
    QFont font;
    font.setPixelSize(qRound(fontSize));
    font.setBold(true);
    // Hinting snaps glyphs to the unscaled grid and would shift the number off centre at small sizes.
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    const QString digits = QString::number(day);

    if (backdrop.isValid()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(backdrop);
        painter.drawEllipse(centre, ringRadius + ringStroke / 2, ringRadius + ringStroke / 2);
    }

    painter.setPen(QPen(tint, ringStroke));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, ringRadius, ringRadius);
    painter.setFont(font);
    painter.drawText(QRectF(0, 0, designSize, designSize), Qt::AlignCenter, digits);
    painter.end();
    return image;
}

QIcon DateIconRenderer::icon(int day, const QColor &tint, const QColor &backdrop)
{
    QIcon result;
    for (int size : pixelSizes()) {
        result.addPixmap(QPixmap::fromImage(render(day, size, 1.0, tint, backdrop)));
        result.addPixmap(QPixmap::fromImage(render(day, size, 2.0, tint, backdrop)));
    }
    return result;
}

namespace {

qreal relativeLuminance(const QColor &c)
{
    auto channel = [](qreal v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// Below this contrast ratio a thin ring and digits are lost on the panel. Kept
// low, under the 3:1 asked of icons, because the panel chose the colour.
constexpr qreal unreadableContrast = 2.0;

} // namespace

DateIconRenderer::Look DateIconRenderer::lookFor(
    const std::optional<QColor> &panelForeground, const QColor &guessedTint, const QColor &panelBackground)
{
    bool readable = panelForeground && panelForeground->isValid();
    if (readable && panelBackground.isValid()) {
        const qreal a = relativeLuminance(*panelForeground);
        const qreal b = relativeLuminance(panelBackground);
        readable = (qMax(a, b) + 0.05) / (qMin(a, b) + 0.05) >= unreadableContrast;
    }
    if (readable)
        return { *panelForeground, QColor() };
    QColor backdrop = guessedTint.lightness() < 128 ? QColor(0xf2, 0xf2, 0xf2) : QColor(0x1e, 0x1e, 0x1e);
    backdrop.setAlphaF(0.9);
    return { guessedTint, backdrop };
}

QColor DateIconRenderer::panelBackground(const QImage &iconArea)
{
    if (iconArea.isNull())
        return QColor();
    QList<QRgb> frame;
    const int w = iconArea.width();
    const int h = iconArea.height();
    for (int x = 0; x < w; ++x)
        frame << iconArea.pixel(x, 0) << iconArea.pixel(x, h - 1);
    for (int y = 1; y < h - 1; ++y)
        frame << iconArea.pixel(0, y) << iconArea.pixel(w - 1, y);
    // The icon may touch the frame here and there; most of it is the panel.
    auto middle = frame.begin() + frame.size() / 2;
    std::nth_element(frame.begin(), middle, frame.end(), [](QRgb a, QRgb b) { return qGray(a) < qGray(b); });
    return QColor(*middle);
}

QColor DateIconRenderer::tintFor(const QString &currentDesktop, bool darkScheme)
{
    static const QStringList alwaysDarkPanels
        = { QStringLiteral("GNOME"), QStringLiteral("Unity"), QStringLiteral("Pantheon"),
              QStringLiteral("i3"), QStringLiteral("sway"), QStringLiteral("Hyprland") };
    bool darkPanel = darkScheme;
    for (const QString &name : currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (alwaysDarkPanels.contains(name, Qt::CaseInsensitive))
            darkPanel = true;
    }
    return darkPanel ? QColor(0xf2, 0xf2, 0xf2) : QColor(0x1e, 0x1e, 0x1e);
}
