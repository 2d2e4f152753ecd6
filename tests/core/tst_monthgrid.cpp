#include "MonthGrid.h"

#include <QTest>

#include <ctime>

namespace {

struct Zone
{
    QByteArray id;
    int januaryOffset;
    int julyOffset;
};

const Zone utc { "UTC", 0, 0 };
const Zone berlin { "Europe/Berlin", 3600, 7200 };
const Zone santiago { "America/Santiago", -3 * 3600, -4 * 3600 };

// Fails when the system lacks the zone: TZ would then silently fall back to UTC.
bool pinZone(const Zone &zone)
{
    qputenv("TZ", zone.id);
    tzset();
    return QDateTime(QDate(2026, 1, 15), QTime(12, 0)).offsetFromUtc() == zone.januaryOffset
        && QDateTime(QDate(2026, 7, 15), QTime(12, 0)).offsetFromUtc() == zone.julyOffset;
}

Zone zoneNamed(const QByteArray &id)
{
    for (const Zone &zone : { utc, berlin, santiago }) {
        if (zone.id == id)
            return zone;
    }
    qFatal("unknown zone %s", id.constData());
}

QDateTime at(int y, int m, int d, int h = 12, int min = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min));
}

int indexOf(const QList<CalendarDay> &days, QDate day)
{
    for (int i = 0; i < days.size(); ++i) {
        if (days[i].date.date() == day)
            return i;
    }
    return -1;
}

} // namespace

