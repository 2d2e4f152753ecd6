#include "ScrollStepper.h"

#include "FakeClock.h"
#include "ZonePin.h"

#include <QTest>

#include <limits>

namespace {

struct Wheel
{
    qint64 atMs; ///< monotonic reading, relative to the first event
    qreal dy;
};

const char *name(ScrollStepper::Result r)
{
    using R = ScrollStepper::Result;
    return r == R::passOn ? "pass" : r == R::consumed ? "eaten" : r == R::stepUp ? "up" : "down";
}

} // namespace

Q_DECLARE_METATYPE(QList<Wheel>)

class tst_ScrollStepper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(pinLocalZone("UTC")); }

    void sequence_data()
    {
        QTest::addColumn<QList<Wheel>>("wheel");
        QTest::addColumn<QString>("expected");
        const qreal nan = std::numeric_limits<qreal>::quiet_NaN();

        // clang-format off
        QTest::newRow("exactly 15 passes on") << QList<Wheel> { { 0, 15.0 }, { 1, -15.0 } } << "pass pass";
        QTest::newRow("just past 15 steps, either way") << QList<Wheel> { { 0, 15.01 }, { 400, -15.01 } } << "up down";
        QTest::newRow("not a number passes on") << QList<Wheel> { { 0, nan } } << "pass";
        QTest::newRow("swallowed events do not push the window") << QList<Wheel> { { 0, 30 }, { 100, 30 }, { 399, 30 }, { 400, 30 }, { 799, 30 }, { 800, 30 } } << "up eaten eaten up eaten up";
        QTest::newRow("reversing inside the window is swallowed") << QList<Wheel> { { 0, 40 }, { 200, -40 }, { 450, -40 } } << "up eaten down";
        QTest::newRow("small movements never touch the window") << QList<Wheel> { { 0, 20 }, { 100, 3 }, { 399, -10 }, { 400, -20 } } << "up pass pass down";
        // Should the reading ever go back, stepping restarts from it instead of going dead.
        QTest::newRow("a clock that went back steps and restarts the window") << QList<Wheel> { { 10'000, 20 }, { 0, 20 }, { 300, 20 }, { 400, 20 } } << "up up eaten up";
        // clang-format on
    }

    void sequence()
    {
        QFETCH(QList<Wheel>, wheel);
        QFETCH(QString, expected);
        FakeClock clock;
        const qint64 base = clock.monotonicMs();
        ScrollStepper stepper(&clock);

        QStringList actual;
        for (const Wheel &w : wheel) {
            clock.advanceMs(base + w.atMs - clock.monotonicMs());
            actual << QString::fromLatin1(name(stepper.handle(w.dy)));
        }
        QCOMPARE(actual.join(u' '), expected);
    }
};

QTEST_GUILESS_MAIN(tst_ScrollStepper)
#include "tst_scrollstepper.moc"
