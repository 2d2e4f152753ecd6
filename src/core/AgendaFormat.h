#pragma once

#include "EventStore.h"

#include <QDate>
#include <QDateTime>
#include <QString>

/**
 * The agenda command's lines: one place for the text and JSON forms and
 * for the choice of the next event, so the command reading files and the
 * running app answering for it cannot drift apart.
 *
 * The words are English whatever the app's language: scripts read them, and
 * the app must answer as the command would have.
 */
namespace AgendaFormat {

/** One JSON object: day, start, end, allDay, title, calendar, color, location, meeting, service. */
QString jsonLine(QDate day, const CalendarEvent &event);
/** "  HH:mm – HH:mm  Title  [Calendar]  @ Location  link", one line whatever the texts hold. */
QString textLine(const CalendarEvent &event);
/** The heading of a day in the text form: "Mon 2026-12-07". */
QString dayHeading(QDate day);

/**
 * What the lines depend on besides the events: the app answers for the
 * command only when both read the same settings and print in the same zone
 * and locale.
 */
struct Context
{
    QString settingsFile;
    QString timeZone;
    QString locale;

    friend bool operator==(const Context &, const Context &) = default;
};
Context currentContext();

/** What the command prints and returns. */
struct Answer
{
    int status = 0;
    QString output; ///< for standard output, each line ending in a line break
    QString errors; ///< for standard error
};

/** The store could not read any of its sources: status 1 and the message. */
Answer unreadable();

/**
 * The next event that has not ended at `now` (or starts at it), on the day
 * it starts or today; nothing when none starts within ten years.
 */
Answer next(EventStore &store, const QDateTime &now, bool json);

} // namespace AgendaFormat
