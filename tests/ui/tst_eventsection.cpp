#include "ContentFixture.h"
#include "DayCell.h"
#include "EventRow.h"
#include "EventSection.h"
#include "IcsEventStore.h"
#include "OverlayHost.h"
#include "Theme.h"
#include "ThemedLabel.h"

#include <QGraphicsEffect>

#include <QFileInfo>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>

class tst_EventSection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(pinWidgetEnvironment()); }

    // Busy day, empty day, busy day again, as the arrow keys and "Today" walk
    // them: the list keeps its height and shows its first rows every time, and
    // the grid above never moves. A day too full for the list scrolls within it.
    void walkingDaysKeepsTheLayout()
    {
        ContentFixture f;
        QVERIFY(f.show());
        QWidget *view = f.view.get();
        auto rectOf = [view](const QWidget *w) { return QRect(w->mapTo(view, QPoint()), w->size()); };
        const QRect cell = rectOf(f.view->dayCell(0));
        const QRect today = rectOf(f.find(QStringLiteral("todayButton")));
        auto *list = f.find<QScrollArea>(QStringLiteral("eventList"));
        const QRect section = rectOf(f.view->eventSection());

        // Each check waits for the layout passes the event loop runs before painting.
        auto checkBusy = [&](const char *step) {
            QVERIFY2(list->isVisible(), step);
            QTRY_VERIFY2(list->height() >= 150,
                qPrintable(QStringLiteral("%1: list %2 tall").arg(step).arg(list->height())));
            for (int i = 0; i < 2; ++i) {
                EventRow *row = f.view->eventSection()->row(i);
                QVERIFY2(row && row->isVisible(), step);
                QTRY_VERIFY2(row->height() >= row->minimumSizeHint().height() && row->height() > 20, step);
                const QRect inViewport(row->mapTo(list->viewport(), QPoint()), row->size());
                QVERIFY2(list->viewport()->rect().contains(inViewport), step);
            }
        };
        auto checkPlace = [&](const char *step) {
            QTRY_COMPARE(rectOf(f.view->dayCell(0)), cell);
            QTRY_COMPARE(rectOf(f.find(QStringLiteral("todayButton"))), today);
            QTRY_VERIFY2(rectOf(f.view->eventSection()) == section, step);
        };

        checkBusy("first open");
        QTest::keyClick(view, Qt::Key_Right); // Sunday 6 December: nothing on
        auto *noEvents = f.find<QLabel>(QStringLiteral("noEventsLabel"));
        QTRY_VERIFY(noEvents->isVisible() && !list->isVisible());
        QCOMPARE(noEvents->text(), QStringLiteral("No events"));
        QVERIFY(!f.find(QStringLiteral("firstRunHint"))->isVisible()); // there are calendars
        checkPlace("empty day");
        // "No events" sits in the middle of the area the list takes on a busy day.
        const QRect body = rectOf(f.find(QStringLiteral("eventBody")));
        QTRY_VERIFY(qAbs(rectOf(noEvents).center().x() - body.center().x()) <= 2);
        QTRY_VERIFY(qAbs(rectOf(noEvents).center().y() - body.center().y()) <= 8);

        QTest::keyClick(view, Qt::Key_Left);
        checkBusy("back to the busy day");
        checkPlace("back to the busy day");

        f.view->hide();
        f.events->selectDate(at(2026, 12, 2));
        QVERIFY(f.show());
        f.click(QStringLiteral("todayButton"));
        checkBusy("closed on an empty day, reopened, Today");
        f.events->selectDate(at(2026, 12, 16));
        checkBusy("crowded day");
        checkPlace("crowded day");

        // Only the rows near the visible part exist until the list is scrolled towards the rest.
        QScrollBar *bar = list->verticalScrollBar();
        EventSection *rows = f.view->eventSection();
        QTRY_VERIFY(bar->maximum() > 0);
        QVERIFY(rows->builtRowCount() < 12);
        // Each step to the end builds the next rows, which moves the end again.
        QTRY_VERIFY_WITH_TIMEOUT((bar->setValue(bar->maximum()), rows->builtRowCount() == 12), 20000);
        QCOMPARE(rows->row(11)->titleText(), QStringLiteral("Busy 9"));

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

    // Secondary text must come out grey on screen, not just in the label's own palette.
    void secondaryTextIsDrawnGrey_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("secondary"); // false: a primary label, to show the measure tells them apart
        for (bool dark : { false, true }) {
            const char *look = dark ? "dark" : "light";
            // clang-format off
            QTest::addRow("%s weekday letter", look) << dark << "busy" << "weekdayHeader_0" << true;
            QTest::addRow("%s relative phrase", look) << dark << "busy" << "eventHeadingRelative" << true;
            QTest::addRow("%s event time", look) << dark << "busy" << "eventTime" << true;
            QTest::addRow("%s location", look) << dark << "busy" << "eventLocation" << true;
            QTest::addRow("%s no events", look) << dark << "empty" << "noEventsLabel" << true;
            QTest::addRow("%s version line", look) << dark << "settings" << "versionLabel" << true;
            QTest::addRow("%s heading date (primary)", look) << dark << "busy" << "eventHeadingDate" << false;
            QTest::addRow("%s event title (primary)", look) << dark << "busy" << "eventTitle" << false;
            // clang-format on
        }
    }
    void secondaryTextIsDrawnGrey()
    {
        QFETCH(bool, dark);
        QFETCH(QString, state);
        QFETCH(QString, name);
        QFETCH(bool, secondary);

        ContentFixture f;
        // As the shell hands the content its stored look.
        const QPalette palette = dark ? Theme::darkPalette() : Theme::lightPalette();
        f.view->setPalette(palette);
        QVERIFY(f.show());
        if (state == QLatin1String("empty"))
            f.events->selectDate(at(2026, 12, 2));
        if (state == QLatin1String("settings")) {
            f.click(QStringLiteral("settingsButton"));
            auto *host = f.view->findChild<OverlayHost *>();
            QTRY_VERIFY(host && !host->graphicsEffect());
        }
        QWidget *label = f.find(name);
        QTRY_VERIFY(label && label->isVisible() && !label->size().isEmpty());
        const QImage image = f.view->grab().toImage();
        const QRect area(label->mapTo(f.view.get(), QPoint()), label->size());

        // The strongest ink of the text: darkest pixel on a light background, lightest on a dark one.
        int strongest = dark ? 0 : 255;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const int grey = qGray(image.pixel(x, y));
                strongest = dark ? qMax(strongest, grey) : qMin(strongest, grey);
            }
        const QColor base = palette.color(QPalette::Base);
        const QColor primary = Theme::primary(palette);
        const int full = qGray(primary.rgb());
        const int half = (full + qGray(base.rgb())) / 2;
        const int expected = secondary ? half : full;
        QVERIFY2(qAbs(strongest - expected) <= 30,
            qPrintable(QStringLiteral("ink %1, expected about %2").arg(strongest).arg(expected)));
    }

    // Each field grows to three lines, then ends in "…"; nothing is cut and nothing overlaps.
    void longTextsWrapThenElide_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("words");
        QTest::addColumn<int>("lines");
        QTest::newRow("place on two lines") << "eventLocation" << 12 << 2;
        QTest::newRow("a megabyte of title") << "eventTitle" << 200000 << 3;
        QTest::newRow("title and place both long") << "both" << 60 << 3;
    }
    void longTextsWrapThenElide()
    {
        QFETCH(QString, field);
        QFETCH(int, words);
        QFETCH(int, lines);

        QStringList parts;
        for (int i = 0; i < words; ++i)
            parts.append(QStringLiteral("Room%1").arg(i % 10));
        const QString text = parts.join(QLatin1Char(' '));
        ContentFixture f;
        auto event = makeEvent("long", at(2026, 12, 7, 9), at(2026, 12, 7, 10), "Review");
        if (field != QLatin1String("eventLocation"))
            event->title = text;
        if (field != QLatin1String("eventTitle"))
            event->location = text;
        if (field == QLatin1String("both"))
            field = QStringLiteral("eventLocation");
        f.store.all.append(event);
        f.store.emitChanged();
        QTRY_VERIFY(!f.events->isRefetchPending());
        QVERIFY(f.show());
        f.events->selectDate(at(2026, 12, 7));

        auto *row = f.find<EventRow>(QStringLiteral("eventRow_0"));
        QTRY_VERIFY(row && row->isVisible());
        auto *label = row->findChild<ThemedLabel *>(field);
        QVERIFY(label->fullText().size() <= ThemedLabel::maxCharacters + 1);
        QVERIFY(row->accessibleName().size() < 3 * ThemedLabel::maxCharacters);
        const QStringList shown = label->shownLines();
        QCOMPARE(shown.size(), lines);
        QVERIFY(shown.first().startsWith(QStringLiteral("Room0 Room1")));
        QCOMPARE(shown.last().endsWith(QChar(0x2026)), lines == 3);
        // Every line is inside the label and the label inside the row: nothing is cut off
        // (once the layout has settled: wrapped text takes a second pass for its height).
        QTRY_VERIFY(label->height() >= label->heightForWidth(label->width()));
        QVERIFY(row->rect().contains(QRect(label->mapTo(row, QPoint()), label->size())));
        auto *title = row->findChild<QWidget *>(QStringLiteral("eventTitle"));
        auto *time = row->findChild<QWidget *>(QStringLiteral("eventTime"));
        QVERIFY(time->mapTo(row, QPoint()).y() >= title->mapTo(row, QPoint()).y() + title->height());
    }

    // No calendar at all: the empty day says where calendars come from and
    // offers the folder (with calendars it just says "No events", as the walk
    // above checks). The files store decides it when its first load finds
    // nothing it was given readable, or nothing at all.
    void firstRunNamesTheCalendarFolder_data()
    {
        QTest::addColumn<bool>("unreadable");
        QTest::newRow("no source can be read") << true;
        QTest::newRow("the folder holds no calendar") << false;
    }
    void firstRunNamesTheCalendarFolder()
    {
        QFETCH(bool, unreadable);
        QTemporaryDir empty;
        const QStringList paths = unreadable
            ? QStringList { empty.filePath(QStringLiteral("gone")), empty.filePath(QStringLiteral("gone.ics")) }
            : QStringList { empty.path() };
        IcsEventStore files(CalendarSources::fromPaths(paths), { .watch = false, .loadInBackground = false });
        ContentFixture f(&files);
        const QString folder = f.dir.filePath(QStringLiteral("data/moriva/calendars"));
        f.view->setCalendarFolder(folder);
        QStringList opened;
        f.view->setFolderOpener([&opened](const QString &path) { opened.append(path); });
        QVERIFY(f.show());
        files.loadNow(); // as the first load ends, after the popover is up

        QTRY_VERIFY(f.find(QStringLiteral("firstRunHint"))->isVisible());
        QVERIFY(!f.find(QStringLiteral("noEventsLabel"))->isVisible());
        QVERIFY(f.find<ThemedLabel>(QStringLiteral("firstRunText"))->fullText().contains(folder));
        auto *button = f.find<QAbstractButton>(QStringLiteral("openCalendarFolderButton"));
        QCOMPARE(button->text(), QStringLiteral("Open Calendar Folder"));
        f.click(button);
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(opened, QStringList { folder });
    }

    void rowShowsEvent_data()
    {
        QTest::addColumn<EventPtr>("event");
        QTest::addColumn<QStringList>("texts"); // title, time, place, meeting
        QTest::addColumn<QColor>("bar"); // invalid: the accent

        // The fixture's standup comes first, its untitled night fourth.
        const EventList fixture = ContentFixture::defaultEvents();
        const QColor red(0xe5, 0x39, 0x35);
        auto blankTitle = makeEvent("e", at(2026, 12, 9, 8), at(2026, 12, 9, 9), QString());
        blankTitle->location = QStringLiteral("   ");
        blankTitle->calendar = std::make_shared<CalendarInfo>(CalendarInfo { "c", "C", CalendarColor() });
        // clang-format off
        QTest::newRow("timed with place and Zoom") << fixture[0] << QStringList { "Standup", "09:00 \u2013 09:30", "Room 4", "Join Zoom" } << red;
        QTest::newRow("absent title, over midnight") << fixture[3] << QStringList { "Untitled Event", "22:00 \u2013 02:00", "", "" } << QColor();
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
        auto *row = f.find<EventRow>(QStringLiteral("eventRow_0"));
        QTRY_VERIFY(row && row->isVisible() && row->meetingLine()->isVisible());
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

};

QTEST_MAIN(tst_EventSection)
#include "tst_eventsection.moc"
