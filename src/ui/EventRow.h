#pragma once

#include "CalendarEvent.h"

#include <QUrl>
#include <QWidget>

class CalendarAppLauncher;
class QAbstractButton;
class ThemedLabel;
class UrlOpener;

/**
 * One event of the selected day: calendar colour, title, time range,
 * location and, when one is found, the online meeting. A click on the
 * meeting line opens the meeting and nothing else; a click anywhere else
 * shows the event in the calendar application. The row can be given another
 * event in place, which is how the list reuses rows by position.
 */
class EventRow : public QWidget
{
    Q_OBJECT
public:
    /** Neither service is owned; both must outlive the row. */
    EventRow(UrlOpener *urlOpener, CalendarAppLauncher *calendarLauncher, QWidget *parent = nullptr);

    void setEvent(const EventPtr &event);
    EventPtr event() const { return m_event; }

    /** What the row shows, for tests and assistive technology. */
    QString titleText() const;
    QString timeText() const;
    QString locationText() const;
    QString meetingText() const;
    QUrl meetingUrl() const { return m_meetingUrl; }
    QWidget *meetingLine() const;
    QWidget *locationLine() const { return m_locationLine; }

    /** Title, time and place each wrap to this many lines, then end in "…". */
    static constexpr int maxLinesPerField = 3;

    /** Shows the event in the calendar application. */
    void openInCalendar();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    UrlOpener *const m_urlOpener;
    CalendarAppLauncher *const m_calendarLauncher;
    EventPtr m_event;
    QUrl m_meetingUrl;
    QWidget *m_colorBar;
    ThemedLabel *m_title;
    ThemedLabel *m_time;
    QWidget *m_locationLine;
    ThemedLabel *m_location;
    QAbstractButton *m_meeting;
    bool m_pressed = false;
};
