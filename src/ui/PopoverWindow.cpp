#include "PopoverWindow.h"

#include "X11Desktop.h"

#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QList>
#include <QMouseEvent>
#include <QPainter>
#include <QPair>
#include <QVBoxLayout>

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
    : QWidget(parent, windowFlagsFor(QGuiApplication::platformName()))
{
    setObjectName(QStringLiteral("popoverWindow"));
    setFixedSize(popoverWidth, popoverHeight);
    // Where a compositor blends windows the content draws rounded corners
    // over a transparent window; elsewhere the window stays square and opaque.
    const bool translucent = X11Desktop::isCompositing();
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    setAutoFillBackground(!translucent);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
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
    // A popup gets every press while it is open; one outside it closes it.
    if ((windowFlags() & Qt::Popup) == Qt::Popup && !rect().contains(event->position().toPoint()))
        Q_EMIT outsidePressed(event->globalPosition().toPoint());
    QWidget::mousePressEvent(event);
}

void PopoverWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    Q_EMIT hidden();
}

void PopoverWindow::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    Q_EMIT painted();
}
