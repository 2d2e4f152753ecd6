#include "ScrollStepper.h"

#include "FakeClock.h"
#include "ZonePin.h"

#include <QTest>

#include <limits>

using Result = ScrollStepper::Result;
Q_DECLARE_METATYPE(QList<Result>)

namespace {

struct Wheel
{
    qint64 atMs; ///< monotonic reading, relative to the first event
    qreal dy;
};

QString name(Result r)
{
    switch (r) {
    case Result::passOn:
        return QStringLiteral("passOn");
    case Result::consumed:
        return QStringLiteral("consumed");
    case Result::stepUp:
        return QStringLiteral("stepUp");
    case Result::stepDown:
        return QStringLiteral("stepDown");
    }
    return QString();
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
        QTest::addColumn<QList<Result>>("expected");
        const Result up = Result::stepUp, down = Result::stepDown, pass = Result::passOn,
                     eaten = Result::consumed;
        const qreal nan = std::numeric_limits<qreal>::quiet_NaN();

        QTest::newRow("exactly 15 passes on")
            << QList<Wheel> { { 0, 15.0 }, { 1, -15.0 } } << QList { pass, pass };
        QTest::newRow("just over 15 steps") << QList<Wheel> { { 0, 15.01 } } << QList { up };
        QTest::newRow("just under -15 steps back") << QList<Wheel> { { 0, -15.01 } } << QList { down };
        QTest::newRow("horizontal only passes on") << QList<Wheel> { { 0, 0.0 } } << QList { pass };
        QTest::newRow("not a number passes on") << QList<Wheel> { { 0, nan } } << QList { pass };
        QTest::newRow("0.39 s after a step is swallowed, 0.4 s steps")
            << QList<Wheel> { { 0, 20 }, { 390, 20 }, { 400, 20 } } << QList { up, eaten, up };
        QTest::newRow("dropped events do not push the window") << QList<Wheel> { { 0, 30 }, { 100, 30 },
            { 200, 30 }, { 300, 30 }, { 400, 30 }, { 500, 30 }, { 600, 30 }, { 700, 30 },
            { 800, 30 } } << QList { up, eaten, eaten, eaten, up, eaten, eaten, eaten, up };
        QTest::newRow("reversing inside the window is swallowed")
            << QList<Wheel> { { 0, 40 }, { 200, -40 }, { 450, -40 } } << QList { up, eaten, down };
        QTest::newRow("small movements never touch the window") << QList<Wheel> { { 0, 20 }, { 100, 3 },
            { 399, -10 }, { 400, -20 } } << QList { up, pass, pass, down };
        // A monotonic clock cannot go back; should the reading do so anyway,
        // stepping restarts from the new reading instead of going dead.
        QTest::newRow("a clock that went back steps and restarts the window")
            << QList<Wheel> { { 10'000, 20 }, { 0, 20 }, { 300, 20 }, { 400, 20 } }
            << QList { up, up, eaten, up };
    }

    void sequence()
    {
        QFETCH(QList<Wheel>, wheel);
        QFETCH(QList<Result>, expected);
        FakeClock clock;
        const qint64 base = clock.monotonicMs();
        ScrollStepper stepper(&clock);

        QStringList actual, wanted;
        for (const Wheel &w : wheel) {
            clock.advanceMs(base + w.atMs - clock.monotonicMs());
            actual << name(stepper.handle(w.dy));
        }
        for (Result r : expected)
            wanted << name(r);
        QCOMPARE(actual, wanted);
    }
};

QTEST_GUILESS_MAIN(tst_ScrollStepper)
#include "tst_scrollstepper.moc"
