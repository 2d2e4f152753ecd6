// Renders the popover's content as a user sees it, in the light and the dark
// look, into PNG files: moriva_screenshots OUTPUT_FOLDER.

#include "ContentFixture.h"
#include "OverlayHost.h"
#include "Theme.h"

#include <QDir>
#include <QGraphicsEffect>

#include <cstdio>

namespace {

const char *const states[] = { "month", "busy-day", "empty-day", "first-run", "settings", "month-chooser",
    "year-chooser", "long-location" };

bool render(const QString &folder, bool dark, const QString &state)
{
    ContentFixture f;
    f.view->setPalette(dark ? Theme::darkPalette() : Theme::lightPalette());
    auto meeting = makeEvent("offsite", at(2026, 12, 7, 9), at(2026, 12, 7, 17, 30),
        "Quarterly planning offsite with the platform, design and support teams");
    meeting->location = QStringLiteral(
        "Conference Centre Am Wasserturm, Building C, third floor, Room 3.14 \"Ada Lovelace\" "
        "(ask at the front desk for a visitor badge), Wasserturmstraße 12, 10405 Berlin, Germany");
    meeting->calendar
        = std::make_shared<CalendarInfo>(CalendarInfo { "work", "Work", CalendarColor(0x2e, 0x7d, 0x32) });
    f.store.all.append(meeting);
    if (state == QLatin1String("first-run")) {
        f.store.all.clear();
        f.store.hasSources = false;
        f.view->setCalendarFolder(QDir::homePath() + QStringLiteral("/.local/share/moriva/calendars"));
    }
    f.store.emitChanged();
    if (!QTest::qWaitFor([&f] { return !f.events->isRefetchPending(); }, 20000) || !f.show())
        return false;

    const QHash<QString, QString> openers { { "settings", "settingsButton" },
        { "month-chooser", "monthTitleButton" }, { "year-chooser", "yearTitleButton" } };
    if (state == QLatin1String("busy-day"))
        f.events->selectDate(at(2026, 12, 16));
    else if (state == QLatin1String("empty-day") || state == QLatin1String("first-run"))
        f.events->selectDate(at(2026, 12, 2));
    else if (state == QLatin1String("long-location"))
        f.events->selectDate(at(2026, 12, 7));
    else if (openers.contains(state))
        f.click(openers.value(state));
    if (auto *host = f.view->findChild<OverlayHost *>()) {
        // The fade-in has to finish before the picture is taken.
        if (!QTest::qWaitFor([host] { return !host->graphicsEffect(); }, 20000))
            return false;
    }
    // The layout passes the event loop runs before painting (wrapped text takes a second).
    for (int pass = 0; pass < 3; ++pass)
        QCoreApplication::sendPostedEvents();

    const QImage shot = f.view->grab().toImage();
    const QString path
        = QStringLiteral("%1/content-%2-%3.png").arg(folder, QLatin1String(dark ? "dark" : "light"), state);
    if (!shot.save(path)) {
        std::fprintf(stderr, "moriva_screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: moriva_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder) || !pinWidgetEnvironment()) {
        std::fprintf(stderr, "moriva_screenshots: cannot prepare %s\n", argv[1]);
        return 1;
    }
    int written = 0;
    for (bool dark : { false, true })
        for (const char *state : states)
            written += render(folder, dark, QLatin1String(state)) ? 1 : 0;
    const int expected = int(2 * std::size(states));
    std::printf("moriva_screenshots: %d of %d pictures in %s\n", written, expected, argv[1]);
    return written == expected ? 0 : 1;
}
