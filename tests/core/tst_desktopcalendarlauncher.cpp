#include "DesktopCalendarLauncher.h"
#include "EventRowRules.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Desktop
{
    QTemporaryDir root;
    QList<QStringList> started;
    DesktopCalendarLauncher launcher { [this](const QString &program, const QStringList &args) {
                                          started << (QStringList { program } + args);
                                          return true;
                                      },
        environment() };

    DesktopCalendarLauncher::Environment environment() const
    {
        DesktopCalendarLauncher::Environment env;
        env.configHome = root.filePath(QStringLiteral("config"));
        env.configDirs = { root.filePath(QStringLiteral("etc-xdg")) };
        env.dataHome = root.filePath(QStringLiteral("share"));
        env.dataDirs = { root.filePath(QStringLiteral("usr-share")) };
        env.currentDesktops = { QStringLiteral("gnome") };
        return env;
    }
    void write(const QString &relative, const QByteArray &text)
    {
        QVERIFY(writeFile(root.filePath(relative), text));
    }
    void app(const QString &id, const QByteArray &body)
    {
        write(QStringLiteral("usr-share/applications/") + id,
            "[Desktop Entry]\nType=Application\nName=X\n" + body);
    }
};

/**
 * An event of the system store, or with "files:" before its component uid one
 * from the calendar files, which name its source by the folder.
 */
