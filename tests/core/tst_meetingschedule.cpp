#include "MeetingSchedule.h"
#include "MeetingWatch.h"

#include "FakeClock.h"
#include "FakeEventStore.h"
#include "ZonePin.h"

#include <QSignalSpy>
#include <QTest>

namespace {

/** "HH:mm:ss" on 7 December; hours from 24 on reach into the next day. */
QDateTime on7th(const QString &time)
{
    const QStringList hms = time.split(u':');
    return QDateTime(QDate(2026, 12, 7), QTime(0, 0))
        .addSecs(hms[0].toInt() * 3600 + hms[1].toInt() * 60 + hms[2].toInt());
}

/** "Title@HH:mm:ss-HH:mm:ss[+zoom|+page][ allday]", as on7th() reads times. */
EventPtr fromSpec(const QString &spec)
{
    const QStringList parts = spec.split(u'@');
    const QStringList times = parts[1].section(u'+', 0, 0).section(u' ', 0, 0).split(u'-');
    auto e = std::make_shared<CalendarEvent>();
    e->identifier = parts[0];
    e->title = parts[0];
    e->start = on7th(times[0]);
    e->end = on7th(times[1]);
    e->allDay = spec.endsWith(QLatin1String(" allday"));
    if (spec.contains(QLatin1String("+zoom")))
        e->notes = QStringLiteral("Join https://zoom.us/j/") + parts[0];
    if (spec.contains(QLatin1String("+page")))
        e->url = QUrl(QStringLiteral("https://example.org/agenda"));
    return e;
}

EventList events(const QStringList &specs)
{
    EventList out;
    for (const QString &spec : specs)
        out.append(fromSpec(spec));
    return out;
}

} // namespace

