#include "ContentFixture.h"
#include "DesktopUrlOpener.h"
#include "EventRow.h"
#include "EventSection.h"
#include "Theme.h"

#include <QDesktopServices>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

/** Catches what QDesktopServices would hand to the desktop. */
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> caught;
public Q_SLOTS:
    void catchUrl(const QUrl &url) { caught.append(url); }
};

class tst_EventSection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(pinWidgetEnvironment()); }

    void emptyDayIsOneCentredBlock()
    {
        ContentFixture f;
        f.view->show();
        f.events->selectDate(at(2026, 12, 2));
        QTest::qWait(50);
        QCOMPARE(f.view->eventSection()->headingText(), QStringLiteral("Wednesday, Dec 2 \u2022 3 days ago"));
        QCOMPARE(
            f.find(QStringLiteral("eventHeading"))->accessibleName(), f.view->eventSection()->headingText());
        auto *noEvents = f.find<QLabel>(QStringLiteral("noEventsLabel"));
        auto *date = f.find<QLabel>(QStringLiteral("eventHeadingDate"));
        QVERIFY(noEvents->isVisible() && !f.find(QStringLiteral("eventList"))->isVisible());
        QCOMPARE(noEvents->text(), QStringLiteral("No events"));

        // Heading and label share a leading edge, and the pair is centred in the popover's width.
        QWidget *view = f.view.get();
        const QWidget *block = noEvents->parentWidget();
        QCOMPARE(noEvents->mapTo(view, QPoint()).x() + noEvents->contentsMargins().left(),
            date->mapTo(view, QPoint()).x());
        QVERIFY(qAbs(QRect(block->mapTo(view, QPoint()), block->size()).center().x() - 160) <= 1);

        // With events the heading goes back to the leading edge.
        f.events->selectDate(at(2026, 12, 5));
        QTest::qWait(50);
        QCOMPARE(date->mapTo(view, QPoint()).x(), 16);
    }

    void rowShowsEvent_data()
    {
        QTest::addColumn<EventPtr>("event");
        QTest::addColumn<QStringList>("texts"); // title, time, place, meeting
        QTest::addColumn<QColor>("bar"); // invalid: the accent

        const QColor red(0xe5, 0x39, 0x35);
        auto standup = makeEvent("e", at(2026, 12, 5, 9), at(2026, 12, 5, 9, 30), "Standup");
        standup->location = QStringLiteral("Room 4");
        standup->url = QUrl(QStringLiteral("https://zoom.us/j/1"));
        standup->calendar = std::make_shared<CalendarInfo>(CalendarInfo { "c", "C", red });
        auto blankTitle = makeEvent("e", at(2026, 12, 9, 8), at(2026, 12, 9, 9), QString());
        blankTitle->location = QStringLiteral("   ");
        blankTitle->calendar = std::make_shared<CalendarInfo>(CalendarInfo { "c", "C", QColor() });
        const auto untitled = makeEvent("e", at(2026, 12, 9, 22), at(2026, 12, 10, 2), std::nullopt);
        // clang-format off
        QTest::newRow("timed with place and Zoom") << EventPtr(standup) << QStringList { "Standup", "09:00 \u2013 09:30", "Room 4", "Join Zoom" } << red;
        QTest::newRow("absent title, over midnight") << EventPtr(untitled) << QStringList { "Untitled Event", "22:00 \u2013 02:00", "", "" } << QColor();
        QTest::newRow("empty title stays empty, spaces for a place") << EventPtr(blankTitle) << QStringList { "", "08:00 \u2013 09:00", "   ", "" } << QColor();
        // clang-format on
    }
    void rowShowsEvent()
    {
        QFETCH(EventPtr, event);
        QFETCH(QStringList, texts);
        QFETCH(QColor, bar);

        RecordingUrlOpener opener;
        RecordingLauncher launcher;
        EventRow row(&opener, &launcher);
        row.setPalette(Theme::lightPalette());
        row.setEvent(event);
        QCOMPARE(
            QStringList({ row.titleText(), row.timeText(), row.locationText(), row.meetingText() }), texts);
        QCOMPARE(row.locationLine()->isVisibleTo(&row), !texts[2].isEmpty());
        QCOMPARE(row.meetingLine()->isVisibleTo(&row), !texts[3].isEmpty());
        QVERIFY(row.accessibleName().startsWith(texts[0] + QStringLiteral(", ") + texts[1]));

        row.resize(280, row.sizeHint().height());
        QWidget *colorBar = row.findChild<QWidget *>(QStringLiteral("colorBar"));
        const QColor drawn = row.grab().toImage().pixelColor(colorBar->mapTo(&row, QPoint(1, 16)));
        QCOMPARE(colorBar->size(), QSize(3, 32));
        QCOMPARE(drawn.rgb(), (bar.isValid() ? bar : Theme::accent(Theme::lightPalette())).rgb());
    }

    void activation_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("opensMeeting");
        QTest::newRow("click on the meeting line opens only the meeting") << "meeting" << true;
        QTest::newRow("click on the title opens the calendar") << "title" << false;
        QTest::newRow("click on the indent before the camera opens the calendar") << "indent" << false;
        QTest::newRow("Return on the row opens the calendar") << "return" << false;
        QTest::newRow("Space on the meeting line opens only the meeting") << "space" << true;
    }
    void activation()
    {
        QFETCH(QString, how);
        QFETCH(bool, opensMeeting);

        ContentFixture f;
        QVERIFY(f.show());
        QTest::qWait(50);
        auto *row = f.find<EventRow>(QStringLiteral("eventRow_0"));
        QVERIFY(row && row->isVisible());
        QWidget *meeting = row->meetingLine();
        if (how == QLatin1String("title"))
            f.click(row->findChild<QWidget *>(QStringLiteral("eventTitle")));
        else if (how == QLatin1String("return"))
            QTest::keyClick(row, Qt::Key_Return);
        else if (how == QLatin1String("space"))
            QTest::keyClick(meeting, Qt::Key_Space);
        else
            QTest::mouseClick(meeting, Qt::LeftButton, Qt::NoModifier,
                QPoint(how == QLatin1String("meeting") ? 20 : 5, meeting->height() / 2));
        QCOMPARE(f.launcher.shown, opensMeeting ? QStringList() : QStringList { QStringLiteral("standup") });
        QCOMPARE(f.opener.opened,
            opensMeeting ? QList<QUrl> { QUrl(QStringLiteral("https://zoom.us/j/123456")) } : QList<QUrl>());
    }

    void crowdedDayScrollsWithinCap()
    {
        ContentFixture f;
        QVERIFY(f.show());
        f.events->selectDate(at(2026, 12, 16));
        QTest::qWait(50);
        auto *list = f.find<QScrollArea>(QStringLiteral("eventList"));
        QScrollBar *bar = list->verticalScrollBar();
        EventSection *section = f.view->eventSection();
        // Only the rows near the visible part exist until the list is scrolled towards the rest.
        QVERIFY(section->builtRowCount() < 12);
        for (int i = 0; i < 20 && section->builtRowCount() < 12; ++i) {
            bar->setValue(bar->maximum());
            QTest::qWait(20);
        }
        QCOMPARE(section->builtRowCount(), 12);
        QCOMPARE(section->row(11)->titleText(), QStringLiteral("Busy 9"));
        QVERIFY(list->height() <= EventSection::maxListHeight);

        // A refetch of the same day keeps the reader's place; another day starts at the top.
        const int scrolled = bar->value();
        QVERIFY(scrolled > 0);
        f.store.emitChanged();
        QTRY_VERIFY(!f.events->isRefetchPending());
        QCOMPARE(bar->value(), scrolled);
        f.events->selectDate(at(2026, 12, 5));
        f.events->selectDate(at(2026, 12, 16));
        QCOMPARE(bar->value(), 0);
    }

    void rowsFollowTheListByPosition()
    {
        ContentFixture f;
        EventSection *section = f.view->eventSection();
        EventRow *first = section->row(0);

        // A new first event arrives: the same row widgets show the list shifted, and the reused first
        // row drops the place and the meeting of the event it showed before.
        f.store.all.prepend(FakeEventStore::make(
            QStringLiteral("early"), at(2026, 12, 5, 7), at(2026, 12, 5, 8), QStringLiteral("Early run")));
        f.store.emitChanged();
        QTRY_COMPARE(section->row(0)->titleText(), QStringLiteral("Early run"));
        QCOMPARE(section->row(0), first);
        QVERIFY(!first->locationLine()->isVisibleTo(first) && !first->meetingLine()->isVisibleTo(first));
        QCOMPARE(section->row(1)->titleText(), QStringLiteral("Standup"));

        // A shorter list hides the rows it no longer needs.
        f.events->selectDate(at(2026, 12, 8));
        QCOMPARE(section->row(0)->titleText(), QStringLiteral("Holiday"));
        QVERIFY(!section->row(1)->isVisibleTo(section));
    }

    void desktopOpenerRefusesUnsafeLinks()
    {
        const QUrl web(QStringLiteral("https://meet.google.com/abc"));
        UrlCatcher catcher;
        const char *schemes[] = { "https", "file", "javascript" };
        for (const char *scheme : schemes)
            QDesktopServices::setUrlHandler(QLatin1String(scheme), &catcher, "catchUrl");
        DesktopUrlOpener opener;
        for (const char *url : { "file:///etc/passwd", "javascript:alert(1)", "https://meet.google.com/abc" })
            opener.openUrl(QUrl(QLatin1String(url)));
        for (const char *scheme : schemes)
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
        QCOMPARE(catcher.caught, QList<QUrl> { web });
    }
};

QTEST_MAIN(tst_EventSection)
#include "tst_eventsection.moc"
