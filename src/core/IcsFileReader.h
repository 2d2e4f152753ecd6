#pragma once

#include "CalendarColor.h"
#include "MeetingProperties.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>
#include <QTimeZone>
#include <QUrl>

#include <optional>

typedef struct icalcomponent_impl icalcomponent;

/**
 * A date or date-time as a calendar file gives it, with its zone already
 * resolved. Floating times and dates are kept as wall-clock values and only
 * become instants in the reader's zone when asked, so they follow the user.
 */
struct IcsTime
{
    enum class Kind : quint8 { none, date, floating, zoned };

    // Largest first: every event holds two of these and lists more.
    QDate date;
    QTimeZone zone; ///< zoned only (UTC included)
    QTime time; ///< midnight for dates
    Kind kind = Kind::none;

    bool isValid() const { return kind != Kind::none; }
    bool isDate() const { return kind == Kind::date; }
    /** The instant; dates start at local midnight. */
    QDateTime toDateTime() const;
};

/** An RDATE: a start, and for PERIOD values also its own end. */
struct IcsPeriod
{
    IcsTime start;
    IcsTime end;
};

/**
 * One RRULE in our own form: its pattern as libical's normalised text, with
 * the two bounds kept apart so that a rule giving both (forbidden, but
 * exported by real services) keeps both.
 */
struct IcsRule
{
    QByteArray pattern; ///< FREQ, BY-parts and any calendar scale, without COUNT and UNTIL
    int count = 0; ///< 0 when unbounded by count
    QDate untilDate; ///< invalid without UNTIL; in the series' own wall time
    QTime untilTime; ///< midnight for all-day series

    bool hasUntil() const { return untilDate.isValid(); }
};

/**
 * One VEVENT, compact and free of parser types, so the loader can hand it
 * across threads and the expander can work from it alone.
 */
struct IcsEvent
{
    QString uid; ///< empty when the file gave none
    std::optional<QString> summary;
    QString location;
    QString description;
    QUrl url;
    MeetingProperties meeting;

    // The fields are ordered to leave no padding: tens of thousands of these are held.
    IcsTime start;
    /** Length of each occurrence: whole days on the calendar, then exact seconds. */
    qint64 durationSeconds = 0;
    qint32 durationDays = 0;

    /** Which of two versions of one item supersedes: SEQUENCE, then DTSTAMP or LAST-MODIFIED. */
    int sequence = 0;
    qint64 stampSecs = 0;

    /** Recurrence rules, validated and with UNTIL already in the start's wall time. */
    QList<IcsRule> rules;
    QList<IcsPeriod> rdates;
    QList<IcsTime> exdates;

    IcsTime recurrenceId; ///< set on an override of one occurrence
    bool thisAndFuture = false;
    bool cancelled = false;

    bool isAllDay() const { return start.isDate(); }
    bool isRecurring() const { return !recurrenceId.isValid() && (!rules.isEmpty() || !rdates.isEmpty()); }
    /** Where an occurrence that starts at `occurrenceStart` ends. */
    QDateTime endFor(const QDateTime &occurrenceStart) const;
};

/** What one calendar file holds. */
struct IcsFileContent
{
    QString calendarName; ///< X-WR-CALNAME, when given
    CalendarColor color; ///< COLOR or X-APPLE-CALENDAR-COLOR, when given and readable
    QList<IcsEvent> events;
    int skipped = 0; ///< VEVENTs dropped as unusable (no start, impossible dates)
    QString refusal; ///< why the file was not read at all; empty when it was
};

/**
 * Turns the bytes of one .ics file into events. Pure and safe on any thread;
 * it never prints, never throws and never trusts a value it has not checked,
 * because the bytes come from strangers' invitations.
 */
namespace IcsFileReader {

IcsFileContent parse(const QByteArray &bytes);

/** "#RRGGBB", "#RRGGBBAA" (as CalDAV servers write it) or a CSS colour name. */
CalendarColor parseColor(const QString &text);

/** Turns libical's own error reporting off; the parse calls it too. Idempotent. */
void quietLibical();

} // namespace IcsFileReader
