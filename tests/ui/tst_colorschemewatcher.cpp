#include "ColorSchemeWatcher.h"

#include <QDBusVariant>
#include <QtTest>

class tst_ColorSchemeWatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scheme_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<ColorSchemeWatcher::Scheme>("scheme");
        QTest::newRow("prefers dark") << QVariant(uint(1)) << ColorSchemeWatcher::Scheme::dark;
        QTest::newRow("prefers light") << QVariant(uint(2)) << ColorSchemeWatcher::Scheme::light;
        QTest::newRow("no preference reads as light")
            << QVariant(uint(0)) << ColorSchemeWatcher::Scheme::light;
        QTest::newRow("older portals wrap the value twice")
            << QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(uint(1)))))
            << ColorSchemeWatcher::Scheme::dark;
        QTest::newRow("not a number")
            << QVariant(QStringLiteral("dark")) << ColorSchemeWatcher::Scheme::unknown;
        QTest::newRow("nothing") << QVariant() << ColorSchemeWatcher::Scheme::unknown;
    }
    void scheme()
    {
        QFETCH(QVariant, value);
        QFETCH(ColorSchemeWatcher::Scheme, scheme);
        QCOMPARE(ColorSchemeWatcher::schemeFromValue(value), scheme);
    }

    void accent_data()
    {
        QTest::addColumn<double>("red");
        QTest::addColumn<double>("green");
        QTest::addColumn<double>("blue");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("a blue") << 0.2 << 0.4 << 1.0 << QColor::fromRgbF(0.2f, 0.4f, 1.0f);
        QTest::newRow("black is a colour") << 0.0 << 0.0 << 0.0 << QColor(Qt::black);
        QTest::newRow("out of range means unset") << -1.0 << -1.0 << -1.0 << QColor();
        QTest::newRow("one component too large") << 0.5 << 1.5 << 0.5 << QColor();
        QTest::newRow("not a number") << qQNaN() << 0.5 << 0.5 << QColor();
    }
    void accent()
    {
        QFETCH(double, red);
        QFETCH(double, green);
        QFETCH(double, blue);
        QFETCH(QColor, expected);
        QCOMPARE(ColorSchemeWatcher::accentFromComponents(red, green, blue), expected);
        QCOMPARE(ColorSchemeWatcher::accentFromValue(QVariantList { red, green, blue }), expected);
    }
};

QTEST_MAIN(tst_ColorSchemeWatcher)
#include "tst_colorschemewatcher.moc"