CalendarEvent eventWith(QString componentUid, const QString &rid)
{
    CalendarEvent e;
    e.identifier = QStringLiteral("/home/u/.calendars/home/x.ics#abc");
    e.start = QDateTime(QDate(2026, 12, 5), QTime(14, 30), Qt::UTC);
    e.end = e.start.addSecs(3600);
    const bool fromFiles = componentUid.startsWith(QLatin1String("files:"));
    e.componentUid = componentUid.remove(QLatin1String("files:"));
    e.sourceUid = fromFiles ? QStringLiteral("/home/u/.local/share/moriva/calendars/work")
                            : QStringLiteral("work");
    e.recurrenceId = rid;
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
        QTest::addColumn<QByteArray>("exec");
        QTest::addColumn<bool>("icalHandler"); // linker.desktop handles ical: links
        QTest::addColumn<QString>("componentUid"); // empty: an event from the files
        QTest::addColumn<QString>("rid");
        QTest::addColumn<QStringList>("expected");
        const QString gnome = QStringLiteral("org.gnome.Calendar.desktop");
        const QString evolution = QStringLiteral("org.gnome.Evolution.desktop");
        const QByteArray gnomeExec = "Exec=gnome-calendar\nDBusActivatable=true\n";
        const QByteArray evolutionExec = "Exec=evolution %U\n";
        const QString uid = QStringLiteral("abc@example.org");
        // Component ids come from other people's invitations.
        const QString hostile = QStringLiteral("--help $(rm -rf ~) & x");
        // clang-format off
        QTest::newRow("GNOME Calendar shows one occurrence") << gnome << gnomeExec << false << uid << "20261205T143000"
            << QStringList { "gnome-calendar", "--uuid=work:abc@example.org:20261205T143000" };
        QTest::newRow("GNOME Calendar from a flatpak keeps its launcher") << gnome
            << QByteArray("Exec=/usr/bin/flatpak run --branch=stable --command=gnome-calendar org.gnome.Calendar\n")
            << false << uid << ""
            << QStringList { "/usr/bin/flatpak", "run", "--branch=stable", "--command=gnome-calendar", "org.gnome.Calendar", "--uuid=work:abc@example.org" };
        QTest::newRow("GNOME Calendar, hostile id") << gnome << gnomeExec << false << hostile << ""
            << QStringList { "gnome-calendar", "--uuid=work:--help $(rm -rf ~) & x" };
        QTest::newRow("GNOME Calendar shows system events itself despite an ical: handler") << gnome << gnomeExec
            << true << uid << "" << QStringList { "gnome-calendar", "--uuid=work:abc@example.org" };
        QTest::newRow("Evolution gets its calendar: link, ids encoded") << evolution << evolutionExec << false << uid << "20261205T143000Z"
            << QStringList { "evolution", "calendar:///?source-uid=work&comp-uid=abc%40example.org&comp-rid=20261205T143000Z" };
        QTest::newRow("Evolution, hostile id") << evolution << evolutionExec << false << hostile << ""
            << QStringList { "evolution", "calendar:///?source-uid=work&comp-uid=--help%20%24%28rm%20-rf%20~%29%20%26%20x" };
        // Neither application knows the files store's ids: they are only started.
        QTest::newRow("Evolution, an event from the files") << evolution << evolutionExec << false << "files:" + uid << "20261205T143000Z"
            << QStringList { "evolution" };
        QTest::newRow("GNOME Calendar, an event from the files") << gnome << QByteArray("Exec=gnome-calendar\n") << false << "files:" + uid << ""
            << QStringList { "gnome-calendar" };
        QTest::newRow("another application is started without the event or any file") << "org.kde.korganizer.desktop"
            << QByteArray("Exec=korganizer %f --new\n") << false << uid << "x" << QStringList { "korganizer", "--new" };
        QTest::newRow("quoted program path with spaces, escaped quote, literal percent") << "cal.desktop"
            << QByteArray("Exec=\"/opt/My Cal/bin/cal\" \"--title=Say \\\\\"hi\\\\\"\" 100%% %u\n") << false << "" << ""
            << QStringList { "/opt/My Cal/bin/cal", "--title=Say \"hi\"", "100%" };
        QTest::newRow("a registered ical: handler gets the deep link") << "other.desktop" << QByteArray("Exec=othercal\n")
            << true << "" << ""
            << QStringList { "linker", "--open", "<the event's deep link>" };
        // clang-format on
    }

    void command()
    {
        QFETCH(QString, desktopId);
        QFETCH(QByteArray, exec);
        QFETCH(bool, icalHandler);
        QFETCH(QString, componentUid);
        QFETCH(QString, rid);
        QFETCH(QStringList, expected);
        Desktop d;
        d.app(desktopId, exec);
        d.app(QStringLiteral("linker.desktop"), "Exec=linker --open %u\n");
        d.write(QStringLiteral("config/mimeapps.list"),
            "[Default Applications]\ntext/calendar=" + desktopId.toUtf8() + ";\n"
                + (icalHandler ? "x-scheme-handler/ical=linker.desktop\n" : ""));
        const CalendarEvent event = eventWith(componentUid, rid);
        expected.replaceInStrings(QStringLiteral("<the event's deep link>"),
            QString::fromLatin1(EventRowRules::calendarDeepLink(event).toEncoded()));
        d.launcher.showEvent(event);
        QCOMPARE(d.started, QList<QStringList> { expected });
    }

    void whichApplicationIsTheDefault_data()
    {
        QTest::addColumn<QStringList>("files"); // path|content
        QTest::addColumn<QString>("expected");
        const QString user = QStringLiteral("config/mimeapps.list|[Default Applications]\ntext/calendar=");
        // clang-format off
        QTest::newRow("the desktop's own list wins over the shared one")
            << QStringList { user + "b.desktop\n", "config/gnome-mimeapps.list|[Default Applications]\ntext/calendar=a.desktop\n" } << "a.desktop";
        QTest::newRow("the user's list wins over the system's")
            << QStringList { "etc-xdg/mimeapps.list|[Default Applications]\ntext/calendar=b.desktop\n", user + "a.desktop\n" } << "a.desktop";
        QTest::newRow("a default that is not installed falls to the next one") << QStringList { user + "gone.desktop;b.desktop;\n" } << "b.desktop";
        QTest::newRow("a hidden entry does not count") << QStringList { user + "hidden.desktop;b.desktop\n" } << "b.desktop";
        QTest::newRow("an entry whose TryExec is missing does not count") << QStringList { user + "absent.desktop;a.desktop\n" } << "a.desktop";
        QTest::newRow("a vendor prefix maps to a subfolder") << QStringList { user + "kde-cal.desktop\n" } << "kde-cal.desktop";
        QTest::newRow("ids cannot leave the applications folders") << QStringList { user + "../../evil.desktop;/etc/evil.desktop\n" } << "";
        QTest::newRow("without a default, the added association")
            << QStringList { "config/mimeapps.list|[Added Associations]\ntext/calendar=b.desktop;\n" } << "b.desktop";
        QTest::newRow("then the cache, less what the user removed")
            << QStringList { "config/mimeapps.list|[Removed Associations]\ntext/calendar=a.desktop;\n",
                   "usr-share/applications/mimeinfo.cache|[MIME Cache]\ntext/calendar=a.desktop;b.desktop;\n" } << "b.desktop";
        QTest::newRow("no handler anywhere") << QStringList {} << "";
        // clang-format on
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
        d.write(QStringLiteral("evil.desktop"), "[Desktop Entry]\nType=Application\nExec=evil\n");
        for (const QString &f : std::as_const(files)) {
            const qsizetype bar = f.indexOf(QLatin1Char('|'));
            d.write(f.left(bar), f.mid(bar + 1).toUtf8());
        }
        QCOMPARE(d.launcher.defaultApplication(QStringLiteral("text/calendar")), expected);
        d.launcher.showEvent(eventWith({}, {}));
        QCOMPARE(d.started.size(), expected.isEmpty() ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(tst_DesktopCalendarLauncher)
#include "tst_desktopcalendarlauncher.moc"
