#include "CompositeEventStore.h"
#include "EdsEventStore.h"
#include "FakeEventStore.h"
#include "ZonePin.h"

#include <libecal/libecal.h>
#include <libedataserver/libedataserver.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <csignal>

namespace {

constexpr int kServiceTimeoutMs = 30000;
const QString kTeam = QStringLiteral("moriva-team");

QString configDir()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

/** A local calendar as a user's desktop would have it: a .source key file and its calendar.ics. */
bool addLocalSource(const QString &uid, const QString &name, const QString &color, const QString &icsFixture)
{
    const QByteArray source = "[Data Source]\nDisplayName=" + name.toUtf8()
        + "\nEnabled=true\nParent=local-stub\n\n[Calendar]\nBackendName=local\nColor=" + color.toUtf8()
        + "\nSelected=true\n";
    QFile ics(icsFixture);
    if (!ics.open(QIODevice::ReadOnly))
        return false;
    return writeFile(configDir() + QStringLiteral("/evolution/sources/%1.source").arg(uid), source)
        && writeFile(qEnvironmentVariable("XDG_DATA_HOME")
                + QStringLiteral("/evolution/calendar/%1/calendar.ics").arg(uid),
            ics.readAll());
}

QString describe(const CalendarEvent &e)
{
    const QString format = e.allDay ? QStringLiteral("yyyy-MM-dd") : QStringLiteral("yyyy-MM-dd HH:mm");
    return QStringLiteral("%1|%2|%3")
        .arg(e.start.toLocalTime().toString(format), e.end.toLocalTime().toString(format),
            e.title ? *e.title : QStringLiteral("<none>"));
}

QStringList describeCalendar(const EventList &events, const QString &sourceUid)
{
    QStringList out;
    for (const auto &e : events)
        if (e->sourceUid == sourceUid)
            out << describe(*e);
    return out;
}

struct GErrorHolder
{
    GError *error = nullptr;
    ~GErrorHolder() { g_clear_error(&error); }
    QByteArray message() const { return error ? QByteArray(error->message) : QByteArray(); }
};

/** A second, independent client of the service: what another calendar application would do. */
class OtherClient
{
public:
    OtherClient()
    {
        GErrorHolder e;
        m_registry = e_source_registry_new_sync(nullptr, &e.error);
        if (!m_registry)
            qWarning() << "registry:" << e.message();
    }
    ~OtherClient()
    {
        if (m_client)
            g_object_unref(m_client);
        if (m_registry)
            g_object_unref(m_registry);
    }
    ESourceRegistry *registry() const { return m_registry; }

    ECalClient *client(const QString &sourceUid)
    {
        if (m_client || !m_registry)
            return m_client;
        ESource *source = e_source_registry_ref_source(m_registry, sourceUid.toUtf8().constData());
        if (!source)
            return nullptr;
        GErrorHolder e;
        m_client = E_CAL_CLIENT(
            e_cal_client_connect_sync(source, E_CAL_CLIENT_SOURCE_TYPE_EVENTS, 30, nullptr, &e.error));
        g_object_unref(source);
        return m_client;
    }

    bool create(const QString &sourceUid, const QByteArray &vevent)
    {
        ECalClient *c = client(sourceUid);
        ICalComponent *comp = i_cal_component_new_from_string(vevent.constData());
        if (!c || !comp)
            return false;
        GErrorHolder e;
        const bool ok
            = e_cal_client_create_object_sync(c, comp, E_CAL_OPERATION_FLAG_NONE, nullptr, nullptr, &e.error);
        g_object_unref(comp);
        if (!ok)
            qWarning() << "create:" << e.message();
        return ok;
    }

    bool modify(const QString &sourceUid, const QByteArray &vevent)
    {
        ECalClient *c = client(sourceUid);
        ICalComponent *comp = i_cal_component_new_from_string(vevent.constData());
        if (!c || !comp)
            return false;
        GErrorHolder e;
        const bool ok = e_cal_client_modify_object_sync(
            c, comp, E_CAL_OBJ_MOD_ALL, E_CAL_OPERATION_FLAG_NONE, nullptr, &e.error);
        g_object_unref(comp);
        return ok;
    }

