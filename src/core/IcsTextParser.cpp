#include "IcsTextParser.h"

#include <libical/ical.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// libical keeps at most this many parameters per property and splits a
// multi-valued line into at most this many properties, each a full copy.
constexpr qint64 maxParameters = 100;
constexpr qint64 maxCopies = 499;

// What libical spends, measured on its 3.0 parser (Debian bookworm): about
// 10 µs and 400 bytes per property, two passes over each character, 1.5 µs
// and 180 bytes per copied parameter, and 50 ns per property it walks past
// when it removes one whose value it could not read.
constexpr qint64 workPerProperty = 10'000;
constexpr qint64 workPerChar = 2;
constexpr qint64 workPerCopiedParameter = 1'500;
constexpr qint64 workPerRemovalStep = 50;
constexpr qint64 memoryPerProperty = 400;
constexpr qint64 memoryPerCopiedParameter = 180;

enum class LineKind : quint8 { begin, end, property };

struct Line
{
    qsizetype offset;
    LineKind kind;
};

struct Prepared
{
    QByteArray text; ///< the content lines, each ended by a NUL for libical
    std::vector<Line> lines;
    IcsTextParser::Refusal refusal = IcsTextParser::Refusal::none;
    qint64 work = 0;
    qint64 memory = 0;
    qint64 workBudget = 0;
    qint64 memoryBudget = 0;

