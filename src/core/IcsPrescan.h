#pragma once

#include <QByteArray>
#include <QList>

/**
 * A look at a calendar file's content lines, some hundred times cheaper than
 * parsing it, that can prove the file has nothing to show on a span of days:
 * every event in it is a single one (no rule, extra date, exception or
 * override), its start, end and length are plainly written, and all of them
 * lie wholly before or after the span by more than any zone offset.
 *
 * It only ever proves absence. Whatever it does not fully understand (a
 * value in an unexpected form, a BEGIN or END not written in capitals, an
 * unbalanced component, a UID that the parser might read otherwise) makes
 * the answer "parse it". It also gives the UIDs of the events exactly as the
 * parser reads them, so a caller can still parse a file whose item shares a
 * UID with one it did parse: versions and overrides are matched by UID.
 *
 * Pure and safe on any thread.
 */
class IcsPrescan
{
public:
    /** Days of slack on each side: a zone offset, a time of day and rounding fit in it with room. */
    static constexpr qint64 marginDays = 3;

    struct Result
    {
        /** Nothing is proven: the file must be parsed. */
        bool mustParse = true;
        /** Julian days that every event of the file lies within, margins included; empty without events. */
        qint64 firstDay = 0;
        qint64 lastDay = -1;
        /** The UIDs of its events, when nothing else has to be parsed. */
        QList<QByteArray> uids;

        /** Whether the file may have something on a day from firstDay to lastDay (Julian days). */
        bool mayTouch(qint64 first, qint64 last) const
        {
            return mustParse || (firstDay <= lastDay && lastDay >= first && firstDay <= last);
        }
    };

    static Result scan(const QByteArray &text);
};
