#include "PopoverWindow.h"

#include "X11Desktop.h"

#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QList>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPair>
#include <QVBoxLayout>
#include <QWindow>

#include <vector>

namespace {

// Three box blurs in a row come close to a Gaussian; the radius is in device pixels.
void boxBlurAlpha(QImage &image, int radius)
{
    const int w = image.width();
    const int h = image.height();
    if (radius < 1 || w < 1 || h < 1)
        return;
    const int window = 2 * radius + 1;
    std::vector<int> line(size_t(std::max(w, h)));
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y) {
            uchar *row = image.scanLine(y);
            int sum = 0;
            for (int x = -radius; x <= radius; ++x)
                sum += (x >= 0 && x < w) ? row[x] : 0;
            for (int x = 0; x < w; ++x) {
                line[size_t(x)] = sum / window;
                const int out = x - radius;
                const int in = x + radius + 1;
                sum += (in < w ? row[in] : 0) - (out >= 0 ? row[out] : 0);
            }
            for (int x = 0; x < w; ++x)
                row[x] = uchar(line[size_t(x)]);
        }
        for (int x = 0; x < w; ++x) {
            const auto at = [&](int y) -> uchar & { return image.scanLine(y)[x]; };
            int sum = 0;
            for (int y = -radius; y <= radius; ++y)
                sum += (y >= 0 && y < h) ? at(y) : 0;
            for (int y = 0; y < h; ++y) {
                line[size_t(y)] = sum / window;
                const int out = y - radius;
                const int in = y + radius + 1;
                sum += (in < h ? at(in) : 0) - (out >= 0 ? at(out) : 0);
            }
            for (int y = 0; y < h; ++y)
                at(y) = uchar(line[size_t(y)]);
        }
    }
}

} // namespace

Qt::WindowFlags PopoverWindow::windowFlagsFor(const QString &platform)
{
    // On X11 (XWayland included) a popup is placed where it asks, grabs the pointer
    // so that a click anywhere outside (a panel included) closes it, and is not
    // typed as a menu, so compositors still hand it the keyboard. A Wayland client
    // cannot place a window or grab; there it stays a tool window the compositor places.
    if (platform.startsWith(QLatin1String("wayland")))
        return Qt::Tool | Qt::FramelessWindowHint;
    return Qt::Popup | Qt::FramelessWindowHint;
}

PopoverWindow::PopoverWindow(QWidget *parent)
    : PopoverWindow(defaultFrame(), parent)
{ }

PopoverWindow::Frame PopoverWindow::defaultFrame()
{
    // A Wayland compositor sizes, places and outlines a tool window by its whole
    // surface, margin included, so there the content keeps only its rounded corners.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return Frame::rounded;
    return X11Desktop::isCompositing() ? Frame::shadowed : Frame::plain;
}

PopoverWindow::PopoverWindow(Frame frame, QWidget *parent)
    : QWidget(parent, windowFlagsFor(QGuiApplication::platformName()))
    , m_frame(frame)
{
    setObjectName(QStringLiteral("popoverWindow"));
    // Where a compositor blends windows the content draws rounded corners over a
    // transparent window with its shadow around it; elsewhere the window is the
    // content, square and opaque.
    const bool translucent = frame != Frame::plain;
    const int margin = frame == Frame::shadowed ? shadowMargin : 0;
    setFixedSize(popoverWidth + 2 * margin, popoverHeight + 2 * margin);
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    setAutoFillBackground(!translucent);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(0);
}

QRect PopoverWindow::contentRect() const
{
    const int margin = m_frame == Frame::shadowed ? shadowMargin : 0;
    return QRect(margin, margin, popoverWidth, popoverHeight);
}

void PopoverWindow::moveContentTo(const QPoint &globalTopLeft)
{
    move(globalTopLeft - contentRect().topLeft());
}

