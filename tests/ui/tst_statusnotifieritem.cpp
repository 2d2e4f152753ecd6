#include "DBusMenuExporter.h"
#include "StatusNotifierItem.h"

#include <QAction>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

// A panel's watcher, as far as items see it: it takes registrations.
class FakeWatcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
public:
    QStringList registered;
public Q_SLOTS:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString &service) { registered.append(service); }
};

class tst_StatusNotifierItem : public QObject
{
    Q_OBJECT

    QProcess m_bus;
    QString m_address;

    QDBusConnection connect(const QString &name) { return QDBusConnection::connectToBus(m_address, name); }

    QDBusMessage call(QDBusConnection &bus, const QString &service, const QString &path,
        const QString &interface, const QString &method, const QList<QVariant> &args)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(args);
        // The item answers on this same thread: wait with the event loop running.
        return bus.call(message, QDBus::BlockWithGui, 5000);
    }

    QVariant property(QDBusConnection &bus, const QString &service, const QString &name)
    {
        const QDBusMessage reply = call(bus, service, QStringLiteral("/StatusNotifierItem"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
            { QStringLiteral("org.kde.StatusNotifierItem"), name });
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            QSKIP("no dbus-daemon: run scripts/install-deps.sh");
        m_bus.start(daemon,
            { QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1") });
        QVERIFY(m_bus.waitForReadyRead(5000));
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
    }

    void cleanupTestCase()
    {
        m_bus.terminate();
        m_bus.waitForFinished(3000);
    }

    // What a panel reads and does over the bus, from registration to a click.
    void hostRoundTrip()
    {
        QDBusConnection watcherBus = connect(QStringLiteral("watcher"));
        FakeWatcher watcher;
        QVERIFY(watcherBus.registerObject(
            QStringLiteral("/StatusNotifierWatcher"), &watcher, QDBusConnection::ExportScriptableSlots));
        QVERIFY(watcherBus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));

        QMenu menu;
        StatusNotifierItem item(&menu);
        QSignalSpy activated(&item, &StatusNotifierItem::activated);
        QImage image(64, 64, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        item.setIcon(QIcon(QPixmap::fromImage(image)));
        // The second line carries an invitation's title: a stranger's text.
        item.setToolTip(QStringLiteral("Sunday, December 6, 2026\n<img src=\"https://x.example/t\"> Q&A in 5 min"));
        QVERIFY(item.publish(connect(QStringLiteral("item"))));
        QTRY_COMPARE(watcher.registered, QStringList { item.serviceName() });

        QDBusConnection host = connect(QStringLiteral("host"));
        const QString service = item.serviceName();
        SniToolTip toolTip;
        property(host, service, QStringLiteral("ToolTip")).value<QDBusArgument>() >> toolTip;
        // Hosts read the body as markup: it must arrive as text, not as an image to fetch.
        QCOMPARE(toolTip.text, QStringLiteral("&lt;img src=&quot;https://x.example/t&quot;&gt; Q&amp;A in 5 min"));

        SniPixmapList pixmaps;
        property(host, service, QStringLiteral("IconPixmap")).value<QDBusArgument>() >> pixmaps;
        QVERIFY(!pixmaps.isEmpty());
        for (const SniPixmap &pixmap : pixmaps)
            QCOMPARE(pixmap.bytes.size(), pixmap.width * pixmap.height * 4);

        // The title, the tooltip's date and the menu as a host shows them: e2e_xfce_sni, e2e_statusnotifier.

        // A click, with the point the host saw.
        call(host, service, QStringLiteral("/StatusNotifierItem"),
            QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"), { 600, 20 });
        QTRY_COMPARE(activated.count(), 1);
        QCOMPARE(activated.at(0).at(0).toPoint(), QPoint(600, 20));

        // The panel restarts: its new watcher hears from the item again.
        QVERIFY(watcherBus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        QVERIFY(watcherBus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        QTRY_COMPARE(watcher.registered.size(), 2);
    }

    void mnemonicsInLabels_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("label");
        // clang-format off
        QTest::newRow("mnemonic") << "&Quit" << "_Quit";
        QTest::newRow("literal ampersand") << "Dates && times" << "Dates & times";
        QTest::newRow("underscore kept literal") << "my_calendar" << "my__calendar";
        // clang-format on
    }
    void mnemonicsInLabels()
    {
        QFETCH(QString, text);
        QFETCH(QString, label);
        QAction action(text);
        QCOMPARE(DBusMenuExporter::itemProperties(&action).value(QStringLiteral("label")).toString(), label);
    }
};

QTEST_MAIN(tst_StatusNotifierItem)
#include "tst_statusnotifieritem.moc"
