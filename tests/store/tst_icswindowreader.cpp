#include "IcsEventStore.h"
#include "IcsWindowReader.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

// The reader for one window must list exactly what the store lists, on
// calendars built to catch a file wrongly left unparsed. What the scan makes
// of a single event's text is tst_icsprescan's; here, what takes several
// files, versions of one UID, or the window's own edges.

namespace {

using Files = QList<QPair<QString, QByteArray>>;

const QDateTime windowStart(QDate(2025, 2, 23), QTime(0, 0));
const QDateTime windowEnd(QDate(2025, 4, 6), QTime(0, 0));

QByteArray vevent(const QByteArray &uid, const QByteArray &lines)
{
    return "BEGIN:VEVENT\r\nUID:" + uid + "\r\nSUMMARY:" + uid + "\r\n" + lines + "END:VEVENT\r\n";
}

QByteArray one(const QByteArray &uid, const QByteArray &lines)
{
    return icsCalendar(vevent(uid, lines));
}

QStringList listing(const EventList &events)
{
    QStringList out;
    for (const EventPtr &e : events) {
        out.append(e->identifier + QLatin1Char(' ') + e->start.toUTC().toString(Qt::ISODate) + QLatin1Char(' ')
            + e->end.toUTC().toString(Qt::ISODate) + QLatin1Char(' ') + e->title.value_or(QStringLiteral("-")));
    }
    return out;
}

QStringList storeListing(const QList<SourceRoot> &roots, const QDateTime &from, const QDateTime &to)
{
    IcsEventStore::Options options;
    options.watch = false;
    options.loadInBackground = false;
    options.prepareDays = 0;
    IcsEventStore store(roots, options);
    store.loadNow();
    return listing(store.events(from, to));
}

} // namespace

class TestIcsWindowReader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void listsWhatTheStoreLists_data();
    void listsWhatTheStoreLists();
};

void TestIcsWindowReader::listsWhatTheStoreLists_data()
{
    QTest::addColumn<Files>("files");
    /** Files the reader must not parse, by name; it may parse more than the others. */
    QTest::addColumn<QStringList>("leftUnparsed");

    const QByteArray far = "DTSTART:20230105T100000Z\r\nDTEND:20230105T110000Z\r\n";
    const QByteArray near = "DTSTART:20250301T100000Z\r\nDTEND:20250301T110000Z\r\n";

    QTest::newRow("far events unparsed, near ones listed")
        << Files { { "a.ics", one("a", far) }, { "b.ics", one("b", near) },
               { "c.ics", one("c", "DTSTART;VALUE=DATE:20260101\r\n") } }
        << QStringList { "a.ics", "c.ics" };
    QTest::newRow("written the day before, in the window by its zone")
        << Files { { "a.ics", one("a", "DTSTART;TZID=Pacific/Pago_Pago:20250222T230000\r\nDURATION:PT1H\r\n") },
               { "b.ics", one("b", "DTSTART;TZID=Pacific/Kiritimati:20250406T010000\r\nDURATION:PT1H\r\n") },
               { "c.ics", one("c", "DTSTART:20250222T230000\r\nDTEND:20250223T003000\r\n") } }
        << QStringList();
    QTest::newRow("a newer version far away hides the near one")
        << Files { { "a.ics", one("same", near + "SEQUENCE:1\r\n") },
               { "b.ics", one("same", far + "SEQUENCE:2\r\n") } }
        << QStringList();
    QTest::newRow("a newer version near shows, the older far one is read for it")
        << Files { { "a.ics", one("same", far + "DTSTAMP:20240101T000000Z\r\n") },
               { "b.ics", one("same", near + "DTSTAMP:20250101T000000Z\r\n") } }
        << QStringList();
    QTest::newRow("a later file's newer version of a series ends the series")
        << Files { { "a.ics", one("s", "DTSTART:20240101T090000Z\r\nDURATION:PT1H\r\nRRULE:FREQ=WEEKLY\r\n") },
               { "b.ics", one("s", far + "SEQUENCE:3\r\n") } }
        << QStringList();
    QTest::newRow("an override in its own file, and a shared UID pulling in a further file")
        << Files { { "a.ics",
                       one("s", "DTSTART:20240101T090000Z\r\nDURATION:PT1H\r\nRRULE:FREQ=WEEKLY;BYDAY=MO\r\n") },
               { "b.ics",
                   one("s", "RECURRENCE-ID:20250303T090000Z\r\nDTSTART:20250304T150000Z\r\nDURATION:PT1H\r\n") },
               { "c.ics", icsCalendar(vevent("x", near) + vevent("y", far)) },
               { "d.ics", one("y", "DTSTART:20240101T100000Z\r\nSEQUENCE:5\r\n") },
               { "e.ics", one("z", far) } }
        << QStringList { "e.ics" };
    QTest::newRow("an alarm's properties are not the event's")
        << Files { { "a.ics",
                   one("a", far + "BEGIN:VALARM\r\nTRIGGER:-PT15M\r\nDURATION:P800D\r\nACTION:DISPLAY\r\nEND:VALARM\r\n") } }
        << QStringList { "a.ics" };
    QTest::newRow("all-day events at the window's edges")
        << Files { { "a.ics", one("a", "DTSTART;VALUE=DATE:20250222\r\n") },
               { "b.ics", one("b", "DTSTART;VALUE=DATE:20250406\r\n") },
               { "c.ics", one("c", "DTSTART;VALUE=DATE:20250405\r\nDTEND;VALUE=DATE:20250403\r\n") } }
        << QStringList();
}

void TestIcsWindowReader::listsWhatTheStoreLists()
{
    QFETCH(Files, files);
    QFETCH(QStringList, leftUnparsed);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("work"));
    for (const auto &[name, bytes] : files)
        QVERIFY(writeFile(folder + QLatin1Char('/') + name, bytes));
    const QList<SourceRoot> roots = CalendarSources::fromPaths({ folder });
    const QStringList expected = storeListing(roots, windowStart, windowEnd);

    for (const int threads : { 1, 3 }) {
        IcsWindowReader::Options options;
        options.threads = threads;
        IcsWindowReader reader(roots, options);
        reader.load(windowStart, windowEnd);
        QCOMPARE(listing(reader.events(windowStart, windowEnd)), expected);
        QCOMPARE(reader.readFiles(), int(files.size()));
        QVERIFY2(reader.parsedFiles() <= int(files.size() - leftUnparsed.size()),
            qPrintable(QStringLiteral("%1 of %2 parsed").arg(reader.parsedFiles()).arg(files.size())));
    }
    // As --next asks: a short window first, then a wider one, one elsewhere and years back.
    IcsWindowReader reader(roots);
    reader.load(windowStart, windowStart.addDays(1));
    for (const auto &[from, to] : QList<QPair<QDateTime, QDateTime>> { { windowStart, windowEnd },
             { windowStart.addDays(250), windowStart.addDays(320) }, { windowStart.addYears(-6), windowStart } })
        QCOMPARE(listing(reader.events(from, to)), storeListing(roots, from, to));
}

QTEST_GUILESS_MAIN(TestIcsWindowReader)
#include "tst_icswindowreader.moc"