    bool remove(const QString &sourceUid, const QByteArray &uid)
    {
        ECalClient *c = client(sourceUid);
        GErrorHolder e;
        return c
            && e_cal_client_remove_object_sync(
                c, uid.constData(), nullptr, E_CAL_OBJ_MOD_ALL, E_CAL_OPERATION_FLAG_NONE, nullptr, &e.error);
    }

    bool setEnabled(const QString &sourceUid, bool enabled)
    {
        ESource *source
            = m_registry ? e_source_registry_ref_source(m_registry, sourceUid.toUtf8().constData()) : nullptr;
        if (!source)
            return false;
        e_source_set_enabled(source, enabled);
        GErrorHolder e;
        const bool ok = e_source_write_sync(source, nullptr, &e.error);
        g_object_unref(source);
        return ok;
    }

    /** Renames, recolours or hides a calendar as the calendar application's own settings would. */
    bool edit(const QString &sourceUid, const QString &name, const QString &color, bool selected)
    {
        ESource *source
            = m_registry ? e_source_registry_ref_source(m_registry, sourceUid.toUtf8().constData()) : nullptr;
        if (!source)
            return false;
        e_source_set_display_name(source, name.toUtf8().constData());
        auto *ext
            = static_cast<ESourceSelectable *>(e_source_get_extension(source, E_SOURCE_EXTENSION_CALENDAR));
        e_source_selectable_set_color(ext, color.toUtf8().constData());
        e_source_selectable_set_selected(ext, selected);
        GErrorHolder e;
        const bool ok = e_source_write_sync(source, nullptr, &e.error);
        g_object_unref(source);
        return ok;
    }

    bool addSource(const QString &uid, const QString &name)
    {
        GErrorHolder e;
        ESource *source = e_source_new_with_uid(uid.toUtf8().constData(), nullptr, &e.error);
        if (!source)
            return false;
        e_source_set_parent(source, "local-stub");
        e_source_set_display_name(source, name.toUtf8().constData());
        auto *backend
            = static_cast<ESourceBackend *>(e_source_get_extension(source, E_SOURCE_EXTENSION_CALENDAR));
        e_source_backend_set_backend_name(backend, "local");
        const bool ok = e_source_registry_commit_source_sync(m_registry, source, nullptr, &e.error);
        g_object_unref(source);
        return ok;
    }

private:
    ESourceRegistry *m_registry = nullptr;
    ECalClient *m_client = nullptr;
};

QByteArray vevent(
    const QByteArray &uid, const QByteArray &start, const QByteArray &end, const QByteArray &summary)
{
    return "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTAMP:20261101T000000Z\r\nDTSTART:" + start
        + "\r\nDTEND:" + end + "\r\nSUMMARY:" + summary + "\r\nEND:VEVENT\r\n";
}

bool waitLoaded(EdsEventStore &store)
{
    QSignalSpy spy(&store, &EdsEventStore::loaded);
    return store.isLoaded() || spy.wait(kServiceTimeoutMs);
}

} // namespace

