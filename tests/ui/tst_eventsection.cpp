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
    void initTestCase();
    void heading_data();
    void heading();
    void emptyDayIsOneCentredBlock();
    void rowShowsEvent_data();
    void rowShowsEvent();
    void colorBar_data();
    void colorBar();
    void clicks_data();
    void clicks();
    void keyboardOpensRowOrMeeting();
    void crowdedDayScrollsWithinCap();
    void rowsFollowTheListByPosition();
    void desktopOpenerRefusesUnsafeLinks_data();
    void desktopOpenerRefusesUnsafeLinks();
};

void tst_EventSection::initTestCase()
{
    QVERIFY(pinWidgetEnvironment());
}

void tst_EventSection::heading_data()
{
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QString>("heading");
    QTest::newRow("today") << QDate(2026, 12, 5) << "Saturday, Dec 5 \u2022 Today";
    QTest::newRow("three days back") << QDate(2026, 12, 2) << "Wednesday, Dec 2 \u2022 3 days ago";
    QTest::newRow("tomorrow") << QDate(2026, 12, 6) << "Sunday, Dec 6 \u2022 in 1 day";
    QTest::newRow("next year") << QDate(2027, 1, 8) << "Friday, Jan 8 \u2022 in 34 days";
}

void tst_EventSection::heading()
{
    QFETCH(QDate, day);
    QFETCH(QString, heading);
    ContentFixture f;
    f.events->selectDate(day.startOfDay());
    QCOMPARE(f.view->eventSection()->headingText(), heading);
    QCOMPARE(f.find(QStringLiteral("eventHeading"))->accessibleName(), heading);
    QCOMPARE(f.find<QLabel>(QStringLiteral("eventHeadingDate"))->font().weight(), QFont::DemiBold);
}

void tst_EventSection::emptyDayIsOneCentredBlock()
{
    ContentFixture f;
    f.view->show();
    f.events->selectDate(at(2026, 12, 2));
    QTest::qWait(50);
    auto *noEvents = f.find<QLabel>(QStringLiteral("noEventsLabel"));
    QVERIFY(noEvents->isVisible());
    QCOMPARE(noEvents->text(), QStringLiteral("No events"));
    QVERIFY(!f.find(QStringLiteral("eventList"))->isVisible());

    QWidget *view = f.view.get();
    const QRect date(f.find(QStringLiteral("eventHeadingDate"))->mapTo(view, QPoint()),
        f.find(QStringLiteral("eventHeadingDate"))->size());
    const QRect empty(noEvents->mapTo(view, QPoint()), noEvents->size());
    const QRect block(noEvents->parentWidget()->mapTo(view, QPoint()), noEvents->parentWidget()->size());
    // Leading edges aligned with each other; the pair centred in the popover's width.
    QCOMPARE(empty.left() + noEvents->contentsMargins().left(), date.left());
    QVERIFY(qAbs(block.center().x() - 160) <= 1);
    QVERIFY(date.left() > 16);

    // With events the heading goes back to the leading edge.
    f.events->selectDate(at(2026, 12, 5));
    QTest::qWait(50);
    QCOMPARE(f.find(QStringLiteral("eventHeadingDate"))->mapTo(view, QPoint()).x(), 16);
}

void tst_EventSection::rowShowsEvent_data()
{
    QTest::addColumn<EventPtr>("event");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("meeting");

    auto make = [](std::optional<QString> title, QDateTime start, QDateTime end, bool allDay,
                    QString location, QString url, QString notes) {
        auto e = std::make_shared<CalendarEvent>(
            *FakeEventStore::make(QStringLiteral("e"), start, end, title, allDay));
        e->location = location;
        e->url = QUrl(url);
        e->notes = notes;
        return EventPtr(e);
    };
    QTest::newRow("timed with place and Zoom") << make(QStringLiteral("Standup"), at(2026, 12, 5, 9),
        at(2026, 12, 5, 9, 30), false, "Room 4", "https://zoom.us/j/1", QString())
                                               << "Standup"
                                               << "09:00 \u2013 09:30"
                                               << "Room 4"
                                               << "Zoom";
    QTest::newRow("all day, nothing else") << make(
        QStringLiteral("Holiday"), at(2026, 12, 8), at(2026, 12, 10), true, QString(), QString(), QString())
                                           << "Holiday"
                                           << "All Day" << QString() << QString();
    QTest::newRow("absent title, over midnight") << make(
        std::nullopt, at(2026, 12, 9, 22), at(2026, 12, 10, 2), false, QString(), QString(), QString())
                                                 << "Untitled Event"
                                                 << "22:00 \u2013 02:00" << QString() << QString();
    QTest::newRow("empty title stays empty, spaces for a place")
        << make(QString(), at(2026, 12, 9, 8), at(2026, 12, 9, 9), false, "   ", QString(), QString())
        << QString() << "08:00 \u2013 09:00"
        << "   " << QString();
    QTest::newRow("meeting link found in the notes") << make(QStringLiteral("Review"), at(2026, 12, 9, 8),
        at(2026, 12, 9, 9), false, QString(), QString(), "Join: https://meet.google.com/abc-defg-hij please")
                                                     << "Review"
                                                     << "08:00 \u2013 09:00" << QString() << "Google Meet";
    QTest::newRow("a script link is no meeting") << make(QStringLiteral("Odd"), at(2026, 12, 9, 8),
        at(2026, 12, 9, 9), false, QString(), "javascript:alert(1)", QString())
                                                 << "Odd"
                                                 << "08:00 \u2013 09:00" << QString() << QString();
}

