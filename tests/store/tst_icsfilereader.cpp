#include "IcsFileReader.h"
#include "ZoneResolver.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <ctime>

namespace {

QByteArray calendar(const QByteArray &body)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\n" + body + "END:VCALENDAR\r\n";
}

QByteArray vevent(const QByteArray &lines)
{
    return calendar("BEGIN:VEVENT\r\nUID:e\r\nDTSTAMP:20250101T000000Z\r\n" + lines + "END:VEVENT\r\n");
}

// A US-rules zone under a name no database knows, as Outlook exports it.
const QByteArray usEasternDefinition
    = "BEGIN:VTIMEZONE\r\nTZID:(UTC-05:00) Eastern Time\r\n"
      "BEGIN:STANDARD\r\nDTSTART:16011104T020000\r\nTZOFFSETFROM:-0400\r\n"
      "TZOFFSETTO:-0500\r\nRRULE:FREQ=YEARLY;BYDAY=1SU;BYMONTH=11\r\nEND:STANDARD\r\n"
      "BEGIN:DAYLIGHT\r\nDTSTART:16010311T020000\r\nTZOFFSETFROM:-0500\r\n"
      "TZOFFSETTO:-0400\r\nRRULE:FREQ=YEARLY;BYDAY=2SU;BYMONTH=3\r\nEND:DAYLIGHT\r\n"
      "END:VTIMEZONE\r\n";

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestIcsFileReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
        QVERIFY2(
            QDateTime(QDate(2025, 1, 15), QTime(12, 0)).offsetFromUtc() == 3600, "zone pin did not take");
    }

    void zoneNames_data()
    {
        QTest::addColumn<QByteArray>("tzid");
        QTest::addColumn<QByteArray>("expected"); // empty: no system zone

        QTest::newRow("IANA name") << QByteArray("Europe/Berlin") << QByteArray("Europe/Berlin");
        QTest::newRow("libical prefix")
            << QByteArray("/freeassociation.sourceforge.net/Europe/Berlin") << QByteArray("Europe/Berlin");
        QTest::newRow("mozilla prefix with version")
            << QByteArray("/mozilla.org/20050126_1/America/New_York") << QByteArray("America/New_York");
        QTest::newRow("prefix before a three-part name")
            << QByteArray("/softwarestudio.org/Olson_20011030_5/America/Argentina/Buenos_Aires")
            << QByteArray("America/Argentina/Buenos_Aires");
        QTest::newRow("Windows name") << QByteArray("W. Europe Standard Time") << QByteArray("Europe/Berlin");
        QTest::newRow("numbered Windows name")
            << QByteArray("GMT Standard Time 1") << QByteArray("Europe/London");
        QTest::newRow("quoted Windows name")
            << QByteArray("\"Pacific Standard Time\"") << QByteArray("America/Los_Angeles");
        QTest::newRow("private name") << QByteArray("Office Time") << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("only slashes") << QByteArray("///") << QByteArray();
    }

    void zoneNames()
    {
        QFETCH(QByteArray, tzid);
        QFETCH(QByteArray, expected);
        const QTimeZone zone = ZoneResolver::systemZone(tzid);
        if (expected.isEmpty()) {
            QVERIFY(!zone.isValid());
            return;
        }
        QVERIFY(zone.isValid());
        // Compare behaviour, not spelling: databases differ in which alias is canonical.
        const QTimeZone want(expected);
        for (int month : { 1, 4, 7, 10 }) {
            const QDateTime probe(QDate(2025, month, 15), QTime(12, 0), Qt::UTC);
            QCOMPARE(zone.offsetFromUtc(probe), want.offsetFromUtc(probe));
        }
    }

    void startTimes_data()
    {
        QTest::addColumn<QByteArray>("ics");
        QTest::addColumn<QString>("expectedUtc"); // empty: the event is skipped
        QTest::addColumn<int>("kind");

        const int date = int(IcsTime::Kind::date), floating = int(IcsTime::Kind::floating),
                  zoned = int(IcsTime::Kind::zoned);
        QTest::newRow("UTC") << vevent("DTSTART:20250305T120000Z\r\n") << "2025-03-05T12:00:00Z" << zoned;
        QTest::newRow("floating is local wall time")
            << vevent("DTSTART:20250305T120000\r\n") << "2025-03-05T11:00:00Z" << floating;
        QTest::newRow("date starts at local midnight")
            << vevent("DTSTART;VALUE=DATE:20250305\r\n") << "2025-03-04T23:00:00Z" << date;
        QTest::newRow("IANA zone after US change")
            << vevent("DTSTART;TZID=America/New_York:20250310T090000\r\n") << "2025-03-10T13:00:00Z" << zoned;
        QTest::newRow("system zone beats a wrong definition") << calendar(
            "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
            "TZOFFSETFROM:+0000\r\nTZOFFSETTO:+0000\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"
            "BEGIN:VEVENT\r\nUID:x\r\nDTSTART;TZID=Europe/Berlin:20250701T100000\r\nEND:VEVENT\r\n")
                                                              << "2025-07-01T08:00:00Z" << zoned;
        QTest::newRow("private zone follows its own US rules") << calendar(usEasternDefinition
            + "BEGIN:VEVENT\r\nUID:x\r\nDTSTART;TZID=(UTC-05:00) Eastern Time:20250310T090000\r\n"
              "END:VEVENT\r\n") << "2025-03-10T13:00:00Z" << zoned;
        QTest::newRow("private fixed-offset zone")
            << calendar("BEGIN:VTIMEZONE\r\nTZID:Office\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
                        "TZOFFSETFROM:+0530\r\nTZOFFSETTO:+0530\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"
                        "BEGIN:VEVENT\r\nUID:x\r\nDTSTART;TZID=Office:20250310T100000\r\nEND:VEVENT\r\n")
            << "2025-03-10T04:30:00Z" << zoned;
        QTest::newRow("unknown zone without definition stays wall time")
            << vevent("DTSTART;TZID=Nowhere/Special:20250305T120000\r\n") << "2025-03-05T11:00:00Z"
            << floating;
        QTest::newRow("month zero") << vevent("DTSTART:20250-27\r\n") << QString() << 0;
        QTest::newRow("February 30") << vevent("DTSTART:20250230T100000Z\r\n") << QString() << 0;
        QTest::newRow("hour 25") << vevent("DTSTART:20250305T250000Z\r\n") << QString() << 0;
        QTest::newRow("no DTSTART") << vevent("SUMMARY:x\r\n") << QString() << 0;
    }

    void startTimes()
    {
        QFETCH(QByteArray, ics);
        QFETCH(QString, expectedUtc);
        QFETCH(int, kind);
        const IcsFileContent content = IcsFileReader::parse(ics);
        if (expectedUtc.isEmpty()) {
            QCOMPARE(content.events.size(), 0);
            QCOMPARE(content.skipped, 1);
            return;
        }
        QCOMPARE(content.events.size(), 1);
        const IcsEvent &e = content.events.first();
        QCOMPARE(int(e.start.kind), kind);
        QCOMPARE(e.start.toDateTime().toUTC().toString(Qt::ISODate), expectedUtc);
    }

    void durations_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("seconds");

        QTest::newRow("all-day DTEND is exclusive")
            << QByteArray("DTSTART;VALUE=DATE:20250303\r\nDTEND;VALUE=DATE:20250306\r\n") << 3 << 0;
        QTest::newRow("all-day without end lasts a day")
            << QByteArray("DTSTART;VALUE=DATE:20250303\r\n") << 1 << 0;
        QTest::newRow("all-day with DTEND equal to DTSTART lasts a day")
            << QByteArray("DTSTART;VALUE=DATE:20250303\r\nDTEND;VALUE=DATE:20250303\r\n") << 1 << 0;
        QTest::newRow("all-day DURATION in weeks")
            << QByteArray("DTSTART;VALUE=DATE:20250303\r\nDURATION:P1W\r\n") << 7 << 0;
        QTest::newRow("timed without end has no length")
            << QByteArray("DTSTART:20250303T100000Z\r\n") << 0 << 0;
        QTest::newRow("wall-clock length across the spring change") << QByteArray(
            "DTSTART;TZID=Europe/Berlin:20250329T220000\r\nDTEND;TZID=Europe/Berlin:20250330T220000\r\n")
                                                                    << 1 << 0;
        QTest::newRow("DTEND in another zone is exact")
            << QByteArray("DTSTART;TZID=Europe/Berlin:20250303T100000\r\nDTEND:20250303T100000Z\r\n") << 0
            << 3600;
        QTest::newRow("DURATION days and hours")
            << QByteArray("DTSTART:20250303T100000Z\r\nDURATION:P1DT2H30M\r\n") << 1 << 9000;
        QTest::newRow("negative DURATION is none")
            << QByteArray("DTSTART:20250303T100000Z\r\nDURATION:-PT1H\r\n") << 0 << 0;
        QTest::newRow("end before start is none")
            << QByteArray("DTSTART:20250303T100000Z\r\nDTEND:20250303T090000Z\r\n") << 0 << 0;
    }

    void durations()
    {
        QFETCH(QByteArray, lines);
        QFETCH(int, days);
        QFETCH(int, seconds);
        const IcsFileContent content = IcsFileReader::parse(vevent(lines));
        QCOMPARE(content.events.size(), 1);
        QCOMPARE(content.events.first().durationDays, days);
        QCOMPARE(content.events.first().durationSeconds, qint64(seconds));
    }

    void fields()
    {
        const IcsFileContent content = IcsFileReader::parse(calendar(
            "X-WR-CALNAME:Family\r\nX-APPLE-CALENDAR-COLOR:#FF000080\r\n"
            "BEGIN:VEVENT\r\nUID: spaced-uid \r\nDTSTART:20250303T100000Z\r\nSUMMARY:\r\n"
            "LOCATION:Caf\xC3\xA9\\, upstairs\r\nURL:https://example.org/a b\r\nSTATUS:CANCELLED\r\n"
            "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT5M\r\nDESCRIPTION:alarm text\r\nEND:VALARM\r\n"
            "END:VEVENT\r\n"
            "BEGIN:VEVENT\r\nUID:second\r\nDTSTART:20250304T100000Z\r\nDESCRIPTION:line\\nnext\r\n"
            "RECURRENCE-ID;RANGE=THISANDFUTURE:20250304T100000Z\r\nEND:VEVENT\r\n"
            "BEGIN:VTODO\r\nUID:task\r\nDTSTART:20250303T100000Z\r\nEND:VTODO\r\n"));
        QCOMPARE(content.calendarName, QStringLiteral("Family"));
        QCOMPARE(content.color, QColor(255, 0, 0, 128));
        QCOMPARE(content.events.size(), 2);
        const IcsEvent &first = content.events[0];
        QCOMPARE(first.uid, QStringLiteral("spaced-uid"));
        QVERIFY(first.summary.has_value()); // present but empty is not absent
        QCOMPARE(*first.summary, QString());
        QCOMPARE(first.location, QStringLiteral("Caf\u00e9, upstairs"));
        QVERIFY(first.url.isEmpty()); // a space makes it invalid; better none than a wrong link
        QVERIFY(first.cancelled);
        QVERIFY(first.description.isEmpty()); // the alarm's text is not the event's
        const IcsEvent &second = content.events[1];
        QVERIFY(!second.summary.has_value());
        QCOMPARE(second.description, QStringLiteral("line\nnext"));
        QVERIFY(second.recurrenceId.isValid());
        QVERIFY(second.thisAndFuture);
        QVERIFY(!second.isRecurring());
    }

    void colors_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("CalDAV RGBA keeps the order") << "#3A86FFFF" << QColor(0x3a, 0x86, 0xff, 0xff);
        QTest::newRow("RGB") << "#ff0000" << QColor(255, 0, 0);
        QTest::newRow("CSS name") << "turquoise" << QColor(64, 224, 208);
        QTest::newRow("surrounding blanks") << "  #00FF00\n" << QColor(0, 255, 0);
        QTest::newRow("garbage") << "#zzzzzzzz" << QColor();
        QTest::newRow("empty") << "" << QColor();
    }

    void colors()
    {
        QFETCH(QString, text);
        QFETCH(QColor, expected);
        QCOMPARE(IcsFileReader::parseColor(text), expected);
    }

    void damagedInput_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("events");

        QTest::newRow("crasher: month zero in DTSTART")
            << readFile(QStringLiteral(MORIVA_TEST_DATA "/crashers/crash_dtstart_month.ics")) << 0;
        QTest::newRow("crasher: month 27 in RDATE")
            << readFile(QStringLiteral(MORIVA_TEST_DATA "/crashers/crash_rdate_month.ics")) << 1;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("not a calendar") << QByteArray("hello world\n\x01\x02") << 0;
        QTest::newRow("empty calendar") << calendar({}) << 0;
        QTest::newRow("truncated") << QByteArray("BEGIN:VCALENDAR\nBEGIN:VEVENT\nUID:x\nDTSTART:2025030")
                                   << 0;
        QTest::newRow("NUL byte ends the text") << QByteArray(
            "BEGIN:VCALENDAR\nBEGIN:VEVENT\nUID:x\nDTSTART:20250303T100000Z\nEND:VEVENT\n"
            "END:VCALENDAR\n\0garbage",
            90) << 1;
        QTest::newRow("byte order mark")
            << QByteArray("\xEF\xBB\xBF") + vevent("DTSTART:20250303T100000Z\r\n") << 1;
        QTest::newRow("bare VEVENT") << QByteArray(
            "BEGIN:VEVENT\nUID:x\nDTSTART:20250303T100000Z\nEND:VEVENT\n")
                                     << 1;
        QTest::newRow("two calendars in one file")
            << vevent("DTSTART:20250303T100000Z\r\n") + vevent("DTSTART:20250304T100000Z\r\n") << 2;
        QTest::newRow("year 0 in UNTIL drops the rule, not the event")
            << vevent("DTSTART:20250303T100000Z\r\nRRULE:FREQ=DAILY;UNTIL=00000101T000000Z\r\n") << 1;
        QTest::newRow("impossible EXDATE and RDATE are ignored") << vevent(
            "DTSTART:20250303T100000Z\r\nRRULE:FREQ=DAILY;COUNT=2\r\nEXDATE:20251341T000000Z\r\n"
            "RDATE:56432759\r\n") << 1;
        QTest::newRow("very long line")
            << vevent("DTSTART:20250303T100000Z\r\nSUMMARY:" + QByteArray(1 << 20, 'x') + "\r\n") << 1;
    }

    void damagedInput()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, events);
        const IcsFileContent content = IcsFileReader::parse(bytes);
        QCOMPARE(content.events.size(), events);
        for (const IcsEvent &e : content.events) {
            QVERIFY(e.start.date.isValid());
            for (const IcsPeriod &r : e.rdates)
                QVERIFY(r.start.date.isValid());
            for (const IcsTime &x : e.exdates)
                QVERIFY(x.date.isValid());
        }
    }

    void controlCharactersAndFolds()
    {
        // A fold may fall inside a UTF-8 sequence; the text must come out whole.
        const QByteArray snowman = "\xE2\x98\x83";
        const QByteArray folded
            = "SUMMARY:Snow " + snowman.left(1) + "\r\n " + snowman.mid(1) + " man\x07\r\n";
        const IcsFileContent content = IcsFileReader::parse(vevent("DTSTART:20250303T100000Z\r\n" + folded));
        QCOMPARE(content.events.size(), 1);
        QCOMPARE(content.events.first().summary.value_or(QString()), QStringLiteral("Snow \u2603 man"));
    }
};

QTEST_GUILESS_MAIN(TestIcsFileReader)
#include "tst_icsfilereader.moc"