class tst_EdsEventStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("MORIVA_PRIVATE_EDS"))
            QSKIP("runs only inside with-private-eds.sh, never against a real user's calendars");
        QVERIFY(configDir().startsWith(qEnvironmentVariable("MORIVA_PRIVATE_EDS")));
        QVERIFY(pinLocalZone("Europe/Berlin"));
        QVERIFY(addLocalSource(kTeam, QStringLiteral("Team"), QStringLiteral("#3366cc"),
            QStringLiteral(MORIVA_TEST_DATA "/eds/team.ics")));
    }

    void readsEnabledCalendarsWithNameAndColour()
    {
        EdsEventStore store;
        QCOMPARE(store.authorizationStatus(), AuthorizationStatus::notDetermined);
        bool answered = false, granted = false;
        store.requestFullAccess([&](bool ok, const QString &) {
            answered = true;
            granted = ok;
        });
        QTRY_VERIFY_WITH_TIMEOUT(answered, kServiceTimeoutMs);
        QVERIFY(granted);
        QCOMPARE(store.authorizationStatus(), AuthorizationStatus::fullAccess);
        QVERIFY(waitLoaded(store));

        bool foundTeam = false;
        for (const auto &calendar : store.calendars()) {
            if (calendar->id == kTeam) {
                foundTeam = true;
                QCOMPARE(calendar->name, QStringLiteral("Team"));
                QCOMPARE(calendar->color, QColor(QStringLiteral("#3366cc")));
            } else {
                // The registry adds its own; nothing else may appear.
                const QStringList own { QStringLiteral("Personal"),
                    QStringLiteral("Birthdays & Anniversaries") };
                QVERIFY2(own.contains(calendar->name), qPrintable(calendar->name));
            }
        }
        QVERIFY(foundTeam);
        const QString expectedFile
            = QDir(qEnvironmentVariable("XDG_DATA_HOME"))
                  .filePath(QStringLiteral("evolution/calendar/moriva-team/calendar.ics"));
        QVERIFY2(store.localCalendarFiles().contains(expectedFile),
            qPrintable(store.localCalendarFiles().join(',')));
    }

    void occurrences_data()
    {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("first week: weekly series minus its EXDATE, zones, floating, all-day span")
            << QDate(2026, 12, 7) << QDate(2026, 12, 14)
            << QStringList {
                   "2026-12-07 09:30|2026-12-07 09:45|Standup",
                   "2026-12-08 12:30|2026-12-08 13:30|Lunch (floating)",
                   "2026-12-08 16:00|2026-12-08 17:00|Exchange meeting",
                   "2026-12-09 07:30|2026-12-09 08:30|Custom zone",
                   "2026-12-10|2026-12-12|Offsite",
                   "2026-12-11 08:00|2026-12-11 08:30|<none>",
                   "2026-12-11 09:00|2026-12-11 09:30|",
                   "2026-12-12 00:00|2026-12-12 01:30|Late call",
               };
        QTest::newRow("second week: moved occurrence in, cancelled occurrence out") << QDate(2026, 12,
            14) << QDate(2026, 12, 21) << QStringList { "2026-12-15 14:00|2026-12-15 14:30|Standup (moved)" };
        QTest::newRow("an all-day event without an end lasts its one day")
            << QDate(2026, 12, 25) << QDate(2026, 12, 26) << QStringList { "2026-12-25|2026-12-26|Holiday" };
        QTest::newRow("the day after it is empty")
            << QDate(2026, 12, 26) << QDate(2026, 12, 27) << QStringList {};
        QTest::newRow("an all-day span is listed on its last day, not the day after")
            << QDate(2026, 12, 11) << QDate(2026, 12, 12)
            << QStringList { "2026-12-10|2026-12-12|Offsite", "2026-12-11 08:00|2026-12-11 08:30|<none>",
                   "2026-12-11 09:00|2026-12-11 09:30|" };
        QTest::newRow("series ends by its COUNT")
            << QDate(2026, 12, 28) << QDate(2027, 1, 31)
            << QStringList { "2026-12-28 09:30|2026-12-28 09:45|Standup",
                   "2026-12-30 09:30|2026-12-30 09:45|Standup" };
    }

    void occurrences()
    {
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QStringList, expected);
        EdsEventStore store;
        QVERIFY(waitLoaded(store));
        const QDateTime start(from, QTime(0, 0)), end(to, QTime(0, 0));
        // Loaded includes the zones only the calendar itself defines, so the
        // first answer already places those events right.
        QCOMPARE(describeCalendar(store.events(start, end), kTeam), expected);
    }

    void eachOccurrenceCarriesItsIds()
    {
        EdsEventStore store;
        QVERIFY(waitLoaded(store));
        const EventList events = store.events(
            QDateTime(QDate(2026, 12, 1), QTime(0, 0)), QDateTime(QDate(2027, 1, 31), QTime(0, 0)));
        QSet<QString> identifiers;
        QStringList standups;
        for (const auto &e : events) {
            if (e->sourceUid != kTeam)
                continue;
            QVERIFY2(!identifiers.contains(e->identifier), qPrintable(e->identifier));
            identifiers.insert(e->identifier);
            QVERIFY(e->identifier.contains(kTeam));
            QCOMPARE(e->calendar->id, kTeam);
            if (e->componentUid == QLatin1String("standup@moriva.test"))
                standups << e->recurrenceId;
            if (e->componentUid == QLatin1String("offsite@moriva.test"))
                QVERIFY(e->recurrenceId.isEmpty());
        }
        // Occurrences of the series name their original start; the moved one keeps the slot it replaced.
        QCOMPARE(standups,
            (QStringList { "20261207T093000", "20261214T093000", "20261221T093000", "20261223T093000",
                "20261228T093000", "20261230T093000" }));
        const auto standup = std::find_if(events.begin(), events.end(),
            [](const EventPtr &e) { return e->title == QStringLiteral("Standup"); });
        QVERIFY(standup != events.end());
        QCOMPARE((*standup)->location, QStringLiteral("Room 4"));
        QCOMPARE((*standup)->url, QUrl(QStringLiteral("https://meet.example.org/standup")));
        QCOMPARE((*standup)->notes, QStringLiteral("Daily standup"));
        QCOMPARE((*standup)->calendar->name, QStringLiteral("Team"));
    }

    void changesThroughTheServiceArriveAsChanged()
    {
        EdsEventStore store;
        QVERIFY(waitLoaded(store));
        OtherClient other;
        QVERIFY(other.registry());
        const QDateTime start(QDate(2027, 2, 1), QTime(0, 0)), end(QDate(2027, 2, 8), QTime(0, 0));
        QVERIFY(describeCalendar(store.events(start, end), kTeam).isEmpty());

        QSignalSpy changed(&store, &EventStore::changed);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(other.create(
            kTeam, vevent("live@moriva.test", "20270203T090000Z", "20270203T100000Z", "Added live")));
        const QStringList added { "2027-02-03 10:00|2027-02-03 11:00|Added live" };
        // What a refetch on changed() sees: the signal must not come before the data.
        QStringList seen;
        connect(&store, &EventStore::changed, this,
            [&] { seen = describeCalendar(store.events(start, end), kTeam); });
        QTRY_COMPARE_WITH_TIMEOUT(seen, added, kServiceTimeoutMs);
        qInfo("creation through the service to a refetch that shows it: %lld ms", clock.elapsed());

        changed.clear();
        QVERIFY(other.modify(
            kTeam, vevent("live@moriva.test", "20270204T090000Z", "20270204T093000Z", "Moved live")));
        QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty(), kServiceTimeoutMs);
        QCOMPARE(describeCalendar(store.events(start, end), kTeam),
            QStringList { "2027-02-04 10:00|2027-02-04 10:30|Moved live" });

        changed.clear();
        QVERIFY(other.remove(kTeam, "live@moriva.test"));
        QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty(), kServiceTimeoutMs);
        QVERIFY(describeCalendar(store.events(start, end), kTeam).isEmpty());
    }

    void aBurstOfChangesIsOneSignal()
    {
        // Generous gathering, so a loaded machine delivering the burst
        // slowly still lands inside one window.
        EdsEventStore store;
        store.setChangeCoalescingMs(1500);
        QSignalSpy changed(&store, &EventStore::changed);
        QVERIFY(waitLoaded(store));
        QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty(), kServiceTimeoutMs); // the load's own signal
        changed.clear();
        OtherClient other;
        ECalClient *client = other.client(kTeam);
        QVERIFY(client);
        GSList *comps = nullptr;
        for (int i = 0; i < 20; ++i) {
            const QByteArray uid = "burst-" + QByteArray::number(i) + "@moriva.test";
            comps = g_slist_prepend(comps,
                i_cal_component_new_from_string(
                    vevent(uid, "20270301T090000Z", "20270301T100000Z", "Burst").constData()));
        }
        GErrorHolder e;
        QVERIFY2(e_cal_client_create_objects_sync(
                     client, comps, E_CAL_OPERATION_FLAG_NONE, nullptr, nullptr, &e.error),
            e.message().constData());
        g_slist_free_full(comps, g_object_unref);
        QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 1, kServiceTimeoutMs);
        QTest::qWait(2000);
        QCOMPARE(changed.size(), 1);
        const QStringList march = describeCalendar(store.events(QDateTime(QDate(2027, 3, 1), QTime(0, 0)),
                                                       QDateTime(QDate(2027, 3, 2), QTime(0, 0))),
            kTeam);
        QCOMPARE(march.filter(QStringLiteral("|Burst")).size(), 20);
    }

    void sourcesComingAndGoing()
    {
        EdsEventStore store;
        QVERIFY(waitLoaded(store));
        OtherClient other;
        QVERIFY(other.registry());
        const QDateTime start(QDate(2026, 12, 7), QTime(0, 0)), end(QDate(2026, 12, 14), QTime(0, 0));
        QVERIFY(!describeCalendar(store.events(start, end), kTeam).isEmpty());
        auto names = [&store] {
            QStringList out;
            for (const auto &c : store.calendars())
                out << c->name;
            return out;
        };

        QSignalSpy changed(&store, &EventStore::changed);
        QVERIFY(other.setEnabled(kTeam, false));
        QTRY_VERIFY_WITH_TIMEOUT(!names().contains(QStringLiteral("Team")), kServiceTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty(), kServiceTimeoutMs);
        QVERIFY(describeCalendar(store.events(start, end), kTeam).isEmpty());

        changed.clear();
        QVERIFY(other.setEnabled(kTeam, true));
        QTRY_VERIFY_WITH_TIMEOUT(
            !describeCalendar(store.events(start, end), kTeam).isEmpty(), kServiceTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty(), kServiceTimeoutMs);

        // Renamed and recoloured: events already handed out keep their old
        // record, a refetch carries the new calendar.
        QVERIFY(other.edit(kTeam, QStringLiteral("Team (renamed)"), QStringLiteral("#aa2200"), true));
        auto teamEvent = [&] {
            for (const auto &e : store.events(start, end))
                if (e->sourceUid == kTeam)
                    return e;
            return EventPtr();
        };
        QTRY_COMPARE_WITH_TIMEOUT(teamEvent() ? teamEvent()->calendar->name : QString(),
            QStringLiteral("Team (renamed)"), kServiceTimeoutMs);
        QCOMPARE(teamEvent()->calendar->color, QColor(QStringLiteral("#aa2200")));
        // Hidden in the calendar application: hidden here too.
        QVERIFY(other.edit(kTeam, QStringLiteral("Team"), QStringLiteral("#3366cc"), false));
        QTRY_VERIFY_WITH_TIMEOUT(!teamEvent(), kServiceTimeoutMs);
        QVERIFY(other.edit(kTeam, QStringLiteral("Team"), QStringLiteral("#3366cc"), true));
        QTRY_VERIFY_WITH_TIMEOUT(teamEvent(), kServiceTimeoutMs);
        QCOMPARE(teamEvent()->calendar->name, QStringLiteral("Team"));

        QVERIFY(other.addSource(QStringLiteral("moriva-extra"), QStringLiteral("Extra")));
        QTRY_VERIFY_WITH_TIMEOUT(names().contains(QStringLiteral("Extra")), kServiceTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(store.isLoaded(), kServiceTimeoutMs);
    }

    void theServiceFileIsNotShownTwice()
    {
        // The files store also lists the calendar file the service keeps
        // (a user pointed it at Evolution's folder): only one copy shows.
        auto files = std::make_unique<FakeEventStore>();
        auto fileCalendar = std::make_shared<CalendarInfo>();
        fileCalendar->id = qEnvironmentVariable("XDG_DATA_HOME")
            + QStringLiteral("/evolution/calendar/moriva-team/calendar.ics");
        auto other = std::make_shared<CalendarInfo>();
        other->id = QStringLiteral("/elsewhere/holidays.ics");
        const QDateTime at(QDate(2026, 12, 8), QTime(12, 30));
        auto copy = std::make_shared<CalendarEvent>(
            *FakeEventStore::make("copy", at, at.addSecs(3600), QStringLiteral("Lunch")));
        copy->calendar = fileCalendar;
        auto kept = std::make_shared<CalendarEvent>(
            *FakeEventStore::make("kept", at, at.addSecs(3600), QStringLiteral("Holiday")));
        kept->calendar = other;
        files->all = { copy, kept };

        auto composite = CompositeEventStore::withDesktopCalendars(std::move(files));
        QCOMPARE(composite->stores().size(), 2);
        auto *eds = qobject_cast<EdsEventStore *>(composite->stores().first());
        QVERIFY(eds);
        QVERIFY(waitLoaded(*eds));
        QStringList ids;
        for (const auto &e : composite->events(
                 QDateTime(QDate(2026, 12, 8), QTime(0, 0)), QDateTime(QDate(2026, 12, 9), QTime(0, 0))))
            ids << (e->sourceUid.isEmpty() ? e->identifier : e->sourceUid);
        QVERIFY2(!ids.contains(QStringLiteral("copy")), qPrintable(ids.join(',')));
        QVERIFY(ids.contains(QStringLiteral("kept")));
        QVERIFY(ids.contains(kTeam));
    }

    void survivesTheCalendarServiceRestarting()
    {
        EdsEventStore store;
        QVERIFY(waitLoaded(store));
        const QDateTime start(QDate(2027, 4, 1), QTime(0, 0)), end(QDate(2027, 4, 2), QTime(0, 0));
        {
            OtherClient before;
            QVERIFY(before.create(
                kTeam, vevent("doomed@moriva.test", "20270401T070000Z", "20270401T080000Z", "Doomed")));
        }
        QTRY_COMPARE_WITH_TIMEOUT(
            describeCalendar(store.events(start, end), kTeam).size(), 1, kServiceTimeoutMs);

        // The calendar factory this test's private bus started for it.
        GErrorHolder e;
        GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &e.error);
        QVERIFY2(bus, e.message().constData());
        GVariant *reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
            "org.freedesktop.DBus", "GetConnectionUnixProcessID",
            g_variant_new("(s)", "org.gnome.evolution.dataserver.Calendar8"), G_VARIANT_TYPE("(u)"),
            G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &e.error);
        g_object_unref(bus);
        QVERIFY2(reply, e.message().constData());
        guint32 pid = 0;
        g_variant_get(reply, "(u)", &pid);
        g_variant_unref(reply);
        QVERIFY(pid > 1);
        QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);

        // Another application writes through a freshly started service; the
        // store must reconnect by itself, show the new event and drop the
        // one deleted while it was away.
        QTest::qWait(500);
        OtherClient other;
        QVERIFY(other.remove(kTeam, "doomed@moriva.test"));
        QVERIFY(other.create(kTeam,
            vevent("after-restart@moriva.test", "20270401T090000Z", "20270401T100000Z", "After restart")));
        QTRY_COMPARE_WITH_TIMEOUT(describeCalendar(store.events(start, end), kTeam),
            QStringList { "2027-04-01 11:00|2027-04-01 12:00|After restart" }, kServiceTimeoutMs);
    }

    void storeGoneBeforeTheServiceAnswersIsSafe()
    {
        // Callbacks still in flight must find the store gone, not crash on it.
        for (int i = 0; i < 5; ++i) {
            auto *store = new EdsEventStore;
            QTest::qWait(i * 20);
            delete store;
        }
        QTest::qWait(500);
        EdsEventStore store;
        QVERIFY(waitLoaded(store));
    }
};

QTEST_GUILESS_MAIN(tst_EdsEventStore)
#include "tst_edseventstore.moc"
