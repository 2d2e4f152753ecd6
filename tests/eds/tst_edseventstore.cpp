#include "EdsEventStore.h"
#include "ZonePin.h"

#include <libecal/libecal.h>
#include <libedataserver/libedataserver.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <optional>

namespace {

constexpr int kServiceTimeoutMs = 30000;
const QString kTeam = QStringLiteral("moriva-team");

QString teamFile()
{
    return qEnvironmentVariable("XDG_DATA_HOME")
        + QStringLiteral("/evolution/calendar/moriva-team/calendar.ics");
}

/** The team calendar's events over [from, to), as local start|end|title. */
QStringList team(EventStore &store, QDate from, QDate to)
{
    QStringList out;
    for (const auto &e : store.events(QDateTime(from, QTime(0, 0)), QDateTime(to, QTime(0, 0)))) {
        const QString format = e->allDay ? QStringLiteral("yyyy-MM-dd") : QStringLiteral("yyyy-MM-dd HH:mm");
        if (e->sourceUid == kTeam)
            out << e->start.toLocalTime().toString(format) + '|' + e->end.toLocalTime().toString(format) + '|'
                    + e->title.value_or(QStringLiteral("<none>"));
    }
    return out;
}

bool succeeded(bool ok, GError *error, const char *what)
{
    if (error) {
        qWarning("%s: %s", what, error->message);
        g_error_free(error);
    }
    return ok;
}

/** Another application on the same service: it writes to the team calendar and edits its settings. */
struct OtherClient
{
    ESourceRegistry *registry = e_source_registry_new_sync(nullptr, nullptr);
    ESource *team = registry ? e_source_registry_ref_source(registry, "moriva-team") : nullptr;
    ECalClient *client = team
        ? E_CAL_CLIENT(e_cal_client_connect_sync(team, E_CAL_CLIENT_SOURCE_TYPE_EVENTS, 30, nullptr, nullptr))
        : nullptr;

    ~OtherClient()
    {
        g_clear_object(&client);
        g_clear_object(&team);
        g_clear_object(&registry);
    }

    /** All in one call, as an import or a sync would. */
    bool write(const QList<QByteArray> &vevents, bool modify = false)
    {
        GSList *comps = nullptr;
        for (const QByteArray &v : vevents)
            comps = g_slist_prepend(comps, i_cal_component_new_from_string(v.constData()));
        GError *e = nullptr;
        const bool ok = client
            && (modify ? e_cal_client_modify_objects_sync(
                    client, comps, E_CAL_OBJ_MOD_ALL, E_CAL_OPERATION_FLAG_NONE, nullptr, &e)
                       : e_cal_client_create_objects_sync(
                           client, comps, E_CAL_OPERATION_FLAG_NONE, nullptr, nullptr, &e));
        g_slist_free_full(comps, g_object_unref);
        return succeeded(ok, e, "write");
    }

    bool remove(const char *uid)
    {
        GError *e = nullptr;
        return succeeded(client
                && e_cal_client_remove_object_sync(
                    client, uid, nullptr, E_CAL_OBJ_MOD_ALL, E_CAL_OPERATION_FLAG_NONE, nullptr, &e),
            e, "remove");
    }

    /** As the calendar application's own settings write them. */
    bool edit(bool enabled, const char *name, const char *color, bool selected)
    {
        e_source_set_enabled(team, enabled);
        e_source_set_display_name(team, name);
        auto *ext
            = static_cast<ESourceSelectable *>(e_source_get_extension(team, E_SOURCE_EXTENSION_CALENDAR));
        e_source_selectable_set_color(ext, color);
        e_source_selectable_set_selected(ext, selected);
        GError *e = nullptr;
        return succeeded(e_source_write_sync(team, nullptr, &e), e, "edit");
    }

