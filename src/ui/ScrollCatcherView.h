#pragma once

#include "ScrollStepper.h"

#include <QWidget>

class Clock;

/**
 * The area behind the day grid that turns large vertical wheel movements
 * into month steps. The cells are its children, so clicks and hover reach
 * them untouched while their unhandled wheel events bubble up to here; small
 * movements are ignored so they travel on to whatever encloses the grid. The
 * stepper, and with it the throttle, lives as long as this view, not as long
 * as one month's look of the grid.
 */
class ScrollCatcherView : public QWidget
{
    Q_OBJECT
public:
    explicit ScrollCatcherView(const Clock *clock, QWidget *parent = nullptr);

    /** Points for one wheel event: its pixel delta where the device gives one, else three 20-point lines per
     * notch. */
    static qreal verticalPoints(const QWheelEvent *event);

Q_SIGNALS:
    /** A step with a positive vertical movement. */
    void scrollUp();
    /** A step with a negative vertical movement. */
    void scrollDown();

protected:
    void wheelEvent(QWheelEvent *event) override;

private:
    ScrollStepper m_stepper;
};
