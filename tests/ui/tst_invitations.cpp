#include "CalendarSources.h"
#include "ContentFixture.h"
#include "EventRow.h"
#include "IcsEventStore.h"
#include "MeetingLink.h"

#include "DesktopUrlOpener.h"
#include "MeetingServices.h"

#include <QDesktopServices>
#include <QDir>
#include <QTest>

/** Catches what would reach the desktop's URL handlers. */
class DesktopCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void catchUrl(const QUrl &url) { opened.append(url); }
};

using namespace Qt::StringLiterals;

namespace {

QString invitations()
{
    return QStringLiteral(MORIVA_TEST_DATA "/invitations");
}

/** "key: value" lines; "none" stands for nothing shown or opened. */
QHash<QString, QString> expectations(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QHash<QString, QString> out;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const qsizetype colon = line.indexOf(u':');
        const QString value = line.mid(colon + 1).trimmed();
        if (colon > 0)
            out.insert(line.left(colon), value == u"none" ? QString() : value);
    }
    return out;
}

} // namespace

/**
 * Invitations as the big calendar services and mail servers write them, read
 * through the files store into a popover row: which link it offers, how the
 * line reads, and what a click hands to the desktop. Each case is a pair of
 * files, NAME.ics and NAME.expected.
 */
class tst_Invitations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(pinLocalZone("Europe/Berlin"));
        QVERIFY(QDir(invitations()).entryList({ QStringLiteral("*.ics") }).size() >= 15);
        // Every scheme an invitation might hold, so a link let through would be seen here.
        QStringList schemes { u"http"_s, u"https"_s, u"mailto"_s, u"tel"_s, u"file"_s, u"javascript"_s,
            u"data"_s, u"smb"_s, u"conf"_s, u"ms-settings"_s };
        schemes += MeetingServices::clientSchemes();
        for (const QString &scheme : std::as_const(schemes))
            QDesktopServices::setUrlHandler(scheme, &m_desktop, "catchUrl");
        m_schemes = schemes;
    }

    void cleanupTestCase()
    {
        for (const QString &scheme : std::as_const(m_schemes))
            QDesktopServices::unsetUrlHandler(scheme);
    }

    void invitation_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &file : QDir(invitations()).entryList({ QStringLiteral("*.ics") }, QDir::Files))
            QTest::newRow(qPrintable(file)) << file.chopped(4);
    }

    void invitation()
    {
        QFETCH(QString, name);
        const QHash<QString, QString> expected
            = expectations(invitations() + u'/' + name + QStringLiteral(".expected"));
        QVERIFY2(expected.size() == 4, "NAME.expected holds link, label, service and opens");

        IcsEventStore store(
            CalendarSources::fromPaths({ invitations() + u'/' + name + QStringLiteral(".ics") }),
            { .watch = false, .loadInBackground = false });
        store.loadNow();
        const EventList events = store.events(
            QDateTime(QDate(2026, 12, 1), QTime(0, 0)), QDateTime(QDate(2027, 1, 1), QTime(0, 0)));
        QCOMPARE(events.size(), 1);

        const MeetingLink link = MeetingLink::find(*events.first());
        QCOMPARE(link.url.toString(QUrl::FullyEncoded), expected[QStringLiteral("link")]);
        QCOMPARE(link.service, expected[QStringLiteral("service")]);

        m_desktop.opened.clear();
        DesktopUrlOpener opener;
        RecordingLauncher launcher;
        EventRow row(&opener, &launcher);
        row.setEvent(events.first());
        QCOMPARE(row.meetingText(), expected[QStringLiteral("label")]);
        row.resize(280, row.sizeHint().height());
        // To look at after a change: how each invitation's row reads.
        QDir().mkpath(QStringLiteral(MORIVA_BUILD_DIR "/screenshots"));
        row.grab().save(QStringLiteral(MORIVA_BUILD_DIR "/screenshots/invitation-%1.png").arg(name));
        if (row.meetingLine()->isVisibleTo(&row)) {
            QTest::mouseClick(row.meetingLine(), Qt::LeftButton, Qt::NoModifier,
                QPoint(20, row.meetingLine()->height() / 2));
        }
        QStringList opened;
        for (const QUrl &url : std::as_const(m_desktop.opened))
            opened.append(url.toString(QUrl::FullyEncoded));
        QCOMPARE(opened.join(u' '), expected[QStringLiteral("opens")]);
    }

private:
    DesktopCatcher m_desktop;
    QStringList m_schemes;
};

QTEST_MAIN(tst_Invitations)
#include "tst_invitations.moc"
