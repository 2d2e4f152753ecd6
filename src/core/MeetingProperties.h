#pragma once

#include <QStringList>

typedef struct icalcomponent_impl icalcomponent;

/**
 * What an invitation says about its online meeting beyond the common fields:
 * the conference links of its structured properties and the links of its
 * HTML description. Both stores fill it with the same function, so a meeting
 * is found the same way whichever store read the event.
 */
struct MeetingProperties
{
    /** CONFERENCE values (video first), then the vendors' own conference properties, in that order. */
    QStringList conferenceLinks;
    /** The href targets of the HTML description, in document order; the HTML itself is not kept. */
    QStringList htmlLinks;

    bool operator==(const MeetingProperties &) const = default;

    /** Fills `into` from one VEVENT; anything unusable is left out. */
    static void read(icalcomponent *component, MeetingProperties &into);

    /** The href targets of an HTML text, entities decoded, in document order (bounded). */
    static QStringList hrefsInHtml(const QString &html);
};
