#include "ContentFixture.h"
#include "DayCell.h"
#include "Theme.h"

#include <QEnterEvent>
#include <QSignalSpy>

namespace {

QColor over(const QColor &top, const QColor &bottom)
{
    const qreal a = top.alphaF();
    return QColor::fromRgbF(top.redF() * a + bottom.redF() * (1 - a),
        top.greenF() * a + bottom.greenF() * (1 - a), top.blueF() * a + bottom.blueF() * (1 - a));
}

QColor alpha(QColor c, qreal a)
{
    c.setAlphaF(a);
    return c;
}

int distance(const QColor &a, const QColor &b)
{
    return qMax(qAbs(a.red() - b.red()), qMax(qAbs(a.green() - b.green()), qAbs(a.blue() - b.blue())));
}

} // namespace

class tst_DayCell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void looks_data();
    void looks();
    void dotLiftsTheNumber();
    void clicksAndHover();
};

void tst_DayCell::initTestCase()
{
    QVERIFY(pinWidgetEnvironment());
}

void tst_DayCell::looks_data()
{
    QTest::addColumn<bool>("dark");
    QTest::addColumn<bool>("today");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("inMonth");
    QTest::addColumn<bool>("hovered");
    QTest::addColumn<bool>("dot");
    QTest::addColumn<QString>("marker"); // none, accent, faint
    QTest::addColumn<QString>("number"); // primary, tertiary, accent, white
    QTest::addColumn<bool>("hoverFill");

    QTest::newRow("plain day of the month") << false << false << false << true << false << false << "none"
                                            << "primary" << false;
    QTest::newRow("today with events (dark)") << true << true << false << true << false << true << "accent"
                                              << "white" << false;
    QTest::newRow("today without events") << false << true << false << true << false << false << "accent"
                                          << "white" << false;
    QTest::newRow("today and selected looks like today, unhovered")
        << true << true << true << true << true << true << "accent"
        << "white" << false;
    QTest::newRow("selected with events") << false << false << true << true << false << true << "faint"
                                          << "accent" << false;
    QTest::newRow("selected outside the month")
        << false << false << true << false << false << false << "faint"
        << "accent" << false;
    QTest::newRow("today outside the month keeps today's look")
        << true << true << false << false << false << false << "accent"
        << "white" << false;
    QTest::newRow("outside the month with a dot")
        << false << false << false << false << false << true << "none"
        << "tertiary" << false;
    QTest::newRow("hovered outside the month") << false << false << false << false << true << false << "none"
                                               << "tertiary" << true;
    QTest::newRow("hovered selected stays clear")
        << false << false << true << true << true << false << "faint"
        << "accent" << false;
    QTest::newRow("hovered plain day (dark)") << true << false << false << true << true << true << "none"
                                              << "primary" << true;
}

