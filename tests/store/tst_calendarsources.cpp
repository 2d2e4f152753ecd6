#include "CalendarSources.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

void touch(const QString &path, const QByteArray &bytes = "BEGIN:VCALENDAR\nEND:VCALENDAR\n")
{
    QVERIFY(writeFile(path, bytes));
}

QStringList relative(const QList<CalendarLocation> &found, const QString &root)
{
    QStringList out;
    for (const CalendarLocation &l : found)
        out.append(QDir(root).relativeFilePath(l.path) + (l.isFile ? " (file)" : ""));
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
        // clang-format off
        QTest::newRow("two calendars, home expanded, other sections' paths ignored")
            << "[calendars]\n[[work]]\npath = ~/.calendars/work/\ncolor = dark green\n[[home]]\npath=/srv/cal/home\n"
               "[locale]\ntimeformat = %H:%M\npath = /not/a/calendar\n"
            << QStringList { "/home/tester/.calendars/work", "/srv/cal/home" };
        QTest::newRow("discover glob and quoted path") << "[calendars]\n  [[mine]]\n    path = \"~/.local/share/vdirsyncer/*\"\n    type = discover\n" << QStringList { "/home/tester/.local/share/vdirsyncer/*" };
        QTest::newRow("birthdays are address books") << "[calendars]\n[[bday]]\npath = ~/.contacts/\ntype = birthdays\n[[c]]\npath = ~/c\n" << QStringList { "/home/tester/c" };
        QTest::newRow("comments") << "# [calendars]\n[default]\npath = /x\n[calendars]\n# [[x]]\n[[y]]\n# path = /no\npath = /yes\n" << QStringList { "/yes" };
        // clang-format on
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
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(h + "/cfg"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(h + "/data"));
        touch(h + "/cfg/khal/config",
            "[calendars]\n[[synced]]\npath = ~/sync/*\ntype = discover\n[[missing]]\npath = ~/nowhere\n");
        for (const char *path : { "/sync/personal/a.ics", "/sync/shared/displayname",
                 "/.calendars/team/b.ics", "/.calendars/stray.ics", "/data/moriva/calendars/export.ics",
                 "/data/moriva/calendars/holidays/c.ics", "/data/moriva/calendars/readme.txt",
                 "/data/moriva/calendars/.hidden.ics" })
            touch(h + path);

        int unreadable = -1;
        const QList<CalendarLocation> found
            = CalendarSources::locate(CalendarSources::discover(), &unreadable);
        QCOMPARE(relative(found, h),
            (QStringList { "sync/personal", "sync/shared", ".calendars/stray.ics (file)", ".calendars/team",
                "data/moriva/calendars/export.ics (file)", "data/moriva/calendars/holidays" }));
        QCOMPARE(unreadable, 1); // khal's missing calendar

        // The settings key replaces discovery altogether.
        QSettings settings(h + "/Moriva.conf", QSettings::IniFormat);
        QVERIFY(CalendarSources::configured(settings.value(CalendarSources::settingsKey)).isEmpty());
        settings.setValue(CalendarSources::settingsKey,
            QStringList { "~/sync/personal", "  ", "$HOME/.calendars/stray.ics" });
        QCOMPARE(CalendarSources::configured(settings.value(CalendarSources::settingsKey)),
            (QStringList { h + "/sync/personal", h + "/.calendars/stray.ics" }));
    }

    void locateRules()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        // A collection is one level only; a colour file alone makes a folder a collection.
        for (const char *path :
            { "/collection/x.ics", "/collection/sub/y.ics", "/parent/one/a.ics", "/parent/two/color" })
            touch(d + path);
        QVERIFY(QFile::link(d + "/collection", d + "/alias"));
        QVERIFY(QFile::link(d + "/loop", d + "/loop"));

        int unreadable = -1;
        const QList<CalendarLocation> found = CalendarSources::locate(
            CalendarSources::fromPaths({ d + "/collection", d + "/parent", d + "/alias", d + "/loop" }),
            &unreadable);
        QCOMPARE(relative(found, d), (QStringList { "collection", "parent/one", "parent/two" }));
        QCOMPARE(unreadable, 1); // the loop
    }

    // One calendar file makes a folder a collection; what only looks like one does not.
    void collectionByItsFiles_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("collection");
        QTest::newRow("a calendar file") << "file:event.ics" << true;
        QTest::newRow("upper-case suffix") << "file:EVENT.ICS" << true;
        QTest::newRow("a link to a calendar file") << "link:event.ics" << true;
        QTest::newRow("a broken link") << "broken:event.ics" << false;
        QTest::newRow("a hidden file") << "file:.event.ics" << false;
        QTest::newRow("an editor's lock file") << "file:#event.ics" << false;
        QTest::newRow("a folder named like a file") << "folder:event.ics" << false;
        QTest::newRow("a FIFO named like a file") << "fifo:event.ics" << false;
        QTest::newRow("another file") << "file:notes.txt" << false;
    }

    void collectionByItsFiles()
    {
        QFETCH(QString, entry);
        QFETCH(bool, collection);
        QTemporaryDir dir;
        const QString folder = dir.filePath("f");
        QVERIFY(QDir().mkpath(folder));
        // Noise first, so that the one entry that counts is not simply the only one.
        for (int i = 0; i < 20; ++i)
            touch(folder + QStringLiteral("/noise%1.txt").arg(i));
        const QString kind = entry.section(':', 0, 0);
        const QString path = folder + '/' + entry.section(':', 1);
        if (kind == "file") {
            touch(path);
        } else if (kind == "link") {
            touch(dir.filePath("target.ics"));
            QVERIFY(QFile::link(dir.filePath("target.ics"), path));
        } else if (kind == "broken") {
            QVERIFY(QFile::link(dir.filePath("nowhere.ics"), path));
        } else if (kind == "folder") {
            QVERIFY(QDir().mkpath(path));
        } else if (kind == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }
        const QList<CalendarLocation> found = CalendarSources::locate(CalendarSources::fromPaths({ folder }));
        const bool isCollection = found.size() == 1 && !found.first().isFile && found.first().path == folder;
        QCOMPARE(isCollection, collection);
    }
};

QTEST_GUILESS_MAIN(TestCalendarSources)
#include "tst_calendarsources.moc"
