#include "ContentFixture.h"
#include "DayCell.h"
#include "Theme.h"

#include <QEnterEvent>
#include <QHash>
#include <QSignalSpy>

namespace {

/** `top` at opacity `a` laid over `bottom`. */
QColor over(const QColor &top, qreal a, const QColor &bottom)
{
    return QColor::fromRgbF(top.redF() * a + bottom.redF() * (1 - a),
        top.greenF() * a + bottom.greenF() * (1 - a), top.blueF() * a + bottom.blueF() * (1 - a));
}

int distance(const QColor &a, const QColor &b)
{
    return qMax(qAbs(a.red() - b.red()), qMax(qAbs(a.green() - b.green()), qAbs(a.blue() - b.blue())));
}

// Set the pointer state outright: where the offscreen pointer happens to be is no part of a case.
void hover(DayCell *cell, bool on)
{
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(cell, on ? static_cast<QEvent *>(&enter) : &leave);
}

DayCell *showCell(QWidget &host, const DayCell::State &state)
{
    host.resize(100, 100);
    auto *cell = new DayCell(&host);
    cell->setGeometry(2, 2, 40, 44);
    cell->setState(state);
    host.show();
    return QTest::qWaitForWindowExposed(&host) ? cell : nullptr;
}

} // namespace

class tst_DayCell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(pinWidgetEnvironment()); }

    void looks_data()
    {
        QTest::addColumn<QString>("inputs"); // those that are on
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("hoverFill");
        // clang-format off
        QTest::newRow("today outranks selection, hover, other month") << "dark today selected hover dot" << "accent" << "white" << false;
        QTest::newRow("today's dot in the light look: accent, not white") << "month today dot" << "accent" << "white" << false;
        QTest::newRow("hovered selected, other month: clear")  << "selected hover"       << "faint" << "accent"   << false;
        QTest::newRow("hovered outside the month, with a dot") << "hover dot"            << "none"  << "tertiary" << true;
        QTest::newRow("hovered plain day with a dot")          << "dark month hover dot" << "none"  << "primary"  << true;
        // clang-format on
    }

    void looks()
    {
        QFETCH(QString, inputs);
        QFETCH(QString, marker);
        QFETCH(QString, number);
        QFETCH(bool, hoverFill);
        const QStringList on = inputs.split(' ');
        const bool today = on.contains("today"), dot = on.contains("dot");

        const QPalette palette = on.contains("dark") ? Theme::darkPalette() : Theme::lightPalette();
        QWidget host;
        host.setPalette(palette);
        host.setBackgroundRole(QPalette::Base);
        host.setAutoFillBackground(true);
        DayCell *cell
            = showCell(host, { at(2026, 12, 18), on.contains("month"), today, on.contains("selected"), dot });
        QVERIFY(cell);
        hover(cell, on.contains("hover"));
        const QImage image = host.grab().toImage();
        auto pixel = [&](QPointF p) { return image.pixelColor(cell->mapTo(&host, p.toPoint())); };
        auto near = [&](QPointF p, const QColor &expected, int tolerance) {
            const QColor seen = pixel(p);
            return distance(seen, expected) <= tolerance ? QString() : seen.name() + " vs " + expected.name();
        };

        const QColor base = palette.color(QPalette::Base), accent = Theme::accent(palette);
        const QColor primary = Theme::primary(palette), tertiary = Theme::tertiary(palette);
        const QColor background = hoverFill ? over(primary, 0.06, base) : base;
        const QHash<QString, QColor> colors { { "none", background }, { "accent", accent },
            { "faint", over(accent, 0.2, background) }, { "white", Qt::white }, { "primary", primary },
            { "tertiary", over(tertiary, tertiary.alphaF(), background) } };
        // The hover fill covers the whole cell, away from its rounded corners and the number.
        QCOMPARE(near(QPointF(3, 22), background, 2), QString());
        const QPointF centre = cell->numberRect().center();
        const QColor markerColor = colors.value(marker);
        QCOMPARE(near(centre - QPointF(11, 0), markerColor, 3), QString());

        // The number: the pixel in its middle that stands out most from the marker is the text colour.
        QColor strongest = markerColor;
        for (int dx = -8; dx <= 8; ++dx)
            for (int dy = -7; dy <= 7; ++dy)
                if (const QColor c = pixel(centre + QPointF(dx, dy));
                    distance(c, markerColor) > distance(strongest, markerColor))
                    strongest = c;
        QVERIFY2(distance(strongest, colors.value(number)) <= 24,
            qPrintable(strongest.name() + " vs " + colors.value(number).name()));

        // Today's dot lies below its circle, on the background: white would vanish there in the light look.
        const QColor dotColor = dot ? accent : background;
        QCOMPARE(near(cell->dotRect().center(), dotColor, 24), QString());
    }

    void clicksAndHover()
    {
        QWidget host;
        DayCell *cell = showCell(host, { at(2026, 11, 30), false, false, false, false });
        QVERIFY(cell);
        QSignalSpy taps(cell, &DayCell::tapped);
        QTest::mouseClick(cell, Qt::LeftButton, Qt::NoModifier, QPoint(2, 40)); // a corner counts too
        // A press that leaves the cell before release is not a click.
        QTest::mousePress(cell, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QTest::mouseRelease(cell, Qt::LeftButton, Qt::NoModifier, QPoint(60, 10));
        QCOMPARE(taps.count(), 1);
        QCOMPARE(taps.at(0).at(0).toDateTime(), at(2026, 11, 30));

        // Hover survives being given a new day, as the grid reuses its cells.
        hover(cell, true);
        cell->setState({ at(2026, 12, 1), true, false, false, false });
        QVERIFY(cell->isHovered());
    }
};

QTEST_MAIN(tst_DayCell)
#include "tst_daycell.moc"
