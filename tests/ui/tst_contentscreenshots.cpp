#include "ContentFixture.h"
#include "DayCell.h"
#include "EventSection.h"
#include "OverlayHost.h"
#include "Theme.h"

#include <QDir>
#include <QGraphicsEffect>
#include <QScrollArea>

/**
 * Renders the content in both appearances to PNG files a person can open
 * (build folder, screenshots/), and checks the measures those pictures are
 * judged by.
 */
class tst_ContentScreenshots : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void render_data();
    void render();
    void measures();

private:
    QString m_folder;
};

void tst_ContentScreenshots::initTestCase()
{
    QVERIFY(pinWidgetEnvironment());
    m_folder = QStringLiteral(MORIVA_BUILD_DIR "/screenshots");
    QVERIFY(QDir().mkpath(m_folder));
}

void tst_ContentScreenshots::render_data()
{
    QTest::addColumn<QString>("appearance");
    QTest::addColumn<QString>("state");
    for (const char *appearance : { "light", "dark" })
        for (const char *state :
            { "month", "busy-day", "empty-day", "settings", "month-chooser", "year-chooser" })
            QTest::addRow("%s %s", appearance, state)
                << QString::fromLatin1(appearance) << QString::fromLatin1(state);
}

void tst_ContentScreenshots::render()
{
    QFETCH(QString, appearance);
    QFETCH(QString, state);

    QApplication::setPalette(
        appearance == QLatin1String("dark") ? Theme::darkPalette() : Theme::lightPalette());
    ContentFixture f;
    f.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.view.get()));

    if (state == QLatin1String("busy-day"))
        f.events->selectDate(at(2026, 12, 16));
    else if (state == QLatin1String("empty-day"))
        f.events->selectDate(at(2026, 12, 2));
    else if (state == QLatin1String("settings"))
        f.click(f.find(QStringLiteral("settingsButton")));
    else if (state == QLatin1String("month-chooser"))
        f.click(f.find(QStringLiteral("monthTitleButton")));
    else if (state == QLatin1String("year-chooser"))
        f.click(f.find(QStringLiteral("yearTitleButton")));
    if (auto *host = f.view->findChild<OverlayHost *>())
        QTRY_VERIFY(!host->graphicsEffect()); // the fade-in has finished

    QTest::qWait(50); // the layout passes the event loop runs before painting
    const QImage shot = f.view->grab().toImage();
    QCOMPARE(shot.size() / shot.devicePixelRatio(), QSize(320, 520));
    const QString path = QStringLiteral("%1/content-%2-%3.png").arg(m_folder, appearance, state);
    QVERIFY2(shot.save(path), qPrintable(path));
    QApplication::setPalette(QPalette());
}

void tst_ContentScreenshots::measures()
{
    ContentFixture f;
    f.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.view.get()));
    QWidget *view = f.view.get();
    auto rectOf = [view](QWidget *w) { return QRect(w->mapTo(view, QPoint(0, 0)), w->size()); };

    // Navigation row: 16 from the top plus 4 of padding; buttons 28 tall, arrows 28 square, 12 from the
    // edges.
    const QRect year = rectOf(f.find(QStringLiteral("yearTitleButton")));
    const QRect month = rectOf(f.find(QStringLiteral("monthTitleButton")));
    const QRect previous = rectOf(f.find(QStringLiteral("previousMonthButton")));
    const QRect next = rectOf(f.find(QStringLiteral("nextMonthButton")));
    QCOMPARE(year.topLeft(), QPoint(12, 20));
    QCOMPARE(year.height(), 28);
    QCOMPARE(month.left(), year.right() + 1 + 4);
    QCOMPARE(previous.size(), QSize(28, 28));
    QCOMPARE(next.size(), QSize(28, 28));
    QCOMPARE(next.right(), 320 - 12 - 1);
    QCOMPARE(next.left(), previous.right() + 1 + 4);

    // Grid: 8 from each side, 2 between cells, every cell at least 36 × 42.
    const QRect first = rectOf(f.view->dayCell(0));
    const QRect second = rectOf(f.view->dayCell(1));
    const QRect below = rectOf(f.view->dayCell(7));
    const QRect last = rectOf(f.view->dayCell(41));
    QCOMPARE(first.left(), 8);
    QCOMPARE(last.right(), 320 - 8 - 1);
    QCOMPARE(second.left() - first.right() - 1, 2);
    QCOMPARE(below.top() - first.bottom() - 1, 2);
    QVERIFY(first.width() >= 36 && first.height() >= 42);

    // Action bar and event section.
    const QRect today = rectOf(f.find(QStringLiteral("todayButton")));
    const QRect gear = rectOf(f.find(QStringLiteral("settingsButton")));
    QCOMPARE(today.left(), 12);
    QCOMPARE(today.height(), 28);
    QCOMPARE(gear.size(), QSize(28, 28));
    QCOMPARE(gear.right(), 320 - 12 - 1);
    QCOMPARE(today.top(), last.bottom() + 1 + 4);
    const QRect date = rectOf(f.find(QStringLiteral("eventHeadingDate")));
    QCOMPARE(date.left(), 16);

    // A crowded day scrolls inside its 160-point cap.
    f.events->selectDate(at(2026, 12, 16));
    QTest::qWait(50);
    auto *list = f.find<QScrollArea>(QStringLiteral("eventList"));
    QVERIFY(list->isVisible());
    QVERIFY(list->height() <= EventSection::maxListHeight);
    QVERIFY(list->widget()->height() > list->viewport()->height());
    QCOMPARE(rectOf(list).bottom(), 520 - 1);

    // Panels keep their own sizes, centred.
    const QList<QPair<QString, QSize>> panels { { QStringLiteral("settingsButton"), QSize(300, 290) },
        { QStringLiteral("monthTitleButton"), QSize(280, 260) },
        { QStringLiteral("yearTitleButton"), QSize(200, 300) } };
    for (const auto &[button, size] : panels) {
        f.click(f.find(button));
        auto *host = f.view->findChild<OverlayHost *>(QStringLiteral("overlayBackdrop"));
        QVERIFY(host);
        QCOMPARE(host->panel()->size(), size);
        QCOMPARE(host->panelRect().center(), QRect(0, 0, 320, 520).center());
        f.view->setShowingSettings(false);
        f.view->setShowingMonthPicker(false);
        f.view->setShowingYearPicker(false);
        QTRY_VERIFY(!f.view->findChild<OverlayHost *>());
    }
}

QTEST_MAIN(tst_ContentScreenshots)
#include "tst_contentscreenshots.moc"