    bool overBudget() const { return work > workBudget || memory > memoryBudget; }
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The properties libical splits at commas into one copy per value; any
// property with a VALUE parameter may be split too.
bool isMultiValued(QByteArrayView name)
{
    for (const char *multi : { "CATEGORIES", "RESOURCES", "RDATE", "EXDATE", "FREEBUSY" }) {
        if (name.compare(multi, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool containsValueParameter(QByteArrayView head)
{
    static const QByteArrayView needle("VALUE=");
    for (qsizetype i = 0; i + needle.size() <= head.size(); ++i) {
        if (head.sliced(i, needle.size()).compare(needle, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

/** Adds what libical would spend on one property line. */
void addPropertyCost(QByteArrayView line, qsizetype nameEnd, Prepared &out)
{
    const qint64 length = line.size();
    // Parameters end at the first colon outside quotes; libical rescans from
    // each parameter to that colon (and for TZID to the end of the line).
    qint64 parameters = 0;
    qsizetype valueStart = -1;
    bool quoted = false;
    for (qsizetype i = nameEnd; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ';') {
            ++parameters;
        } else if (!quoted && c == ':') {
            valueStart = i + 1;
            break;
        }
    }
    out.work += workPerProperty + workPerChar * length * (1 + parameters);
    out.memory += memoryPerProperty + length;

    if (valueStart < 0)
        return;
    const QByteArrayView name = line.first(nameEnd);
    if (!isMultiValued(name) && !containsValueParameter(line.first(valueStart)))
        return;
    const qint64 commas = std::count(line.begin() + valueStart, line.end(), ',');
    const qint64 copies = std::min(commas, maxCopies);
    const qint64 kept = std::min(parameters, maxParameters);
    out.work += copies * (workPerProperty + workPerChar * length + kept * workPerCopiedParameter);
    out.memory += copies * (memoryPerProperty + kept * memoryPerCopiedParameter);
}

void appendWithoutNul(QByteArray &to, const char *from, qsizetype size)
{
    while (size > 0) {
        const void *nul = std::memchr(from, '\0', size_t(size));
        const qsizetype chunk = nul ? static_cast<const char *>(nul) - from : size;
        to.append(from, chunk);
        from += chunk + 1;
        size -= chunk + 1;
    }
}

constexpr QByteArrayView intervalKey("INTERVAL=");

/**
 * libical keeps a rule's INTERVAL in a short: 65,537 comes out as 1 and the
 * rule repeats daily, 40,000 is refused. Whether this part of a rule is an
 * INTERVAL beyond 32,767, read as libical reads it: a sign, then digits up
 * to the first other character.
 */
bool outsizedInterval(QByteArrayView part)
{
    if (part.size() <= intervalKey.size()
        || part.first(intervalKey.size()).compare(intervalKey, Qt::CaseInsensitive) != 0)
        return false;
    QByteArrayView digits = part.sliced(intervalKey.size()).trimmed();
    if (!digits.isEmpty() && (digits[0] == '+' || digits[0] == '-'))
        digits = digits.sliced(1);
    qint64 value = 0;
    for (qsizetype i = 0; i < digits.size() && digits[i] >= '0' && digits[i] <= '9' && value <= 32767; ++i)
        value = value * 10 + (digits[i] - '0');
    return value > 32767;
}

/**
 * Nothing after libical sees the number written, so a rule whose INTERVAL
 * it cannot hold is made one that it refuses outright (INTERVAL=0), and the
 * event keeps its DTSTART alone, as for any rule that cannot be read.
 */
void refuseOutsizedInterval(QByteArray &line, qsizetype nameEnd)
{
    const QByteArrayView name = QByteArrayView(line).first(nameEnd).trimmed();
    if (name.compare("RRULE", Qt::CaseInsensitive) != 0 && name.compare("EXRULE", Qt::CaseInsensitive) != 0)
        return;
    qsizetype pos = nameEnd;
    bool quoted = false;
    for (; pos < line.size(); ++pos) {
        if (line[pos] == '"')
            quoted = !quoted;
        else if (!quoted && line[pos] == ':')
            break;
    }
    while (pos < line.size()) {
        const qsizetype partStart = pos + 1;
        qsizetype partEnd = line.indexOf(';', partStart);
        if (partEnd < 0)
            partEnd = line.size();
        if (outsizedInterval(QByteArrayView(line).sliced(partStart, partEnd - partStart))) {
            line.replace(partStart + intervalKey.size(), partEnd - partStart - intervalKey.size(), "0");
            partEnd = partStart + intervalKey.size() + 1;
        }
        pos = partEnd;
    }
}

class Preparer
{
public:
    Preparer(const IcsTextParser::Limits &limits, Prepared &out)
        : m_limits(limits)
        , m_out(out)
    { }

    /** Physical lines in, content lines out. */
    void physicalLine(const char *data, qsizetype size)
    {
        const bool continuation = size > 0 && (data[0] == ' ' || data[0] == '\t');
        if (continuation && m_open) {
            append(data + 1, size - 1);
            return;
        }
        finish();
        m_open = true;
        append(data, size);
    }

    void finish()
    {
        if (!m_open || m_out.refusal != IcsTextParser::Refusal::none)
            return;
        m_open = false;
        qsizetype end = m_current.size();
        while (end > 0 && isBlank(m_current[end - 1]))
            --end;
        m_current.truncate(end);
        if (end == 0) {
            m_current.clear();
            return;
        }
        if (std::all_of(m_current.cbegin(), m_current.cend(), isBlank)) {
            m_current.clear();
            return;
        }
        classify();
        m_current.clear();
    }

private:
    void append(const char *data, qsizetype size) { appendWithoutNul(m_current, data, size); }

    void classify()
    {
        const QByteArrayView line(m_current);
        qsizetype nameEnd = 0;
        while (nameEnd < line.size() && line[nameEnd] != ':' && line[nameEnd] != ';')
            ++nameEnd;
        qsizetype trimmed = nameEnd;
        while (trimmed > 0 && isBlank(line[trimmed - 1]))
            --trimmed;
        const QByteArrayView name = line.first(trimmed);

        // libical takes a bare "BEGIN" or "END" without a separator for a
        // broken property, so the depth counted here must not move for it.
        const bool separated = nameEnd < line.size();
        LineKind kind = LineKind::property;
        if (separated && name.compare("BEGIN", Qt::CaseInsensitive) == 0) {
            kind = LineKind::begin;
            if (++m_depth > m_limits.maxDepth) {
                m_out.refusal = IcsTextParser::Refusal::tooDeep;
                return;
            }
        } else if (separated && name.compare("END", Qt::CaseInsensitive) == 0) {
            // An END that closes nothing makes libical print to standard error
            // whatever its settings, and it would ignore the line anyway.
            if (m_depth == 0)
                return;
            kind = LineKind::end;
            --m_depth;
        } else {
            refuseOutsizedInterval(m_current, nameEnd);
            addPropertyCost(QByteArrayView(m_current), trimmed, m_out);
            if (m_out.overBudget()) {
                m_out.refusal = IcsTextParser::Refusal::tooCostly;
                return;
            }
        }
        m_out.lines.push_back({ m_out.text.size(), kind });
        m_out.text.append(m_current).append('\0');
    }

    const IcsTextParser::Limits &m_limits;
    Prepared &m_out;
    QByteArray m_current;
    bool m_open = false;
    int m_depth = 0;
};

Prepared prepare(const QByteArray &input, const IcsTextParser::Limits &limits)
{
    Prepared out;
    const qint64 size = input.size();
    out.workBudget = limits.baseWork + limits.workPerByte * size;
    out.memoryBudget = std::min(limits.maxMemory, limits.baseMemory + limits.memoryPerByte * size);
    out.text.reserve(input.size() + 1);

    const char *data = input.constData();
    qsizetype pos = input.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    // libical ends a line at LF, and only where no LF follows at all at CR
    // (servers that write CR alone exist).
    const qsizetype lastLf = input.lastIndexOf('\n');
    Preparer preparer(limits, out);
    while (pos < input.size() && out.refusal == IcsTextParser::Refusal::none) {
        const char terminator = pos <= lastLf ? '\n' : '\r';
        const void *found = std::memchr(data + pos, terminator, size_t(input.size() - pos));
        const qsizetype end = found ? static_cast<const char *>(found) - data : input.size();
        qsizetype contentEnd = end;
        if (terminator == '\n' && contentEnd > pos && data[contentEnd - 1] == '\r')
            --contentEnd;
        preparer.physicalLine(data + pos, contentEnd - pos);
        pos = end + 1;
    }
    preparer.finish();
    return out;
}

void adopt(IcsTextParser::ComponentPtr &root, icalcomponent *done)
{
    // As libical's own parser does: several top-level components go under one XROOT.
    if (!root) {
        root.reset(done);
    } else if (icalcomponent_isa(root.get()) != ICAL_XROOT_COMPONENT) {
        icalcomponent *container = icalcomponent_new(ICAL_XROOT_COMPONENT);
        icalcomponent_add_component(container, root.release());
        icalcomponent_add_component(container, done);
        root.reset(container);
    } else {
        icalcomponent_add_component(root.get(), done);
    }
}

} // namespace

void IcsTextParser::ComponentFree::operator()(icalcomponent_impl *component) const
{
    icalcomponent_free(component);
}

IcsTextParser::IcsTextParser(const Limits &limits)
    : m_limits(limits)
{ }

QString IcsTextParser::Result::reason() const
{
    switch (refusal) {
    case Refusal::none:
        return {};
    case Refusal::tooDeep:
        return QStringLiteral("components nested too deep");
    case Refusal::tooCostly:
        return QStringLiteral("too costly to read (estimated at least %1 ms or %2 MB)")
            .arg(estimatedWork / 1'000'000)
            .arg(estimatedMemory >> 20);
    }
    return {};
}

bool IcsTextParser::hasOutsizedInterval(QByteArrayView rule)
{
    qsizetype start = 0;
    while (start <= rule.size()) {
        qsizetype end = rule.indexOf(';', start);
        if (end < 0)
            end = rule.size();
        if (outsizedInterval(rule.sliced(start, end - start)))
            return true;
        start = end + 1;
    }
    return false;
}

QList<QByteArray> IcsTextParser::contentLines(const QByteArray &text, Refusal *refusal) const
{
    const Prepared prepared = prepare(text, m_limits);
    if (refusal)
        *refusal = prepared.refusal;
    QList<QByteArray> out;
    if (prepared.refusal != Refusal::none)
        return out;
    out.reserve(qsizetype(prepared.lines.size()));
    for (const Line &line : prepared.lines)
        out.append(QByteArray(prepared.text.constData() + line.offset));
    return out;
}

bool IcsTextParser::visitContentLines(
    const QByteArray &text, const std::function<bool(QByteArrayView line)> &visit) const
{
    const Prepared prepared = prepare(text, m_limits);
    if (prepared.refusal != Refusal::none)
        return false;
    const char *base = prepared.text.constData();
    for (size_t i = 0; i < prepared.lines.size(); ++i) {
        // Each line ends in the NUL that libical would be given.
        const qsizetype end
            = (i + 1 < prepared.lines.size() ? prepared.lines[i + 1].offset : prepared.text.size()) - 1;
        const qsizetype offset = prepared.lines[i].offset;
        if (!visit(QByteArrayView(base + offset, end - offset)))
            return false;
    }
    return true;
}

IcsTextParser::Result IcsTextParser::parse(const QByteArray &text) const
{
    Prepared prepared = prepare(text, m_limits);
    Result result;
    result.refusal = prepared.refusal;
    if (prepared.refusal != Refusal::none) {
        result.estimatedWork = prepared.work;
        result.estimatedMemory = prepared.memory;
        return result;
    }

    icalparser *parser = icalparser_new();
    // Properties in each open component: removing an unreadable property
    // walks them all, which makes a component of many bad lines quadratic.
    std::vector<qint64> properties;
    char *base = prepared.text.data();
    for (const Line &line : prepared.lines) {
        icalcomponent *done = icalparser_add_line(parser, base + line.offset);
        if (line.kind == LineKind::begin) {
            properties.push_back(0);
        } else if (line.kind == LineKind::end) {
            if (!properties.empty())
                properties.pop_back();
        } else if (!properties.empty()) {
            ++properties.back();
            if (icalparser_get_state(parser) == ICALPARSER_ERROR) {
                prepared.work += workPerRemovalStep * properties.back();
                ++properties.back(); // the note libical files about the error
            }
        }
        if (done)
            adopt(result.root, done);
        if (prepared.overBudget()) {
            result.root.reset();
            result.refusal = Refusal::tooCostly;
            break;
        }
    }
    // Components never closed are dropped with the parser, as libical's own
    // parse of a whole text drops them.
    icalparser_free(parser);
    result.estimatedWork = prepared.work;
    result.estimatedMemory = prepared.memory;
    return result;
}
