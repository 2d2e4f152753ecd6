#include "IcsFileReader.h"
#include "TestFiles.h"
#include "ZonePin.h"

#include <QTest>

namespace {

QByteArray vevent(const QByteArray &lines)
{
    return icsCalendar(
        "BEGIN:VEVENT\r\nUID:e\r\nDTSTAMP:20250101T000000Z\r\n" + lines + "\r\nEND:VEVENT\r\n");
}

} // namespace

class TestIcsFileReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(pinLocalZone("Europe/Berlin")); }

    void manyPrivateZones()
    {
        // 3,000 definitions under 3,000 names, as exports of shared mailboxes
        // carry: each is read by its own rules (this took 28 s once).
        QByteArray zones, events;
        for (int i = 0; i < 3000; ++i) {
            const int standard = i % 25 - 12;
            const QByteArray id = "Private " + QByteArray::number(i);
            const auto offset = [](int hours) { return QString::asprintf("%+03d00", hours).toLatin1(); };
            zones += "BEGIN:VTIMEZONE\r\nTZID:" + id
                + "\r\nBEGIN:STANDARD\r\nDTSTART:16010101T030000\r\nTZOFFSETFROM:" + offset(standard + 1)
                + "\r\nTZOFFSETTO:" + offset(standard)
                + "\r\nRRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10\r\nEND:STANDARD\r\nBEGIN:DAYLIGHT\r\nDTSTART:"
                + QString::asprintf("16010101T%02d0000", 1 + i % 3).toLatin1()
                + "\r\nTZOFFSETFROM:" + offset(standard) + "\r\nTZOFFSETTO:" + offset(standard + 1)
                + "\r\nRRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=3\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n";
            events += "BEGIN:VEVENT\r\nUID:" + QByteArray::number(i) + "\r\nDTSTART;TZID=" + id
                + ":20250715T120000\r\nEND:VEVENT\r\n";
        }
        const IcsFileContent content = IcsFileReader::parse(icsCalendar(zones + events));
        QCOMPARE(content.events.size(), 3000);
        for (const IcsEvent &e : content.events) {
            const int standard = e.uid.toInt() % 25 - 12;
            QCOMPARE(e.start.toDateTime().toUTC(),
                QDateTime(QDate(2025, 7, 15), QTime(12, 0), Qt::UTC).addSecs(-3600 * (standard + 1)));
        }
    }

    void damagedInput_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("events");
        const QByteArray event = "BEGIN:VEVENT\nUID:x\nDTSTART:20250303T100000Z\nEND:VEVENT\n";
        // clang-format off
        QTest::newRow("crasher: month zero in DTSTART") << readFile(QStringLiteral(MORIVA_TEST_DATA "/crashers/crash_dtstart_month.ics")) << 0;
        QTest::newRow("crasher: month 27 in RDATE") << readFile(QStringLiteral(MORIVA_TEST_DATA "/crashers/crash_rdate_month.ics")) << 1;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("truncated") << QByteArray("BEGIN:VCALENDAR\nBEGIN:VEVENT\nUID:x\nDTSTART:2025030") << 0;
        QTest::newRow("bare VEVENT") << event << 1;
        QTest::newRow("two calendars in one file") << vevent("DTSTART:20250303T100000Z") + vevent("DTSTART:20250304T100000Z") << 2;
        QTest::newRow("year 0 in UNTIL drops the rule, not the event") << vevent("DTSTART:20250303T100000Z\r\nRRULE:FREQ=DAILY;UNTIL=00000101T000000Z") << 1;
        QTest::newRow("impossible EXDATE and RDATE are ignored") << vevent("DTSTART:20250303T100000Z\r\nRRULE:FREQ=DAILY;COUNT=2\r\nEXDATE:20251341T000000Z\r\nRDATE:56432759") << 1;
        // clang-format on
    }

    void damagedInput()
    {
        QFETCH(QByteArray, bytes);
        const IcsFileContent content = IcsFileReader::parse(bytes);
        QTEST(int(content.events.size()), "events");
        // Whatever was kept must be safe for date arithmetic later.
        for (const IcsEvent &e : content.events) {
            QVERIFY(e.start.date.isValid());
            for (const auto &r : e.rdates)
                QVERIFY(r.start.date.isValid());
            for (const auto &x : e.exdates)
                QVERIFY(x.date.isValid());
        }
    }
};

QTEST_GUILESS_MAIN(TestIcsFileReader)
#include "tst_icsfilereader.moc"