void tst_EventSection::rowShowsEvent()
{
    QFETCH(EventPtr, event);
    QFETCH(QString, title);
    QFETCH(QString, time);
    QFETCH(QString, location);
    QFETCH(QString, meeting);

    RecordingUrlOpener opener;
    RecordingLauncher launcher;
    EventRow row(&opener, &launcher);
    row.setEvent(event);
    QCOMPARE(row.titleText(), title);
    QCOMPARE(row.timeText(), time);
    QCOMPARE(row.locationText(), location);
    QCOMPARE(row.locationLine()->isVisibleTo(&row), !location.isEmpty());
    QCOMPARE(row.meetingText(), meeting);
    QCOMPARE(row.meetingLine()->isVisibleTo(&row), !meeting.isEmpty());
    QVERIFY(row.accessibleName().startsWith(title + QStringLiteral(", ") + time));
}

void tst_EventSection::colorBar_data()
{
    QTest::addColumn<QColor>("calendarColor");
    QTest::addColumn<bool>("useAccent");
    QTest::newRow("calendar colour") << QColor(0xe5, 0x39, 0x35) << false;
    QTest::newRow("no colour: accent") << QColor() << true;
}

void tst_EventSection::colorBar()
{
    QFETCH(QColor, calendarColor);
    QFETCH(bool, useAccent);
    auto e = std::make_shared<CalendarEvent>(*FakeEventStore::make(
        QStringLiteral("e"), at(2026, 12, 5, 9), at(2026, 12, 5, 10), QStringLiteral("T")));
    e->calendar = std::make_shared<CalendarInfo>(
        CalendarInfo { QStringLiteral("c"), QStringLiteral("C"), calendarColor });
    RecordingUrlOpener opener;
    RecordingLauncher launcher;
    QWidget host;
    host.setPalette(Theme::lightPalette());
    auto *row = new EventRow(&opener, &launcher, &host);
    row->setEvent(e);
    row->resize(280, row->sizeHint().height());
    host.resize(row->size());
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QWidget *bar = row->findChild<QWidget *>(QStringLiteral("colorBar"));
    QCOMPARE(bar->size(), QSize(3, 32));
    const QImage image = host.grab().toImage();
    const QColor middle = image.pixelColor(bar->mapTo(&host, QPoint(1, 16)));
    QCOMPARE(middle.rgb(), (useAccent ? Theme::accent(Theme::lightPalette()) : calendarColor).rgb());
}

void tst_EventSection::clicks_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QList<QUrl>>("opened");

    const QUrl zoom(QStringLiteral("https://zoom.us/j/123456"));
    QTest::newRow("meeting line opens only the meeting")
        << "meeting" << QStringList() << QList<QUrl> { zoom };
    QTest::newRow("title opens the calendar") << "title" << QStringList { "standup" } << QList<QUrl>();
    QTest::newRow("location line opens the calendar")
        << "location" << QStringList { "standup" } << QList<QUrl>();
    QTest::newRow("indent before the camera opens the calendar")
        << "indent" << QStringList { "standup" } << QList<QUrl>();
}

void tst_EventSection::clicks()
{
    QFETCH(QString, where);
    QFETCH(QStringList, shown);
    QFETCH(QList<QUrl>, opened);

    ContentFixture f;
    f.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.view.get()));
    QTest::qWait(50);
    auto *row = f.find<EventRow>(QStringLiteral("eventRow_0"));
    QVERIFY(row && row->isVisible());
    QCOMPARE(row->titleText(), QStringLiteral("Standup"));
    QWidget *meeting = row->meetingLine();
    if (where == QLatin1String("meeting"))
        QTest::mouseClick(meeting, Qt::LeftButton, Qt::NoModifier, QPoint(20, meeting->height() / 2));
    else if (where == QLatin1String("indent"))
        QTest::mouseClick(meeting, Qt::LeftButton, Qt::NoModifier, QPoint(5, meeting->height() / 2));
    else if (where == QLatin1String("title"))
        f.click(row->findChild<QWidget *>(QStringLiteral("eventTitle")));
    else
        f.click(row->findChild<QWidget *>(QStringLiteral("eventLocation")));
    QCOMPARE(f.launcher.shown, shown);
    QCOMPARE(f.opener.opened, opened);
}

