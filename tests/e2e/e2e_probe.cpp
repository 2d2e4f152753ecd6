// Answers the end-to-end script's questions from the same code the application
// runs: what today's tray icon looks like at a given size, and where the
// popover's next-month button sits.
#include "ContentView.h"
#include "DateIconRenderer.h"
#include "EventManager.h"
#include "FakeEventStore.h"
#include "FakeLoginItem.h"
#include "SettingsManager.h"
#include "SystemClock.h"

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include "SettingsFile.h"
#include <QTemporaryDir>

#include <cstdio>

namespace {

int writePgm(const QImage &image, const QString &path, int (*channel)(QRgb))
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return 1;
    out.write(QStringLiteral("P5\n%1 %2\n255\n").arg(image.width()).arg(image.height()).toLatin1());
    QByteArray pixels;
    pixels.reserve(image.width() * image.height());
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            pixels.append(char(channel(image.pixel(x, y))));
    out.write(pixels);
    return 0;
}

// The alpha of the icon as Qt paints it into a tray window of this size, as a binary PGM.
int writeIcon(int day, int width, int height, const QString &path)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    DateIconRenderer::icon(day, Qt::black).paint(&painter, QRect(0, 0, width, height));
    painter.end();
    return writePgm(image, path, [](QRgb pixel) { return qAlpha(pixel); });
}

int printButton(const QString &objectName)
{
    QTemporaryDir dir;
    SettingsFile settings(dir.filePath(QStringLiteral("probe.conf")));
    FakeLoginItem loginItem;
    FakeEventStore store;
    SystemClock clock;
    EventManager eventManager(&store, &clock);
    SettingsManager settingsManager(&settings, &loginItem);
    eventManager.goToToday();
    ContentView view(&eventManager, &settingsManager, &clock, nullptr, nullptr);
    view.resize(ContentView::preferredWidth, ContentView::preferredHeight);
    view.show();
    QApplication::processEvents();
    auto *button = view.findChild<QWidget *>(objectName);
    if (!button)
        return 1;
    const QPoint centre = button->mapTo(&view, button->rect().center());
    std::printf("%d %d\n", centre.x(), centre.y());
    return 0;
}

// A one-entry menu as the tray's right click shows it, to compare the screen against.
int writeMenu(const QString &text, const QString &path)
{
    QMenu menu;
    menu.addAction(text);
    menu.ensurePolished();
    menu.resize(menu.sizeHint());
    return writePgm(menu.grab().toImage(), path, [](QRgb pixel) { return qGray(pixel); });
}

// A desktop background, as file managers and desktop shells put under all windows:
// a click on it moves the focus there, away from the application that had it.
int showDesktop()
{
    QWidget desktop;
    desktop.setAttribute(Qt::WA_X11NetWmWindowTypeDesktop);
    desktop.setWindowTitle(QStringLiteral("Desktop"));
    QPalette palette = desktop.palette();
    palette.setColor(QPalette::Window, QColor(0x2e, 0x34, 0x40));
    desktop.setPalette(palette);
    desktop.setAutoFillBackground(true);
    desktop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    desktop.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() == 6 && args[1] == QLatin1String("icon") && args[2] == QLatin1String("all")) {
        // The whole month at one size: OUT holds %1 for the day.
        for (int day = 1; day <= 31; ++day) {
            if (writeIcon(day, args[3].toInt(), args[4].toInt(), args[5].arg(day)) != 0)
                return 1;
        }
        return 0;
    }
    if (args.size() == 3 && args[1] == QLatin1String("button"))
        return printButton(args[2]);
    if (args.size() == 4 && args[1] == QLatin1String("menu"))
        return writeMenu(args[2], args[3]);
    if (args.size() == 2 && args[1] == QLatin1String("desktop"))
        return showDesktop();
    std::fprintf(stderr,
        "usage: %s icon all WIDTH HEIGHT OUT%%1.pgm | button OBJECTNAME | menu TEXT OUT.pgm | desktop\n",
        argv[0]);
    return 2;
}
