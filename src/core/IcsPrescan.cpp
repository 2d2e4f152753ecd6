#include "IcsPrescan.h"

#include "IcsTextParser.h"

#include <QDate>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string>

namespace {

/** Whether `name` is `upper` in any case; runs for every property of every file, so kept plain. */
bool sameName(QByteArrayView name, QByteArrayView upper)
{
    if (name.size() != upper.size())
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if ((c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c) != upper[i])
            return false;
    }
    return true;
}

bool isNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int digits(QByteArrayView text, qsizetype from, qsizetype count)
{
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i)
        value = value * 10 + (text[i] - '0');
    return value;
}

/** The Julian day of a DATE or DATE-TIME value written the plain way; 0 for any other form. */
qint64 dayOf(QByteArrayView value)
{
    const qsizetype n = value.size();
    if (n != 8 && n != 15 && n != 16)
        return 0;
    for (qsizetype i = 0; i < n; ++i) {
        const bool digitWanted = i != 8 && i != 15;
        if (digitWanted ? !isDigit(value[i]) : value[i] != (i == 8 ? 'T' : 'Z'))
            return 0;
    }
    const QDate date(digits(value, 0, 4), digits(value, 4, 2), digits(value, 6, 2));
    return date.isValid() && date.year() >= 1 ? date.toJulianDay() : 0;
}

/**
 * At least as many days as a DURATION value can add to a start, counting
 * its hours, minutes and seconds as whole days; -1 when it is not written
 * the way the standard writes it.
 */
qint64 durationDays(QByteArrayView value)
{
    qsizetype i = 0;
    if (i < value.size() && (value[i] == '+' || value[i] == '-'))
        ++i;
    if (i >= value.size() || value[i] != 'P')
        return -1;
    ++i;
    // Large enough for any real length, small enough never to overflow.
    constexpr qint64 cap = 100'000'000;
    qint64 days = 0;
    qint64 seconds = 0;
    bool inTime = false;
    bool any = false;
    while (i < value.size()) {
        if (value[i] == 'T' && !inTime) {
            inTime = true;
            ++i;
            continue;
        }
        qint64 number = 0;
        const qsizetype start = i;
        while (i < value.size() && isDigit(value[i])) {
            number = std::min(cap, number * 10 + (value[i] - '0'));
            ++i;
        }
        if (i == start || i >= value.size())
            return -1;
        const char unit = value[i++];
        any = true;
        if (!inTime && unit == 'W')
            days += number * 7;
        else if (!inTime && unit == 'D')
            days += number;
        else if (inTime && unit == 'H')
            seconds += number * 3600;
        else if (inTime && unit == 'M')
            seconds += number * 60;
        else if (inTime && unit == 'S')
            seconds += number;
        else
            return -1;
    }
    if (!any)
        return -1;
    return std::min(cap, days + (seconds + 86399) / 86400);
}

/** Where the value starts: after the first colon outside a quoted parameter value; -1 without one. */
qsizetype valueStart(QByteArrayView line, qsizetype nameEnd)
{
    bool quoted = false;
    for (qsizetype i = nameEnd; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (!quoted && line[i] == ':')
            return i + 1;
    }
    return -1;
}

/** A UID the parser reads back byte for byte: no escapes, separators, blanks or control bytes. */
bool plainUid(QByteArrayView uid)
{
    if (uid.isEmpty())
        return false;
    return std::all_of(uid.begin(), uid.end(), [](char c) {
        return c > ' ' && c < 0x7f && c != '\\' && c != ',' && c != ';' && c != '"';
    });
}