void PopoverWindow::setContent(QWidget *content)
{
    if (QWidget *old = m_content) {
        layout()->removeWidget(old);
        old->hide();
        // The old content may be the sender of the change that replaces it.
        old->deleteLater();
    }
    m_content = content;
    if (content) {
        content->setParent(this);
        layout()->addWidget(content);
        content->show();
    }
    // The shadow follows the content's appearance.
    if (m_frame == Frame::shadowed)
        update();
}

QPoint PopoverWindow::placement(
    const QRect &anchor, const QRect &screen, const QRect &available, const QSize &size)
{
    enum class Edge { top, bottom, left, right };
    const QRect area = available.isValid() ? available : screen;
    const QPoint centre = anchor.center();
    const int toTop = centre.y() - screen.top();
    const int toBottom = screen.bottom() - centre.y();
    const int toLeft = centre.x() - screen.left();
    const int toRight = screen.right() - centre.x();

    // A panel that reserves space shows as a gap between the screen and its available area.
    QList<QPair<int, Edge>> reserved;
    if (area.top() > screen.top())
        reserved.append({ toTop, Edge::top });
    if (area.bottom() < screen.bottom())
        reserved.append({ toBottom, Edge::bottom });
    if (area.left() > screen.left())
        reserved.append({ toLeft, Edge::left });
    if (area.right() < screen.right())
        reserved.append({ toRight, Edge::right });

    Edge edge;
    if (!reserved.isEmpty()) {
        edge = std::min_element(reserved.cbegin(), reserved.cend(), [](const auto &a, const auto &b) {
            return a.first < b.first;
        })->second;
    } else if (std::min(toTop, toBottom) <= 2 * std::min(toLeft, toRight)) {
        // An icon in a corner is nearly as close to the side as to the panel; panels are mostly horizontal.
        edge = toTop <= toBottom ? Edge::top : Edge::bottom;
    } else {
        edge = toLeft <= toRight ? Edge::left : Edge::right;
    }

    QPoint topLeft(centre.x() - size.width() / 2, centre.y() - size.height() / 2);
    switch (edge) {
    case Edge::top:
        topLeft.setY(anchor.bottom() + 1 + anchorGap);
        break;
    case Edge::bottom:
        topLeft.setY(anchor.top() - anchorGap - size.height());
        break;
    case Edge::left:
        topLeft.setX(anchor.right() + 1 + anchorGap);
        break;
    case Edge::right:
        topLeft.setX(anchor.left() - anchorGap - size.width());
        break;
    }

    topLeft.setX(
        std::clamp(topLeft.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
    topLeft.setY(
        std::clamp(topLeft.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
    return topLeft;
}

void PopoverWindow::setVisible(bool visible)
{
    // Hiding a popup hands the focus back, which deactivates it on the way out:
    // that is not the user going elsewhere.
    m_hiding = !visible;
    QWidget::setVisible(visible);
    m_hiding = false;
}

bool PopoverWindow::event(QEvent *event)
{
    if (event->type() == QEvent::WindowDeactivate && isVisible() && !m_hiding)
        Q_EMIT deactivated();
    return QWidget::event(event);
}

void PopoverWindow::keyPressEvent(QKeyEvent *event)
{
    // The content keeps Esc for its open panel; one that reaches the window
    // means nothing is open, and a popup closes on Esc like any other.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PopoverWindow::mousePressEvent(QMouseEvent *event)
{
    // A popup gets every press while it is open; one outside it closes it. The
    // shadow is not the popover: a press on it is a press outside.
    const QPoint pos = event->position().toPoint();
    if ((windowFlags() & Qt::Popup) == Qt::Popup && !contentRect().contains(pos)) {
        Q_EMIT outsidePressed(event->globalPosition().toPoint());
        if (rect().contains(pos)) {
            event->accept();
            close();
            return;
        }
    }
    QWidget::mousePressEvent(event);
}

void PopoverWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    Q_EMIT hidden();
}

void PopoverWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    updateInputRegion();
    // Content built before it was put into this window lost the focus it gave
    // itself, and the arrow keys would do nothing until a click or Tab. What
    // was focused inside it before (a Tab away from the grid) keeps it.
    if (m_content && !m_content->isAncestorOf(focusWidget()))
        m_content->setFocus(Qt::PopupFocusReason);
}

void PopoverWindow::updateInputRegion()
{
    if (m_frame != Frame::shadowed)
        return;
    QWindow *window = windowHandle();
    if (!window)
        return;
    // Presses on the shadow go to whatever lies beneath, as if the popover were
    // only its content. Qt's own mask would clip the shadow away, so only the
    // input shape changes.
    X11Desktop::setInputAndFrame(window, contentRect(), size());
}

void PopoverWindow::paintShadow(QPainter &painter)
{
    // Light falls from above: the shadow is the content's shape a little lower, blurred.
    constexpr int drop = 3;
    constexpr int blurRadius = 5; // each of the three box passes
    // The shadow is rendered for a small popover whose middle row and column are
    // already free of the corners and the blur's reach, and stretched from there
    // to the window's size: blurring the whole window delayed the first paint.
    constexpr int side = 2 * cornerRadius + 2 * (3 * blurRadius + drop) + 2;
    constexpr int tile = side + 2 * shadowMargin;
    constexpr int cut = tile / 2;

    const qreal dpr = devicePixelRatioF();
    const QWidget *source = m_content ? m_content.data() : this;
    const bool dark = source->palette().color(QPalette::Window).lightness() < 128;
    if (m_shadow.isNull() || m_shadow.devicePixelRatio() != dpr || m_shadowDark != dark) {
        const QSize pixels = (QSizeF(tile, tile) * dpr).toSize();
        QImage alpha(pixels, QImage::Format_Alpha8);
        alpha.fill(0);
        {
            QPainter shape(&alpha);
            shape.setRenderHint(QPainter::Antialiasing);
            shape.scale(dpr, dpr);
            QPainterPath path;
            path.addRoundedRect(
                QRectF(shadowMargin, shadowMargin + drop, side, side), cornerRadius, cornerRadius);
            shape.fillPath(path, Qt::black);
        }
        boxBlurAlpha(alpha, qRound(blurRadius * dpr));
        // A dark desktop swallows a light shadow; it is drawn stronger there.
        const int strength = dark ? 150 : 90;
        QImage tinted(pixels, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < pixels.height(); ++y) {
            const uchar *in = alpha.constScanLine(y);
            auto *out = reinterpret_cast<QRgb *>(tinted.scanLine(y));
            for (int x = 0; x < pixels.width(); ++x)
                out[x] = qRgba(0, 0, 0, in[x] * strength / 255);
        }
        m_shadow = QPixmap::fromImage(tinted);
        m_shadow.setDevicePixelRatio(dpr);
        m_shadowDark = dark;
    }

    // Nine pieces: corners as rendered, edges and middle stretched from the tile's middle.
    const int w = width();
    const int h = height();
    const int xs[] = { 0, cut, w - (tile - cut - 1), w };
    const int sxs[] = { 0, cut, cut + 1, tile };
    const int ys[] = { 0, cut, h - (tile - cut - 1), h };
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRectF target(xs[col], ys[row], xs[col + 1] - xs[col], ys[row + 1] - ys[row]);
            const QRectF from(sxs[col] * dpr, sxs[row] * dpr, (sxs[col + 1] - sxs[col]) * dpr,
                (sxs[row + 1] - sxs[row]) * dpr);
            if (!target.isEmpty())
                painter.drawPixmap(target, m_shadow, from);
        }
    }
}

void PopoverWindow::paintEvent(QPaintEvent *event)
{
    if (m_frame == Frame::shadowed) {
        QPainter painter(this);
        paintShadow(painter);
    }
    QWidget::paintEvent(event);
    Q_EMIT painted();
}
