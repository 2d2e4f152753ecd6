#include "CompositeEventStore.h"
#include "FakeEventStore.h"
#include "SystemStoreModule.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

int g_moduleWarnings = 0;
QtMessageHandler g_previousHandler = nullptr;

void countModuleWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && context.category && QByteArray(context.category) == "moriva.systemstore")
        ++g_moduleWarnings;
    g_previousHandler(type, context, message);
}

QString module(const char *name)
{
    return QStringLiteral(MORIVA_FAKE_MODULES "/") + QLatin1String(name) + QStringLiteral(".so");
}

} // namespace

class tst_SystemStoreModule : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { g_previousHandler = qInstallMessageHandler(countModuleWarnings); }

    // Whatever is at the path, the app goes on with its files.
    void unusableModulesGiveNoStore_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing") << QStringLiteral("/nonexistent/moriva-eds.so");
        QTest::newRow("not a library") << QStringLiteral("garbage");
        QTest::newRow("another library") << module("fake-not-ours");
        QTest::newRow("another version") << module("fake-other-version");
    }
    void unusableModulesGiveNoStore()
    {
        QFETCH(QString, path);
        QTemporaryDir dir;
        if (path == QLatin1String("garbage")) {
            path = dir.filePath(QStringLiteral("moriva-eds.so"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("\x7f"
                       "ELF but not really, just bytes\n");
        }
        QVERIFY(!SystemStoreModule::load({ path }));
    }

    // Said once, not on every try: the app tries again on each start only.
    void failureIsLoggedOnce() { QCOMPARE(g_moduleWarnings, 1); }

    void firstUsableModuleIsLoaded()
    {
        std::unique_ptr<SystemEventStore> store
            = SystemStoreModule::load({ module("fake-other-version"), module("fake-current") });
        QVERIFY(store);
        // The module's store and this program must share one EventStore:
        // signals connect through the program's own types.
        QVERIFY(qobject_cast<SystemEventStore *>(store.get()));
        QSignalSpy loaded(store.get(), &SystemEventStore::loaded);

        // The calendar file the service keeps, also found among the files
        // (a user pointed them at its folder), shows once: through the service.
        auto files = std::make_unique<FakeEventStore>();
        const QDateTime at(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC);
        for (const QString path : { "/fake/calendar.ics", "/elsewhere/holidays.ics" }) {
            auto calendar = std::make_shared<CalendarInfo>();
            calendar->id = path;
            auto e = std::make_shared<CalendarEvent>(*FakeEventStore::make(path, at, at.addSecs(3600)));
            e->calendar = calendar;
            files->all << e;
        }
        auto composite = CompositeEventStore::withSystemStore(std::move(store), std::move(files));
        QSignalSpy compositeChanged(composite.get(), &EventStore::changed);
        composite->stores().first()->requestFullAccess({});
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(compositeChanged.size(), 1);
        QCOMPARE(FakeEventStore::ids(composite->events(at, at.addSecs(60))), QStringList { "/elsewhere/holidays.ics" });
    }
};

QTEST_GUILESS_MAIN(tst_SystemStoreModule)
#include "tst_systemstoremodule.moc"