class Scanner
{
public:
    /** False once the lines prove nothing. */
    bool line(QByteArrayView line)
    {
        qsizetype nameEnd = 0;
        while (nameEnd < line.size() && line[nameEnd] != ':' && line[nameEnd] != ';')
            ++nameEnd;
        const QByteArrayView name = line.first(nameEnd);
        if (name.isEmpty() || nameEnd == line.size() || !std::all_of(name.begin(), name.end(), isNameChar))
            return false;

        // Components: only the plain capital form is trusted, so that this
        // reading and the parser's cannot disagree about where one ends.
        const bool begin = sameName(name, "BEGIN");
        if (begin || sameName(name, "END")) {
            if (name != (begin ? QByteArrayView("BEGIN") : QByteArrayView("END")) || line[nameEnd] != ':')
                return false;
            const QByteArrayView component = line.sliced(nameEnd + 1);
            if (component.isEmpty()
                || !std::all_of(component.begin(), component.end(),
                    [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'; }))
                return false;
            if (begin) {
                if (component == "VEVENT") {
                    if (inEvent())
                        return false; // an event inside an event: leave it to the parser
                    m_event = Event();
                }
                if (m_depth == maxDepth)
                    return false;
                m_open[m_depth++].assign(component.data(), size_t(component.size()));
                return true;
            }
            if (m_depth == 0 || QByteArrayView(m_open[m_depth - 1]) != component)
                return false;
            --m_depth;
            return component == "VEVENT" ? finishEvent() : true;
        }
        if (!inEvent())
            return true;

        const qsizetype valueAt = valueStart(line, nameEnd);
        if (valueAt < 0)
            return false;
        const QByteArrayView value = line.sliced(valueAt);
        if (sameName(name, "DTSTART") || sameName(name, "DTEND")) {
            const qint64 day = dayOf(value);
            if (day == 0)
                return false;
            m_event.firstDay = std::min(m_event.firstDay, day);
            m_event.lastDay = std::max(m_event.lastDay, day);
            m_event.hasStart = m_event.hasStart || sameName(name, "DTSTART");
        } else if (sameName(name, "DURATION")) {
            const qint64 days = durationDays(value);
            if (days < 0)
                return false;
            m_event.extraDays = std::max(m_event.extraDays, days);
        } else if (sameName(name, "UID")) {
            if (!m_event.uid.isNull() || !plainUid(value))
                return false;
            m_event.uid = value.toByteArray();
        } else if (sameName(name, "RRULE") || sameName(name, "RDATE") || sameName(name, "EXRULE")
            || sameName(name, "EXDATE") || sameName(name, "RECURRENCE-ID") || sameName(name, "X-LIC-ERROR")) {
            // Repeats and overrides; and libical's own error notes, which can stand for a rule.
            return false;
        }
        return true;
    }

    bool finish(IcsPrescan::Result &out)
    {
        if (m_depth != 0)
            return false;
        out.mustParse = false;
        if (!m_uids.isEmpty()) {
            out.firstDay = m_firstDay;
            out.lastDay = m_lastDay;
        }
        out.uids = std::move(m_uids);
        return true;
    }

private:
    struct Event
    {
        qint64 firstDay = std::numeric_limits<qint64>::max();
        qint64 lastDay = std::numeric_limits<qint64>::min();
        qint64 extraDays = 0;
        bool hasStart = false;
        QByteArray uid;
    };

    bool inEvent() const { return m_depth > 0 && m_open[m_depth - 1] == "VEVENT"; }

    bool finishEvent()
    {
        // Without a start the parser drops the event; without a UID it names it after the file.
        if (!m_event.hasStart || m_event.uid.isNull())
            return false;
        // An all-day event lasts at least its one day; the time of day and zone fit in the margins.
        m_firstDay = std::min(m_firstDay, m_event.firstDay - IcsPrescan::marginDays);
        m_lastDay = std::max(m_lastDay, m_event.lastDay + m_event.extraDays + 1 + IcsPrescan::marginDays);
        m_uids.append(m_event.uid);
        return true;
    }

    // Components nest a few deep; their names fit a short string's own room, so no allocation.
    static constexpr int maxDepth = 16;
    std::array<std::string, maxDepth> m_open;
    int m_depth = 0;
    Event m_event;
    qint64 m_firstDay = std::numeric_limits<qint64>::max();
    qint64 m_lastDay = std::numeric_limits<qint64>::min();
    QList<QByteArray> m_uids;
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

/**
 * The content lines of a text without NUL bytes, exactly as IcsTextParser
 * cuts and unfolds them: physical lines end at LF (a CR before it dropped),
 * past the last LF at CR; a line after the first that starts with a blank
 * continues the one before, less that blank; trailing blanks are trimmed
 * and blank lines left out. Lines are handed out in place unless folded.
 * False when a visit stopped.
 */
template<typename Visit> bool plainLines(const QByteArray &text, const Visit &visit)
{
    const char *data = text.constData();
    const qsizetype size = text.size();
    qsizetype pos = text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const qsizetype lastLf = text.lastIndexOf('\n');
    QByteArray folded;
    QByteArrayView current;
    bool open = false;
    const auto finish = [&]() {
        if (!open)
            return true;
        QByteArrayView line = folded.isNull() ? current : QByteArrayView(folded);
        while (!line.isEmpty() && isBlank(line.back()))
            line.chop(1);
        const bool go = line.isEmpty() || visit(line);
        folded = QByteArray();
        return go;
    };
    while (pos < size) {
        const char terminator = pos <= lastLf ? '\n' : '\r';
        const void *found = std::memchr(data + pos, terminator, size_t(size - pos));
        const qsizetype end = found ? static_cast<const char *>(found) - data : size;
        qsizetype contentEnd = end;
        if (terminator == '\n' && contentEnd > pos && data[contentEnd - 1] == '\r')
            --contentEnd;
        const QByteArrayView physical(data + pos, contentEnd - pos);
        if (open && !physical.isEmpty() && (physical[0] == ' ' || physical[0] == '\t')) {
            if (folded.isNull())
                folded = current.toByteArray();
            folded.append(physical.sliced(1));
        } else {
            if (!finish())
                return false;
            open = true;
            current = physical;
        }
        pos = end + 1;
    }
    return finish();
}

} // namespace

IcsPrescan::Result IcsPrescan::scan(const QByteArray &text)
{
    Result out;
    Scanner scanner;
    const auto visit = [&scanner](QByteArrayView line) { return scanner.line(line); };
    // The parser's own cutting copies every line; it is only needed to drop NUL bytes.
    const bool read = text.contains('\0') ? IcsTextParser().visitContentLines(text, visit) : plainLines(text, visit);
    if (read)
        scanner.finish(out);
    return out;
}
