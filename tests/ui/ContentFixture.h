#pragma once

#include "CalendarAppLauncher.h"
#include "ContentView.h"
#include "EventManager.h"
#include "FakeClock.h"
#include "FakeEventStore.h"
#include "FakeLoginItem.h"
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
    std::unique_ptr<QSettings> settingsFile;
    std::unique_ptr<SettingsManager> settings;
    std::unique_ptr<EventManager> events;
    RecordingUrlOpener opener;
    RecordingLauncher launcher;
    std::unique_ptr<ContentView> view;

    explicit ContentFixture(const EventList &all = defaultEvents())
    {
        store.all = all;
        settingsFile
            = std::make_unique<QSettings>(dir.filePath(QStringLiteral("Moriva.conf")), QSettings::IniFormat);
        settings = std::make_unique<SettingsManager>(settingsFile.get(), &loginItem);
        events = std::make_unique<EventManager>(&store, &clock);
        QCoreApplication::processEvents(); // the manager's queued access check
        events->goToToday();
        view = std::make_unique<ContentView>(events.get(), settings.get(), &clock, &opener, &launcher);
        view->resize(ContentView::preferredWidth, ContentView::preferredHeight);
    }

    template<typename T = QWidget> T *find(const QString &name) const { return view->findChild<T *>(name); }

    /** Clicks the middle of a widget, as the pointer would. */
    void click(QWidget *widget) const
    {
        QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
    }

    static EventPtr event(
        const QString &id, const QDateTime &start, const QDateTime &end, const QString &title)
    {
        return FakeEventStore::make(id, start, end, title);
    }

    static EventList defaultEvents()
    {
        auto work = std::make_shared<CalendarInfo>(
            CalendarInfo { QStringLiteral("work"), QStringLiteral("Work"), QColor(0xe5, 0x39, 0x35) });
        auto standup = std::make_shared<CalendarEvent>(*event(QStringLiteral("standup"), at(2026, 12, 5, 9),
            at(2026, 12, 5, 9, 30), QStringLiteral("Standup")));
        standup->location = QStringLiteral("Room 4");
        standup->url = QUrl(QStringLiteral("https://zoom.us/j/123456"));
        standup->calendar = work;
        auto lunch = std::make_shared<CalendarEvent>(*event(QStringLiteral("lunch"), at(2026, 12, 5, 12),
            at(2026, 12, 5, 13), QStringLiteral("Lunch with Ana")));
        lunch->calendar = std::make_shared<CalendarInfo>(
            CalendarInfo { QStringLiteral("home"), QStringLiteral("Home"), QColor() });
        auto holiday = FakeEventStore::make(
            QStringLiteral("holiday"), at(2026, 12, 8), at(2026, 12, 9), QStringLiteral("Holiday"), true);
        auto untitled = FakeEventStore::make(
            QStringLiteral("untitled"), at(2026, 12, 9, 22), at(2026, 12, 10, 2), std::nullopt);
        auto leading = event(
            QStringLiteral("leading"), at(2026, 11, 30, 8), at(2026, 11, 30, 9), QStringLiteral("Leading"));
        auto trailing = event(
            QStringLiteral("trailing"), at(2027, 1, 8, 8), at(2027, 1, 8, 9), QStringLiteral("Trailing"));
        EventList all { standup, lunch, holiday, untitled, leading, trailing };
        for (int i = 0; i < 12; ++i)
            all.append(event(QStringLiteral("busy%1").arg(i), at(2026, 12, 16, 8 + i % 10, i),
                at(2026, 12, 16, 9 + i % 10, i), QStringLiteral("Busy %1").arg(i)));
        return all;
    }
};
