#include "IcsPrescan.h"

#include <QDate>
#include <QTest>

// What the scan proves, line by line: a wrong "cannot touch" loses an event
// from every listing, so each trap here must come out as "parse it" or with
// days that reach the event.

class TestIcsPrescan : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void proves_data();
    void proves();
};

namespace {

QByteArray wrap(const QByteArray &eventLines)
{
    return "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:u@example.com\r\n" + eventLines + "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

qint64 day(int y, int m, int d)
{
    return QDate(y, m, d).toJulianDay();
}

} // namespace

void TestIcsPrescan::proves_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("mustParse");
    /** Ignored when it must be parsed: whether 1 to 2 March 2025 may be touched. */
    QTest::addColumn<bool>("touchesMarch");

    QTest::newRow("far one-off") << wrap("DTSTART:20250101T100000Z\r\nDTEND:20250101T110000Z\r\n") << false << false;
    QTest::newRow("near one-off") << wrap("DTSTART:20250301T100000Z\r\n") << false << true;
    QTest::newRow("written 28 February, in March by its zone")
        << wrap("DTSTART;TZID=Etc/GMT+12:20250228T230000\r\n") << false << true;
    QTest::newRow("written 3 March, in March 2 by its zone")
        << wrap("DTSTART;TZID=Pacific/Kiritimati:20250303T010000\r\n") << false << true;
    QTest::newRow("well after, all-day") << wrap("DTSTART;VALUE=DATE:20250310\r\n") << false << false;
    QTest::newRow("DURATION in weeks reaches March") << wrap("DTSTART:20250201T000000Z\r\nDURATION:P4W\r\n") << false
                                                     << true;
    QTest::newRow("DURATION in hours reaches March")
        << wrap("DTSTART:20250220T000000Z\r\nDURATION:PT200H\r\n") << false << true;
    QTest::newRow("huge DURATION") << wrap("DTSTART:20000101T000000Z\r\nDURATION:P99999999999W\r\n") << false << true;
    QTest::newRow("DTEND far after DTSTART") << wrap("DTSTART:20240101\r\nDTEND:20250302\r\n") << false << true;
    QTest::newRow("DTEND before DTSTART") << wrap("DTSTART:20250302T100000Z\r\nDTEND:20240101T000000Z\r\n")
                                          << false << true;
    QTest::newRow("a second DTSTART") << wrap("DTSTART:20240101T100000Z\r\nDTSTART:20250301T100000Z\r\n") << false
                                      << true;
    QTest::newRow("fold inside the DTSTART value") << wrap("DTSTART:2025\r\n 0301T100000Z\r\n") << false << true;
    QTest::newRow("lines ended by CR alone")
        << QByteArray("BEGIN:VCALENDAR\rBEGIN:VEVENT\rUID:u\rDTSTART:20250101T100000Z\rEND:VEVENT\rEND:VCALENDAR\r")
        << false << false;
    QTest::newRow("no events at all") << QByteArray("BEGIN:VCALENDAR\r\nBEGIN:VTODO\r\nUID:t\r\nDTSTART:20250301\r\n"
                                                    "RRULE:FREQ=DAILY\r\nEND:VTODO\r\nEND:VCALENDAR\r\n")
                                      << false << false;
    QTest::newRow("zone rules are not the event's")
        << QByteArray("BEGIN:VCALENDAR\r\nBEGIN:VTIMEZONE\r\nTZID:X\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
                      "RRULE:FREQ=YEARLY\r\nTZOFFSETTO:+0100\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\nBEGIN:VEVENT\r\n"
                      "UID:u\r\nDTSTART;TZID=X:20240101T100000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
        << false << false;

    const QList<QPair<const char *, QByteArray>> opaque {
        { "RRULE", wrap("DTSTART:20200101T100000Z\r\nRRULE:FREQ=YEARLY\r\n") },
        { "lower-case rrule", wrap("DTSTART:20200101T100000Z\r\nrrule:FREQ=YEARLY\r\n") },
        { "folded RRULE name", wrap("DTSTART:20200101T100000Z\r\nRRU\r\n LE:FREQ=YEARLY\r\n") },
        { "folded RRULE, lines ended by CR alone",
            "BEGIN:VCALENDAR\rBEGIN:VEVENT\rUID:u\rDTSTART:20200101T100000Z\rRR\r ULE:FREQ=DAILY\rEND:VEVENT\rEND:VCALENDAR" },
        { "CR inside a line ended by LF",
            "BEGIN:VEVENT\nUID:u\nDTSTART:20200101T100000Z\rRRULE:FREQ=DAILY\nEND:VEVENT\n" },
        { "RDATE", wrap("DTSTART:20200101T100000Z\r\nRDATE:20250301T100000Z\r\n") },
        { "EXRULE", wrap("DTSTART:20200101T100000Z\r\nExRule:FREQ=DAILY\r\n") },
        { "EXDATE", wrap("DTSTART:20200101T100000Z\r\nEXDATE:20200101T100000Z\r\n") },
        { "RECURRENCE-ID", wrap("RECURRENCE-ID:20250301T100000Z\r\nDTSTART:20200101T100000Z\r\n") },
        { "libical's error note", wrap("DTSTART:20200101T100000Z\r\nX-LIC-ERROR:x\r\n") },
        { "no DTSTART", wrap("SUMMARY:x\r\n") },
        { "no UID", "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nDTSTART:20200101T100000Z\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n" },
        { "two UIDs", wrap("UID:v\r\nDTSTART:20200101T100000Z\r\n") },
        { "escaped UID", "BEGIN:VEVENT\r\nUID:a\\,b\r\nDTSTART:20200101T100000Z\r\nEND:VEVENT\r\n" },
        { "DTSTART as a period", wrap("DTSTART;VALUE=PERIOD:20200101T100000Z/PT1H\r\n") },
        { "DTSTART with dashes", wrap("DTSTART:2020-01-01\r\n") },
        { "DTSTART impossible", wrap("DTSTART:20200231\r\n") },
        { "DURATION unreadable", wrap("DTSTART:20200101T100000Z\r\nDURATION:1H\r\n") },
        { "lower-case BEGIN", "BEGIN:VCALENDAR\r\nbegin:VEVENT\r\nUID:u\r\nDTSTART:20200101\r\nEND:VEVENT\r\n"
                              "END:VCALENDAR\r\n" },
        { "lower-case component", "BEGIN:VCALENDAR\r\nBEGIN:vevent\r\nUID:u\r\nDTSTART:20200101\r\nEND:vevent\r\n"
                                  "END:VCALENDAR\r\n" },
        { "END that closes another", "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:u\r\nDTSTART:20200101\r\n"
                                     "END:VCALENDAR\r\nRRULE:FREQ=DAILY\r\nEND:VEVENT\r\n" },
        { "never closed", "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:u\r\nDTSTART:20200101\r\n" },
        { "event in an event", wrap("DTSTART:20200101\r\nBEGIN:VEVENT\r\nUID:i\r\nDTSTART:20200101\r\nEND:VEVENT\r\n") },
        { "a line without a value", wrap("DTSTART:20200101\r\nRRULE\r\n") },
        { "a name with a blank", wrap("DTSTART:20200101\r\nR RULE:FREQ=DAILY\r\n") },
    };
    for (const auto &[name, text] : opaque)
        QTest::newRow(name) << text << true << true;
}

void TestIcsPrescan::proves()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, mustParse);
    QFETCH(bool, touchesMarch);
    const IcsPrescan::Result result = IcsPrescan::scan(text);
    QCOMPARE(result.mustParse, mustParse);
    QCOMPARE(result.mayTouch(day(2025, 3, 1), day(2025, 3, 2)), touchesMarch);
    if (!mustParse && result.firstDay <= result.lastDay)
        QVERIFY(!result.uids.isEmpty());
}

QTEST_GUILESS_MAIN(TestIcsPrescan)
#include "tst_icsprescan.moc"
