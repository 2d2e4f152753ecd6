#include "SwayFocusWatcher.h"
#include "SwayIpc.h"
#include "SwayPanels.h"

#include <QtTest>

// What Moriva reads from sway when it runs through XWayland there.
class tst_Sway : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bandsOfSway()
    {
        const QByteArray outputs = R"([
            {"name":"HEADLESS-1","active":true,"rect":{"x":0,"y":0,"width":1280,"height":800}},
            {"name":"HEADLESS-2","active":true,"rect":{"x":1280,"y":0,"width":1920,"height":1080}},
            {"name":"OFF-1","active":false,"rect":{"x":0,"y":0,"width":0,"height":0}}])";
        const QByteArray workspaces = R"([
            {"output":"HEADLESS-1","visible":false,"rect":{"x":0,"y":0,"width":1280,"height":800}},
            {"output":"HEADLESS-1","visible":true,"rect":{"x":0,"y":30,"width":1280,"height":770}},
            {"output":"HEADLESS-2","visible":true,"rect":{"x":1280,"y":0,"width":1920,"height":1046}}])";
        QCOMPARE(SwayPanels::fromReplies(outputs, workspaces),
            QList<QRect>({ QRect(0, 0, 1280, 30), QRect(1280, 1046, 1920, 34) }));
        QVERIFY(SwayPanels::fromReplies("not json", workspaces).isEmpty());
    }

    void focusEvents_data()
    {
        QTest::addColumn<quint32>("type");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("moved");
        const quint32 window = SwayIpc::eventBit | 3;
        const quint32 workspace = SwayIpc::eventBit | 0;
        QTest::newRow("another window focused") << window << QByteArray(R"({"change":"focus"})") << true;
        QTest::newRow("an empty workspace clicked")
            << workspace << QByteArray(R"({"change":"focus"})") << true;
        QTest::newRow("a window's title changed") << window << QByteArray(R"({"change":"title"})") << false;
        QTest::newRow("a reply, not an event")
            << quint32(SwayIpc::subscribe) << QByteArray(R"({"change":"focus"})") << false;
        QTest::newRow("not JSON") << window << QByteArray("focus") << false;
    }
    void focusEvents()
    {
        QFETCH(quint32, type);
        QFETCH(QByteArray, payload);
        QFETCH(bool, moved);
        QCOMPARE(SwayFocusWatcher::isFocusChange(type, payload), moved);
    }

    void noSwayNoWatch()
    {
        qunsetenv("SWAYSOCK");
        SwayFocusWatcher watcher;
        QVERIFY(!watcher.start());
        QVERIFY(SwayPanels::query().isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_Sway)
#include "tst_sway.moc"
