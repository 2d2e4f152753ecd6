#include "Glyphs.h"

#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

namespace Glyphs {

const char *themeName(Glyph glyph)
{
    switch (glyph) {
    case Glyph::chevronDown:
        return "pan-down-symbolic";
    case Glyph::chevronLeft:
        return "go-previous";
    case Glyph::chevronRight:
        return "go-next";
    case Glyph::gear:
        return "preferences-system";
    case Glyph::closeCircle:
        return "window-close";
    case Glyph::mapPin:
        return "mark-location";
    case Glyph::camera:
        return "camera-video";
    case Glyph::link:
        return "insert-link";
    }
    return "";
}

namespace {

    bool paintThemeIcon(QPainter &painter, const QRectF &box, Glyph glyph, const QColor &color)
    {
        const QString name = QString::fromLatin1(themeName(glyph));
        if (QIcon::themeName().isEmpty() || !QIcon::hasThemeIcon(name))
            return false;
        const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
        const QSize logical(qCeil(box.width()), qCeil(box.height()));
        QPixmap pixmap = QIcon::fromTheme(name).pixmap(logical, dpr);
        if (pixmap.isNull())
            return false;
        // Theme icons come in the theme's own colours; the popover wants them to
        // read like the text beside them in either appearance.
        QPainter tint(&pixmap);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(pixmap.rect(), color);
        tint.end();
        const QSizeF drawn = pixmap.deviceIndependentSize();
        painter.drawPixmap(
            QPointF(box.center().x() - drawn.width() / 2, box.center().y() - drawn.height() / 2), pixmap);
        return true;
    }

    void strokeChevron(QPainter &p, const QRectF &b, Glyph glyph, const QColor &color)
    {
        const qreal s = b.width();
        QPen pen(color, qMax(1.2, s * 0.12), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        const QPointF c = b.center();
        const qreal h = s * 0.2;
        QPolygonF line;
        switch (glyph) {
        case Glyph::chevronDown:
            line << QPointF(c.x() - 2 * h, c.y() - h) << QPointF(c.x(), c.y() + h)
                 << QPointF(c.x() + 2 * h, c.y() - h);
            break;
        case Glyph::chevronLeft:
            line << QPointF(c.x() + h, c.y() - 2 * h) << QPointF(c.x() - h, c.y())
                 << QPointF(c.x() + h, c.y() + 2 * h);
            break;
        default:
            line << QPointF(c.x() - h, c.y() - 2 * h) << QPointF(c.x() + h, c.y())
                 << QPointF(c.x() - h, c.y() + 2 * h);
            break;
        }
        p.drawPolyline(line);
    }

    void drawGear(QPainter &p, const QRectF &b, const QColor &color)
    {
        const QPointF c = b.center();
        const qreal outer = b.width() * 0.46;
        const qreal inner = b.width() * 0.34;
        const int teeth = 8;
        QPainterPath path;
        for (int i = 0; i < teeth * 4; ++i) {
            const qreal angle = (i - 0.5) * M_PI / (teeth * 2);
            const qreal r = (i % 4 == 0 || i % 4 == 1) ? outer : inner;
            const QPointF pt(c.x() + r * qCos(angle), c.y() + r * qSin(angle));
            if (i == 0)
                path.moveTo(pt);
            else
                path.lineTo(pt);
        }
        path.closeSubpath();
        path.addEllipse(c, b.width() * 0.14, b.width() * 0.14);
        path.setFillRule(Qt::OddEvenFill);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawPath(path);
    }

    void drawCloseCircle(QPainter &p, const QRectF &b, const QColor &color)
    {
        const QPointF c = b.center();
        const qreal r = b.width() * 0.46;
        QPainterPath disc;
        disc.addEllipse(c, r, r);
        QPainterPath cross;
        const qreal a = r * 0.38;
        const qreal w = qMax(1.0, r * 0.16);
        QPainterPathStroker stroker;
        stroker.setWidth(2 * w);
        stroker.setCapStyle(Qt::RoundCap);
        QPainterPath lines;
        lines.moveTo(c.x() - a, c.y() - a);
        lines.lineTo(c.x() + a, c.y() + a);
        lines.moveTo(c.x() + a, c.y() - a);
        lines.lineTo(c.x() - a, c.y() + a);
        cross = stroker.createStroke(lines);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawPath(disc.subtracted(cross));
    }

    void drawMapPin(QPainter &p, const QRectF &b, const QColor &color)
    {
        const qreal s = b.width();
        const QPointF c = b.center();
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(color, qMax(1.0, s * 0.09)));
        p.drawEllipse(QPointF(c.x(), c.y() + s * 0.34), s * 0.34, s * 0.1);
        QPainterPath pin;
        const QPointF head(c.x(), c.y() - s * 0.14);
        const qreal r = s * 0.24;
        pin.moveTo(c.x(), c.y() + s * 0.34);
        pin.lineTo(head.x() - r * 0.95, head.y() + r * 0.35);
        pin.arcTo(QRectF(head.x() - r, head.y() - r, 2 * r, 2 * r), 200, -220);
        pin.closeSubpath();
        QPainterPath hole;
        hole.addEllipse(head, r * 0.4, r * 0.4);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawPath(pin.subtracted(hole));
    }

    void drawCamera(QPainter &p, const QRectF &b, const QColor &color)
    {
        const qreal s = b.width();
        const QPointF c = b.center();
        QPainterPath body;
        body.addRoundedRect(QRectF(c.x() - s * 0.48, c.y() - s * 0.26, s * 0.64, s * 0.52), s * 0.1, s * 0.1);
        QPolygonF lens;
        lens << QPointF(c.x() + s * 0.2, c.y() - s * 0.06) << QPointF(c.x() + s * 0.48, c.y() - s * 0.24)
             << QPointF(c.x() + s * 0.48, c.y() + s * 0.24) << QPointF(c.x() + s * 0.2, c.y() + s * 0.06);
        body.addPolygon(lens);
        body.setFillRule(Qt::WindingFill);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawPath(body);
    }

    // Two interlocked chain links, tilted like the usual "link" symbol.
    void drawLink(QPainter &p, const QRectF &b, const QColor &color)
    {
        const qreal s = b.width();
        p.translate(b.center());
        p.rotate(-45);
        p.setPen(QPen(color, qMax(1.1, s * 0.12)));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(-s * 0.5, -s * 0.16, s * 0.58, s * 0.32), s * 0.16, s * 0.16);
        p.drawRoundedRect(QRectF(-s * 0.08, -s * 0.16, s * 0.58, s * 0.32), s * 0.16, s * 0.16);
    }

} // namespace

void paint(QPainter &painter, const QRectF &rect, Glyph glyph, const QColor &color)
{
    const qreal side = qMin(rect.width(), rect.height());
    const QRectF box(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (!paintThemeIcon(painter, box, glyph, color)) {
        switch (glyph) {
        case Glyph::chevronDown:
        case Glyph::chevronLeft:
        case Glyph::chevronRight:
            strokeChevron(painter, box, glyph, color);
            break;
        case Glyph::gear:
            drawGear(painter, box, color);
            break;
        case Glyph::closeCircle:
            drawCloseCircle(painter, box, color);
            break;
        case Glyph::mapPin:
            drawMapPin(painter, box, color);
            break;
        case Glyph::camera:
            drawCamera(painter, box, color);
            break;
        case Glyph::link:
            drawLink(painter, box, color);
            break;
        }
    }
    painter.restore();
}

} // namespace Glyphs
