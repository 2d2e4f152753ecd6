#include "CalendarSources.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

void touch(const QString &path, const QByteArray &bytes = "BEGIN:VCALENDAR\nEND:VCALENDAR\n")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QStringList relative(const QList<CalendarLocation> &found, const QString &root)
{
    QStringList out;
    for (const CalendarLocation &l : found)
        out.append(QDir(root).relativeFilePath(l.path) + (l.isFile ? QStringLiteral(" (file)") : QString()));
    return out;
}

} // namespace

class TestCalendarSources : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void khalConfig_data()
    {
        QTest::addColumn<QString>("config");
        QTest::addColumn<QStringList>("paths");

        QTest::newRow("two calendars, home expanded")
            << "[calendars]\n[[work]]\npath = ~/.calendars/work/\ncolor = dark "
               "green\n[[home]]\npath=/srv/cal/home\n"
               "[locale]\ntimeformat = %H:%M\npath = /not/a/calendar\n"
            << QStringList { "/home/tester/.calendars/work", "/srv/cal/home" };
        QTest::newRow("discover glob and quoted path")
            << "[calendars]\n  [[mine]]\n    path = \"~/.local/share/vdirsyncer/*\"\n    type = discover\n"
            << QStringList { "/home/tester/.local/share/vdirsyncer/*" };
        QTest::newRow("birthdays are address books")
            << "[calendars]\n[[bday]]\npath = ~/.contacts/\ntype = birthdays\n[[c]]\npath = ~/c\n"
            << QStringList { "/home/tester/c" };
        QTest::newRow("comments and other sections")
            << "# [calendars]\n[default]\npath = /x\n[calendars]\n# [[x]]\n[[y]]\n# path = /no\npath = /yes\n"
            << QStringList { "/yes" };
        QTest::newRow("empty") << QString() << QStringList();
    }

    void khalConfig()
    {
        QFETCH(QString, config);
        QFETCH(QStringList, paths);
        qputenv("HOME", "/home/tester");
        QCOMPARE(CalendarSources::khalCalendarPaths(config), paths);
    }

    void discovery()
    {
        QTemporaryDir home;
        const QString h = home.path();
        qputenv("HOME", QFile::encodeName(h));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(h + QStringLiteral("/cfg")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(h + QStringLiteral("/data")));
        touch(h + QStringLiteral("/cfg/khal/config"),
            "[calendars]\n[[synced]]\npath = ~/sync/*\ntype = discover\n[[missing]]\npath = ~/nowhere\n");
        touch(h + QStringLiteral("/sync/personal/a.ics"));
        touch(h + QStringLiteral("/sync/shared/displayname"), "Shared");
        touch(h + QStringLiteral("/.calendars/team/b.ics"));
        touch(h + QStringLiteral("/.calendars/stray.ics"));
        touch(h + QStringLiteral("/data/moriva/calendars/export.ics"));
        touch(h + QStringLiteral("/data/moriva/calendars/holidays/c.ics"));
        touch(h + QStringLiteral("/data/moriva/calendars/readme.txt"), "not a calendar");
        touch(h + QStringLiteral("/data/moriva/calendars/.hidden.ics"));

        QCOMPARE(CalendarSources::dropInFolder(), h + QStringLiteral("/data/moriva/calendars"));
        int unreadable = -1;
        const QList<CalendarLocation> found
            = CalendarSources::locate(CalendarSources::discover(), &unreadable);
        QCOMPARE(relative(found, h),
            (QStringList { "sync/personal", "sync/shared", ".calendars/stray.ics (file)", ".calendars/team",
                "data/moriva/calendars/export.ics (file)", "data/moriva/calendars/holidays" }));
        QCOMPARE(unreadable, 1); // khal's missing calendar

        // The settings key replaces discovery altogether.
        QSettings settings(h + QStringLiteral("/Moriva.conf"), QSettings::IniFormat);
        QVERIFY(CalendarSources::configured(settings).isEmpty());
        settings.setValue(QLatin1String(CalendarSources::settingsKey),
            QStringList { QStringLiteral("~/sync/personal"), QStringLiteral("  "),
                QStringLiteral("$HOME/.calendars/stray.ics") });
        QCOMPARE(CalendarSources::configured(settings),
            (QStringList {
                h + QStringLiteral("/sync/personal"), h + QStringLiteral("/.calendars/stray.ics") }));
    }

    void locateRules()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        touch(d + QStringLiteral("/collection/x.ics"));
        touch(d + QStringLiteral("/collection/sub/y.ics")); // a collection is one level only
        touch(d + QStringLiteral("/parent/one/a.ics"));
        touch(d + QStringLiteral("/parent/two/color"), "#ff0000");
        QVERIFY(QFile::link(d + QStringLiteral("/collection"), d + QStringLiteral("/alias")));
        QVERIFY(QFile::link(d + QStringLiteral("/loop"), d + QStringLiteral("/loop")));

        int unreadable = -1;
        const QList<CalendarLocation> found = CalendarSources::locate(
            CalendarSources::fromPaths({ d + QStringLiteral("/collection"), d + QStringLiteral("/parent"),
                d + QStringLiteral("/alias"), d + QStringLiteral("/loop") }),
            &unreadable);
        QCOMPARE(relative(found, d), (QStringList { "collection", "parent/one", "parent/two" }));
        QCOMPARE(unreadable, 1); // the loop
    }
};

QTEST_GUILESS_MAIN(TestCalendarSources)
#include "tst_calendarsources.moc"
