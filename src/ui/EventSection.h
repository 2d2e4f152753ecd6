#pragma once

#include "CalendarEvent.h"

#include <QDateTime>
#include <QList>
#include <QWidget>

class CalendarAppLauncher;
class EventRow;
class OverlayScrollBar;
class PlainButton;
class QScrollArea;
class QVBoxLayout;
class ThemedLabel;
class UrlOpener;

/**
 * The selected day under the grid: a heading with the date and how far it is
 * from today, then the day's events in a scroll area, or "No events" centred
 * in that same area. The section keeps one height whatever the day holds, so
 * the grid above never moves under the pointer. Rows are kept by position and
 * built only as the list is scrolled towards them, so a crowded day costs what
 * is seen.
 */
class EventSection : public QWidget
{
    Q_OBJECT
public:
    EventSection(UrlOpener *urlOpener, CalendarAppLauncher *calendarLauncher, QWidget *parent = nullptr);

    /** Shows selectedDate's events as given; now is the instant the relative phrase is counted from. */
    void setDay(const QDateTime &selectedDate, const EventList &events, const QDateTime &now);
    /**
     * Whether any calendar can be read. Without one, an empty day says where
     * calendars come from and offers to open the folder for calendar files.
     */
    void setHasCalendarSources(bool hasSources);
    /** The folder named by the first-run hint. */
    void setCalendarFolder(const QString &path);

    /** The height of the area under the heading; the owner sets it once from the room it has. */
    void setListHeight(int pixels);
    int listHeight() const;
    int headingHeight() const;

    /** The heading as one line, as a reader would say it. */
    QString headingText() const;
    /** Rows built so far, in list order; only the first events().size() are in use. */
    int builtRowCount() const;
    EventRow *row(int index) const;

    static constexpr int maxListHeight = 160;
    static constexpr int rowBatch = 8;

Q_SIGNALS:
    /** The first-run button: create the calendar folder if needed and show it. */
    void openCalendarFolderRequested();

private:
    void buildRowsUpTo(int count);
    void buildMoreIfNearEnd();
    void updateBody();

    UrlOpener *const m_urlOpener;
    CalendarAppLauncher *const m_calendarLauncher;
    EventList m_events;
    QDateTime m_shownDate;
    bool m_hasSources = true;
    QString m_calendarFolder;
    QWidget *m_heading;
    ThemedLabel *m_date;
    ThemedLabel *m_bullet;
    ThemedLabel *m_relative;
    QWidget *m_body;
    QWidget *m_empty;
    ThemedLabel *m_noEvents;
    QWidget *m_firstRun;
    ThemedLabel *m_firstRunText;
    PlainButton *m_openFolder;
    QScrollArea *m_list;
    QVBoxLayout *m_rowsLayout;
    QList<EventRow *> m_rows;
};