void tst_EventSection::keyboardOpensRowOrMeeting()
{
    ContentFixture f;
    f.view->show();
    f.view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.view.get()));
    auto *row = f.find<EventRow>(QStringLiteral("eventRow_0"));
    row->setFocus(Qt::TabFocusReason);
    QTest::keyClick(row, Qt::Key_Return);
    QCOMPARE(f.launcher.shown, QStringList { QStringLiteral("standup") });
    QVERIFY(f.opener.opened.isEmpty());

    // Tab from the row reaches its meeting line, which opens the meeting alone.
    QTest::keyClick(row, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), row->meetingLine());
    QTest::keyClick(row->meetingLine(), Qt::Key_Space);
    QCOMPARE(f.opener.opened, QList<QUrl> { QUrl(QStringLiteral("https://zoom.us/j/123456")) });
    QCOMPARE(f.launcher.shown.size(), 1);
}

void tst_EventSection::crowdedDayScrollsWithinCap()
{
    ContentFixture f;
    f.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.view.get()));
    f.events->selectDate(at(2026, 12, 16));
    QTest::qWait(50);
    auto *list = f.find<QScrollArea>(QStringLiteral("eventList"));
    EventSection *section = f.view->eventSection();
    QVERIFY(list->isVisible());
    QVERIFY(list->height() <= EventSection::maxListHeight);
    QVERIFY(list->verticalScrollBar()->maximum() > 0);
    // Only the rows near the visible part exist until the list is scrolled towards the rest.
    QVERIFY(section->builtRowCount() < 12);
    for (int i = 0; i < 20 && section->builtRowCount() < 12; ++i) {
        list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
        QTest::qWait(20);
    }
    QCOMPARE(section->builtRowCount(), 12);
    QCOMPARE(section->row(11)->titleText(), QStringLiteral("Busy 9"));
    QVERIFY(list->height() <= EventSection::maxListHeight);

    // A refetch of the same day keeps the reader's place; another day starts at the top.
    const int scrolled = list->verticalScrollBar()->value();
    QVERIFY(scrolled > 0);
    f.store.emitChanged();
    QTRY_VERIFY(!f.events->isRefetchPending());
    QCOMPARE(list->verticalScrollBar()->value(), scrolled);
    f.events->selectDate(at(2026, 12, 5));
    f.events->selectDate(at(2026, 12, 16));
    QCOMPARE(list->verticalScrollBar()->value(), 0);
}

void tst_EventSection::rowsFollowTheListByPosition()
{
    ContentFixture f;
    EventSection *section = f.view->eventSection();
    EventRow *first = section->row(0);
    QCOMPARE(first->titleText(), QStringLiteral("Standup"));
    QCOMPARE(section->row(1)->titleText(), QStringLiteral("Lunch with Ana"));

    // The calendars change: a new first event; the refetch shows it in the same row widgets.
    f.store.all.prepend(FakeEventStore::make(
        QStringLiteral("early"), at(2026, 12, 5, 7), at(2026, 12, 5, 8), QStringLiteral("Early run")));
    f.store.emitChanged();
    QTRY_COMPARE(section->row(0)->titleText(), QStringLiteral("Early run"));
    QCOMPARE(section->row(0), first);
    QCOMPARE(section->row(1)->titleText(), QStringLiteral("Standup"));
    QCOMPARE(section->row(2)->titleText(), QStringLiteral("Lunch with Ana"));

    // A shorter list hides the rows it no longer needs.
    f.events->selectDate(at(2026, 12, 8));
    QCOMPARE(section->row(0)->titleText(), QStringLiteral("Holiday"));
    QVERIFY(!section->row(1)->isVisibleTo(section));
}

void tst_EventSection::desktopOpenerRefusesUnsafeLinks_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<bool>("handed");
    QTest::newRow("web meeting") << QUrl(QStringLiteral("https://meet.google.com/abc")) << true;
    QTest::newRow("local file") << QUrl(QStringLiteral("file:///etc/passwd")) << false;
    QTest::newRow("script") << QUrl(QStringLiteral("javascript:alert(1)")) << false;
}

void tst_EventSection::desktopOpenerRefusesUnsafeLinks()
{
    QFETCH(QUrl, url);
    QFETCH(bool, handed);
    UrlCatcher catcher;
    for (const char *scheme : { "https", "file", "javascript" })
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &catcher, "catchUrl");
    DesktopUrlOpener opener;
    opener.openUrl(url);
    for (const char *scheme : { "https", "file", "javascript" })
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    QCOMPARE(catcher.caught, handed ? QList<QUrl> { url } : QList<QUrl>());
}

QTEST_MAIN(tst_EventSection)
#include "tst_eventsection.moc"
