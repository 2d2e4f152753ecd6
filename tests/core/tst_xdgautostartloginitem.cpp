#include "XdgAutostartLoginItem.h"

#include "TestFiles.h"
#include "ZonePin.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <unistd.h>

namespace {

QByteArray entryFor(const QByteArray &exec, const QByteArray &tryExec)
{
    return "[Desktop Entry]\nType=Application\nName=Moriva\nExec=" + exec + "\nTryExec=" + tryExec
        + "\nIcon=moriva\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
}

} // namespace

class tst_XdgAutostartLoginItem : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_config;
    QByteArray m_savedConfigHome;
    QByteArray m_savedHome;

    QString autostartFolder() const { return m_config->filePath(QStringLiteral("autostart")); }
    QString entry() const { return m_config->filePath(QStringLiteral("autostart/moriva.desktop")); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(pinLocalZone("UTC"));
        QVERIFY(pinLocale(QLocale::c()));
        m_savedConfigHome = qgetenv("XDG_CONFIG_HOME");
        m_savedHome = qgetenv("HOME");
    }

    void init()
    {
        m_config = std::make_unique<QTemporaryDir>();
        QVERIFY(m_config->isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->path()));
        QCOMPARE(XdgAutostartLoginItem::entryPath(), entry());
    }

    void cleanup()
    {
        qputenv("XDG_CONFIG_HOME", m_savedConfigHome);
        qputenv("HOME", m_savedHome);
    }

    void relativePaths()
    {
        qputenv("HOME", "/home/someone");
        qputenv("XDG_CONFIG_HOME", "conf");
        QCOMPARE(XdgAutostartLoginItem::entryPath(),
            QStringLiteral("/home/someone/.config/autostart/moriva.desktop"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->path()));
        QString error;
        QVERIFY(XdgAutostartLoginItem(QStringLiteral("bin/moriva")).registerItem(error));
        const QByteArray absolute
            = QFile::encodeName(QDir::current().absoluteFilePath(QStringLiteral("bin/moriva")));
        QVERIFY(readFile(entry()).contains("\nTryExec=" + absolute + "\n"));
    }

    void entryContent_data()
    {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QByteArray>("exec");
        QTest::addColumn<QByteArray>("tryExec");

        // clang-format off
        QTest::newRow("plain path over an old entry") << "/usr/bin/moriva" << QByteArray("/usr/bin/moriva") << QByteArray("/usr/bin/moriva");
        QTest::newRow("space is quoted") << "/opt/My Apps/moriva" << QByteArray(R"("/opt/My Apps/moriva")") << QByteArray("/opt/My Apps/moriva");
        QTest::newRow("percent is not a field code") << "/home/u/50%off/moriva" << QByteArray("/home/u/50%%off/moriva") << QByteArray("/home/u/50%off/moriva");
        QTest::newRow("shell characters and backslash inside quotes") << "/home/u/$HOME/`x`/mo\"ri\\va" << QByteArray(R"("/home/u/\\$HOME/\\`x\\`/mo\\"ri\\\\va")") << QByteArray(R"(/home/u/$HOME/`x`/mo"ri\\va)");
        QTest::newRow("newline cannot end the line early") << "/srv/a\nb/moriva" << QByteArray(R"("/srv/a\nb/moriva")") << QByteArray(R"(/srv/a\nb/moriva)");
        QTest::newRow("non-ASCII as UTF-8") << QString::fromUtf8("/home/jörg/moriva") << QByteArray("/home/jörg/moriva") << QByteArray("/home/jörg/moriva");
        QTest::newRow("equals and dots need nothing") << "/home/u/a=b/../bin/moriva" << QByteArray("/home/u/bin/moriva") << QByteArray("/home/u/bin/moriva");
        // clang-format on
    }

    void entryContent()
    {
        QFETCH(QString, executable);
        QFETCH(QByteArray, exec);
        QFETCH(QByteArray, tryExec);

        QVERIFY(writeFile(entry(), QByteArray(4096, 'x') + "\nHidden=true\n"));

        QString error;
        QVERIFY2(XdgAutostartLoginItem(executable).registerItem(error), qPrintable(error));
        QCOMPARE(readFile(entry()), entryFor(exec, tryExec));
        // Written through a temporary file renamed into place: nothing else is left beside it.
        QCOMPARE(QDir(autostartFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList { "moriva.desktop" });
    }

    void toggle_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("registering");
        QTest::addColumn<bool>("succeeds");

        // clang-format off
        QTest::newRow("unregister: entry present") << "entry present" << false << true;
        QTest::newRow("unregister: no autostart folder") << "no autostart folder" << false << true;
        QTest::newRow("unregister: dangling link") << "dangling link" << false << true;
        QTest::newRow("register: a file where the folder goes") << "autostart is a file" << true << false;
        QTest::newRow("unregister: a folder where the entry goes") << "entry is a folder" << false << false;
        QTest::newRow("register: read-only folder") << "read-only folder" << true << false;
        QTest::newRow("unregister: read-only folder") << "read-only folder" << false << false;
        // clang-format on
    }

    void toggle()
    {
        QFETCH(QString, before);
        QFETCH(bool, registering);
        QFETCH(bool, succeeds);
        const bool readOnly = before == u"read-only folder";
        if (readOnly && ::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        if (before == u"entry present" || readOnly)
            QVERIFY(writeFile(entry(), "old entry\n"));
        else if (before == u"autostart is a file")
            QVERIFY(writeFile(autostartFolder(), "not a folder"));
        else if (before == u"entry is a folder")
            QVERIFY(QDir().mkpath(entry() + QStringLiteral("/keep")));
        else if (before == u"dangling link")
            QVERIFY(QDir().mkpath(autostartFolder())
                && QFile::link(QStringLiteral("/nonexistent/moriva.desktop"), entry()));
        if (readOnly)
            QVERIFY(QFile::setPermissions(autostartFolder(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));

        XdgAutostartLoginItem item(QStringLiteral("/usr/bin/moriva"));
        QString error;
        const bool done = registering ? item.registerItem(error) : item.unregisterItem(error);
        if (readOnly) {
            QFile::setPermissions(
                autostartFolder(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QCOMPARE(readFile(entry()), QByteArray("old entry\n"));
        }
        QCOMPARE(done, succeeds);
        if (done)
            QVERIFY(error.isEmpty() && !QFileInfo(entry()).exists() && !QFileInfo(entry()).isSymLink());
        else // one line that names the place, for the single failure line the user sees
            QVERIFY2(error.contains(autostartFolder()) && !error.contains(u'\n'), qPrintable(error));
    }

    void startsTheInstalledBinary_data()
    {
        QTest::addColumn<QStringList>("installed"); // relative to the temporary folder; "+x": executable
        QTest::addColumn<QString>("started");
        QTest::newRow("installed") << QStringList { "usr/local/bin/moriva+x", "usr/bin/moriva" } << "usr/local/bin/moriva";
        QTest::newRow("installed by the package") << QStringList { "usr/local/bin/moriva", "usr/bin/moriva+x" } << "usr/bin/moriva";
        QTest::newRow("a folder of that name") << QStringList { "usr/bin/moriva/+x" } << "build/moriva";
        QTest::newRow("the running one is installed too") << QStringList { "usr/local/bin/moriva+x", "build/moriva+x" } << "build/moriva";
    }

    void startsTheInstalledBinary()
    {
        QFETCH(QStringList, installed);
        QFETCH(QString, started);
        const QString root = m_config->path() + u'/';
        QStringList candidates;
        for (QString path : installed) {
            const bool executable = path.endsWith(QLatin1String("+x"));
            path.remove(QLatin1String("+x"));
            candidates.append(root + path);
            if (!executable)
                continue;
            if (path.endsWith(u'/')) {
                QVERIFY(QDir().mkpath(root + path));
                candidates.last().chop(1);
            } else {
                QVERIFY(writeFile(root + path, "#!/bin/sh\n"));
                QVERIFY(QFile::setPermissions(root + path, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            }
        }
        QCOMPARE(XdgAutostartLoginItem::executableToStart(root + "build/moriva", candidates), root + started);
    }
};

QTEST_GUILESS_MAIN(tst_XdgAutostartLoginItem)
#include "tst_xdgautostartloginitem.moc"
