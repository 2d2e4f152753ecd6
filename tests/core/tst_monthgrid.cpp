#include "MonthGrid.h"

#include "ZonePin.h"

#include <QTest>

namespace {

const QByteArray utc = "UTC";
const QByteArray berlin = "Europe/Berlin";
const QByteArray santiago = "America/Santiago";

QDateTime at(int y, int m, int d, int h = 12, int min = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min));
}

QDateTime utcAt(int y, int m, int d, int h, int min)
{
    return QDateTime(QDate(y, m, d), QTime(h, min), Qt::UTC);
}

} // namespace

class tst_MonthGrid : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(pinLocalZone(utc));
        QVERIFY(pinLocale(QLocale(QLocale::English, QLocale::UnitedStates)));
    }

    void grid_data()
    {
        QTest::addColumn<QDate>("month");
        QTest::addColumn<WeekStart>("weekStart");
        QTest::addColumn<int>("leadingDays");
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("selected");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDate>("selectedCell");
        QTest::addColumn<QDate>("todayCell");

        // The 1st of each month falls on Sunday, Monday, … Saturday in turn; the
        // grids of August and September 2026 hold a day without a midnight.
        const QDate firsts[] = { QDate(2026, 2, 1), QDate(2026, 6, 1), QDate(2026, 9, 1), QDate(2026, 4, 1),
            QDate(2026, 1, 1), QDate(2026, 5, 1), QDate(2026, 8, 1) };
        // clang-format off
        for (int weekday = 0; weekday < 7; ++weekday) {
            QTest::addRow("1st %d days after Sunday, weeks from Sunday", weekday) << firsts[weekday] << WeekStart::sunday << weekday << santiago << QDateTime() << at(2000, 1, 1) << QDate() << QDate();
            QTest::addRow("1st %d days after Sunday, weeks from Monday", weekday) << firsts[weekday] << WeekStart::monday << (weekday + 6) % 7 << santiago << QDateTime() << at(2000, 1, 1) << QDate() << QDate();
        }
        // December 2026 from Sunday shows 29 November to 9 January.
        const QDate december(2026, 12, 1);
        QTest::newRow("selected in the month, today elsewhere in it") << december << WeekStart::sunday << 2 << utc << at(2026, 12, 5, 18) << at(2026, 12, 24, 8) << QDate(2026, 12, 5) << QDate(2026, 12, 24);
        QTest::newRow("selected among the leading days") << december << WeekStart::sunday << 2 << utc << at(2026, 11, 30, 0) << at(2027, 3, 1) << QDate(2026, 11, 30) << QDate();
        QTest::newRow("selected outside the window marks nothing") << december << WeekStart::sunday << 2 << utc << at(2027, 1, 10, 0) << at(2026, 11, 28, 23, 59) << QDate() << QDate();
        QTest::newRow("instants given in UTC count by the local day") << december << WeekStart::sunday << 2 << berlin << utcAt(2026, 12, 5, 23, 30) << utcAt(2026, 12, 31, 23, 30) << QDate(2026, 12, 6) << QDate(2027, 1, 1);
        // clang-format on
    }

    void grid()
    {
        QFETCH(QDate, month);
        QFETCH(WeekStart, weekStart);
        QFETCH(int, leadingDays);
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, selected);
        QFETCH(QDateTime, now);
        QFETCH(QDate, selectedCell);
        QFETCH(QDate, todayCell);
        QVERIFY(pinLocalZone(zone));

        // Any instant inside the month must give the same grid as its 1st.
        const auto days
            = MonthGrid::calendarDays(at(month.year(), month.month(), 17, 15), selected, weekStart, now);
        QCOMPARE(days.size(), 42);
        for (int i = 0; i < days.size(); ++i) {
            // Each cell is the first instant of its own day, one day after the last.
            const QDateTime start = days[i].date;
            QCOMPARE(start.date(), month.addDays(i - leadingDays));
            // In Santiago 6 September 2026 begins at 01:00: its midnight never happens.
            QCOMPARE(start.time(), start.date() == QDate(2026, 9, 6) ? QTime(1, 0) : QTime(0, 0));
            QCOMPARE(days[i].isCurrentMonth, start.date().month() == month.month());
            QCOMPARE(days[i].isSelected, start.date() == selectedCell);
            QCOMPARE(days[i].isToday, start.date() == todayCell);
        }
    }

    void invalidInstantsGiveNothing()
    {
        QVERIFY(MonthGrid::calendarDays(QDateTime(), at(2026, 1, 1), WeekStart::monday, at(2026, 1, 1))
                    .isEmpty());
        QVERIFY(!MonthGrid::relativeDateString(QDateTime(), at(2026, 12, 5)).has_value());
        QVERIFY(!MonthGrid::relativeDateString(at(2026, 12, 5), QDateTime()).has_value());
    }

    void dayHeaders()
    {
        const auto headers = [](WeekStart from, const QLocale &locale) {
            return MonthGrid::dayHeaders(from, locale).join(u' ');
        };
        // English from either day: tst_contentview's grid.
        QCOMPARE(headers(WeekStart::monday, QLocale(QLocale::French, QLocale::France)), "L M M J V S D");
        // The C locale's own narrow names are digits; the grid wants letters.
        QCOMPARE(headers(WeekStart::sunday, QLocale::c()), "S M T W T F S");
    }

    void relativeDate_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDateTime>("selected");
        QTest::addColumn<QString>("phrase");

        // clang-format off
        QTest::newRow("23:59 yesterday") << utc << at(2026, 12, 5, 0, 1) << at(2026, 12, 4, 23, 59) << "1 day ago";
        QTest::newRow("a thousand days ahead, ungrouped") << utc << at(2026, 12, 5) << at(2029, 8, 31) << "in 1000 days";
        QTest::newRow("Berlin, over the 23-hour day") << berlin << at(2026, 3, 28, 23, 30) << at(2026, 3, 29, 23, 30) << "in 1 day";
        QTest::newRow("Berlin, both ends of the 25-hour day") << berlin << at(2026, 10, 25, 0, 5) << at(2026, 10, 25, 23, 55) << "Today";
        QTest::newRow("Santiago, into the day without midnight") << santiago << at(2026, 9, 5, 23, 30) << QDate(2026, 9, 6).startOfDay() << "in 1 day";
        QTest::newRow("late UTC instant is tomorrow in Berlin") << berlin << at(2026, 12, 5, 12) << utcAt(2026, 12, 5, 23, 30) << "in 1 day";
        // clang-format on
    }

    void relativeDate()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, now);
        QFETCH(QDateTime, selected);
        QFETCH(QString, phrase);
        QVERIFY(pinLocalZone(zone));
        // The phrases are fixed English and the numbers plain, whatever the user's language.
        QVERIFY(pinLocale(QLocale(QLocale::German, QLocale::Germany)));
        QCOMPARE(MonthGrid::relativeDateString(selected, now), std::optional(phrase));
    }

    void titles_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QString>("month");
        QTest::addColumn<QString>("year");
        QTest::addColumn<QString>("heading");

        const QLocale english(QLocale::English, QLocale::UnitedStates);
        const QLocale german(QLocale::German, QLocale::Germany);
        // clang-format off
        QTest::newRow("English") << english << at(2026, 12, 5) << "December" << "2026" << "Saturday, Dec 5";
        QTest::newRow("Russian month name as inside a date") << QLocale(QLocale::Russian, QLocale::Russia) << at(2026, 12, 5) << "декабря" << "2026" << "суббота, дек. 5";
        QTest::newRow("Arabic digits stay out of the year") << QLocale(QLocale::Arabic, QLocale::Egypt) << at(2026, 12, 5) << "ديسمبر" << "2026" << "السبت, ديسمبر ٥";
        QTest::newRow("five-digit year without grouping") << german << at(12026, 1, 1) << "Januar" << "12026" << "Donnerstag, Jan. 1";
        QTest::newRow("UTC instant titled by its Berlin day") << english << utcAt(2026, 12, 31, 23, 30) << "January" << "2027" << "Friday, Jan 1";
        // clang-format on
    }

    void titles()
    {
        QFETCH(QLocale, locale);
        QFETCH(QDateTime, date);
        QFETCH(QString, month);
        QFETCH(QString, year);
        QFETCH(QString, heading);
        QVERIFY(pinLocalZone(berlin));
        QVERIFY(pinLocale(locale));

        QCOMPARE(MonthGrid::monthTitle(date), month);
        QCOMPARE(MonthGrid::yearTitle(date), year);
        QCOMPARE(MonthGrid::eventListDateTitle(date), heading);
        // The chooser and the title must name the shown month alike.
        QCOMPARE(MonthGrid::monthNames().value(date.toLocalTime().date().month() - 1), month);
    }
};

QTEST_GUILESS_MAIN(tst_MonthGrid)
#include "tst_monthgrid.moc"
