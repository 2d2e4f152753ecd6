#pragma once

#include "CalendarEvent.h"
#include "MeetingLink.h"

#include <QHash>
#include <QObject>

class UrlOpener;

/**
 * Sends the reminder of a meeting as a desktop notification
 * (org.freedesktop.Notifications) with a "Join" action; choosing it opens the
 * meeting. Without a notification service nothing is shown and nothing fails.
 */
class MeetingNotifier : public QObject
{
    Q_OBJECT
public:
    /** The opener is not owned and must outlive the notifier. */
    explicit MeetingNotifier(UrlOpener *urlOpener, QObject *parent = nullptr);

    void notify(const EventPtr &event, const MeetingLink &link);

    /** Notifications shown and not yet closed, by the server's id. */
    int pendingCount() const { return int(m_links.size()); }

Q_SIGNALS:
    /** The server answered a Notify call with this id. */
    void shown(uint id);

private Q_SLOTS:
    void onActionInvoked(uint id, const QString &action);
    void onClosed(uint id, uint reason);

private:
    UrlOpener *const m_urlOpener;
    QHash<uint, QUrl> m_links;
};
