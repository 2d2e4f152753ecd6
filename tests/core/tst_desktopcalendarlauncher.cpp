#include "DesktopCalendarLauncher.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Desktop
{
    QTemporaryDir root;
    DesktopCalendarLauncher::Environment env;

    Desktop()
    {
        env.configHome = root.filePath(QStringLiteral("config"));
        env.configDirs = { root.filePath(QStringLiteral("etc-xdg")) };
        env.dataHome = root.filePath(QStringLiteral("share"));
        env.dataDirs = { root.filePath(QStringLiteral("usr-share")) };
        env.currentDesktops = { QStringLiteral("gnome") };
        env.path = { root.filePath(QStringLiteral("bin")) };
    }

    void write(const QString &relative, const QByteArray &text)
    {
        const QString path = root.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    void app(const QString &id, const QByteArray &body, const QString &where = QStringLiteral("usr-share"))
    {
        write(where + QStringLiteral("/applications/") + id,
            "[Desktop Entry]\nType=Application\nName=X\n" + body);
    }
};

CalendarEvent systemEvent(const QString &rid = QString())
{
    CalendarEvent e;
    e.identifier = QStringLiteral("eds:work/abc/") + rid;
    e.start = QDateTime(QDate(2026, 12, 5), QTime(14, 30), Qt::UTC);
    e.end = e.start.addSecs(3600);
    e.sourceUid = QStringLiteral("work");
    e.componentUid = QStringLiteral("abc@example.org");
    e.recurrenceId = rid;
    return e;
}

CalendarEvent fileEvent()
{
    CalendarEvent e;
    e.identifier = QStringLiteral("/home/u/.calendars/home/x.ics#abc");
    e.start = QDateTime(QDate(2026, 12, 5), QTime(14, 30), Qt::UTC);
    e.end = e.start.addSecs(3600);
    return e;
}

} // namespace