    bool addSource(const char *uid, const char *name)
    {
        ESource *source = e_source_new_with_uid(uid, nullptr, nullptr);
        e_source_set_parent(source, "local-stub");
        e_source_set_display_name(source, name);
        e_source_backend_set_backend_name(
            static_cast<ESourceBackend *>(e_source_get_extension(source, E_SOURCE_EXTENSION_CALENDAR)),
            "local");
        GError *e = nullptr;
        const bool ok = e_source_registry_commit_source_sync(registry, source, nullptr, &e);
        g_object_unref(source);
        return succeeded(ok, e, "add source");
    }
};

/** The process of the calendar factory on the session bus; 0 while none owns its name. */
guint32 factoryPid()
{
    GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus)
        return 0;
    GVariant *reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
        "org.freedesktop.DBus", "GetConnectionUnixProcessID",
        g_variant_new("(s)", "org.gnome.evolution.dataserver.Calendar8"), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    g_object_unref(bus);
    guint32 pid = 0;
    if (reply) {
        g_variant_get(reply, "(u)", &pid);
        g_variant_unref(reply);
    }
    return pid;
}

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
        QVERIFY(
            qEnvironmentVariable("XDG_CONFIG_HOME").startsWith(qEnvironmentVariable("MORIVA_PRIVATE_EDS")));
        QVERIFY(pinLocalZone("Europe/Berlin"));
        // A local calendar as a user's desktop would have it: a .source key file and its calendar.ics.
        QVERIFY(QDir().mkpath(QFileInfo(teamFile()).path()));
        QVERIFY(QFile::copy(QStringLiteral(MORIVA_TEST_DATA "/cases/team-calendar.ics"), teamFile()));
        QFile source(qEnvironmentVariable("XDG_CONFIG_HOME") + "/evolution/sources/moriva-team.source");
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write("[Data Source]\nDisplayName=Team\nEnabled=true\nParent=local-stub\n\n"
                     "[Calendar]\nBackendName=local\nColor=#3366cc\nSelected=true\n");
    }

    void grantsAccessAndNamesEachOccurrence()
    {
        EdsEventStore store;
        QCOMPARE(store.authorizationStatus(), AuthorizationStatus::notDetermined);
        std::optional<bool> granted;
        store.requestFullAccess([&](bool ok, const QString &) { granted = ok; });
        QTRY_VERIFY_WITH_TIMEOUT(granted.has_value(), kServiceTimeoutMs);
        QVERIFY(*granted);
        QCOMPARE(store.authorizationStatus(), AuthorizationStatus::fullAccess);
        QVERIFY(waitLoaded(store));
        // The files store leaves these to this one, so that they are not shown twice.
        QVERIFY(store.localCalendarFiles().contains(teamFile()));

        QSet<QString> identifiers;
        QStringList standups;
        for (const auto &e : store.events(
                 QDateTime(QDate(2026, 12, 1), QTime(0, 0)), QDateTime(QDate(2027, 1, 31), QTime(0, 0)))) {
            if (e->sourceUid != kTeam)
                continue;
            QVERIFY2(!identifiers.contains(e->identifier) && e->identifier.contains(kTeam)
                    && e->calendar->id == kTeam,
                qPrintable(e->identifier));
            identifiers.insert(e->identifier);
            if (e->componentUid == QLatin1String("standup@moriva.test"))
                standups << e->recurrenceId;
            else if (e->componentUid == QLatin1String("offsite@moriva.test"))
                QVERIFY(e->recurrenceId.isEmpty());
        }
        // Occurrences of the series name their original start; the moved one keeps the slot it replaced,
        // and the series stops at its COUNT although the window runs on.
        QCOMPARE(standups,
            (QStringList { "20261207T093000", "20261214T093000", "20261221T093000", "20261223T093000",
                "20261228T093000", "20261230T093000" }));
    }

    void changesThroughTheServiceArriveAsChanged()
    {
        QStringList seen; // what a refetch on changed() sees: the signal must not come before the data
        EdsEventStore store;
        QVERIFY(waitLoaded(store));
        const QDate feb(2027, 2, 1);
        connect(&store, &EventStore::changed, this, [&] { seen = team(store, feb, feb.addDays(7)); });

        OtherClient other;
        QVERIFY(other.write(
            { vevent("live@moriva.test", "20270203T090000Z", "20270203T100000Z", "Added live") }));
        QTRY_COMPARE_WITH_TIMEOUT(
            seen, QStringList { "2027-02-03 10:00|2027-02-03 11:00|Added live" }, kServiceTimeoutMs);
        QVERIFY(other.write(
            { vevent("live@moriva.test", "20270204T090000Z", "20270204T093000Z", "Moved") }, true));
        QTRY_COMPARE_WITH_TIMEOUT(
            seen, QStringList { "2027-02-04 10:00|2027-02-04 10:30|Moved" }, kServiceTimeoutMs);
        QVERIFY(other.remove("live@moriva.test"));
        QTRY_VERIFY_WITH_TIMEOUT(seen.isEmpty(), kServiceTimeoutMs);

        // A burst is one signal. Gathered generously, so a loaded machine
        // delivering it slowly still lands inside one window. A later write is
        // the fence: once it is seen, every signal of the burst has come.
        store.setChangeCoalescingMs(1500);
        QList<int> burstSeen; // burst events each signal saw
        // Connected after the refetch above, so it reads what that signal's refetch saw.
        connect(&store, &EventStore::changed, this, [&] { burstSeen << int(seen.filter("|Burst").size()); });
        QList<QByteArray> burst;
        for (int i = 0; i < 20; ++i)
            burst << vevent(
                "burst-" + QByteArray::number(i), "20270205T090000Z", "20270205T100000Z", "Burst");
        QVERIFY(other.write(burst));
        QTRY_COMPARE_WITH_TIMEOUT(seen.filter("|Burst").size(), 20, kServiceTimeoutMs);
        QVERIFY(other.write({ vevent("fence", "20270206T090000Z", "20270206T100000Z", "Fence") }));
        QTRY_VERIFY_WITH_TIMEOUT(!seen.filter("|Fence").isEmpty(), kServiceTimeoutMs);
        QCOMPARE(burstSeen.count(20), 2); // the burst's own signal, then the fence's
        QCOMPARE(burstSeen.size() - burstSeen.count(0), 2); // and none that saw part of it
    }

    void sourcesComingAndGoing()
    {
        EdsEventStore store;
        QVERIFY(waitLoaded(store));
        OtherClient other;
        // The calendar the team's events carry, as a refetch sees it.
        auto shown = [&] {
            for (const auto &e : store.events(
                     QDateTime(QDate(2026, 12, 7), QTime(0, 0)), QDateTime(QDate(2026, 12, 14), QTime(0, 0))))
                if (e->sourceUid == kTeam)
                    return e->calendar->name + ' ' + e->calendar->color.name();
            return QString();
        };
        auto listed = [&](const QString &name) {
            const auto calendars = store.calendars();
            return std::any_of(
                calendars.begin(), calendars.end(), [&](const auto &c) { return c->name == name; });
        };
        QCOMPARE(shown(), QStringLiteral("Team #3366cc"));
        QSignalSpy changed(&store, &EventStore::changed);
        QVERIFY(other.edit(false, "Team", "#3366cc", true));
        QTRY_VERIFY_WITH_TIMEOUT(
            !changed.isEmpty() && shown().isEmpty() && !listed("Team"), kServiceTimeoutMs);
        QVERIFY(other.edit(true, "Team (renamed)", "#aa2200", true));
        QTRY_COMPARE_WITH_TIMEOUT(shown(), QStringLiteral("Team (renamed) #aa2200"), kServiceTimeoutMs);
        // Hidden in the calendar application: hidden here too.
        QVERIFY(other.edit(true, "Team", "#3366cc", false));
        QTRY_COMPARE_WITH_TIMEOUT(shown(), QString(), kServiceTimeoutMs);
        QVERIFY(other.edit(true, "Team", "#3366cc", true));
        QTRY_COMPARE_WITH_TIMEOUT(shown(), QStringLiteral("Team #3366cc"), kServiceTimeoutMs);

        changed.clear();
        QVERIFY(other.addSource("moriva-extra", "Extra"));
        QTRY_VERIFY_WITH_TIMEOUT(
            !changed.isEmpty() && listed(QStringLiteral("Extra")) && store.isLoaded(), kServiceTimeoutMs);
        changed.clear();
        ESource *extra = e_source_registry_ref_source(other.registry, "moriva-extra");
        QVERIFY(extra && e_source_remove_sync(extra, nullptr, nullptr));
        g_object_unref(extra);
        QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty() && !listed(QStringLiteral("Extra")), kServiceTimeoutMs);
    }

    void survivesTheCalendarServiceRestarting()
    {
        EdsEventStore store;
        QVERIFY(waitLoaded(store));
        const QDate april(2027, 4, 1);
        QVERIFY(OtherClient().write({ vevent("doomed", "20270401T070000Z", "20270401T080000Z", "Doomed") }));
        QTRY_COMPARE_WITH_TIMEOUT(team(store, april, april.addDays(1)).size(), 1, kServiceTimeoutMs);

        // The calendar factory this test's private bus started for it.
        const guint32 pid = factoryPid();
        QVERIFY(pid > 1);
        QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);

        // Another application writes through a freshly started service; the
        // store must reconnect by itself, show the new event and drop the
        // one deleted while it was away. The killed factory is gone from the
        // bus before that application asks for one.
        QTRY_VERIFY_WITH_TIMEOUT(factoryPid() != pid, kServiceTimeoutMs);
        OtherClient other;
        QVERIFY(other.remove("doomed"));
        QVERIFY(other.write(
            { vevent("after-restart", "20270401T090000Z", "20270401T100000Z", "After restart") }));
        QTRY_COMPARE_WITH_TIMEOUT(team(store, april, april.addDays(1)),
            QStringList { "2027-04-01 11:00|2027-04-01 12:00|After restart" }, kServiceTimeoutMs);
    }

    void storeGoneBeforeTheServiceAnswersIsSafe()
    {
        // Callbacks still in flight must find the store gone, not crash on it.
        // The event loop runs a little longer each round, so the store is gone
        // at a different step of its start; no check follows the wait.
        for (int i = 0; i < 5; ++i) {
            auto *store = new EdsEventStore;
            QTest::qWait(i * 20);
            delete store;
        }
        // A store that loads goes through the same service after the ones
        // deleted: by then their answers have come and found nobody.
        EdsEventStore store;
        QVERIFY(waitLoaded(store));
    }
};

QTEST_GUILESS_MAIN(tst_EdsEventStore)
#include "tst_edseventstore.moc"