void tst_DayCell::looks()
{
    QFETCH(bool, dark);
    QFETCH(bool, today);
    QFETCH(bool, selected);
    QFETCH(bool, inMonth);
    QFETCH(bool, hovered);
    QFETCH(bool, dot);
    QFETCH(QString, marker);
    QFETCH(QString, number);
    QFETCH(bool, hoverFill);

    const QPalette palette = dark ? Theme::darkPalette() : Theme::lightPalette();
    QWidget host;
    host.setPalette(palette);
    host.setBackgroundRole(QPalette::Base);
    host.setAutoFillBackground(true);
    host.resize(44, 48);
    auto *cell = new DayCell(&host);
    cell->setGeometry(2, 2, 40, 44);
    cell->setState({ at(2026, 12, 18), inMonth, today, selected, dot });
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    // Set the pointer state outright: where the offscreen pointer happens to be is no part of the case.
    if (hovered) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(cell, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(cell, &leave);
    }
    QCOMPARE(cell->isHovered(), hovered);
    const QImage image = host.grab().toImage();
    auto pixel = [&](QPointF p) { return image.pixelColor(cell->mapTo(&host, p.toPoint())); };

    const QColor base = palette.color(QPalette::Base);
    const QColor accent = Theme::accent(palette);
    const QColor primary = Theme::primary(palette);
    const QColor background = hoverFill ? over(alpha(primary, 0.06), base) : base;

    // The hover fill covers the whole cell, away from its rounded corners and the number.
    QVERIFY2(distance(pixel(QPointF(3, 22)), background) <= 2,
        qPrintable(pixel(QPointF(3, 22)).name() + " vs " + background.name()
            + (cell->isHovered() ? " hovered" : "")));

    const QRectF numberRect = cell->numberRect();
    QColor markerColor = background;
    if (marker == QLatin1String("accent"))
        markerColor = accent;
    else if (marker == QLatin1String("faint"))
        markerColor = over(alpha(accent, 0.2), background);
    QVERIFY2(distance(pixel(numberRect.center() - QPointF(11, 0)), markerColor) <= 3,
        qPrintable(pixel(numberRect.center() - QPointF(11, 0)).name() + " vs " + markerColor.name()));

    // The number: the pixel in its middle that stands out most from the marker is the text colour.
    QColor expected;
    if (number == QLatin1String("white"))
        expected = Qt::white;
    else if (number == QLatin1String("accent"))
        expected = accent;
    else if (number == QLatin1String("primary"))
        expected = primary;
    else
        expected = over(Theme::tertiary(palette), background);
    QColor strongest = markerColor;
    for (int dx = -8; dx <= 8; ++dx)
        for (int dy = -7; dy <= 7; ++dy) {
            const QColor c = pixel(numberRect.center() + QPointF(dx, dy));
            if (distance(c, markerColor) > distance(strongest, markerColor))
                strongest = c;
        }
    QVERIFY2(distance(strongest, expected) <= 24, qPrintable(strongest.name() + " vs " + expected.name()));

    const QColor dotColor = !dot ? background : today ? over(alpha(Qt::white, 0.8), background) : accent;
    QVERIFY2(distance(pixel(cell->dotRect().center()), dotColor) <= 24,
        qPrintable(pixel(cell->dotRect().center()).name() + " vs " + dotColor.name()));
}

void tst_DayCell::dotLiftsTheNumber()
{
    DayCell plain;
    plain.resize(40, 44);
    plain.setState({ at(2026, 12, 1), true, false, false, false });
    DayCell dotted;
    dotted.resize(40, 44);
    dotted.setState({ at(2026, 12, 1), true, false, false, true });
    QCOMPARE(plain.numberRect().size(), QSizeF(30, 30));
    QCOMPARE(plain.numberRect().top() - dotted.numberRect().top(), 3.0);
    QCOMPARE(dotted.dotRect().top() - dotted.numberRect().bottom(), 2.0);
    QCOMPARE(dotted.dotRect().size(), QSizeF(4, 4));
    QCOMPARE(DayCell::dayNumberText(QDate(2026, 12, 1)), QStringLiteral("1"));
    QCOMPARE(plain.sizeHint(), QSize(36, 42));
}

void tst_DayCell::clicksAndHover()
{
    QWidget host;
    host.resize(100, 100);
    auto *cell = new DayCell(&host);
    cell->setGeometry(0, 0, 40, 44);
    auto *filler = new DayCell(&host);
    filler->setGeometry(50, 0, 40, 44);
    cell->setState({ at(2026, 11, 30), false, false, false, false });
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    QSignalSpy taps(cell, &DayCell::tapped);
    QSignalSpy fillerTaps(filler, &DayCell::tapped);
    QTest::mouseClick(cell, Qt::LeftButton, Qt::NoModifier, QPoint(2, 40)); // a corner counts too
    QCOMPARE(taps.count(), 1);
    QCOMPARE(taps.at(0).at(0).toDateTime(), at(2026, 11, 30));
    // A press that leaves the cell before release is not a click.
    QTest::mousePress(cell, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseRelease(cell, Qt::LeftButton, Qt::NoModifier, QPoint(60, 10));
    QCOMPARE(taps.count(), 1);
    QTest::mouseClick(filler, Qt::LeftButton);
    QCOMPARE(fillerTaps.count(), 0);

    // Hover survives being given a new day, as the grid reuses its cells.
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(cell, &enter);
    QVERIFY(cell->isHovered());
    cell->setState({ at(2026, 12, 1), true, false, false, false });
    QVERIFY(cell->isHovered());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(cell, &leave);
    QVERIFY(!cell->isHovered());
}

QTEST_MAIN(tst_DayCell)
#include "tst_daycell.moc"
