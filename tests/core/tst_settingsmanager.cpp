#include "FakeLoginItem.h"
#include "OutputCapture.h"
#include "SettingsFile.h"
#include "SettingsManager.h"
#include "ZonePin.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <unistd.h>

namespace {

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

} // namespace

class tst_SettingsManager : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(pinLocalZone("UTC"));
        QVERIFY(pinLocale(QLocale::c()));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_path = m_dir->filePath(QStringLiteral("Moriva/Moriva.conf"));
    }

    void loading_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("loginFailure");
        QTest::addColumn<QString>("loaded"); // appearance, week start, launch at login, event dots

        // clang-format off
        QTest::newRow("fresh install") << QByteArray() << QString() << "System Sunday true true";
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
            writeFile(m_path, stored);

        OutputCapture output(STDOUT_FILENO);
        Loaded l(m_path, loginFailure);
        const auto text = [](bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); };
        QCOMPARE(QStringList({ rawValue(l.settings.appearanceMode()), rawValue(l.settings.weekStart()),
                                 text(l.settings.launchAtLogin()), text(l.settings.showEventDots()) })
                     .join(u' '),
            loaded);
        QVERIFY(!l.settings.remindBeforeMeetings()); // off unless chosen
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
        QTest::newRow("unregister fails") << "launchAtLogin" << "false" << userFile << "Permission denied" << QByteArray("Failed to toggle launch at login: Permission denied\n");
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
            writeFile(m_path, before);

        Loaded l(m_path);
        l.login.calls.clear();
        l.login.failWith = failure;
        // Written by someone else after we loaded: our save must not drop it.
        QSettings(m_path, QSettings::IniFormat).setValue("calendarSources", QStringList { "/a", "/b, c" });

        QSignalSpy propertySpy(&l.settings, QByteArray("2" + property.toLatin1() + "Changed()").constData());
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
        QCOMPARE(propertySpy.count(), 1);
        QCOMPARE(output.text(), printed);
        QCOMPARE(storedValue(m_path, "calendarSources"), QStringLiteral(R"(/a, "/b, c")"));
        if (!before.isEmpty())
            QCOMPARE(storedValue(m_path, "lastScreen"), QStringLiteral("DP-1"));
    }

    void damagedFileIsKept_data()
    {
        QTest::addColumn<QByteArray>("damaged");
        QTest::addColumn<QByteArray>("earlierCopy");
        QTest::addColumn<QStringList>("copies");

        const QByteArray cut("[General\nweekStart=Monday\ncalendarSources=/home/u/cal\n");
        // clang-format off
        QTest::newRow("section header cut short") << cut << QByteArray() << QStringList { "Moriva.conf.damaged" };
        // QSettings parses sections lazily: the damage sits where nothing asks first.
        QTest::newRow("good keys then a broken section") << QByteArray("[General]\ncalendarSources=/home/u/cal\nweekStart=Monday\n[Sources\nwork=/srv/w.ics\n") << QByteArray() << QStringList { "Moriva.conf.damaged" };
        // A damaged file nobody rewrote (no setting changed) is met again at the next start.
        QTest::newRow("same damage as last start: no second copy") << cut << cut << QStringList { "Moriva.conf.damaged" };
        QTest::newRow("other damage: both copies kept") << cut << QByteArray("[General\nweekStart=Sunday\n") << QStringList { "Moriva.conf.damaged", "Moriva.conf.damaged.2" };
        // clang-format on
    }

    void damagedFileIsKept()
    {
        QFETCH(QByteArray, damaged);
        QFETCH(QByteArray, earlierCopy);
        QFETCH(QStringList, copies);
        writeFile(m_path, damaged);
        if (!earlierCopy.isEmpty())
            writeFile(m_path + ".damaged", earlierCopy);
        {
            Loaded l(m_path);
            QCOMPARE(l.settings.weekStart(), WeekStart::monday);
            l.settings.setShowEventDots(false);
        }
        QCOMPARE(
            QDir(QFileInfo(m_path).absolutePath()).entryList({ "Moriva.conf.*" }, QDir::Files, QDir::Name),
            copies);
        QCOMPARE(readFile(QFileInfo(m_path).absolutePath() + u'/' + copies.last()), damaged);
        if (!earlierCopy.isEmpty())
            QCOMPARE(readFile(m_path + ".damaged"), earlierCopy);
        QCOMPARE(storedValue(m_path, "showEventDots"), QStringLiteral("false"));
        QCOMPARE(storedValue(m_path, "weekStart"), QStringLiteral("Monday"));
    }

    void unreadableFileIsNeverOverwritten()
    {
        if (::geteuid() == 0)
            QSKIP("root reads every file");
        writeFile(m_path, userFile);
        QFile::setPermissions(m_path, QFileDevice::WriteOwner);
        {
            Loaded l(m_path);
            QSignalSpy changed(&l.settings, &SettingsManager::settingsDidChange);
            l.settings.setWeekStart(WeekStart::sunday);
            QCOMPARE(changed.count(), 1);
        }
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(readFile(m_path), userFile);
    }

    void defaultFilePath()
    {
        const QByteArray savedHome = qgetenv("HOME"), savedConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", "/home/someone");
        qputenv("XDG_CONFIG_HOME", "/srv/conf");
        const QString absolute = SettingsManager::defaultFilePath();
        qputenv("XDG_CONFIG_HOME", "conf"); // relative: not valid, so ignored
        const QString relative = SettingsManager::defaultFilePath();
        qputenv("HOME", savedHome);
        qputenv("XDG_CONFIG_HOME", savedConfig);
        QCOMPARE(absolute, QStringLiteral("/srv/conf/Moriva/Moriva.conf"));
        QCOMPARE(relative, QStringLiteral("/home/someone/.config/Moriva/Moriva.conf"));
    }
};

QTEST_GUILESS_MAIN(tst_SettingsManager)
#include "tst_settingsmanager.moc"