class tst_MeetingSchedule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(pinLocalZone("Europe/Berlin"));
        QVERIFY(pinLocale(QLocale(QLocale::English, QLocale::UnitedStates)));
    }

    // What the tray icon offers at a moment of the day: the line under the
    // date in its tooltip, and the meeting a click joins.
    void tooltipAndJoin_data()
    {
        QTest::addColumn<QString>("now");
        QTest::addColumn<QStringList>("day");
        QTest::addColumn<QString>("second"); // the line under the date; empty: none
        QTest::addColumn<QString>("joined"); // empty: the popover opens instead

        // clang-format off
        QTest::newRow("nothing left today") << "18:00:00" << QStringList { "Standup@09:00:00-09:15:00" } << "" << "";
        QTest::newRow("next in whole minutes") << "08:48:00" << QStringList { "Standup@09:00:00-09:15:00" } << "Standup in 12 min" << "";
        QTest::newRow("a started minute counts") << "08:48:50" << QStringList { "Standup@09:00:00-09:15:00" } << "Standup in 12 min" << "";
        QTest::newRow("hours and minutes") << "07:55:00" << QStringList { "Standup@09:00:00-09:15:00" } << "Standup in 1 h 5 min" << "";
        QTest::newRow("whole hours") << "07:00:00" << QStringList { "Standup@09:00:00-09:15:00" } << "Standup in 2 h" << "";
        QTest::newRow("the one in progress is not next") << "09:05:00" << QStringList { "Review@11:00:00-12:00:00", "Standup@09:00:00-09:15:00" } << "Review in 1 h 55 min" << "";
        QTest::newRow("all-day events are not next") << "08:00:00" << QStringList { "Holiday@00:00:00-24:00:00 allday" } << "" << "";
        QTest::newRow("meeting starts in ten minutes") << "08:50:00" << QStringList { "A@09:00:00-10:00:00+zoom" } << "A in 10 min" << "A";
        QTest::newRow("meeting starts in eleven minutes") << "08:49:00" << QStringList { "A@09:00:00-10:00:00+zoom" } << "A in 11 min" << "";
        QTest::newRow("meeting has ended") << "10:00:00" << QStringList { "A@09:00:00-10:00:00+zoom" } << "" << "";
        QTest::newRow("the next one wins near the end of this one") << "09:55:00" << QStringList { "A@09:00:00-10:00:00+zoom", "B@10:00:00-10:30:00+zoom" } << "B in 5 min" << "B";
        QTest::newRow("the current one wins near its start") << "09:02:00" << QStringList { "A@09:00:00-10:00:00+zoom", "B@09:10:00-09:30:00+zoom" } << "B in 8 min" << "A";
        QTest::newRow("only events with a meeting are joined") << "09:02:00" << QStringList { "A@09:00:00-10:00:00", "B@09:10:00-09:30:00+zoom" } << "B in 8 min" << "B";
        QTest::newRow("a web page is no meeting") << "09:02:00" << QStringList { "A@09:00:00-10:00:00+page" } << "" << "";
        QTest::newRow("all-day meetings are never joined") << "09:02:00" << QStringList { "A@00:00:00-24:00:00+zoom allday" } << "" << "";
        // clang-format on
    }

    void tooltipAndJoin()
    {
        QFETCH(QString, now);
        QFETCH(QStringList, day);
        QFETCH(QString, second);
        QFETCH(QString, joined);
        const QString text = MeetingSchedule::tooltipText(on7th(now), events(day));
        QCOMPARE(text.section(u'\n', 0, 0), QStringLiteral("Monday, December 7, 2026"));
        QCOMPARE(text.section(u'\n', 1), second);
        const auto target = MeetingSchedule::joinTarget(on7th(now), events(day));
        QCOMPARE(target ? target->event->identifier : QString(), joined);
        if (target)
            QCOMPARE(target->link.url, QUrl(QStringLiteral("https://zoom.us/j/") + joined));
    }

    void watchWakesOnlyWhileSomethingIsAhead()
    {
        FakeEventStore store;
        FakeClock clock(on7th(QStringLiteral("08:47:30")));
        store.all = events({ QStringLiteral("Standup@09:00:00-09:15:00+zoom") });
        MeetingWatch watch(&store, &clock);
        QSignalSpy tooltips(&watch, &MeetingWatch::tooltipChanged);
        QVERIFY(watch.tooltip().endsWith(QLatin1String("\nStandup in 13 min")));
        QCOMPARE(watch.nextWake(), on7th(QStringLiteral("08:48:00")));

        clock.setNow(on7th(QStringLiteral("08:48:00")));
        watch.refresh();
        QCOMPARE(tooltips.size(), 1);
        QVERIFY(watch.tooltip().endsWith(QLatin1String("\nStandup in 12 min")));

        // Once the day's last event has begun there is nothing to count down: no wake-ups.
        clock.setNow(on7th(QStringLiteral("09:00:00")));
        watch.refresh();
        QVERIFY(!watch.tooltip().contains(u'\n'));
        QVERIFY(!watch.nextWake().isValid());

        // A new event arriving in the calendars starts the countdown again.
        store.all.append(fromSpec(QStringLiteral("Review@11:00:00-12:00:00")));
        store.emitChanged();
        QVERIFY(watch.tooltip().endsWith(QLatin1String("\nReview in 2 h")));
        QCOMPARE(watch.nextWake(), on7th(QStringLiteral("09:01:00")));
    }

    void remindersOnlyWhenEnabledAndOnce()
    {
        FakeEventStore store;
        FakeClock clock(on7th(QStringLiteral("20:00:00")));
        // After today's last start, only the reminder can wake the watch; the page is no meeting.
        store.all = events({ QStringLiteral("Late@22:00:00-23:00:00+zoom"),
            QStringLiteral("Talk@21:00:00-22:00:00+page"), QStringLiteral("Early@24:30:00-25:00:00+zoom") });
        MeetingWatch watch(&store, &clock);
        QSignalSpy reminders(&watch, &MeetingWatch::reminderDue);
        clock.setNow(on7th(QStringLiteral("22:30:00")));
        watch.refresh();
        QVERIFY(!watch.nextWake().isValid());

        watch.setRemindersEnabled(true);
        QCOMPARE(watch.nextWake(), on7th(QStringLiteral("24:29:00")));
        clock.setNow(watch.nextWake());
        watch.refresh();
        QCOMPARE(reminders.size(), 1);
        QCOMPARE(reminders[0][0].value<EventPtr>()->identifier, QStringLiteral("Early"));
        QCOMPARE(reminders[0][1].value<MeetingLink>().url, QUrl(QStringLiteral("https://zoom.us/j/Early")));
        watch.refresh();
        QCOMPARE(reminders.size(), 1);

        // Enabled late, with less than a minute left: sent at once.
        clock.setNow(on7th(QStringLiteral("21:59:30")));
        watch.refresh();
        QCOMPARE(reminders.size(), 2);
        QCOMPARE(reminders[1][0].value<EventPtr>()->identifier, QStringLiteral("Late"));
    }
};

QTEST_GUILESS_MAIN(tst_MeetingSchedule)
#include "tst_meetingschedule.moc"
