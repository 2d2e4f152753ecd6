#pragma once

#include "CalendarEvent.h"

#include <QString>
#include <QUrl>

/**
 * The one link an event row offers, worked out once from the whole event: an
 * online meeting (camera, "Join Zoom") or, when the event's own URL is no
 * meeting, that page as a plain link (its host, link glyph).
 *
 * A meeting is looked for in this order, and the first found is taken: the
 * structured conference properties, the URL, the location, the description,
 * then the links of the HTML description. Outside the structured properties
 * only links of a known service count, so a signature's web page never
 * becomes a meeting. Wrapped links (Safe Links, URL Defense, Google's
 * redirect) are unwrapped first, and only links that are safe to hand to the
 * desktop are ever offered.
 */
struct MeetingLink
{
    enum class Kind : quint8 {
        none,
        meeting, ///< an online meeting: camera glyph, "Join …"
        link, ///< the event's own page, which is no meeting: link glyph, its host
    };

    Kind kind = Kind::none;
    QUrl url; ///< what a click opens
    QString service; ///< the service's name from the table; empty when no row matched
    QString label; ///< the line's text

    explicit operator bool() const { return kind != Kind::none; }
    bool operator==(const MeetingLink &) const = default;

    static MeetingLink find(const CalendarEvent &event);

    /**
     * Whether a link from a stranger's invitation may be handed to the desktop:
     * http(s) with a host, a meeting client's own scheme, a telephone number, or
     * a mail address without parameters (some mail clients attach the file an
     * "attach=" parameter names).
     */
    static bool isSafeToOpen(const QUrl &url);

    /** Links written in a text, in text order, each ending where prose resumes. */
    static QList<QUrl> linksInText(const QString &text);
};
