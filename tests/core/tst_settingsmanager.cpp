#include "FakeLoginItem.h"
#include "SettingsManager.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

// Points fd 1 at a file for as long as it lives, so printf-level output is seen.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        if (!m_file.open())
            qFatal("no temporary file for standard output");
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        ::dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture()
    {
        std::fflush(stdout);
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
    }
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    QByteArray text()
    {
        std::fflush(stdout);
        QFile file(m_file.fileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The value as the file on disk spells it. Another QSettings in this process
// would share the writer's memory and prove nothing about the disk.
QString storedValue(const QString &path, const QString &key)
{
    const QString group
        = key.contains(QLatin1Char('/')) ? key.section(QLatin1Char('/'), 0, 0) : QStringLiteral("General");
    const QString name = key.section(QLatin1Char('/'), -1);
    QString section;
    for (const QByteArray &line : readFile(path).split('\n')) {
        const QString text = QString::fromUtf8(line);
        if (text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']')))
            section = text.mid(1, text.size() - 2);
        else if (section == group && text.startsWith(name + QLatin1Char('=')))
            return text.mid(name.size() + 1);
    }
    return QStringLiteral("<absent>");
}

// The same setter by name, so one table can drive all four.
void assign(SettingsManager &settings, const QString &property, const QString &raw)
{
    if (property == QLatin1String("appearanceMode"))
        settings.setAppearanceMode(*appearanceModeFromRawValue(raw));
    else if (property == QLatin1String("weekStart"))
        settings.setWeekStart(*weekStartFromRawValue(raw));
    else if (property == QLatin1String("launchAtLogin"))
        settings.setLaunchAtLogin(raw == QLatin1String("true"));
    else if (property == QLatin1String("showEventDots"))
        settings.setShowEventDots(raw == QLatin1String("true"));
    else
        QFAIL("unknown property");
}

const QByteArray userFile = "[General]\n"
                            "appearanceMode=Dark\n"
                            "calendarSources=/home/u/.local/share/calendars\n"
                            "launchAtLogin=true\n"
                            "showEventDots=true\n"
                            "weekStart=Monday\n"
                            "\n"
                            "[window]\n"
                            "lastScreen=DP-1\n";

} // namespace

