#include "CalendarSources.h"
#include "FakeLoginItem.h"
#include "OutputCapture.h"
#include "SettingsFile.h"
#include "SettingsManager.h"
#include "TestFiles.h"
#include "XdgAutostartLoginItem.h"
#include "ZonePin.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The value as the file on disk spells it. Another QSettings in this process
// would share the writer's memory and prove nothing about the disk.
QString storedValue(const QString &path, const QString &key)
{
    const QRegularExpression line(u'^' + key + QStringLiteral("=(.*)$"), QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = line.match(QString::fromUtf8(readFile(path)));
    return m.hasMatch() ? m.captured(1) : QStringLiteral("<absent>");
}

// Assigns through the property system, so one table can drive all four setters.
void assign(SettingsManager &settings, const QString &property, const QString &raw)
{
    const QVariant value = property == u"appearanceMode"
        ? QVariant::fromValue(*appearanceModeFromRawValue(raw))
        : property == u"weekStart" ? QVariant::fromValue(*weekStartFromRawValue(raw))
                                   : QVariant(raw == u"true");
    QVERIFY(settings.setProperty(property.toLatin1().constData(), value));
}

struct Loaded
{
    explicit Loaded(const QString &path, const QString &loginFailure = QString())
        : defaults(path)
        , login(loginFailure)
        , settings(&defaults, &login)
    { }
    SettingsFile defaults;
    FakeLoginItem login;
    SettingsManager settings;
};

const QByteArray userFile = "[General]\nappearanceMode=Dark\ncalendarSources=/home/u/.local/share/calendars\n"
                            "launchAtLogin=true\nshowEventDots=true\nweekStart=Monday\n\n"
                            "[window]\nlastScreen=DP-1\n";

QStringList copiesBeside(const QString &path)
{
    return QDir(QFileInfo(path).absolutePath()).entryList({ "Moriva.conf.*" }, QDir::Files, QDir::Name);
}

// Files this process writes may grow to `bytes` only, as on a full disk:
// writes past it fail with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_saved {};
    void (*m_oldHandler)(int) = nullptr;
};

const QByteArray appFile = "[General]\nappearanceMode=Dark\nlaunchAtLogin=true\nshowEventDots=true\nweekStart=Monday\n";

} // namespace

