#include "ContentFixture.h"
#include "OverlayHost.h"
#include "Theme.h"

#include <QDir>
#include <QGraphicsEffect>

/**
 * Renders the content in both appearances to PNG files a person can open
 * (build folder, screenshots/), and checks the measures those pictures are
 * judged by.
 */
class tst_ContentScreenshots : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(pinWidgetEnvironment());
        QVERIFY(QDir().mkpath(QStringLiteral(MORIVA_BUILD_DIR "/screenshots")));
    }

    void render_data()
    {
        QTest::addColumn<QString>("appearance");
        QTest::addColumn<QString>("state");
        for (const char *appearance : { "light", "dark" })
            for (const char *state :
                { "month", "busy-day", "empty-day", "settings", "month-chooser", "year-chooser" })
                QTest::addRow("%s %s", appearance, state)
                    << QString::fromLatin1(appearance) << QString::fromLatin1(state);
    }
    void render()
    {
        QFETCH(QString, appearance);
        QFETCH(QString, state);

        QApplication::setPalette(
            appearance == QLatin1String("dark") ? Theme::darkPalette() : Theme::lightPalette());
        ContentFixture f;
        QVERIFY(f.show());
        const QHash<QString, QString> openers { { "settings", "settingsButton" },
            { "month-chooser", "monthTitleButton" }, { "year-chooser", "yearTitleButton" } };
        if (state == QLatin1String("busy-day"))
            f.events->selectDate(at(2026, 12, 16));
        else if (state == QLatin1String("empty-day"))
            f.events->selectDate(at(2026, 12, 2));
        else if (openers.contains(state))
            f.click(openers.value(state));
        if (auto *host = f.view->findChild<OverlayHost *>())
            QTRY_VERIFY(!host->graphicsEffect()); // the fade-in has finished

        QTest::qWait(50); // the layout passes the event loop runs before painting
        const QImage shot = f.view->grab().toImage();
        QCOMPARE(shot.size() / shot.devicePixelRatio(), QSize(320, 520));
        const QString path
            = QStringLiteral(MORIVA_BUILD_DIR "/screenshots/content-%1-%2.png").arg(appearance, state);
        QVERIFY2(shot.save(path), qPrintable(path));
        QApplication::setPalette(QPalette());
    }

    void measures()
    {
        ContentFixture f;
        QVERIFY(f.show());
        auto rectOf = [&f](const QString &name) {
            QWidget *w = f.find(name);
            return QRect(w->mapTo(f.view.get(), QPoint(0, 0)), w->size());
        };

        // Navigation row: 16 from the top plus 4 of padding, 28-point buttons, 12 from the edges.
        const QRect year = rectOf(QStringLiteral("yearTitleButton"));
        const QRect previous = rectOf(QStringLiteral("previousMonthButton"));
        const QRect next = rectOf(QStringLiteral("nextMonthButton"));
        QCOMPARE(year.topLeft(), QPoint(12, 20));
        QCOMPARE(year.height(), 28);
        QCOMPARE(rectOf(QStringLiteral("monthTitleButton")).left(), year.right() + 1 + 4);
        QCOMPARE(previous.size(), QSize(28, 28));
        QCOMPARE(next.size(), QSize(28, 28));
        QCOMPARE(next.right(), 320 - 12 - 1);
        QCOMPARE(next.left(), previous.right() + 1 + 4);

        // Grid: 8 from each side, 2 between cells, every cell at least 36 × 42.
        const QRect first = rectOf(QStringLiteral("dayCell_0"));
        const QRect last = rectOf(QStringLiteral("dayCell_41"));
        QCOMPARE(first.left(), 8);
        QCOMPARE(last.right(), 320 - 8 - 1);
        QCOMPARE(rectOf(QStringLiteral("dayCell_1")).left() - first.right() - 1, 2);
        QCOMPARE(rectOf(QStringLiteral("dayCell_7")).top() - first.bottom() - 1, 2);
        QVERIFY(first.width() >= 36 && first.height() >= 42);

        // Action bar and event section.
        const QRect today = rectOf(QStringLiteral("todayButton"));
        const QRect gear = rectOf(QStringLiteral("settingsButton"));
        QCOMPARE(today.topLeft(), QPoint(12, last.bottom() + 1 + 4));
        QCOMPARE(today.height(), 28);
        QCOMPARE(gear.size(), QSize(28, 28));
        QCOMPARE(gear.right(), 320 - 12 - 1);
        QCOMPARE(rectOf(QStringLiteral("eventHeadingDate")).left(), 16);

        // Panels keep their own sizes, centred.
        const QList<QPair<QString, QSize>> panels { { QStringLiteral("settingsButton"), QSize(300, 326) },
            { QStringLiteral("monthTitleButton"), QSize(280, 260) },
            { QStringLiteral("yearTitleButton"), QSize(200, 300) } };
        for (const auto &[button, size] : panels) {
            f.click(button);
            auto *host = f.view->findChild<OverlayHost *>(QStringLiteral("overlayBackdrop"));
            QVERIFY(host);
            QCOMPARE(host->panel()->size(), size);
            QCOMPARE(host->panelRect().center(), QRect(0, 0, 320, 520).center());
            QTest::keyClick(f.view.get(), Qt::Key_Escape);
            QTRY_VERIFY(!f.view->findChild<OverlayHost *>());
        }
    }
};

QTEST_MAIN(tst_ContentScreenshots)
#include "tst_contentscreenshots.moc"