class tst_SettingsManager : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
        QLocale::setDefault(QLocale::c());
        QCOMPARE(QLocale().name(), QStringLiteral("C"));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_path = m_dir->filePath(QStringLiteral("Moriva/Moriva.conf"));
    }

    void freshInstall()
    {
        QSettings defaults(m_path, QSettings::IniFormat);
        FakeLoginItem login;
        SettingsManager settings(&defaults, &login);

        QCOMPARE(settings.appearanceMode(), AppearanceMode::system);
        QCOMPARE(settings.weekStart(), WeekStart::sunday);
        QVERIFY(settings.launchAtLogin());
        QVERIFY(settings.showEventDots());
        QCOMPARE(login.calls, QStringList { QStringLiteral("register") });
        QVERIFY(defaults.allKeys().isEmpty());
        QVERIFY(!QFileInfo::exists(m_path));

        settings.setWeekStart(WeekStart::monday);
        QCOMPARE(storedValue(m_path, QStringLiteral("weekStart")), QStringLiteral("Monday"));
    }

    void loading_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("appearanceMode");
        QTest::addColumn<QString>("weekStart");
        QTest::addColumn<bool>("launchAtLogin");
        QTest::addColumn<bool>("showEventDots");

        QTest::newRow("as the app writes them") << userFile << "Dark"
                                                << "Monday" << true << true;
        QTest::newRow("Light") << QByteArray("[General]\nappearanceMode=Light\n") << "Light"
                               << "Sunday" << true << true;
        QTest::newRow("lower-case raw values fall back")
            << QByteArray("[General]\nappearanceMode=light\nweekStart=monday\n") << "System"
            << "Sunday" << true << true;
        QTest::newRow("raw values with stray spaces fall back")
            << QByteArray("[General]\nappearanceMode=\"Dark \"\nweekStart=\" Monday\"\n") << "System"
            << "Sunday" << true << true;
        QTest::newRow("booleans in capitals")
            << QByteArray("[General]\nlaunchAtLogin=FALSE\nshowEventDots=False\n") << "System"
            << "Sunday" << false << false;
        QTest::newRow("booleans as digits")
            << QByteArray("[General]\nlaunchAtLogin=0\nshowEventDots=1\n") << "System"
            << "Sunday" << false << true;
        QTest::newRow("TRUE") << QByteArray("[General]\nlaunchAtLogin=TRUE\nshowEventDots=false\n")
                              << "System"
                              << "Sunday" << true << false;
        QTest::newRow("a word is not a boolean")
            << QByteArray("[General]\nlaunchAtLogin=no\nshowEventDots=off\n") << "System"
            << "Sunday" << true << true;
        QTest::newRow("other numbers are not booleans")
            << QByteArray("[General]\nlaunchAtLogin=2\nshowEventDots=-1\n") << "System"
            << "Sunday" << true << true;
        QTest::newRow("empty values")
            << QByteArray("[General]\nappearanceMode=\nlaunchAtLogin=\nshowEventDots=\n") << "System"
            << "Sunday" << true << true;
        QTest::newRow("a list is not a boolean")
            << QByteArray("[General]\nlaunchAtLogin=false, true\nweekStart=Monday, Sunday\n") << "System"
            << "Sunday" << true << true;
        QTest::newRow("keys in another group do not count")
            << QByteArray("[Other]\nweekStart=Monday\nlaunchAtLogin=false\n") << "System"
            << "Sunday" << true << true;
    }

    void loading()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, appearanceMode);
        QFETCH(QString, weekStart);
        QFETCH(bool, launchAtLogin);
        QFETCH(bool, showEventDots);
        writeFile(m_path, stored);

        QSettings defaults(m_path, QSettings::IniFormat);
        FakeLoginItem login;
        SettingsManager settings(&defaults, &login);

        QCOMPARE(rawValue(settings.appearanceMode()), appearanceMode);
        QCOMPARE(rawValue(settings.weekStart()), weekStart);
        QCOMPARE(settings.launchAtLogin(), launchAtLogin);
        QCOMPARE(settings.showEventDots(), showEventDots);
        // Every start puts the login item in step, whatever it was before.
        QCOMPARE(login.calls,
            QStringList { launchAtLogin ? QStringLiteral("register") : QStringLiteral("unregister") });
        // Loading repairs nothing: the user's odd values stay as they were.
        defaults.sync();
        QCOMPARE(readFile(m_path), stored);
        QCOMPARE(QDir(m_dir->filePath(QStringLiteral("Moriva"))).entryList(QDir::Files),
            QStringList { "Moriva.conf" });
    }

    void everyAssignmentSaves_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("before");

        // userFile holds Dark, Monday, true, true; a fresh install holds nothing, and
        // assigning a default there must still put the key on disk.
        const struct
        {
            const char *property;
            const char *other;
            const char *same;
            const char *fallback;
        } rows[] = {
            { "appearanceMode", "Light", "Dark", "System" },
            { "weekStart", "Sunday", "Monday", "Sunday" },
            { "launchAtLogin", "false", "true", "true" },
            { "showEventDots", "false", "true", "true" },
        };
        for (const auto &row : rows) {
            QTest::addRow("%s changed", row.property) << row.property << row.other << userFile;
            QTest::addRow("%s the same again", row.property) << row.property << row.same << userFile;
            QTest::addRow("%s fallback on a fresh install", row.property)
                << row.property << row.fallback << QByteArray();
        }
    }

    void everyAssignmentSaves()
    {
        QFETCH(QString, property);
        QFETCH(QString, value);
        QFETCH(QByteArray, before);
        if (!before.isEmpty())
            writeFile(m_path, before);

        QSettings defaults(m_path, QSettings::IniFormat);
        FakeLoginItem login;
        SettingsManager settings(&defaults, &login);
        login.calls.clear();

        const QByteArray notifySignal = QByteArray("2") + property.toLatin1() + "Changed()";
        QSignalSpy propertySpy(&settings, notifySignal.constData());
        QStringList seenOnDisk;
        connect(&settings, &SettingsManager::settingsDidChange, this,
            [&] { seenOnDisk.append(storedValue(m_path, property)); });

        assign(settings, property, value);

        QCOMPARE(propertySpy.count(), 1);
        // Announced once, and only once the value was on disk for anyone to read.
        QCOMPARE(seenOnDisk, QStringList { value });
        if (property == QLatin1String("launchAtLogin"))
            QCOMPARE(login.calls, QStringList { value == QLatin1String("true") ? "register" : "unregister" });
        else
            QVERIFY(login.calls.isEmpty());

        if (!before.isEmpty()) {
            QCOMPARE(storedValue(m_path, QStringLiteral("calendarSources")),
                QStringLiteral("/home/u/.local/share/calendars"));
            QCOMPARE(storedValue(m_path, QStringLiteral("window/lastScreen")), QStringLiteral("DP-1"));
        }
    }

    void keysWrittenByOthersSurvive()
    {
        QSettings defaults(m_path, QSettings::IniFormat);
        FakeLoginItem login;
        SettingsManager settings(&defaults, &login);
        settings.setShowEventDots(false);

        {
            QSettings elsewhere(m_path, QSettings::IniFormat);
            elsewhere.setValue(QStringLiteral("calendarSources"), QStringList { "/a", "/b, c" });
        }
        settings.setAppearanceMode(AppearanceMode::dark);
        settings.setWeekStart(WeekStart::monday);

        QCOMPARE(storedValue(m_path, QStringLiteral("calendarSources")), QStringLiteral(R"(/a, "/b, c")"));
        QCOMPARE(storedValue(m_path, QStringLiteral("showEventDots")), QStringLiteral("false"));
        QCOMPARE(storedValue(m_path, QStringLiteral("appearanceMode")), QStringLiteral("Dark"));
        QCOMPARE(storedValue(m_path, QStringLiteral("weekStart")), QStringLiteral("Monday"));
    }

    void launchAtLoginChange_data()
    {
        QTest::addColumn<bool>("from");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QByteArray>("printed");

        QTest::newRow("true to false") << true << QString() << QByteArray();
        QTest::newRow("false to true") << false << QString() << QByteArray();
        QTest::newRow("unregister fails")
            << true << "Permission denied"
            << QByteArray("Failed to toggle launch at login: Permission denied\n");
        QTest::newRow("register fails")
            << false << "could not create the folder /x/autostart"
            << QByteArray("Failed to toggle launch at login: could not create the folder "
                          "/x/autostart\n");
        QTest::newRow("a reason of several lines prints one")
            << true << "first\nsecond\r\n"
            << QByteArray("Failed to toggle launch at login: first second  \n");
        QTest::newRow("non-ASCII reason")
            << true << QString::fromUtf8("Zugriff verweigert: „autostart“")
            << QByteArray("Failed to toggle launch at login: Zugriff verweigert: "
                          "„autostart“\n");
    }

    void launchAtLoginChange()
    {
        QFETCH(bool, from);
        QFETCH(QString, failure);
        QFETCH(QByteArray, printed);
        const bool to = !from;
        writeFile(m_path, from ? "[General]\nlaunchAtLogin=true\n" : "[General]\nlaunchAtLogin=false\n");

        QSettings defaults(m_path, QSettings::IniFormat);
        FakeLoginItem login;
        SettingsManager settings(&defaults, &login);
        login.calls.clear();
        login.failWith = failure;

        QStringList steps;
        StdoutCapture output;
        connect(&settings, &SettingsManager::launchAtLoginChanged, this,
            [&] { steps.append(QStringLiteral("property %1").arg(settings.launchAtLogin())); });
        login.onCall = [&](const QString &call) {
            steps.append(call + QStringLiteral(" with stored ")
                + storedValue(m_path, QStringLiteral("launchAtLogin")));
        };
        connect(&settings, &SettingsManager::settingsDidChange, this, [&] {
            steps.append(QStringLiteral("posted after printing [%1]").arg(QString::fromUtf8(output.text())));
        });

        settings.setLaunchAtLogin(to);
        const QByteArray allPrinted = output.text();

        const QString expectedCall = to ? QStringLiteral("register") : QStringLiteral("unregister");
        const QStringList expected {
            QStringLiteral("property %1").arg(to),
            expectedCall + QStringLiteral(" with stored ") + (to ? "true" : "false"),
            QStringLiteral("posted after printing [%1]").arg(QString::fromUtf8(printed)),
        };
        QCOMPARE(steps, expected);
        QCOMPARE(allPrinted, printed);
        // A failed registration does not take back what the user chose.
        QCOMPARE(settings.launchAtLogin(), to);
        QCOMPARE(storedValue(m_path, QStringLiteral("launchAtLogin")),
            to ? QStringLiteral("true") : QStringLiteral("false"));
    }

    void failedRegistrationAtStart()
    {
        FakeLoginItem login;
        login.failWith = QStringLiteral("no home folder");
        QSettings defaults(m_path, QSettings::IniFormat);
        QByteArray printed;
        {
            StdoutCapture output;
            SettingsManager settings(&defaults, &login);
            printed = output.text();
            QVERIFY(settings.launchAtLogin());
        }
        QCOMPARE(printed, QByteArray("Failed to toggle launch at login: no home folder\n"));
        QVERIFY(!QFileInfo::exists(m_path));
    }

    void damagedFileIsKept_data()
    {
        QTest::addColumn<QByteArray>("damaged");
        QTest::addColumn<QString>("weekStartRead");

        QTest::newRow("section header cut short")
            << QByteArray("[General\nweekStart=Monday\ncalendarSources=/home/u/cal\n") << "Monday";
        QTest::newRow("binary junk in a section read late") << QByteArray(
            "weekStart=Monday\ncalendarSources=/home/u/cal\n[Sources]\nwork=/srv/w.ics\n\x01\xff\xfe junk\n")
                                                            << "Monday";
        QTest::newRow("good keys then a broken section") << QByteArray(
            "[General]\ncalendarSources=/home/u/cal\nweekStart=Monday\n[Sources\nwork=/srv/work.ics\n")
                                                         << "Monday";
    }

    void damagedFileIsKept()
    {
        QFETCH(QByteArray, damaged);
        QFETCH(QString, weekStartRead);
        writeFile(m_path, damaged);
        const QString copy = m_path + QStringLiteral(".damaged");

        {
            QSettings defaults(m_path, QSettings::IniFormat);
            FakeLoginItem login;
            SettingsManager settings(&defaults, &login);
            QCOMPARE(defaults.status(), QSettings::FormatError);
            QCOMPARE(rawValue(settings.weekStart()), weekStartRead);
            settings.setShowEventDots(false);
        }
        QCOMPARE(readFile(copy), damaged);
        QCOMPARE(storedValue(m_path, QStringLiteral("showEventDots")), QStringLiteral("false"));
        QCOMPARE(storedValue(m_path, QStringLiteral("weekStart")), QStringLiteral("Monday"));
    }

    void earlierCopiesAreKept_data()
    {
        QTest::addColumn<QByteArray>("earlierCopy");
        QTest::addColumn<QStringList>("copies");

        const QByteArray damaged("[General\nweekStart=Monday\n");
        // A damaged file nobody rewrote (no setting changed) is met again at the next start.
        QTest::newRow("same damage as last start: no second copy")
            << damaged << QStringList { "Moriva.conf.damaged" };
        QTest::newRow("other damage: both copies kept")
            << QByteArray("[General\nweekStart=Sunday\nshowEventDots=false\n")
            << QStringList { "Moriva.conf.damaged", "Moriva.conf.damaged.2" };
    }

    void earlierCopiesAreKept()
    {
        QFETCH(QByteArray, earlierCopy);
        QFETCH(QStringList, copies);
        const QByteArray damaged("[General\nweekStart=Monday\n");
        writeFile(m_path, damaged);
        writeFile(m_path + QStringLiteral(".damaged"), earlierCopy);

        {
            QSettings defaults(m_path, QSettings::IniFormat);
            FakeLoginItem login;
            SettingsManager settings(&defaults, &login);
            settings.setWeekStart(WeekStart::sunday);
        }
        QCOMPARE(
            QDir(QFileInfo(m_path).absolutePath()).entryList({ "Moriva.conf.*" }, QDir::Files, QDir::Name),
            copies);
        QCOMPARE(readFile(m_path + QStringLiteral(".damaged")), earlierCopy);
        QCOMPARE(readFile(m_path + QStringLiteral(".damaged.") + QString::number(copies.size())),
            copies.size() > 1 ? damaged : QByteArray());
    }

    void unreadableFileIsNeverOverwritten()
    {
        if (::geteuid() == 0)
            QSKIP("root reads every file");
        writeFile(m_path, userFile);
        QFile::setPermissions(m_path, QFileDevice::WriteOwner);

        {
            QSettings defaults(m_path, QSettings::IniFormat);
            FakeLoginItem login;
            SettingsManager settings(&defaults, &login);
            QSignalSpy changed(&settings, &SettingsManager::settingsDidChange);
            settings.setWeekStart(WeekStart::sunday);
            QCOMPARE(settings.weekStart(), WeekStart::sunday);
            QCOMPARE(changed.count(), 1);
        }
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(readFile(m_path), userFile);
    }

    void defaultFilePath_data()
    {
        QTest::addColumn<QByteArray>("configHome");
        QTest::addColumn<QString>("expected");

        QTest::newRow("XDG_CONFIG_HOME set") << QByteArray("/srv/conf") << "/srv/conf/Moriva/Moriva.conf";
        QTest::newRow("unset") << QByteArray() << "/home/someone/.config/Moriva/Moriva.conf";
        QTest::newRow("relative is ignored")
            << QByteArray("conf") << "/home/someone/.config/Moriva/Moriva.conf";
    }

    void defaultFilePath()
    {
        QFETCH(QByteArray, configHome);
        QFETCH(QString, expected);
        const QByteArray savedHome = qgetenv("HOME");
        const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", "/home/someone");
        if (configHome.isEmpty())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", configHome);

        const QString path = SettingsManager::defaultFilePath();
        qputenv("HOME", savedHome);
        if (savedConfig.isEmpty())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", savedConfig);
        QCOMPARE(path, expected);
    }
};

QTEST_GUILESS_MAIN(tst_SettingsManager)
#include "tst_settingsmanager.moc"
