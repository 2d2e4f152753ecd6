#pragma once

#include "CalendarAppLauncher.h"
#include "ContentView.h"
#include "EventManager.h"
#include "FakeClock.h"
#include "FakeEventStore.h"
#include "FakeLoginItem.h"
#include "SettingsFile.h"
#include "SettingsManager.h"
#include "UrlOpener.h"
#include "ZonePin.h"

#include <QAbstractButton>
#include <QApplication>
#include <QSettings>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

/** Records what the rows ask the desktop to open. */
class RecordingUrlOpener : public UrlOpener
{
public:
    QList<QUrl> opened;
    void openUrl(const QUrl &url) override { opened.append(url); }
};

/** Records which events the rows ask the calendar application to show. */
class RecordingLauncher : public CalendarAppLauncher
{
public:
    QStringList shown;
    void showEvent(const CalendarEvent &event) override { shown.append(event.identifier); }
};

inline QDateTime at(int year, int month, int day, int hour = 0, int minute = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute));
}

/** An event the test may still dress with a place, a link or a calendar. */
inline std::shared_ptr<CalendarEvent> makeEvent(const QString &id, const QDateTime &start,
    const QDateTime &end, std::optional<QString> title, bool allDay = false)
{
    return std::make_shared<CalendarEvent>(*FakeEventStore::make(id, start, end, title, allDay));
}

/** Sets the zone, locale and look every widget test starts from; false when a pin did not take. */
inline bool pinWidgetEnvironment()
{
    if (!pinLocalZone("Europe/Berlin") || !pinLocale(QLocale(QLocale::English, QLocale::UnitedStates)))
        return false;
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QIcon::setThemeName(QString()); // the app-drawn glyphs, whatever the machine's theme
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10);
    QApplication::setFont(font);
    return true;
}

/**
 * A content view over a fake store on Saturday 5 December 2026, 10:00, with
 * settings in a temporary file: the whole popover content as the shell
 * builds it, minus the window.
 */
struct ContentFixture
{
    FakeClock clock { at(2026, 12, 5, 10) };
    FakeEventStore store;
    FakeLoginItem loginItem;
    QTemporaryDir dir;
    std::unique_ptr<SettingsFile> settingsFile;
    std::unique_ptr<SettingsManager> settings;
    std::unique_ptr<EventManager> events;
    RecordingUrlOpener opener;
    RecordingLauncher launcher;
    std::unique_ptr<ContentView> view;

    /** Over `source` instead of the fake store, when given. */
    explicit ContentFixture(EventStore *source = nullptr)
    {
        store.all = defaultEvents();
        settingsFile = std::make_unique<SettingsFile>(dir.filePath(QStringLiteral("Moriva.conf")));
        settings = std::make_unique<SettingsManager>(settingsFile.get(), &loginItem);
        events = std::make_unique<EventManager>(source ? source : &store, &clock);
        QCoreApplication::processEvents(); // the manager's queued access check
        events->goToToday();
        view = std::make_unique<ContentView>(events.get(), settings.get(), &clock, &opener, &launcher);
        view->resize(ContentView::preferredWidth, ContentView::preferredHeight);
    }

    template<typename T = QWidget> T *find(const QString &name) const { return view->findChild<T *>(name); }
    QString text(const QString &name) const { return find<QAbstractButton>(name)->text(); }
    QString title() const
    {
        return text(QStringLiteral("monthTitleButton")) + ' ' + text(QStringLiteral("yearTitleButton"));
    }
    bool show() const
    {
        view->show();
        return QTest::qWaitForWindowExposed(view.get());
    }

    /** Clicks the middle of a widget, as the pointer would. */
    void click(QWidget *widget) const
    {
        QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
    }
    void click(const QString &name) const { click(find(name)); }

    static EventList defaultEvents()
    {
        auto standup = makeEvent("standup", at(2026, 12, 5, 9), at(2026, 12, 5, 9, 30), "Standup");
        standup->location = QStringLiteral("Room 4");
        standup->url = QUrl(QStringLiteral("https://zoom.us/j/123456"));
        standup->calendar = std::make_shared<CalendarInfo>(
            CalendarInfo { "work", "Work", CalendarColor(0xe5, 0x39, 0x35) });
        auto lunch = makeEvent("lunch", at(2026, 12, 5, 12), at(2026, 12, 5, 13), "Lunch with Ana");
        lunch->calendar = std::make_shared<CalendarInfo>(CalendarInfo { "home", "Home", CalendarColor() });
        EventList all { standup, lunch,
            makeEvent("holiday", at(2026, 12, 8), at(2026, 12, 9), "Holiday", true),
            makeEvent("untitled", at(2026, 12, 9, 22), at(2026, 12, 10, 2), std::nullopt),
            makeEvent("leading", at(2026, 11, 30, 8), at(2026, 11, 30, 9), "Leading"),
            makeEvent("trailing", at(2027, 1, 8, 8), at(2027, 1, 8, 9), "Trailing") };
        for (int i = 0; i < 12; ++i)
            all.append(makeEvent(QStringLiteral("busy%1").arg(i), at(2026, 12, 16, 8 + i % 10, i),
                at(2026, 12, 16, 9 + i % 10, i), QStringLiteral("Busy %1").arg(i)));
        return all;
    }
};
