#include "ContentFixture.h"
#include "MeetingNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

/** The desktop's notification service, as far as Moriva uses it. */
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QVariantList lastCall;
public Q_SLOTS:
    Q_SCRIPTABLE uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary,
        const QString &body, const QStringList &actions, const QVariantMap &hints, int timeout)
    {
        lastCall = { app, replaces, icon, summary, body, actions, hints, timeout };
        return 7;
    }
};

class tst_MeetingNotifier : public QObject
{
    Q_OBJECT

    QProcess m_bus;
    FakeNotifications m_server;

    void emitFromServer(const QString &name, const QVariantList &args)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), name);
        signal.setArguments(args);
        QVERIFY(QDBusConnection(QStringLiteral("server")).send(signal));
    }

private Q_SLOTS:
    void initTestCase()
    {
        // A private session bus, so no real notification reaches the desktop.
        m_bus.start(QStringLiteral("dbus-daemon"),
            { QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address") });
        if (!m_bus.waitForReadyRead(10000))
            QSKIP("no dbus-daemon to run a private session bus");
        const QByteArray address = m_bus.readLine().trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QDBusConnection server
            = QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("server"));
        QVERIFY(server.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &m_server,
            QDBusConnection::ExportScriptableSlots));
        QVERIFY(server.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("server"));
        m_bus.terminate();
        m_bus.waitForFinished(5000);
    }

    void joinOpensTheMeeting()
    {
        RecordingUrlOpener opener;
        MeetingNotifier notifier(&opener);
        QSignalSpy shown(&notifier, &MeetingNotifier::shown);
        auto event = std::make_shared<CalendarEvent>();
        event->title = QStringLiteral("Budget <b>review</b>");
        event->start = QDateTime(QDate(2026, 12, 7), QTime(9, 0));
        MeetingLink link;
        link.kind = MeetingLink::Kind::meeting;
        link.url = QUrl(QStringLiteral("https://acme.zoom.us/j/1"));
        link.service = QStringLiteral("Zoom");
        notifier.notify(event, link);
        QTRY_COMPARE(shown.size(), 1);
        QCOMPARE(m_server.lastCall.value(3).toString(), QStringLiteral("Budget &lt;b&gt;review&lt;/b&gt;"));
        QCOMPARE(m_server.lastCall.value(4).toString(), QStringLiteral("Starts at 09:00 · Zoom"));
        QCOMPARE(m_server.lastCall.value(5).toStringList(), (QStringList { "join", "Join" }));

        // Another application's notification, and a click on the body, open nothing.
        emitFromServer(QStringLiteral("ActionInvoked"), { 8u, QStringLiteral("join") });
        emitFromServer(QStringLiteral("ActionInvoked"), { 7u, QStringLiteral("default") });
        emitFromServer(QStringLiteral("ActionInvoked"), { 7u, QStringLiteral("join") });
        QTRY_COMPARE(opener.opened, QList<QUrl> { link.url });
        emitFromServer(QStringLiteral("NotificationClosed"), { 7u, 2u });
        QTRY_COMPARE(notifier.pendingCount(), 0);
    }
};

QTEST_MAIN(tst_MeetingNotifier)
#include "tst_meetingnotifier.moc"
