#include "DateIconRenderer.h"

#include <QtTest>

#include <cmath>

namespace {

// Ink of the number alone: everything well inside the ring.
struct Ink
{
    double centreX = 0, centreY = 0, farthest = 0;
    int pixels = 0;
};

Ink numberInk(const QImage &image, double unit)
{
    Ink ink;
    const double c = image.width() / 2.0;
    double sumX = 0, sumY = 0, weight = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const double dx = x + 0.5 - c, dy = y + 0.5 - c;
            const double r = std::hypot(dx, dy) / unit;
            const int alpha = qAlpha(image.pixel(x, y));
            if (r > 7.4 || alpha < 64)
                continue;
            sumX += dx * alpha;
            sumY += dy * alpha;
            weight += alpha;
            ink.farthest = std::max(ink.farthest, r);
            ++ink.pixels;
        }
    }
    if (weight > 0) {
        ink.centreX = sumX / weight / unit;
        ink.centreY = sumY / weight / unit;
    }
    return ink;
}

int alphaAt(const QImage &image, double unit, double radius, double degrees)
{
    const double c = image.width() / 2.0;
    const double a = qDegreesToRadians(degrees);
    const int x = int(std::floor(c + radius * unit * std::cos(a)));
    const int y = int(std::floor(c + radius * unit * std::sin(a)));
    return qAlpha(image.pixel(std::clamp(x, 0, image.width() - 1), std::clamp(y, 0, image.height() - 1)));
}

} // namespace

class tst_DateIconRenderer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ringAndNumberAtEverySize_data()
    {
        QTest::addColumn<int>("day");
        QTest::addColumn<int>("size");
        QTest::addColumn<qreal>("ratio");
        for (int size : DateIconRenderer::pixelSizes()) {
            for (qreal ratio : { 1.0, 2.0 }) {
                for (int day : { 1, 31 }) {
                    const QByteArray name = QByteArray::number(day) + " at " + QByteArray::number(size)
                        + " px " + QByteArray::number(ratio) + "x";
                    QTest::newRow(name.constData()) << day << size << ratio;
                }
            }
        }
    }
    void ringAndNumberAtEverySize()
    {
        QFETCH(int, day);
        QFETCH(int, size);
        QFETCH(qreal, ratio);
        const QImage image = DateIconRenderer::render(day, size, ratio, Qt::black);
        QCOMPARE(image.size(), QSize(qRound(size * ratio), qRound(size * ratio)));
        QCOMPARE(image.devicePixelRatio(), ratio);
        const double unit = image.width() / DateIconRenderer::designSize;

        // The stroke's middle is inked all the way round.
        for (int degrees = 0; degrees < 360; degrees += 15)
            QVERIFY2(alphaAt(image, unit, 9.0, degrees) > 120,
                qPrintable(QStringLiteral("gap at %1°").arg(degrees)));
        // Beyond radius 10 (9 plus half the stroke) nothing is drawn but a pixel's worth of antialiasing.
        const double c = image.width() / 2.0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (std::hypot(x + 0.5 - c, y + 0.5 - c) > 10.0 * unit + 0.75)
                    QVERIFY2(qAlpha(image.pixel(x, y)) < 40,
                        qPrintable(QStringLiteral("ink at %1,%2").arg(x).arg(y)));
            }
        }
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);

        const Ink ink = numberInk(image, unit);
        QVERIFY(ink.pixels > 0);
        // Centred across; the digits' own box is centred vertically, so their ink sits within a unit and a
        // half.
        QVERIFY2(std::abs(ink.centreX) < 0.8, qPrintable(QString::number(ink.centreX)));
        QVERIFY2(std::abs(ink.centreY) < 1.5, qPrintable(QString::number(ink.centreY)));
    }

    void numberIsTheDay()
    {
        // Each day paints differently from the next, so a stale number cannot pass for today's.
        QImage previous;
        for (int day = 1; day <= 31; ++day) {
            const QImage image = DateIconRenderer::render(day, 22, 1.0, Qt::black);
            QVERIFY2(image != previous, qPrintable(QString::number(day)));
            previous = image;
        }
    }

    void everyPixelIsTheTint()
    {
        const QColor tint(200, 40, 90);
        QImage image = DateIconRenderer::render(28, 32, 2.0, tint).convertToFormat(QImage::Format_ARGB32);
        int inked = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                if (qAlpha(pixel) < 128)
                    continue;
                ++inked;
                QVERIFY(std::abs(qRed(pixel) - tint.red()) <= 2);
                QVERIFY(std::abs(qGreen(pixel) - tint.green()) <= 2);
                QVERIFY(std::abs(qBlue(pixel) - tint.blue()) <= 2);
            }
        }
        QVERIFY(inked > 100);
    }

    void iconCarriesEverySizeAtBothRatios()
    {
        const QIcon icon = DateIconRenderer::icon(14, Qt::black);
        const QList<QSize> sizes = icon.availableSizes();
        for (int size : { 16, 22, 24, 32, 48, 64 })
            QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
        const QPixmap sharp = icon.pixmap(QSize(22, 22), 2.0);
        QCOMPARE(sharp.devicePixelRatio(), 2.0);
        QCOMPARE(sharp.size(), QSize(44, 44));
    }

    void tintReadsOnThePanel_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<bool>("darkScheme");
        QTest::addColumn<bool>("lightInk");
        QTest::newRow("KDE, light scheme") << "KDE" << false << false;
        QTest::newRow("KDE, dark scheme") << "KDE" << true << true;
        QTest::newRow("Xfce, light scheme") << "XFCE" << false << false;
        QTest::newRow("GNOME keeps a dark bar in light scheme") << "GNOME" << false << true;
        QTest::newRow("Ubuntu's GNOME") << "ubuntu:GNOME" << false << true;
        QTest::newRow("sway's bar") << "sway" << false << true;
        QTest::newRow("unknown desktop, dark scheme") << "" << true << true;
        QTest::newRow("unknown desktop, light scheme") << "" << false << false;
    }
    void tintReadsOnThePanel()
    {
        QFETCH(QString, desktop);
        QFETCH(bool, darkScheme);
        QFETCH(bool, lightInk);
        const QColor tint = DateIconRenderer::tintFor(desktop, darkScheme);
        QCOMPARE(tint.lightness() > 128, lightInk);
    }
};

QTEST_MAIN(tst_DateIconRenderer)
#include "tst_dateiconrenderer.moc"
