#include "ScrollCatcherView.h"

#include <QWheelEvent>

ScrollCatcherView::ScrollCatcherView(const Clock *clock, QWidget *parent)
    : QWidget(parent)
    , m_stepper(clock)
{ }

qreal ScrollCatcherView::verticalPoints(const QWheelEvent *event)
{
    if (!event->pixelDelta().isNull())
        return event->pixelDelta().y();
    return event->angleDelta().y() / 120.0 * 3.0 * 20.0;
}

void ScrollCatcherView::wheelEvent(QWheelEvent *event)
{
    switch (m_stepper.handle(verticalPoints(event))) {
    case ScrollStepper::Result::passOn:
        event->ignore();
        return;
    case ScrollStepper::Result::consumed:
        break;
    case ScrollStepper::Result::stepUp:
        Q_EMIT scrollUp();
        break;
    case ScrollStepper::Result::stepDown:
        Q_EMIT scrollDown();
        break;
    }
    event->accept();
}
