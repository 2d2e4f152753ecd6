#include "IcsFileReader.h"
#include "IcsTextParser.h"

#include "TestFiles.h"

#include <QTest>

namespace {

using Refusal = IcsTextParser::Refusal;

QByteArray vevent(const QByteArray &uid, const QByteArray &start, const QByteArray &extra = {})
{
    return "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTART:" + start + "\r\nSUMMARY:" + uid + "\r\n" + extra
        + "END:VEVENT\r\n";
}

/** Folds a content line at 75 octets, as writers do. */
QByteArray folded(const QByteArray &line)
{
    QByteArray out;
    out.reserve(line.size() + line.size() / 37 + 4);
    out.append(line.left(75));
    for (qsizetype i = 75; i < line.size(); i += 74)
        out.append("\r\n ").append(line.mid(i, 74));
    return out.append("\r\n");
}

QByteArray nested(int depth)
{
    return icsCalendar(vevent("good", "20250303T100000Z") + QByteArray("BEGIN:X-DEEP\r\n").repeated(depth)
        + QByteArray("END:X-DEEP\r\n").repeated(depth));
}

// libical's parser copies a multi-valued property with all its parameters
// once per value: a few hundred such lines cost it seconds and gigabytes.
QByteArray copyBomb()
{
    const QByteArray line = folded(
        "CATEGORIES" + QByteArray(";X=1").repeated(100) + ":" + QByteArray("a,").repeated(500) + "a");
    return icsCalendar(vevent("bomb", "20250303T100000Z", line.repeated(219)));
}

// Every unreadable value makes libical search the component's whole property list.
QByteArray removalStorm(int lines)
{
    return icsCalendar(vevent("storm", "20250303T100000Z", QByteArray("DTSTART:xx\r\n").repeated(lines)));
}

// About 3 MB and 100,000 lines of ordinary events, the kind a decade of a
// busy calendar gives: they must stay well inside the bounds.
QByteArray busyDecade(QStringList *uids)
{
    QByteArray body;
    for (int i = 0; i < 10'000; ++i) {
        uids->append(QStringLiteral("event-%1@example.com").arg(i));
        body += "BEGIN:VEVENT\r\nUID:event-" + QByteArray::number(i)
            + "@example.com\r\nDTSTAMP:20250101T000000Z\r\nDTSTART;TZID=Europe/Berlin:20250301T100000\r\n"
              "DTEND;TZID=Europe/Berlin:20250301T110000\r\nSUMMARY:Meeting with the team, as every "
              "week\r\n"
              "CATEGORIES:Work,Team,Weekly\r\nLOCATION:Room 4\r\nDESCRIPTION:Notes that are moderately "
              "long, as real ones are,\r\n and folded over a second "
              "line.\r\nATTENDEE;CN=Someone;ROLE=REQ-"
              "PARTICIPANT:mailto:someone@example.com\r\nEND:VEVENT\r\n";
    }
    return icsCalendar(body);
}

QStringList uids(const IcsFileContent &content)
{
    QStringList out;
    for (const IcsEvent &e : content.events)
        out.append(e.uid);
    return out;
}

} // namespace

class TestIcsTextParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void contentLines_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArrayList>("lines");
        // clang-format off
        QTest::newRow("CRLF folds, space and tab") << QByteArray("SUMMARY:a\r\n b\r\n\tc\r\nUID:x\r\n") << QByteArrayList { "SUMMARY:abc", "UID:x" };
        QTest::newRow("LF only") << QByteArray("SUMMARY:a\n b\nUID:x\n") << QByteArrayList { "SUMMARY:ab", "UID:x" };
        QTest::newRow("CR only") << QByteArray("SUMMARY:a\r b\rUID:x\r") << QByteArrayList { "SUMMARY:ab", "UID:x" };
        QTest::newRow("byte order mark, blank lines, trailing space") << QByteArray("\xEF\xBB\xBFUID:x  \r\n\r\n \t\r\nSUMMARY:y") << QByteArrayList { "UID:x", "SUMMARY:y" };
        QTest::newRow("END closing nothing") << QByteArray("END:VEVENT\r\nBEGIN:VCALENDAR\r\nEND:VCALENDAR\r\nEND:VCALENDAR\r\n") << QByteArrayList { "BEGIN:VCALENDAR", "END:VCALENDAR" };
        // libical would wrap these around (65,537 reads as 1) or refuse them; they are all refused alike.
        QTest::newRow("INTERVAL libical cannot hold") << QByteArray("RRULE:FREQ=DAILY;INTERVAL=65537\r\nRRULE;X-A=\"a:b\":interval=+0040000;COUNT=2\r\nEXRULE:INTERVAL=99999999999999999999;FREQ=WEEKLY\r\n") << QByteArrayList { "RRULE:FREQ=DAILY;INTERVAL=0", "RRULE;X-A=\"a:b\":interval=0;COUNT=2", "EXRULE:INTERVAL=0;FREQ=WEEKLY" };
        QTest::newRow("INTERVAL libical holds, or not in a rule") << QByteArray("RRULE:FREQ=DAILY;INTERVAL=32767\r\nX-RULE:INTERVAL=65537\r\nDESCRIPTION:RRULE:INTERVAL=65537\r\n") << QByteArrayList { "RRULE:FREQ=DAILY;INTERVAL=32767", "X-RULE:INTERVAL=65537", "DESCRIPTION:RRULE:INTERVAL=65537" };
        QTest::newRow("long lines stay whole") << "UID:x\r\n" + folded("ATTACH:" + QByteArray(20'000, 'A')) + "DESCRIPTION:" + QByteArray(20'000, 'd') + "\r\n" << QByteArrayList { "UID:x", "ATTACH:" + QByteArray(20'000, 'A'), "DESCRIPTION:" + QByteArray(20'000, 'd') };
        // clang-format on
    }

    void contentLines()
    {
        QFETCH(QByteArray, text);
        Refusal refusal = Refusal::tooCostly;
        QFETCH(QByteArrayList, lines);
        QCOMPARE(IcsTextParser().contentLines(text, &refusal), lines);
        QCOMPARE(refusal, Refusal::none);
    }

    void bounds_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<Refusal>("refusal");
        QTest::addColumn<QStringList>("uids");
        // Read with room to spare: a calendar a few times larger is read too.
        QTest::addColumn<bool>("roomy");
        const QByteArray two = vevent("first", "20250303T100000Z") + vevent("second", "20250304T100000Z");
        QStringList decadeUids;
        const QByteArray decade = busyDecade(&decadeUids);
        // clang-format off
        QTest::newRow("nesting as deep as allowed") << nested(31) << Refusal::none << QStringList { "good" } << true;
        QTest::newRow("nesting one deeper") << nested(32) << Refusal::tooDeep << QStringList() << false;
        QTest::newRow("bare END lines close nothing") << icsCalendar(vevent("good", "20250303T100000Z") + QByteArray("BEGIN:X-DEEP\r\nEND\r\n").repeated(40)) << Refusal::tooDeep << QStringList() << false;
        QTest::newRow("300,000 deep (6 MB)") << nested(300'000) << Refusal::tooDeep << QStringList() << false;
        QTest::newRow("copy bomb (322 KB)") << copyBomb() << Refusal::tooCostly << QStringList() << false;
        QTest::newRow("20,000 unreadable values in one event") << removalStorm(20'000) << Refusal::tooCostly << QStringList() << false;
        QTest::newRow("some unreadable values") << removalStorm(200) << Refusal::none << QStringList { "storm" } << false;
        QTest::newRow("8 MB inline attachment, folded") << icsCalendar(vevent("attached", "20250303T100000Z", folded("ATTACH;ENCODING=BASE64;VALUE=BINARY:" + QByteArray("QUJD").repeated(2'000'000))) + two) << Refusal::none << QStringList { "attached", "first", "second" } << true;
        QTest::newRow("unclosed event at the end is dropped") << icsCalendar(two) + "BEGIN:VCALENDAR\r\n" + vevent("cut", "20250305T100000Z").chopped(12) << Refusal::none << QStringList { "first", "second" } << true;
        QTest::newRow("a decade of a busy calendar (3 MB)") << decade << Refusal::none << decadeUids << true;
        // clang-format on
    }

    void bounds()
    {
        QFETCH(QByteArray, text);
        QFETCH(Refusal, refusal);
        const IcsTextParser::Result result = IcsTextParser().parse(text);
        QCOMPARE(result.refusal, refusal);
        QCOMPARE(result.reason().isEmpty(), refusal == Refusal::none);
        QFETCH(bool, roomy);
        if (roomy)
            QVERIFY2(result.estimatedWork < text.size() * IcsTextParser::Limits().workPerByte / 4,
                qPrintable(QString::number(result.estimatedWork)));
        const IcsFileContent content = IcsFileReader::parse(text);
        QTEST(uids(content), "uids");
        QCOMPARE(content.refusal, result.reason());
    }
};

QTEST_GUILESS_MAIN(TestIcsTextParser)
#include "tst_icstextparser.moc"
