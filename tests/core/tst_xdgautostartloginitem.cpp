#include "XdgAutostartLoginItem.h"

#include "ZonePin.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

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

    void entryPath()
    {
        qputenv("HOME", "/home/someone");
        qputenv("XDG_CONFIG_HOME", "/srv/conf");
        QCOMPARE(XdgAutostartLoginItem::entryPath(), QStringLiteral("/srv/conf/autostart/moriva.desktop"));
        qputenv("XDG_CONFIG_HOME", "conf"); // relative: not valid, so ignored
        QCOMPARE(XdgAutostartLoginItem::entryPath(), QStringLiteral("/home/someone/.config/autostart/moriva.desktop"));
    }

    void entryContent_data()
    {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QByteArray>("exec");
        QTest::addColumn<QByteArray>("tryExec");

        // clang-format off
        QTest::newRow("plain path") << "/usr/bin/moriva" << QByteArray("/usr/bin/moriva") << QByteArray("/usr/bin/moriva");
        QTest::newRow("space is quoted") << "/opt/My Apps/moriva" << QByteArray(R"("/opt/My Apps/moriva")") << QByteArray("/opt/My Apps/moriva");
        QTest::newRow("percent is not a field code") << "/home/u/50%off/moriva" << QByteArray("/home/u/50%%off/moriva") << QByteArray("/home/u/50%off/moriva");
        QTest::newRow("shell characters inside quotes") << "/home/u/$HOME/`x`/mo\"riva" << QByteArray(R"("/home/u/\\$HOME/\\`x\\`/mo\\"riva")") << QByteArray(R"(/home/u/$HOME/`x`/mo"riva)");
        QTest::newRow("backslash escaped at both levels") << "/srv/a\\b/moriva" << QByteArray(R"("/srv/a\\\\b/moriva")") << QByteArray(R"(/srv/a\\b/moriva)");
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

        XdgAutostartLoginItem item(executable);
        QString error;
        QVERIFY2(item.registerItem(error), qPrintable(error));
        QVERIFY(error.isEmpty());
        QCOMPARE(readFile(entry()), entryFor(exec, tryExec));
    }

    void relativeExecutableMadeAbsolute()
    {
        QString error;
        QVERIFY(XdgAutostartLoginItem(QStringLiteral("bin/moriva")).registerItem(error));
        const QByteArray absolute = QFile::encodeName(QDir::current().absoluteFilePath(QStringLiteral("bin/moriva")));
        QVERIFY(readFile(entry()).contains("\nTryExec=" + absolute + "\n"));
    }

    void registerReplacesWholeEntry()
    {
        QVERIFY(writeFile(entry(), QByteArray(4096, 'x') + "\nHidden=true\n"));
        XdgAutostartLoginItem item(QStringLiteral("/usr/bin/moriva"));
        QString error;
        QVERIFY(item.registerItem(error));
        QVERIFY(item.registerItem(error));
        QCOMPARE(readFile(entry()), entryFor("/usr/bin/moriva", "/usr/bin/moriva"));
        // Written through a temporary file renamed into place: nothing else is left beside it.
        QCOMPARE(QDir(autostartFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList { "moriva.desktop" });
    }

    void unregister_data()
    {
        QTest::addColumn<QString>("before");
        for (const char *state : { "entry present", "entry already absent", "no autostart folder", "dangling link" })
            QTest::newRow(state) << state;
    }

    void unregister()
    {
        QFETCH(QString, before);
        if (before == u"entry present")
            QVERIFY(writeFile(entry(), entryFor("/usr/bin/moriva", "/usr/bin/moriva")));
        else if (before != u"no autostart folder")
            QVERIFY(QDir().mkpath(autostartFolder()));
        if (before == u"dangling link")
            QVERIFY(QFile::link(QStringLiteral("/nonexistent/moriva.desktop"), entry()));

        XdgAutostartLoginItem item(QStringLiteral("/usr/bin/moriva"));
        QString error;
        QVERIFY2(item.unregisterItem(error), qPrintable(error));
        QVERIFY(error.isEmpty());
        QVERIFY(!QFileInfo(entry()).exists() && !QFileInfo(entry()).isSymLink());
    }

    void failures_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<bool>("registering");

        QTest::newRow("register: a file where the folder goes") << "autostart is a file" << true;
        QTest::newRow("register: a folder where the entry goes") << "entry is a folder" << true;
        QTest::newRow("unregister: a folder where the entry goes") << "entry is a folder" << false;
        QTest::newRow("register: read-only folder") << "read-only folder" << true;
        QTest::newRow("unregister: read-only folder") << "read-only folder" << false;
    }

    void failures()
    {
        QFETCH(QString, obstacle);
        QFETCH(bool, registering);
        const bool readOnly = obstacle == u"read-only folder";
        if (readOnly && ::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        if (obstacle == u"autostart is a file")
            QVERIFY(writeFile(autostartFolder(), "not a folder"));
        else if (obstacle == u"entry is a folder")
            QVERIFY(QDir().mkpath(entry() + QStringLiteral("/keep")));
        else
            QVERIFY(writeFile(entry(), "old entry\n")
                && QFile::setPermissions(autostartFolder(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));

        XdgAutostartLoginItem item(QStringLiteral("/usr/bin/moriva"));
        QString error;
        const bool done = registering ? item.registerItem(error) : item.unregisterItem(error);
        if (readOnly) {
            QFile::setPermissions(autostartFolder(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QCOMPARE(readFile(entry()), QByteArray("old entry\n"));
        }
        QVERIFY(!done);
        // One line that names the place, for the single failure line the user sees.
        QVERIFY2(error.contains(autostartFolder()) && !error.contains(u'\n'), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(tst_XdgAutostartLoginItem)
#include "tst_xdgautostartloginitem.moc"
