#pragma once

#include "CalendarEvent.h"

#include <QDateTime>
#include <QList>
#include <QWidget>

class CalendarAppLauncher;
class EventRow;
class QScrollArea;
class QVBoxLayout;
class ThemedLabel;
class UrlOpener;

/**
 * The selected day under the grid: a heading with the date and how far it is
 * from today, then "No events" or the day's events in a scroll area that
 * never grows past maxListHeight. Rows are kept by position and built only
 * as the list is scrolled towards them, so a crowded day costs what is seen.
 */
class EventSection : public QWidget
{
    Q_OBJECT
public:
    EventSection(UrlOpener *urlOpener, CalendarAppLauncher *calendarLauncher, QWidget *parent = nullptr);

    /** Shows selectedDate's events as given; now is the instant the relative phrase is counted from. */
    void setDay(const QDateTime &selectedDate, const EventList &events, const QDateTime &now);

    /** The heading as one line, as a reader would say it. */
    QString headingText() const;
    /** Rows built so far, in list order; only the first events().size() are in use. */
    int builtRowCount() const;
    EventRow *row(int index) const;

    static constexpr int maxListHeight = 160;
    static constexpr int rowBatch = 8;

private:
    void buildRowsUpTo(int count);
    void buildMoreIfNearEnd();

    UrlOpener *const m_urlOpener;
    CalendarAppLauncher *const m_calendarLauncher;
    EventList m_events;
    QDateTime m_shownDate;
    QVBoxLayout *m_layout;
    QWidget *m_block;
    QWidget *m_heading;
    ThemedLabel *m_date;
    ThemedLabel *m_bullet;
    ThemedLabel *m_relative;
    ThemedLabel *m_noEvents;
    QScrollArea *m_list;
    QVBoxLayout *m_rowsLayout;
    QList<EventRow *> m_rows;
};
