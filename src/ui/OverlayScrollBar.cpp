#include "OverlayScrollBar.h"

#include "Theme.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

OverlayScrollBar::OverlayScrollBar(QAbstractScrollArea *area)
    : QWidget(area)
    , m_viewport(area->viewport())
    , m_bar(area->verticalScrollBar())
{
    setObjectName(QStringLiteral("overlayScrollBar"));
    setAttribute(Qt::WA_Hover);
    setAttribute(Qt::WA_NoSystemBackground);
    // The area keeps its own bar for the range and the wheel; it is never shown.
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The viewport, not the area: the area lays out its viewport only after
    // its own resize has been handled, so its event comes too early.
    m_viewport->installEventFilter(this);
    connect(m_bar, &QScrollBar::rangeChanged, this, [this] { syncVisibility(); });
    connect(m_bar, &QScrollBar::valueChanged, this, qOverload<>(&QWidget::update));
    reposition();
    syncVisibility();
}

void OverlayScrollBar::reposition()
{
    if (!m_viewport)
        return;
    const QRect viewport = m_viewport->geometry();
    setGeometry(viewport.right() + 1 - hitWidth, viewport.top(), hitWidth, viewport.height());
    raise();
}

void OverlayScrollBar::syncVisibility()
{
    setVisible(m_bar->maximum() > m_bar->minimum());
    update();
}

bool OverlayScrollBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_viewport && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        reposition();
    return QWidget::eventFilter(watched, event);
}

QRectF OverlayScrollBar::handleRect() const
{
    const int range = m_bar->maximum() - m_bar->minimum();
    if (range <= 0 || height() <= 0)
        return {};
    const qreal page = m_bar->pageStep();
    const qreal track = height() - 4;
    const qreal length = qBound<qreal>(minimumHandle, track * page / (range + page), track);
    const qreal top = 2 + (track - length) * (m_bar->value() - m_bar->minimum()) / range;
    const qreal w = (m_hovered || m_dragging) ? wideWidth : thinWidth;
    return QRectF(width() - w - 2, top, w, length);
}

void OverlayScrollBar::paintEvent(QPaintEvent *)
{
    const QRectF handle = handleRect();
    if (handle.isEmpty())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor color = Theme::primary(palette());
    color.setAlphaF((m_hovered || m_dragging) ? 0.5 : 0.3);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRoundedRect(handle, handle.width() / 2, handle.width() / 2);
}

void OverlayScrollBar::enterEvent(QEnterEvent *event)
{
    QWidget::enterEvent(event);
    m_hovered = true;
    update();
}

void OverlayScrollBar::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    m_hovered = false;
    update();
}

void OverlayScrollBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QRectF handle = handleRect();
    const qreal y = event->position().y();
    if (!handle.isEmpty() && (y < handle.top() || y > handle.bottom())) {
        // A click beside the handle pages towards it, as a scroll bar's groove does.
        m_bar->triggerAction(
            y < handle.top() ? QScrollBar::SliderPageStepSub : QScrollBar::SliderPageStepAdd);
        event->accept();
        return;
    }
    m_dragging = true;
    m_dragOffset = y - handle.top();
    event->accept();
    update();
}

void OverlayScrollBar::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QRectF handle = handleRect();
    const qreal track = height() - 4 - handle.height();
    if (track > 0) {
        const qreal top = event->position().y() - m_dragOffset - 2;
        const int range = m_bar->maximum() - m_bar->minimum();
        m_bar->setValue(m_bar->minimum() + qRound(qBound<qreal>(0, top / track, 1) * range));
    }
    event->accept();
}

void OverlayScrollBar::mouseReleaseEvent(QMouseEvent *event)
{
    m_dragging = false;
    update();
    QWidget::mouseReleaseEvent(event);
}

void OverlayScrollBar::wheelEvent(QWheelEvent *event)
{
    QCoreApplication::sendEvent(m_bar, event);
}
