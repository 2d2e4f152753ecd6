#include "CalendarSources.h"
#include "FakeLoginItem.h"
#include "OutputCapture.h"
#include "SettingsFile.h"
#include "SettingsManager.h"
#include "XdgAutostartLoginItem.h"
#include "ZonePin.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
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

class tst_SettingsFile : public QObject
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
    }

    void cleanup() { qputenv("XDG_CONFIG_HOME", m_savedConfigHome); }

    // Beyond the kinds of damage the app-level test below starts from.
    void damageIsRecognised_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("damaged");

        // clang-format off
        QTest::newRow("as the app writes it") << appFile + "calendarSources=/a, \"/b, c\"\n\n[window]\nlastScreen=DP-1\n" << false;
        QTest::newRow("comments, spaces, escaped keys, continued line") << QByteArray("; mine\n[General]\n  weekStart = Monday ; why\nmy%20key=1\nsub\\key=2\nlong=a\\\nb\n[Other%20Part]\nk=\"x;y\"\n") << false;
        QTest::newRow("section header cut short") << QByteArray("[General\nweekStart=Monday\n") << true;
        QTest::newRow("hash is no comment here") << QByteArray("# mine\n[General]\nweekStart=Monday\n") << true;
        QTest::newRow("empty key") << QByteArray("[General]\n=Monday\n") << true;
        // clang-format on
    }

    void damageIsRecognised()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, damaged);
        writeFile(m_path, text);
        QCOMPARE(SettingsFile(m_path).isDamaged(), damaged);
    }

    // The whole app's use of the file: the calendar sources are read from the
    // same object the manager writes through, as main() builds them.
    void appKeepsDamagedFile_data()
    {
        QTest::addColumn<QByteArray>("before");  // on disk at start
        QTest::addColumn<QByteArray>("meanwhile"); // written by someone else while running, if not empty
        QTest::addColumn<QStringList>("sources");
        QTest::addColumn<QByteArray>("copied"); // expected in Moriva.conf.damaged, empty: no copy

        const QByteArray noEquals = appFile + "calendarSources /home/u/cal, /home/u/work.ics\n";
        const QByteArray openQuote = "[General]\nappearanceMode=\"Dark\nweekStart=Monday\ncalendarSources=/c\n";
        const QByteArray latin1 = "[General]\ncalendarSources=/home/u/caf\xe9.ics\n";
        // clang-format off
        QTest::newRow("line without = at start") << noEquals << QByteArray() << QStringList() << noEquals;
        QTest::newRow("quote left open at start") << openQuote << QByteArray() << QStringList() << openQuote;
        QTest::newRow("path not UTF-8 at start") << latin1 << QByteArray() << QStringList { QString::fromUtf8("/home/u/caf\xef\xbf\xbd.ics") } << latin1;
        QTest::newRow("damaged while running") << appFile << noEquals << QStringList() << noEquals;
        QTest::newRow("sources added while running") << appFile << appFile + "calendarSources=/w\n" << QStringList() << QByteArray();
        // clang-format on
    }

    void appKeepsDamagedFile()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, meanwhile);
        QFETCH(QStringList, sources);
        QFETCH(QByteArray, copied);
        writeFile(m_path, before);

        SettingsFile file(m_path);
        QStringList roots;
        for (const SourceRoot &root : CalendarSources::fromSettings(file))
            roots.append(root.path);
        QCOMPARE(roots, sources);
        FakeLoginItem login;
        SettingsManager settings(&file, &login);
        if (!meanwhile.isEmpty()) {
            const QDateTime readAt = QFileInfo(m_path).lastModified();
            writeFile(m_path, meanwhile);
            // An editor that keeps the old time stamp still changed the file.
            QFile edited(m_path);
            QVERIFY(edited.open(QIODevice::ReadWrite) && edited.setFileTime(readAt, QFileDevice::FileModificationTime));
        }
        settings.setShowEventDots(false);

        QCOMPARE(copiesBeside(m_path), copied.isEmpty() ? QStringList() : QStringList { "Moriva.conf.damaged" });
        if (!copied.isEmpty())
            QCOMPARE(readFile(m_path + ".damaged"), copied);
        const QSettings reread(m_path, QSettings::IniFormat);
        QCOMPARE(reread.value("showEventDots").toString(), QStringLiteral("false"));
        if (meanwhile.contains("calendarSources=/w"))
            QCOMPARE(reread.value("calendarSources").toString(), QStringLiteral("/w"));
    }

    // A full disk: neither the autostart entry nor the settings file may be
    // replaced by what little got written, and the failure is reported.
    void fullDiskReplacesNothing()
    {
        writeFile(m_path, appFile);
        const QByteArray goodEntry = "[Desktop Entry]\nType=Application\nName=Moriva\nExec=/usr/bin/moriva\n";
        writeFile(XdgAutostartLoginItem::entryPath(), goodEntry);

        XdgAutostartLoginItem login(QStringLiteral("/usr/bin/moriva"));
        SettingsFile file(m_path);
        QByteArray printed, said;
        {
            OutputCapture out(STDOUT_FILENO);
            OutputCapture err(STDERR_FILENO);
            FileSizeLimit full(16);
            SettingsManager settings(&file, &login);
            settings.setWeekStart(WeekStart::sunday);
            settings.setShowEventDots(false);
            printed = out.text();
            said = err.text();
        }
        QCOMPARE(readFile(XdgAutostartLoginItem::entryPath()), goodEntry);
        QCOMPARE(readFile(m_path), appFile);
        QVERIFY2(printed.startsWith("Failed to toggle launch at login: could not write "), printed);
        QCOMPARE(printed.count('\n'), 1);
        QCOMPARE(said.count("settings cannot be saved"), 1);
        QCOMPARE(copiesBeside(m_path), QStringList());

        // Once there is room again, the next change saves every change of the session.
        FakeLoginItem fake;
        SettingsManager later(&file, &fake);
        later.setAppearanceMode(AppearanceMode::light);
        const QSettings reread(m_path, QSettings::IniFormat);
        QCOMPARE(reread.value("weekStart").toString(), QStringLiteral("Sunday"));
        QCOMPARE(reread.value("showEventDots").toString(), QStringLiteral("false"));
        QCOMPARE(reread.value("appearanceMode").toString(), QStringLiteral("Light"));
    }

    void cannotSave_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO at the path") << "fifo";
        QTest::newRow("read-only file") << "read-only file";
        QTest::newRow("read-only folder") << "read-only folder";
    }

    void cannotSave()
    {
        QFETCH(QString, kind);
        const QString folder = QFileInfo(m_path).absolutePath();
        QDir().mkpath(folder);
        if (kind == u"fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(m_path).constData(), 0600), 0);
        } else {
            writeFile(m_path, appFile);
            if (kind == u"read-only file") {
                QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
            } else {
                if (::geteuid() == 0)
                    QSKIP("root writes into every folder");
                QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            }
        }

        QByteArray said;
        bool kept = false;
        ::alarm(20); // a blocking open ends the test here instead of hanging it
        {
            OutputCapture err(STDERR_FILENO);
            SettingsFile file(m_path);
            FakeLoginItem login;
            SettingsManager settings(&file, &login);
            settings.setWeekStart(WeekStart::sunday);
            settings.setShowEventDots(false);
            kept = settings.weekStart() == WeekStart::sunday && !settings.showEventDots();
            said = err.text();
        }
        ::alarm(0);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(kept); // for the session
        QCOMPARE(said.count('\n'), 1);
        QVERIFY2(said.startsWith("Moriva: settings cannot be saved (") && said.contains(m_path.toUtf8()), said);
        if (kind == u"fifo")
            QVERIFY(QFileInfo(m_path).exists() && !QFileInfo(m_path).isFile());
        else
            QCOMPARE(readFile(m_path), appFile);
    }
};

QTEST_GUILESS_MAIN(tst_SettingsFile)
#include "tst_settingsfile.moc"
