#include "DateIconRenderer.h"
#include "X11Desktop.h"

#include <QLineF>
#include <QPainter>

#include <QtTest>

#include <cmath>

namespace {

qreal luminance(const QColor &c)
{
    auto channel = [](qreal v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
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
        for (int size : DateIconRenderer::pixelSizes())
            for (qreal ratio : { 1.0, 2.0 })
                for (int day : { 1, 31 })
                    QTest::addRow("%d at %d px %gx", day, size, ratio) << day << size << ratio;
    }
    void ringAndNumberAtEverySize()
    {
        QFETCH(int, day);
        QFETCH(int, size);
        QFETCH(qreal, ratio);
        const QColor tint(200, 40, 90);
        const QImage image
            = DateIconRenderer::render(day, size, ratio, tint).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(qRound(size * ratio), qRound(size * ratio)));
        QCOMPARE(image.devicePixelRatio(), ratio);
        const double unit = image.width() / DateIconRenderer::designSize;
        const double c = image.width() / 2.0;
        auto alphaAt = [&](double radius, double degrees) {
            const double a = qDegreesToRadians(degrees);
            const int x = std::clamp(int(std::floor(c + radius * unit * std::cos(a))), 0, image.width() - 1);
            const int y = std::clamp(int(std::floor(c + radius * unit * std::sin(a))), 0, image.height() - 1);
            return qAlpha(image.pixel(x, y));
        };

        // The stroke's middle is inked all the way round.
        for (int degrees = 0; degrees < 360; degrees += 15)
            QVERIFY2(alphaAt(9.0, degrees) > 120, qPrintable(QStringLiteral("gap at %1°").arg(degrees)));

        // Beyond radius 10 (9 plus half the stroke) nothing but a pixel's worth of antialiasing; the
        // number's ink (well inside the ring) is centred.
        double sumX = 0, sumY = 0, weight = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                const double dx = x + 0.5 - c, dy = y + 0.5 - c, r = std::hypot(dx, dy);
                if (r > 10.0 * unit + 0.75)
                    QVERIFY2(qAlpha(pixel) < 40, qPrintable(QStringLiteral("ink at %1,%2").arg(x).arg(y)));
                if (r / unit <= 7.4 && qAlpha(pixel) >= 64) {
                    sumX += dx * qAlpha(pixel);
                    sumY += dy * qAlpha(pixel);
                    weight += qAlpha(pixel);
                }
            }
        }
        QVERIFY(weight > 0);
        // The digits' own box is centred vertically, so their ink sits within a unit and a half.
        QVERIFY2(std::abs(sumX / weight / unit) < 0.8, qPrintable(QString::number(sumX / weight / unit)));
        QVERIFY2(std::abs(sumY / weight / unit) < 1.5, qPrintable(QString::number(sumY / weight / unit)));
    }

    // The day must stay legible on a dark and on a light panel at the small
    // sizes panels use, whether the panel tells its colour or it is guessed wrong.
    void digitContrastOnPanels_data()
    {
        QTest::addColumn<QColor>("panel");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("source");
        const QList<QPair<const char *, QColor>> panels { { "dark", QColor(0x20, 0x21, 0x24) },
            { "light", QColor(0xf2, 0xf2, 0xf2) } };
        for (const auto &[name, panel] : panels)
            for (int size : { 16, 22, 24 })
                for (const char *source : { "tray colours", "right guess", "wrong guess" })
                    QTest::addRow("%s panel, %d px, %s", name, size, source)
                        << panel << size << QString::fromLatin1(source);
    }
    void digitContrastOnPanels()
    {
        QFETCH(QColor, panel);
        QFETCH(int, size);
        QFETCH(QString, source);
        const bool darkPanel = panel.lightness() < 128;
        const QColor light(0xf2, 0xf2, 0xf2), dark(0x1e, 0x1e, 0x1e);
        std::optional<QColor> said;
        QColor guess = darkPanel ? light : dark;
        if (source == QLatin1String("tray colours"))
            said = darkPanel ? QColor(0xdd, 0xdd, 0xdd) : QColor(0x2e, 0x34, 0x36);
        else if (source == QLatin1String("wrong guess"))
            guess = darkPanel ? dark : light;
        const auto look = DateIconRenderer::lookFor(said, guess);

        QImage shot(size, size, QImage::Format_ARGB32);
        shot.fill(panel);
        {
            QPainter p(&shot);
            p.drawImage(0, 0, DateIconRenderer::render(28, size, 1.0, look.tint, look.backdrop));
        }
        // Inside the ring: the digits on the panel or on the icon's own backdrop.
        const qreal inner = (DateIconRenderer::ringRadius - 2) * size / DateIconRenderer::designSize;
        const QPointF centre(size / 2.0, size / 2.0);
        qreal darkest = 1, lightest = 0;
        int ink = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                if (QLineF(centre, QPointF(x + 0.5, y + 0.5)).length() > inner)
                    continue;
                const QColor c = shot.pixelColor(x, y);
                const qreal l = luminance(c);
                darkest = qMin(darkest, l);
                lightest = qMax(lightest, l);
                if (qAbs(l - luminance(look.tint)) < 0.08)
                    ++ink;
            }
        const qreal contrast = (lightest + 0.05) / (darkest + 0.05);
        QVERIFY2(contrast >= 4.5, qPrintable(QStringLiteral("contrast %1").arg(contrast)));
        // The strokes reach full ink somewhere: the digits are drawn, not just hinted at.
        QVERIFY2(ink >= size / 2, qPrintable(QStringLiteral("%1 ink pixels").arg(ink)));
    }

    void trayColoursProperty_data()
    {
        QTest::addColumn<QList<quint32>>("values");
        QTest::addColumn<QColor>("expected"); // invalid: none
        QTest::newRow("twelve values, the first three count")
            << QList<quint32> { 0xffff, 0x8000, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 } << QColor(0xff, 0x80, 0);
        QTest::newRow("too short") << QList<quint32> { 0xffff, 0xffff } << QColor();
        QTest::newRow("only the normal colour")
            << QList<quint32> { 0xeeee, 0xeeee, 0xecec } << QColor(0xee, 0xee, 0xec);
        // What a panel writes before it has styled itself: 0..1 colours, unscaled.
        QTest::newRow("placeholder") << QList<quint32> { 0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0 } << QColor();
        QTest::newRow("four equal colours, as a panel means them") << QList<quint32> { 0xeeee, 0xeeee, 0xecec,
            0xeeee, 0xeeee, 0xecec, 0xeeee, 0xeeee, 0xecec, 0xeeee, 0xeeee, 0xecec }
                                                                   << QColor(0xee, 0xee, 0xec);
        QTest::newRow("black, with coloured states")
            << QList<quint32> { 0, 0, 0, 0xffff, 0, 0, 0xffff, 0xffff, 0, 0, 0xffff, 0 } << QColor(0, 0, 0);
    }
    void trayColoursProperty()
    {
        QFETCH(QList<quint32>, values);
        QFETCH(QColor, expected);
        const auto color = X11Desktop::colorFromTrayColors(values.constData(), int(values.size()));
        QCOMPARE(color.value_or(QColor()), expected);
    }

    // A panel that names its light theme's ink while it is dark gets the badge.
    void namedColourMustStandOutOnThePanel_data()
    {
        QTest::addColumn<QColor>("named");
        QTest::addColumn<QColor>("background"); // invalid: not seen
        QTest::addColumn<bool>("badge");
        const QColor darkPanel(0x35, 0x35, 0x35);
        QTest::newRow("light ink, dark panel") << QColor(0xee, 0xee, 0xec) << darkPanel << false;
        QTest::newRow("dark ink, dark panel") << QColor(0x2e, 0x34, 0x36) << darkPanel << true;
        QTest::newRow("dark ink, light panel")
            << QColor(0x2e, 0x34, 0x36) << QColor(0xf6, 0xf5, 0xf4) << false;
        QTest::newRow("dark ink, panel not seen") << QColor(0x2e, 0x34, 0x36) << QColor() << false;
    }
    void namedColourMustStandOutOnThePanel()
    {
        QFETCH(QColor, named);
        QFETCH(QColor, background);
        QFETCH(bool, badge);
        const QColor guessed(0x1e, 0x1e, 0x1e);
        const auto look = DateIconRenderer::lookFor(named, guessed, background);
        QCOMPARE(look.backdrop.isValid(), badge);
        QCOMPARE(look.tint, badge ? guessed : named);
    }

    void panelBehindTheIcon()
    {
        const QColor panel(0x35, 0x35, 0x35);
        QImage shot(22, 22, QImage::Format_RGB32);
        shot.fill(panel);
        // The icon's ring touches the frame at its four sides.
        QPainter painter(&shot);
        painter.setPen(QPen(QColor(0x2e, 0x34, 0x36), 2));
        painter.drawEllipse(QRectF(0.5, 0.5, 21, 21));
        painter.end();
        QCOMPARE(DateIconRenderer::panelBackground(shot), panel);
        QVERIFY(!DateIconRenderer::panelBackground(QImage()).isValid());
    }

    void tintReadsOnThePanel_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<bool>("darkScheme");
        QTest::addColumn<bool>("lightInk");
        QTest::newRow("KDE, light scheme") << "KDE" << false << false;
        QTest::newRow("KDE, dark scheme") << "KDE" << true << true;
        QTest::newRow("GNOME keeps a dark bar in light scheme") << "GNOME" << false << true;
        QTest::newRow("Ubuntu's GNOME") << "ubuntu:GNOME" << false << true;
        QTest::newRow("sway's bar") << "sway" << false << true;
    }
    void tintReadsOnThePanel()
    {
        QFETCH(QString, desktop);
        QFETCH(bool, darkScheme);
        QFETCH(bool, lightInk);
        QCOMPARE(DateIconRenderer::tintFor(desktop, darkScheme).lightness() > 128, lightInk);
    }
};

QTEST_MAIN(tst_DateIconRenderer)
#include "tst_dateiconrenderer.moc"
