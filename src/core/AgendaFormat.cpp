#include "AgendaFormat.h"

#include "EventRowRules.h"
#include "LocalZone.h"
#include "SettingsManager.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QSet>

#include <cstdlib>

namespace {

QString isoWithOffset(const QDateTime &instant)
{
    const QDateTime local = LocalZone::toLocal(instant, LocalZone::zone());
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"))
        + QString::asprintf("%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
}

QString jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// A status bar shows each line as it comes: a line break or a control
// character inside an invitation's text must not forge another line.
QString oneLine(QString text)
{
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
            || c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph)
            c = QLatin1Char(' ');
    }
    return text;
}

// The popover's row, with its two words kept English: the app has its
// translations installed, the command has none, and both must print alike.
EventRowRules::RowContent row(const CalendarEvent &e)
{
    EventRowRules::RowContent content = EventRowRules::rowContent(e);
    if (!e.title)
        content.title = QStringLiteral("Untitled Event");
    if (e.allDay)
        content.time = QStringLiteral("All Day");
    return content;
}

} // namespace

QString AgendaFormat::jsonLine(QDate day, const CalendarEvent &e)
{
    QString start, end;
    if (e.allDay) {
        start = e.start.toLocalTime().date().toString(Qt::ISODate);
        end = e.end.toLocalTime().date().toString(Qt::ISODate);
    } else {
        start = isoWithOffset(e.start);
        end = isoWithOffset(e.end);
    }
    const EventRowRules::RowContent content = row(e);
    const CalendarColor color = e.calendar ? e.calendar->color : CalendarColor();
    QString line(QLatin1Char('{'));
    line += QStringLiteral("\"day\":") + jsonString(day.toString(Qt::ISODate));
    line += QStringLiteral(",\"start\":") + jsonString(start);
    line += QStringLiteral(",\"end\":") + jsonString(end);
    line += QStringLiteral(",\"allDay\":") + (e.allDay ? QStringLiteral("true") : QStringLiteral("false"));
    line += QStringLiteral(",\"title\":") + jsonString(content.title);
    line += QStringLiteral(",\"calendar\":") + jsonString(e.calendar ? e.calendar->name : QString());
    line += QStringLiteral(",\"color\":")
        + (color.isValid() ? jsonString(color.name()) : QStringLiteral("null"));
    line += QStringLiteral(",\"location\":") + jsonString(e.location);
    line += QStringLiteral(",\"meeting\":")
        + (content.link ? jsonString(content.link.url.toString(QUrl::FullyEncoded)) : QStringLiteral("null"));
    line += QStringLiteral(",\"service\":")
        + (content.link.service.isEmpty() ? QStringLiteral("null") : jsonString(content.link.service));
    line += QLatin1Char('}');
    return line;
}

QString AgendaFormat::textLine(const CalendarEvent &e)
{
    const EventRowRules::RowContent content = row(e);
    QString line = QStringLiteral("  ") + content.time.leftJustified(15) + oneLine(content.title);
    if (e.calendar && !e.calendar->name.isEmpty())
        line += QStringLiteral("  [") + oneLine(e.calendar->name) + QLatin1Char(']');
    if (content.location)
        line += QStringLiteral("  @ ") + oneLine(*content.location);
    if (content.link)
        line += QStringLiteral("  ") + content.link.url.toString(QUrl::FullyEncoded);
    return line;
}

QString AgendaFormat::dayHeading(QDate day)
{
    return QLocale::c().toString(day, QStringLiteral("ddd yyyy-MM-dd"));
}

AgendaFormat::Context AgendaFormat::currentContext()
{
    return Context { SettingsManager::defaultFilePath(), QString::fromUtf8(LocalZone::zone().id()),
        QLocale().name() };
}

AgendaFormat::Answer AgendaFormat::unreadable()
{
    return Answer { 1, QString(),
        QStringLiteral("moriva-agenda: none of the calendar sources can be read\n") };
}

AgendaFormat::Answer AgendaFormat::next(EventStore &store, const QDateTime &now, bool json)
{
    if (store.authorizationStatus() == AuthorizationStatus::denied)
        return unreadable();
    // Widening steps: a status bar asks every few seconds and the next event is usually close.
    const QDate today = now.date();
    for (int span : { 1, 8, 32, 367, 3660 }) {
        const QDateTime end(today.addDays(span), QTime(0, 0));
        const EventList events = store.events(now, end);
        EventPtr best;
        QSet<QString> seen;
        for (const EventPtr &e : events) {
            if (seen.contains(e->identifier))
                continue;
            seen.insert(e->identifier);
            if (e->end < e->start || (e->end <= now && !(e->end == e->start && e->start >= now)))
                continue;
            if (!best || e->start < best->start)
                best = e;
        }
        if (best) {
            const QDate day = std::max(best->start.toLocalTime().date(), today);
            const QString line = json
                ? jsonLine(day, *best)
                : day.toString(Qt::ISODate) + QLatin1Char(' ') + textLine(*best).trimmed();
            return Answer { 0, line + QLatin1Char('\n'), QString() };
        }
    }
    return {};
}
