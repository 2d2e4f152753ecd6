#include "MeetingNotifier.h"

#include "EventRowRules.h"
#include "UrlOpener.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLocale>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString joinAction = QStringLiteral("join");

} // namespace

MeetingNotifier::MeetingNotifier(UrlOpener *urlOpener, QObject *parent)
    : QObject(parent)
    , m_urlOpener(urlOpener)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(
        service, path, service, QStringLiteral("ActionInvoked"), this, SLOT(onActionInvoked(uint, QString)));
    bus.connect(
        service, path, service, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
}

void MeetingNotifier::notify(const EventPtr &event, const MeetingLink &link)
{
    if (!event || !link)
        return;
    const QString time = QLocale().toString(event->start.toLocalTime().time(), QStringLiteral("HH:mm"));
    const QString where = link.service.isEmpty() ? link.url.host() : link.service;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    // Notification bodies may carry markup; an invitation's title is plain text.
    const QString summary = EventRowRules::titleText(*event).toHtmlEscaped();
    call << QStringLiteral("Moriva") << uint(0) << QStringLiteral("moriva") << summary
         << tr("Starts at %1 · %2").arg(time, where).toHtmlEscaped() << QStringList { joinAction, tr("Join") }
         << QVariantMap { { QStringLiteral("desktop-entry"), QStringLiteral("moriva") },
                { QStringLiteral("category"), QStringLiteral("x-moriva.meeting") } }
         << int(-1);
    const QUrl url = link.url;
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, url](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError())
            return;
        m_links.insert(reply.value(), url);
        Q_EMIT shown(reply.value());
    });
}

void MeetingNotifier::onActionInvoked(uint id, const QString &action)
{
    const auto it = m_links.constFind(id);
    if (it == m_links.cend() || action != joinAction)
        return;
    if (m_urlOpener)
        m_urlOpener->openUrl(*it);
}

void MeetingNotifier::onClosed(uint id, uint)
{
    m_links.remove(id);
}