class tst_DesktopCalendarLauncher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void command_data()
    {
        QTest::addColumn<QString>("desktopId");
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<bool>("system");
        QTest::addColumn<QString>("rid");
        QTest::addColumn<QStringList>("expected");

        const QByteArray gnomeCalendar = "Exec=gnome-calendar\nDBusActivatable=true\n";
        const QByteArray evolution = "Exec=evolution %U\n";
        QTest::newRow("GNOME Calendar shows one occurrence")
            << "org.gnome.Calendar.desktop" << gnomeCalendar << true << "20261205T143000"
            << QStringList { "gnome-calendar", "--uuid=work:abc@example.org:20261205T143000" };
        QTest::newRow("GNOME Calendar shows a single event")
            << "org.gnome.Calendar.desktop" << gnomeCalendar << true << ""
            << QStringList { "gnome-calendar", "--uuid=work:abc@example.org" };
        QTest::newRow("GNOME Calendar from a flatpak keeps its launcher")
            << "org.gnome.Calendar.desktop"
            << QByteArray(
                   "Exec=/usr/bin/flatpak run --branch=stable --command=gnome-calendar org.gnome.Calendar\n")
            << true << ""
            << QStringList { "/usr/bin/flatpak", "run", "--branch=stable", "--command=gnome-calendar",
                   "org.gnome.Calendar", "--uuid=work:abc@example.org" };
        QTest::newRow("Evolution gets its calendar: link, ids encoded")
            << "org.gnome.Evolution.desktop" << evolution << true << "20261205T143000Z"
            << QStringList { "evolution",
                   "calendar:///?source-uid=work&comp-uid=abc%40example.org&comp-rid=20261205T143000Z" };
        QTest::newRow("an event from the files is only a start of the application")
            << "org.gnome.Evolution.desktop" << evolution << false << "" << QStringList { "evolution" };
        QTest::newRow("GNOME Calendar, event from the files")
            << "org.gnome.Calendar.desktop" << gnomeCalendar << false << ""
            << QStringList { "gnome-calendar" };
        QTest::newRow("another application is started without the event or any file")
            << "org.kde.korganizer.desktop" << QByteArray("Exec=korganizer %f --new\n") << true << "x"
            << QStringList { "korganizer", "--new" };
        QTest::newRow("quoted program path with spaces, escaped quote, literal percent")
            << "cal.desktop"
            << QByteArray("Exec=\"/opt/My Cal/bin/cal\" \"--title=Say \\\\\"hi\\\\\"\" 100%% %u\n") << false
            << "" << QStringList { "/opt/My Cal/bin/cal", "--title=Say \"hi\"", "100%" };
    }

    void command()
    {
        QFETCH(QString, desktopId);
        QFETCH(QByteArray, entry);
        QFETCH(bool, system);
        QFETCH(QString, rid);
        QFETCH(QStringList, expected);
        Desktop d;
        d.app(desktopId, entry);
        d.write(QStringLiteral("config/mimeapps.list"),
            "[Default Applications]\ntext/calendar=" + desktopId.toUtf8() + ";\n");
        QList<QStringList> started;
        DesktopCalendarLauncher launcher(
            [&](const QString &program, const QStringList &args) {
                started << (QStringList { program } + args);
                return true;
            },
            d.env);
        launcher.showEvent(system ? systemEvent(rid) : fileEvent());
        QCOMPARE(started, QList<QStringList> { expected });
    }

    void whichApplicationIsTheDefault_data()
    {
        QTest::addColumn<QStringList>("files"); // path=content pairs, "|" separated
        QTest::addColumn<QString>("expected");
        QTest::newRow("the desktop's own list wins over the shared one")
            << QStringList { "config/mimeapps.list|[Default Applications]\ntext/calendar=b.desktop\n",
                   "config/gnome-mimeapps.list|[Default Applications]\ntext/calendar=a.desktop\n" }
            << "a.desktop";
        QTest::newRow("the user's list wins over the system's")
            << QStringList { "etc-xdg/mimeapps.list|[Default Applications]\ntext/calendar=b.desktop\n",
                   "config/mimeapps.list|[Default Applications]\ntext/calendar=a.desktop\n" }
            << "a.desktop";
        QTest::newRow("a default that is not installed falls to the next one") << QStringList {
            "config/mimeapps.list|[Default Applications]\ntext/calendar=gone.desktop;b.desktop;\n"
        } << "b.desktop";
        QTest::newRow("without a default, the added association")
            << QStringList { "config/mimeapps.list|[Added Associations]\ntext/calendar=b.desktop;\n" }
            << "b.desktop";
        QTest::newRow("then the cache, less what the user removed") << QStringList {
            "config/mimeapps.list|[Removed Associations]\ntext/calendar=a.desktop;\n",
            "usr-share/applications/mimeinfo.cache|[MIME Cache]\ntext/calendar=a.desktop;b.desktop;\n"
        } << "b.desktop";
        QTest::newRow("a hidden entry does not count") << QStringList {
            "config/mimeapps.list|[Default Applications]\ntext/calendar=hidden.desktop;b.desktop\n"
        } << "b.desktop";
        QTest::newRow("an entry whose TryExec is missing does not count") << QStringList {
            "config/mimeapps.list|[Default Applications]\ntext/calendar=absent.desktop;a.desktop\n"
        } << "a.desktop";
        QTest::newRow("a vendor prefix maps to a subfolder")
            << QStringList { "config/mimeapps.list|[Default Applications]\ntext/calendar=kde-cal.desktop\n" }
            << "kde-cal.desktop";
        QTest::newRow("no handler anywhere") << QStringList {} << "";
    }

    void whichApplicationIsTheDefault()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, expected);
        Desktop d;
        d.app(QStringLiteral("a.desktop"), "Exec=a\n");
        d.app(QStringLiteral("b.desktop"), "Exec=b\n");
        d.app(QStringLiteral("hidden.desktop"), "Exec=h\nHidden=true\n");
        d.app(QStringLiteral("absent.desktop"), "Exec=absent\nTryExec=definitely-not-installed-here\n");
        d.app(QStringLiteral("kde/cal.desktop"), "Exec=kcal\n");
        for (const QString &f : std::as_const(files)) {
            const qsizetype bar = f.indexOf(QLatin1Char('|'));
            d.write(f.left(bar), f.mid(bar + 1).toUtf8());
        }
        int runs = 0;
        DesktopCalendarLauncher launcher(
            [&](const QString &, const QStringList &) {
                ++runs;
                return true;
            },
            d.env);
        QCOMPARE(launcher.defaultApplication(QStringLiteral("text/calendar")), expected);
        launcher.showEvent(fileEvent());
        QCOMPARE(runs, expected.isEmpty() ? 0 : 1);
    }

    void aRegisteredIcalHandlerGetsTheDeepLink()
    {
        Desktop d;
        d.app(QStringLiteral("other.desktop"), "Exec=othercal\n");
        d.app(QStringLiteral("linker.desktop"), "Exec=linker --open %u\n");
        d.write(QStringLiteral("config/mimeapps.list"),
            "[Default Applications]\ntext/calendar=other.desktop\nx-scheme-handler/ical=linker.desktop\n");
        DesktopCalendarLauncher launcher([](const QString &, const QStringList &) { return true; }, d.env);
        const QStringList command = launcher.commandFor(fileEvent());
        QCOMPARE(command.mid(0, 2), (QStringList { "linker", "--open" }));
        QCOMPARE(command.size(), 3);
        QVERIFY2(command.at(2).startsWith(QLatin1String("ical://ekevent/20261205T143000Z/")),
            qPrintable(command.at(2)));
        // GNOME Calendar still shows system events itself.
        d.app(QStringLiteral("org.gnome.Calendar.desktop"), "Exec=gnome-calendar\n");
        d.write(QStringLiteral("config/mimeapps.list"),
            "[Default "
            "Applications]\ntext/calendar=org.gnome.Calendar.desktop\nx-scheme-handler/"
            "ical=linker.desktop\n");
        QCOMPARE(launcher.commandFor(systemEvent()).first(), QStringLiteral("gnome-calendar"));
    }

    void hostileIdsStayOneArgument_data()
    {
        QTest::addColumn<QString>("desktopId");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("GNOME Calendar")
            << "org.gnome.Calendar.desktop"
            << QStringList { "gnome-calendar", "--uuid=work:--help $(rm -rf ~) & x" };
        QTest::newRow("Evolution")
            << "org.gnome.Evolution.desktop"
            << QStringList { "evolution",
                   "calendar:///?source-uid=work&comp-uid=--help%20%24%28rm%20-rf%20~%29%20%26%20x" };
    }

    void hostileIdsStayOneArgument()
    {
        // Component ids come from other people's invitations.
        QFETCH(QString, desktopId);
        QFETCH(QStringList, expected);
        Desktop d;
        d.app(desktopId,
            desktopId.contains(QLatin1String("Evolution")) ? "Exec=evolution %U\n" : "Exec=gnome-calendar\n");
        d.write(QStringLiteral("config/mimeapps.list"),
            "[Default Applications]\ntext/calendar=" + desktopId.toUtf8() + "\n");
        CalendarEvent e = systemEvent();
        e.componentUid = QStringLiteral("--help $(rm -rf ~) & x");
        DesktopCalendarLauncher launcher([](const QString &, const QStringList &) { return true; }, d.env);
        QCOMPARE(launcher.commandFor(e), expected);
    }

    void desktopIdsCannotEscapeTheApplicationsFolders()
    {
        Desktop d;
        d.write(QStringLiteral("evil.desktop"), "[Desktop Entry]\nType=Application\nExec=evil\n");
        d.write(QStringLiteral("config/mimeapps.list"),
            "[Default Applications]\ntext/calendar=../../evil.desktop;/etc/evil.desktop\n");
        DesktopCalendarLauncher launcher([](const QString &, const QStringList &) { return true; }, d.env);
        QCOMPARE(launcher.defaultApplication(QStringLiteral("text/calendar")), QString());
    }
};

QTEST_GUILESS_MAIN(tst_DesktopCalendarLauncher)
#include "tst_desktopcalendarlauncher.moc"