class tst_MonthGrid : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(pinZone(utc));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(QLocale().name(), QStringLiteral("en_US"));
    }

    void firstWeekdayPlacement_data()
    {
        QTest::addColumn<QDate>("month");
        QTest::addColumn<WeekStart>("weekStart");
        QTest::addColumn<int>("leadingDays");

        const struct
        {
            const char *weekday;
            QDate first;
            int sundayOffset;
            int mondayOffset;
        } months[] = {
            { "Sunday", QDate(2026, 2, 1), 0, 6 },
            { "Monday", QDate(2026, 6, 1), 1, 0 },
            { "Tuesday", QDate(2026, 9, 1), 2, 1 },
            { "Wednesday", QDate(2026, 4, 1), 3, 2 },
            { "Thursday", QDate(2026, 1, 1), 4, 3 },
            { "Friday", QDate(2026, 5, 1), 5, 4 },
            { "Saturday", QDate(2026, 8, 1), 6, 5 },
        };
        for (const auto &m : months) {
            QTest::addRow("1st on %s, weeks from Sunday", m.weekday)
                << m.first << WeekStart::sunday << m.sundayOffset;
            QTest::addRow("1st on %s, weeks from Monday", m.weekday)
                << m.first << WeekStart::monday << m.mondayOffset;
        }
    }

    void firstWeekdayPlacement()
    {
        QFETCH(QDate, month);
        QFETCH(WeekStart, weekStart);
        QFETCH(int, leadingDays);

        // Any instant inside the month must give the same grid as its 1st.
        const auto days = MonthGrid::calendarDays(
            at(month.year(), month.month(), 17, 15), QDateTime(), weekStart, at(2000, 1, 1));
        QCOMPARE(days.size(), 42);
        QCOMPARE(days.first().date.date().dayOfWeek(), weekStart == WeekStart::monday ? 1 : 7);
        QCOMPARE(days[leadingDays].date.date(), month);
        for (int i = 0; i < days.size(); ++i) {
            const bool inMonth = i >= leadingDays && i < leadingDays + month.daysInMonth();
            QVERIFY2(days[i].isCurrentMonth == inMonth, qPrintable(days[i].date.toString(Qt::ISODate)));
            QVERIFY(!days[i].isToday);
            QVERIFY(!days[i].isSelected);
        }
    }

    void february2026_data()
    {
        QTest::addColumn<WeekStart>("weekStart");
        QTest::addColumn<QDate>("firstShown");
        QTest::addColumn<QDate>("lastShown");
        QTest::addColumn<int>("indexOfFirst");

        QTest::newRow("weeks from Sunday: four rows of February, two of March")
            << WeekStart::sunday << QDate(2026, 2, 1) << QDate(2026, 3, 14) << 0;
        QTest::newRow("weeks from Monday: starts on 26 January")
            << WeekStart::monday << QDate(2026, 1, 26) << QDate(2026, 3, 8) << 6;
    }

    void february2026()
    {
        QFETCH(WeekStart, weekStart);
        QFETCH(QDate, firstShown);
        QFETCH(QDate, lastShown);
        QFETCH(int, indexOfFirst);

        const auto days = MonthGrid::calendarDays(at(2026, 2, 1, 0), QDateTime(), weekStart, at(2026, 2, 10));
        QCOMPARE(days.size(), 42);
        QCOMPARE(days.first().date.date(), firstShown);
        QCOMPARE(days.last().date.date(), lastShown);
        QCOMPARE(days[indexOfFirst].date.date(), QDate(2026, 2, 1));
        QCOMPARE(days[indexOfFirst + 27].date.date(), QDate(2026, 2, 28));
        QVERIFY(days[indexOfFirst + 27].isCurrentMonth);
        QVERIFY(!days[indexOfFirst + 28].isCurrentMonth);
    }

    void everyCellStartsItsDay_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDate>("month");
        QTest::addColumn<WeekStart>("weekStart");
        QTest::addColumn<QDate>("lateStartDay");

        QTest::newRow("Berlin, clocks forward 29 March")
            << berlin.id << QDate(2026, 3, 1) << WeekStart::monday << QDate();
        QTest::newRow("Berlin, clocks back 25 October")
            << berlin.id << QDate(2026, 10, 1) << WeekStart::sunday << QDate();
        QTest::newRow("Santiago, midnight skipped 6 September")
            << santiago.id << QDate(2026, 9, 1) << WeekStart::sunday << QDate(2026, 9, 6);
        QTest::newRow("Santiago, skipped midnight in the last cell")
            << santiago.id << QDate(2026, 8, 1) << WeekStart::monday << QDate(2026, 9, 6);
        QTest::newRow("Santiago, clocks back 5 April")
            << santiago.id << QDate(2026, 4, 1) << WeekStart::monday << QDate();
    }

    void everyCellStartsItsDay()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDate, month);
        QFETCH(WeekStart, weekStart);
        QFETCH(QDate, lateStartDay);
        QVERIFY(pinZone(zoneNamed(zone)));

        const auto days
            = MonthGrid::calendarDays(month.startOfDay(), QDateTime(), weekStart, month.startOfDay());
        QCOMPARE(days.size(), 42);
        for (int i = 0; i < days.size(); ++i) {
            const QDateTime start = days[i].date;
            QVERIFY(start.isValid());
            QCOMPARE(start.timeSpec(), Qt::LocalTime);
            // The first instant of its day: one second earlier is the day before.
            QCOMPARE(start.addSecs(-1).date(), start.date().addDays(-1));
            QCOMPARE(start.time(), start.date() == lateStartDay ? QTime(1, 0) : QTime(0, 0));
            if (i > 0)
                QCOMPARE(days[i - 1].date.date().addDays(1), start.date());
        }
        if (lateStartDay.isValid())
            QVERIFY(indexOf(days, lateStartDay) >= 0);
    }

    void markedCells_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("selected");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDate>("selectedCell");
        QTest::addColumn<QDate>("todayCell");

        // December 2026 from Sunday shows 29 November to 9 January.
        QTest::newRow("selected in the month, today elsewhere in it")
            << utc.id << at(2026, 12, 5, 18) << at(2026, 12, 24, 8) << QDate(2026, 12, 5)
            << QDate(2026, 12, 24);
        QTest::newRow("selected among the leading days")
            << utc.id << at(2026, 11, 30, 0) << at(2027, 3, 1) << QDate(2026, 11, 30) << QDate();
        QTest::newRow("selected among the trailing days")
            << utc.id << at(2027, 1, 9, 23, 59) << at(2026, 1, 1) << QDate(2027, 1, 9) << QDate();
        QTest::newRow("selected outside the window marks nothing")
            << utc.id << at(2027, 1, 10, 0) << at(2026, 11, 28, 23, 59) << QDate() << QDate();
        QTest::newRow("no selection")
            << utc.id << QDateTime() << at(2026, 12, 31, 23, 59) << QDate() << QDate(2026, 12, 31);
        QTest::newRow("instants given in UTC count by the local day")
            << berlin.id << QDateTime(QDate(2026, 12, 5), QTime(23, 30), Qt::UTC)
            << QDateTime(QDate(2026, 12, 31), QTime(23, 30), Qt::UTC) << QDate(2026, 12, 6)
            << QDate(2027, 1, 1);
    }

    void markedCells()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, selected);
        QFETCH(QDateTime, now);
        QFETCH(QDate, selectedCell);
        QFETCH(QDate, todayCell);
        QVERIFY(pinZone(zoneNamed(zone)));

        const auto days = MonthGrid::calendarDays(at(2026, 12, 15), selected, WeekStart::sunday, now);
        QCOMPARE(days.size(), 42);
        for (const CalendarDay &day : days) {
            QCOMPARE(day.isSelected, day.date.date() == selectedCell);
            QCOMPARE(day.isToday, day.date.date() == todayCell);
            QCOMPARE(day.isCurrentMonth, day.date.date().month() == 12);
        }
    }

    void noMonthNoGrid()
    {
        QVERIFY(MonthGrid::calendarDays(QDateTime(), at(2026, 1, 1), WeekStart::monday, at(2026, 1, 1))
                    .isEmpty());
    }

    void dayHeaders_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<WeekStart>("weekStart");
        QTest::addColumn<QString>("headers");

        const QLocale english(QLocale::English, QLocale::UnitedStates);
        const QLocale german(QLocale::German, QLocale::Germany);
        const QLocale french(QLocale::French, QLocale::France);
        QTest::newRow("English from Sunday") << english << WeekStart::sunday << "S M T W T F S";
        QTest::newRow("English from Monday") << english << WeekStart::monday << "M T W T F S S";
        QTest::newRow("German from Monday") << german << WeekStart::monday << "M D M D F S S";
        QTest::newRow("French from Sunday") << french << WeekStart::sunday << "D L M M J V S";
        QTest::newRow("French from Monday") << french << WeekStart::monday << "L M M J V S D";
        QTest::newRow("C locale shows letters, not numbers")
            << QLocale::c() << WeekStart::monday << "M T W T F S S";
    }

    void dayHeaders()
    {
        QFETCH(QLocale, locale);
        QFETCH(WeekStart, weekStart);
        QFETCH(QString, headers);
        QCOMPARE(MonthGrid::dayHeaders(weekStart, locale).join(QLatin1Char(' ')), headers);
    }

    void relativeDate_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDateTime>("selected");
        QTest::addColumn<QString>("phrase");

        QTest::newRow("same day, earlier hour")
            << utc.id << at(2026, 12, 5, 23, 59) << at(2026, 12, 5, 0) << "Today";
        QTest::newRow("same day, later hour")
            << utc.id << at(2026, 12, 5, 0) << at(2026, 12, 5, 23, 59) << "Today";
        QTest::newRow("23:59 yesterday")
            << utc.id << at(2026, 12, 5, 0, 1) << at(2026, 12, 4, 23, 59) << "1 day ago";
        QTest::newRow("just after midnight tomorrow")
            << utc.id << at(2026, 12, 5, 23, 59) << at(2026, 12, 6, 0, 1) << "in 1 day";
        QTest::newRow("five days ahead") << utc.id << at(2026, 12, 5) << at(2026, 12, 10, 1) << "in 5 days";
        QTest::newRow("twelve days back across a year")
            << utc.id << at(2027, 1, 3) << at(2026, 12, 22) << "12 days ago";
        QTest::newRow("a thousand days ahead, ungrouped")
            << utc.id << at(2026, 12, 5) << at(2029, 8, 31) << "in 1000 days";
        QTest::newRow("Berlin, over the 23-hour day")
            << berlin.id << at(2026, 3, 28, 23, 30) << at(2026, 3, 29, 23, 30) << "in 1 day";
        QTest::newRow("Berlin, a week over the 23-hour day")
            << berlin.id << at(2026, 3, 25, 0, 30) << at(2026, 4, 1, 0, 10) << "in 7 days";
        QTest::newRow("Berlin, both ends of the 25-hour day")
            << berlin.id << at(2026, 10, 25, 0, 5) << at(2026, 10, 25, 23, 55) << "Today";
        QTest::newRow("Berlin, back over the 25-hour day")
            << berlin.id << at(2026, 10, 26, 0, 30) << at(2026, 10, 24, 23, 0) << "2 days ago";
        QTest::newRow("Santiago, into the day without midnight")
            << santiago.id << at(2026, 9, 5, 23, 30) << QDate(2026, 9, 6).startOfDay() << "in 1 day";
        QTest::newRow("late UTC instant is tomorrow in Berlin")
            << berlin.id << at(2026, 12, 5, 12) << QDateTime(QDate(2026, 12, 5), QTime(23, 30), Qt::UTC)
            << "in 1 day";
    }

    void relativeDate()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, now);
        QFETCH(QDateTime, selected);
        QFETCH(QString, phrase);
        QVERIFY(pinZone(zoneNamed(zone)));
        // The phrases are fixed English and the numbers plain, whatever the user's language.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

        const auto result = MonthGrid::relativeDateString(selected, now);
        QVERIFY(result.has_value());
        QCOMPARE(*result, phrase);
    }

    void relativeDateWithoutADay()
    {
        QVERIFY(!MonthGrid::relativeDateString(QDateTime(), at(2026, 12, 5)).has_value());
        QVERIFY(!MonthGrid::relativeDateString(at(2026, 12, 5), QDateTime()).has_value());
    }

    void titles_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QString>("month");
        QTest::addColumn<QString>("year");
        QTest::addColumn<QString>("heading");

        const QLocale english(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("English") << english << at(2026, 12, 5) << "December"
                                 << "2026"
                                 << "Saturday, Dec 5";
        QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << at(2026, 12, 5) << "Dezember"
                                << "2026"
                                << "Samstag, Dez. 5";
        QTest::newRow("French") << QLocale(QLocale::French, QLocale::France) << at(2027, 2, 14) << "février"
                                << "2027"
                                << "dimanche, févr. 14";
        QTest::newRow("Russian month name as inside a date")
            << QLocale(QLocale::Russian, QLocale::Russia) << at(2026, 12, 5) << "декабря"
            << "2026"
            << "суббота, дек. 5";
        QTest::newRow("Arabic digits stay out of the year")
            << QLocale(QLocale::Arabic, QLocale::Egypt) << at(2026, 12, 5) << "ديسمبر"
            << "2026"
            << "السبت, ديسمبر ٥";
        QTest::newRow("early year padded to four digits") << english << at(987, 6, 1) << "June"
                                                          << "0987"
                                                          << "Friday, Jun 1";
        QTest::newRow("five-digit year without grouping")
            << QLocale(QLocale::German, QLocale::Germany) << at(12026, 1, 1) << "Januar"
            << "12026"
            << "Donnerstag, Jan. 1";
        QTest::newRow("UTC instant titled by its Berlin day")
            << english << QDateTime(QDate(2026, 12, 31), QTime(23, 30), Qt::UTC) << "January"
            << "2027"
            << "Friday, Jan 1";
    }

    void titles()
    {
        QFETCH(QLocale, locale);
        QFETCH(QDateTime, date);
        QFETCH(QString, month);
        QFETCH(QString, year);
        QFETCH(QString, heading);
        QVERIFY(pinZone(berlin));
        QLocale::setDefault(locale);
        QCOMPARE(QLocale().name(), locale.name());

        QCOMPARE(MonthGrid::monthTitle(date), month);
        QCOMPARE(MonthGrid::yearTitle(date), year);
        QCOMPARE(MonthGrid::eventListDateTitle(date), heading);
    }

    void monthNames_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");

        QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << "January"
                                 << "December";
        QTest::newRow("French") << QLocale(QLocale::French, QLocale::France) << "janvier"
                                << "décembre";
    }

    void monthNames()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QLocale::setDefault(locale);

        const QStringList names = MonthGrid::monthNames();
        QCOMPARE(names.size(), 12);
        QCOMPARE(names.first(), first);
        QCOMPARE(names.last(), last);
        // The chooser and the title must name the shown month alike.
        QCOMPARE(names[4], MonthGrid::monthTitle(at(2026, 5, 20)));
    }
};

QTEST_GUILESS_MAIN(tst_MonthGrid)
#include "tst_monthgrid.moc"