class tst_SettingsManager : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    QByteArray m_savedConfigHome;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(pinLocalZone("UTC"));
        QVERIFY(pinLocale(QLocale::c()));
        m_savedConfigHome = qgetenv("XDG_CONFIG_HOME");
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_path = m_dir->filePath(QStringLiteral("Moriva/Moriva.conf"));
        qputenv("XDG_CONFIG_HOME", m_dir->path().toUtf8());
        QCOMPARE(SettingsManager::defaultFilePath(), m_path);
    }

    void cleanup() { qputenv("XDG_CONFIG_HOME", m_savedConfigHome); }

    void loading_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("loginFailure");
        QTest::addColumn<QString>("loaded"); // appearance, week start, launch at login, event dots

        // clang-format off
        QTest::newRow("fresh install, registration fails") << QByteArray() << "no home folder" << "System Sunday true true";
        QTest::newRow("as the app writes them") << userFile << QString() << "Dark Monday true true";
        QTest::newRow("raw values are case-sensitive") << QByteArray("[General]\nappearanceMode=light\nweekStart=monday\n") << QString() << "System Sunday true true";
        QTest::newRow("booleans in capitals or digits") << QByteArray("[General]\nlaunchAtLogin=FALSE\nshowEventDots=0\n") << QString() << "System Sunday false false";
        QTest::newRow("other words and numbers fall back") << QByteArray("[General]\nlaunchAtLogin=no\nshowEventDots=2\n") << QString() << "System Sunday true true";
        // clang-format on
    }

    void loading()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, loginFailure);
        QFETCH(QString, loaded);
        if (!stored.isEmpty())
            QVERIFY(writeFile(m_path, stored));

        OutputCapture output(STDOUT_FILENO);
        Loaded l(m_path, loginFailure);
        const auto text = [](bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); };
        QCOMPARE(QStringList({ rawValue(l.settings.appearanceMode()), rawValue(l.settings.weekStart()),
                                 text(l.settings.launchAtLogin()), text(l.settings.showEventDots()) })
                     .join(u' '),
            loaded);
        // Every start puts the login item in step, whatever it was before.
        QCOMPARE(l.login.calls, QStringList { l.settings.launchAtLogin() ? "register" : "unregister" });
        QCOMPARE(output.text(),
            loginFailure.isEmpty() ? QByteArray()
                                   : "Failed to toggle launch at login: " + loginFailure.toUtf8() + '\n');
        // Loading repairs nothing: the user's odd values stay as they were.
        QCOMPARE(readFile(m_path), stored);
    }

    void everyAssignmentSaves_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QByteArray>("printed");

        // userFile holds Dark, Monday, true, true; on a fresh install assigning
        // a fallback must still put the key on disk.
        const char *rows[][3] = {
            { "appearanceMode", "Light", "System" },
            { "weekStart", "Sunday", "Sunday" },
            { "launchAtLogin", "false", "true" },
            { "showEventDots", "false", "true" },
            { "remindBeforeMeetings", "true", "false" },
        };
        // clang-format off
        for (const auto &row : rows) {
            QTest::addRow("%s changed", row[0]) << row[0] << row[1] << userFile << QString() << QByteArray();
            QTest::addRow("%s fallback on a fresh install", row[0]) << row[0] << row[2] << QByteArray() << QString() << QByteArray();
        }
        // A failed registration does not take back what the user chose.
        QTest::newRow("register fails, reason of several lines, not ASCII") << "launchAtLogin" << "true" << QByteArray(userFile).replace("launchAtLogin=true", "launchAtLogin=false")
            << QString::fromUtf8("Zugriff verweigert:\n„autostart“\r\n") << QByteArray("Failed to toggle launch at login: Zugriff verweigert: „autostart“  \n");
        // clang-format on
    }

    void everyAssignmentSaves()
    {
        QFETCH(QString, property);
        QFETCH(QString, value);
        QFETCH(QByteArray, before);
        QFETCH(QString, failure);
        QFETCH(QByteArray, printed);
        if (!before.isEmpty())
            QVERIFY(writeFile(m_path, before));

        Loaded l(m_path);
        l.login.calls.clear();
        l.login.failWith = failure;
        // Written by someone else after we loaded: our save must not drop it.
        QSettings(m_path, QSettings::IniFormat).setValue("calendarSources", QStringList { "/a", "/b, c" });

        OutputCapture output(STDOUT_FILENO);
        // Whoever hears of the change and reads the file must find the new value there.
        QStringList storedWhenAnnounced;
        connect(&l.settings, &SettingsManager::settingsDidChange, this,
            [&] { storedWhenAnnounced << storedValue(m_path, property); });

        assign(l.settings, property, value);

        QCOMPARE(storedWhenAnnounced, QStringList { value });
        if (property == u"launchAtLogin") {
            QCOMPARE(l.login.calls, QStringList { value == u"true" ? "register" : "unregister" });
            QCOMPARE(l.settings.launchAtLogin(), value == u"true");
        }
        QCOMPARE(output.text(), printed);
        // Keys of other sections are kept too: tst_appdelegate's settingsPanelChangeSurvivesARestart.
        QCOMPARE(storedValue(m_path, "calendarSources"), QStringLiteral(R"(/a, "/b, c")"));
    }

    // The whole app's use of the file: the calendar sources are read from the
    // same object the manager writes through, as main() builds them. Only a
    // file that QSettings would not read back whole counts as damaged.
    void damagedFileIsKept_data()
    {
        QTest::addColumn<QByteArray>("before"); // on disk at start
        QTest::addColumn<QByteArray>("earlierCopy"); // Moriva.conf.damaged left by an earlier start, if not empty
        QTest::addColumn<QByteArray>("meanwhile"); // written by someone else while running, if not empty
        QTest::addColumn<QStringList>("sources");
        QTest::addColumn<QStringList>("copies"); // the last holds the damaged text
        QTest::addColumn<QString>("weekStart"); // loaded and saved again, if not empty

        const QByteArray cut("[General\nweekStart=Monday\ncalendarSources=/home/u/cal\n");
        const QByteArray noEquals = appFile + "calendarSources /home/u/cal, /home/u/work.ics\n";
        const QByteArray openQuote = "[General]\nappearanceMode=\"Dark\nweekStart=Monday\ncalendarSources=/c\n";
        const QByteArray latin1 = "[General]\ncalendarSources=/home/u/caf\xe9.ics\n";
        const QStringList one { "Moriva.conf.damaged" }, cal { "/home/u/cal" };
        // clang-format off
        QTest::newRow("as the app writes it") << appFile + "calendarSources=/a, \"/b, c\"\n\n[window]\nlastScreen=DP-1\n" << QByteArray() << QByteArray() << QStringList { "/a", "/b, c" } << QStringList() << "Monday";
        QTest::newRow("comments, spaces, escaped keys, continued line") << QByteArray("; mine\n[General]\n  weekStart = Monday ; why\nmy%20key=1\nsub\\key=2\nlong=a\\\nb\n[Other%20Part]\nk=\"x;y\"\n") << QByteArray() << QByteArray() << QStringList() << QStringList() << "Monday";
        QTest::newRow("section header cut short") << cut << QByteArray() << QByteArray() << cal << one << "Monday";
        QTest::newRow("hash is no comment here") << QByteArray("# mine\n[General]\nweekStart=Monday\n") << QByteArray() << QByteArray() << QStringList() << one << QString();
        // QSettings writes a line without a key back out: it must not fail every later save.
        QTest::newRow("empty key, continued") << QByteArray("[General]\n=Mon\\\nday\nweekStart=Monday\n") << QByteArray() << QByteArray() << QStringList() << one << "Monday";
        // QSettings parses sections lazily: the damage sits where nothing asks first.
        QTest::newRow("good keys then a broken section") << QByteArray("[General]\ncalendarSources=/home/u/cal\nweekStart=Monday\n[Sources\nwork=/srv/w.ics\n") << QByteArray() << QByteArray() << cal << one << "Monday";
        // A line without "=" at start: tst_appdelegate's settingsPanelChangeSurvivesARestart.
        // A damaged file nobody rewrote (no setting changed) is met again at the next start.
        QTest::newRow("same damage as last start: no second copy") << cut << cut << QByteArray() << cal << one << "Monday";
        QTest::newRow("other damage: both copies kept") << cut << QByteArray("[General\nweekStart=Sunday\n") << QByteArray() << cal << QStringList { "Moriva.conf.damaged", "Moriva.conf.damaged.2" } << "Monday";
        QTest::newRow("quote left open at start") << openQuote << QByteArray() << QByteArray() << QStringList() << one << QString();
        QTest::newRow("path not UTF-8 at start") << latin1 << QByteArray() << QByteArray() << QStringList { QString::fromUtf8("/home/u/caf\xef\xbf\xbd.ics") } << one << QString();
        QTest::newRow("damaged while running") << appFile << QByteArray() << noEquals << QStringList() << one << QString();
        QTest::newRow("sources added while running") << appFile << QByteArray() << appFile + "calendarSources=/w\n" << QStringList() << QStringList() << QString();
        // clang-format on
    }

    void damagedFileIsKept()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, earlierCopy);
        QFETCH(QByteArray, meanwhile);
        QFETCH(QStringList, sources);
        QFETCH(QStringList, copies);
        QFETCH(QString, weekStart);
        QVERIFY(writeFile(m_path, before));
        if (!earlierCopy.isEmpty())
            QVERIFY(writeFile(m_path + ".damaged", earlierCopy));

        SettingsFile file(m_path);
        QStringList roots;
        for (const SourceRoot &root : CalendarSources::fromSettings(file))
            roots.append(root.path);
        QCOMPARE(roots, sources);
        FakeLoginItem login;
        SettingsManager settings(&file, &login);
        if (!weekStart.isEmpty())
            QCOMPARE(rawValue(settings.weekStart()), weekStart);
        if (!meanwhile.isEmpty()) {
            const QDateTime readAt = QFileInfo(m_path).lastModified();
            QVERIFY(writeFile(m_path, meanwhile));
            // An editor that keeps the old time stamp still changed the file.
            QFile edited(m_path);
            QVERIFY(edited.open(QIODevice::ReadWrite) && edited.setFileTime(readAt, QFileDevice::FileModificationTime));
        }
        settings.setShowEventDots(false);

        QCOMPARE(copiesBeside(m_path), copies);
        if (!copies.isEmpty())
            QCOMPARE(readFile(QFileInfo(m_path).absolutePath() + u'/' + copies.last()), meanwhile.isEmpty() ? before : meanwhile);
        if (!earlierCopy.isEmpty())
            QCOMPARE(readFile(m_path + ".damaged"), earlierCopy);
        QCOMPARE(storedValue(m_path, "showEventDots"), QStringLiteral("false"));
        if (!weekStart.isEmpty())
            QCOMPARE(storedValue(m_path, "weekStart"), weekStart);
        if (meanwhile.contains("calendarSources=/w"))
            QCOMPARE(storedValue(m_path, "calendarSources"), QStringLiteral("/w"));
    }

    // Whatever stops the save, the user's choices hold for the session, the
    // file and the autostart entry are not replaced by what little got
    // written, and the failure is reported once.
    void cannotSave_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO at the path") << "fifo";
        QTest::newRow("read-only file") << "read-only file";
        QTest::newRow("read-only folder") << "read-only folder";
        // What cannot be read must not be replaced by what little is known of it.
        QTest::newRow("unreadable file") << "unreadable file";
        QTest::newRow("full disk") << "full disk";
    }

    void cannotSave()
    {
        QFETCH(QString, kind);
        const QString folder = QFileInfo(m_path).absolutePath();
        QDir().mkpath(folder);
        if (kind == u"fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(m_path).constData(), 0600), 0);
        } else {
            QVERIFY(writeFile(m_path, appFile));
            if (kind == u"read-only file") {
                QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
            } else if (kind == u"unreadable file") {
                if (::geteuid() == 0)
                    QSKIP("root reads every file");
                QFile::setPermissions(m_path, QFileDevice::WriteOwner);
            } else if (kind == u"read-only folder") {
                if (::geteuid() == 0)
                    QSKIP("root writes into every folder");
                QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            }
        }
        XdgAutostartLoginItem login(QStringLiteral("/usr/bin/moriva"));
        QString error;
        QVERIFY(login.registerItem(error));
        const QByteArray entry = readFile(XdgAutostartLoginItem::entryPath());

        QByteArray printed, said;
        bool kept = false;
        ::alarm(20); // a blocking open ends the test here instead of hanging it
        std::unique_ptr<SettingsFile> file;
        {
            OutputCapture out(STDOUT_FILENO);
            OutputCapture err(STDERR_FILENO);
            file = std::make_unique<SettingsFile>(m_path);
            FileSizeLimit full(kind == u"full disk" ? 16 : RLIM_INFINITY);
            SettingsManager settings(file.get(), &login);
            settings.setWeekStart(WeekStart::sunday);
            settings.setShowEventDots(false);
            kept = settings.weekStart() == WeekStart::sunday && !settings.showEventDots();
            printed = out.text();
            said = err.text();
        }
        ::alarm(0);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QVERIFY(kept); // for the session
        QCOMPARE(said.count('\n'), 1);
        QVERIFY2(said.startsWith("Moriva: settings cannot be saved (") && said.contains(m_path.toUtf8()), said);
        QCOMPARE(readFile(XdgAutostartLoginItem::entryPath()), entry);
        if (kind == u"full disk")
            QVERIFY2(printed.startsWith("Failed to toggle launch at login: could not write "), printed);
        QCOMPARE(printed.count('\n'), kind == u"full disk" ? 1 : 0);
        QCOMPARE(copiesBeside(m_path), QStringList());
        if (kind == u"fifo") {
            QVERIFY(QFileInfo(m_path).exists() && !QFileInfo(m_path).isFile());
            return;
        }
        QCOMPARE(readFile(m_path), appFile);
        if (kind != u"full disk")
            return;

        // Once there is room again, the next change saves every change of the session.
        FakeLoginItem fake;
        SettingsManager later(file.get(), &fake);
        later.setAppearanceMode(AppearanceMode::light);
        QCOMPARE(storedValue(m_path, "weekStart"), QStringLiteral("Sunday"));
        QCOMPARE(storedValue(m_path, "showEventDots"), QStringLiteral("false"));
        QCOMPARE(storedValue(m_path, "appearanceMode"), QStringLiteral("Light"));
    }

    void relativeConfigHomeIsIgnored()
    {
        const QByteArray savedHome = qgetenv("HOME");
        qputenv("HOME", "/home/someone");
        qputenv("XDG_CONFIG_HOME", "conf"); // not valid, so ignored
        const QString path = SettingsManager::defaultFilePath();
        qputenv("HOME", savedHome);
        QCOMPARE(path, QStringLiteral("/home/someone/.config/Moriva/Moriva.conf"));
    }
};

QTEST_GUILESS_MAIN(tst_SettingsManager)
#include "tst_settingsmanager.moc"
