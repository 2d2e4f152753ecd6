#include "StatusBarController.h"

#include "Clock.h"
#include "DateIconRenderer.h"
#include "DayChangeWatcher.h"
#include "EventManager.h"
#include "PanelAnchor.h"
#include "PopoverWindow.h"
#include "SettingsManager.h"
#include "StatusNotifierItem.h"
#include "SwayFocusWatcher.h"
#include "SwayPanels.h"
#include "Theme.h"
#include "TrayColorWatcher.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QLocale>
#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWindow>

#include <cstdio>

StatusBarController::StatusBarController(EventManager *eventManager, SettingsManager *settingsManager,
    const Clock *clock, ContentFactory contentFactory, ColorSchemeWatcher *colorScheme,
    TrayHostWatcher *trayHostWatcher, QObject *parent)
    : QObject(parent)
    , m_eventManager(eventManager)
    , m_settingsManager(settingsManager)
    , m_clock(clock)
    , m_contentFactory(std::move(contentFactory))
    , m_colorScheme(colorScheme)
{
    m_platformStyle = QApplication::style() ? QApplication::style()->name() : QString();
    m_platformPalette = QGuiApplication::palette();

    setupPopover();
    setTrayColorWatcher(new TrayColorWatcher);
    // The icon is drawn before the tray is asked for, so it never shows empty.
    updateIcon();
    if (trayHostWatcher) {
        connect(trayHostWatcher, &TrayHostWatcher::ready, this, &StatusBarController::createTrayIcon);
        trayHostWatcher->start();
    }
    observeScreenChanges();

    connect(m_settingsManager, &SettingsManager::settingsDidChange, this, [this] {
        updateIcon();
        applyAppearance();
    });

    m_hourlyTimer = new QTimer(this);
    m_hourlyTimer->setInterval(hourlyIntervalMs);
    connect(m_hourlyTimer, &QTimer::timeout, this, &StatusBarController::hourlyTick);
    m_hourlyTimer->start();

    m_dayChangeWatcher = new DayChangeWatcher(m_clock, this);
    connect(m_dayChangeWatcher, &DayChangeWatcher::refreshNeeded, this, &StatusBarController::refreshToday);
    m_dayChangeWatcher->start();

    if (m_colorScheme) {
        connect(m_colorScheme, &ColorSchemeWatcher::schemeChanged, this, [this] {
            updateIcon();
            if (m_settingsManager->appearanceMode() == AppearanceMode::system)
                applySystemScheme();
        });
        connect(m_colorScheme, &ColorSchemeWatcher::accentChanged, this, [this] {
            Theme::setDesktopAccent(m_colorScheme->accent());
            if (!isPopoverShown())
                recreatePopoverContent();
            else if (QWidget *content = m_popover->content())
                content->update();
        });
        if (m_colorScheme->accent().isValid())
            Theme::setDesktopAccent(m_colorScheme->accent());
    }

    connect(
        m_eventManager, &EventManager::currentMonthChanged, this, &StatusBarController::updatePopoverTitle);
}

StatusBarController::~StatusBarController()
{
    removeDeactivationWatch();
    delete m_sniMenu;
    delete m_popover;
}

QColor StatusBarController::iconTint() const
{
    bool darkScheme = m_platformPalette.color(QPalette::Window).lightness() < 128;
    if (m_colorScheme && m_colorScheme->scheme() != ColorSchemeWatcher::Scheme::unknown)
        darkScheme = m_colorScheme->scheme() == ColorSchemeWatcher::Scheme::dark;
    return DateIconRenderer::tintFor(QString::fromLocal8Bit(qgetenv("XDG_CURRENT_DESKTOP")), darkScheme);
}

void StatusBarController::updateIcon()
{
    const QDate today = m_clock->now().date();
    m_iconDay = today.day();
    const auto look = DateIconRenderer::lookFor(
        m_trayColors ? m_trayColors->foreground() : std::nullopt, iconTint(), m_panelBackground);
    m_icon = DateIconRenderer::icon(m_iconDay, look.tint, look.backdrop);
    if (m_trayIcon)
        m_trayIcon->setIcon(m_icon);
    if (m_statusNotifierItem)
        m_statusNotifierItem->setIcon(m_icon);
    applyToolTip();
    Q_EMIT iconUpdated();
}

void StatusBarController::setTrayColorWatcher(TrayColorWatcher *watcher)
{
    if (watcher == m_trayColors)
        return;
    delete m_trayColors;
    m_trayColors = watcher;
    if (m_trayColors) {
        m_trayColors->setParent(this);
        connect(m_trayColors, &TrayColorWatcher::foregroundChanged, this, [this] {
            updateIcon();
            // A panel that restyles itself may have changed its background too.
            schedulePanelSample();
        });
    }
    // The constructor draws its first icon itself, once everything is in place.
    if (m_iconDay != 0)
        updateIcon();
}

void StatusBarController::setToolTipText(const QString &text)
{
    m_toolTip = text;
    applyToolTip();
}

QString StatusBarController::toolTipText() const
{
    return m_toolTip.isEmpty() ? QLocale().toString(m_clock->now().date(), QLocale::LongFormat) : m_toolTip;
}

void StatusBarController::hourlyTick()
{
    updateIcon();
}

void StatusBarController::refreshToday()
{
    updateIcon();
    if (isPopoverShown())
        m_eventManager->fetchEventsForCurrentAndAdjacent();
    else
        recreatePopoverContent();
}

void StatusBarController::applyToolTip()
{
    const QString text = toolTipText();
    if (m_trayIcon)
        m_trayIcon->setToolTip(text);
    if (m_statusNotifierItem)
        m_statusNotifierItem->setToolTip(text);
}

void StatusBarController::createTrayIcon(TrayHostWatcher::Host host)
{
    if (m_trayIcon || m_statusNotifierItem)
        return;
    m_trayHost = host;
    if (host == TrayHostWatcher::Host::none) {
        const QByteArray missing
            = TrayHostWatcher::missingTrayMessage(QString::fromLocal8Bit(qgetenv("XDG_CURRENT_DESKTOP")),
                !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
                  .toLocal8Bit();
        std::fprintf(stderr, "%s\n", missing.constData());
        // A Wayland session can only ever show a StatusNotifierItem; it registers
        // as soon as a panel brings a watcher.
        if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && createStatusNotifierItem())
            return;
    }
    if (host == TrayHostWatcher::Host::statusNotifier && createStatusNotifierItem())
        return;

    m_trayIcon = new QSystemTrayIcon(this);
    // Drawn again now that there is a tray: it may say which colour its icons take.
    updateIcon();
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &StatusBarController::handleActivation);
    m_trayIcon->show();
    Q_EMIT trayIconShown();
    schedulePanelSample();
}

void StatusBarController::schedulePanelSample()
{
    if (!m_trayIcon)
        return;
    if (!m_panelSampler) {
        m_panelSampler = new QTimer(this);
        m_panelSampler->setInterval(250);
        connect(m_panelSampler, &QTimer::timeout, this, &StatusBarController::samplePanel);
    }
    // The tray places and paints the icon some time after it is shown.
    m_panelSamplesLeft = 8;
    m_lastPanelSample = QColor();
    m_panelSampler->start();
}

void StatusBarController::samplePanel()
{
    const QRect place = m_trayIcon && m_trayIcon->isVisible() ? m_trayIcon->geometry() : QRect();
    QScreen *screen = place.isValid() ? QGuiApplication::screenAt(place.center()) : nullptr;
    QImage shot;
    if (screen) {
        const QRect onScreen = place.translated(-screen->geometry().topLeft());
        shot = screen->grabWindow(0, onScreen.x(), onScreen.y(), onScreen.width(), onScreen.height())
                   .toImage();
    }
    const QColor background
        = shot.width() >= 4 && shot.height() >= 4 ? DateIconRenderer::panelBackground(shot) : QColor();
    // Two looks that agree: the first may come before the panel has painted there.
    const bool settled = background.isValid() && background == m_lastPanelSample;
    m_lastPanelSample = background;
    if (--m_panelSamplesLeft <= 0 || settled)
        m_panelSampler->stop();
    if (settled && background != m_panelBackground) {
        m_panelBackground = background;
        updateIcon();
    }
}

bool StatusBarController::createStatusNotifierItem()
{
    // Hosts open this menu themselves, some on every click, so it also opens the
    // popover. Its entries never change: a menu rebuilt while a host reads its
    // layout would hand the host entries that are already gone.
    if (!m_sniMenu) {
        m_sniMenu = new QMenu;
        m_sniMenu->setObjectName(QStringLiteral("trayMenu"));
        populateMenu(m_sniMenu, true);
    }
    auto *item = new StatusNotifierItem(m_sniMenu, this);
    item->setIcon(m_icon);
    item->setToolTip(toolTipText());
    if (!item->publish()) {
        delete item;
        return false;
    }
    m_statusNotifierItem = item;
    connect(item, &StatusNotifierItem::activated, this, &StatusBarController::handleHostActivation);
    connect(item, &StatusNotifierItem::contextMenuRequested, this,
        [this](const QPoint &point) { showQuitMenu(anchorForHostPoint(point).center()); });
    Q_EMIT trayIconShown();
    return true;
}

void StatusBarController::handleActivation(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        if (!isPopoverShown() && recentlyDismissed())
            return;
        togglePopover();
        break;
    case QSystemTrayIcon::Context:
        showQuitMenu();
        break;
    case QSystemTrayIcon::DoubleClick:
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        break;
    }
}

void StatusBarController::handleHostActivation(const QPoint &hostPoint)
{
    if (isPopoverShown()) {
        closePopover();
        return;
    }
    if (recentlyDismissed())
        return;
    m_lastHostAnchor = anchorForHostPoint(hostPoint);
    openPopoverAt(m_lastHostAnchor);
}

bool StatusBarController::recentlyDismissed() const
{
    return m_lastDeactivationCloseMs >= 0
        && m_clock->monotonicMs() - m_lastDeactivationCloseMs < reopenGuardMs;
}

QRect StatusBarController::anchorForHostPoint(const QPoint &hostPoint) const
{
    QList<PanelAnchor::Screen> screens;
    bool anyPanel = false;
    QList<QScreen *> all = QGuiApplication::screens();
    // The first screen is where a panel of unknown place is looked for first.
    if (QScreen *primary = QGuiApplication::primaryScreen()) {
        all.removeAll(primary);
        all.prepend(primary);
    }
    for (QScreen *screen : std::as_const(all)) {
        const QList<QRect> bands = PanelAnchor::bandsBetween(screen->geometry(), screen->availableGeometry());
        anyPanel = anyPanel || !bands.isEmpty();
        screens.append({ screen->geometry(), bands });
    }
    if (!anyPanel) {
        // Through XWayland the panels reserve nothing X11 can see; sway knows them.
        for (const QRect &band : SwayPanels::query()) {
            for (PanelAnchor::Screen &screen : screens) {
                if (screen.geometry.contains(band)) {
                    screen.panels.append(band);
                    break;
                }
            }
        }
    }
    return PanelAnchor::resolve(hostPoint, screens);
}

QRect StatusBarController::defaultAnchor() const
{
    QRect anchor = m_trayIcon ? m_trayIcon->geometry() : QRect();
    if (anchor.isValid() && !anchor.isEmpty())
        return anchor;
    // The pointer is only known while it is over one of X11's windows; in a
    // Wayland session it says nothing about where the panel is.
    const bool pointerKnown = qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (m_statusNotifierItem) {
        // Opened from the item's menu or another `moriva`: where the icon was last clicked,
        // else the panel the pointer (just off the menu) is nearest to.
        if (!m_lastHostAnchor.isEmpty())
            return m_lastHostAnchor;
        return anchorForHostPoint(pointerKnown ? QCursor::pos() : QPoint());
    }
    if (pointerKnown)
        return QRect(QCursor::pos(), QSize(1, 1));
    return anchorForHostPoint(QPoint());
}

void StatusBarController::togglePopover()
{
    if (isPopoverShown())
        closePopover();
    else
        openPopover();
}

bool StatusBarController::isPopoverShown() const
{
    return m_popover && m_popover->isVisible();
}

void StatusBarController::setupPopover()
{
    m_popover = new PopoverWindow;
    m_popover->setWindowTitle(QStringLiteral("Moriva"));
    connect(m_popover, &PopoverWindow::hidden, this, &StatusBarController::popoverDidClose);
    // A press on the icon closes the popup, and the icon's own click follows: it must not reopen it.
    connect(m_popover, &PopoverWindow::outsidePressed, this, [this](const QPoint &globalPos) {
        QRect icon = m_trayIcon ? m_trayIcon->geometry() : QRect();
        if (icon.isEmpty())
            icon = m_lastHostAnchor;
        if (icon.isEmpty() || icon.contains(globalPos))
            m_lastDeactivationCloseMs = m_clock->monotonicMs();
    });
    recreatePopoverContent();
}

void StatusBarController::recreatePopoverContent()
{
    if (!m_popover)
        return;
    QWidget *content = m_contentFactory ? m_contentFactory() : nullptr;
    // The content carries the stored scheme from the first build on, even
    // before any setting has changed the application's own appearance.
    if (content) {
        switch (m_settingsManager->appearanceMode()) {
        case AppearanceMode::light:
            content->setPalette(Theme::lightPalette());
            break;
        case AppearanceMode::dark:
            content->setPalette(Theme::darkPalette());
            break;
        case AppearanceMode::system:
            break;
        }
    }
    m_popover->setContent(content);
}

void StatusBarController::updatePopoverTitle()
{
    if (!m_popover)
        return;
    const QDate month = m_eventManager->currentMonth().date();
    // The title names the month on show, for window lists, assistive technology and scripts.
    m_popover->setWindowTitle(month.isValid()
            ? QStringLiteral("Moriva – %1").arg(QLocale().toString(month, QStringLiteral("MMMM yyyy")))
            : QStringLiteral("Moriva"));
}

void StatusBarController::openPopover()
{
    openPopoverAt(defaultAnchor());
}

void StatusBarController::openPopoverAt(const QRect &anchor)
{
    if (!m_popover)
        return;
    // A delayed reopen can meet a user's click; the earlier watch goes first.
    removeDeactivationWatch();

    QScreen *screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        // Choosing the screen while hidden keeps the screen-change close from firing on open.
        if (QWindow *window = m_popover->windowHandle())
            window->setScreen(screen);
        // The content goes where a popover without a shadow would; the shadow hangs around it.
        m_popover->moveContentTo(PopoverWindow::placement(
            anchor, screen->geometry(), screen->availableGeometry(), m_popover->contentRect().size()));
    }
    updatePopoverTitle();
    m_popover->show();
    m_popover->raise();
    m_popover->activateWindow();
    installDeactivationWatch();
    Q_EMIT popoverOpened();
}

void StatusBarController::closePopover()
{
    if (isPopoverShown())
        m_popover->hide();
    removeDeactivationWatch();
}

void StatusBarController::popoverDidClose()
{
    removeDeactivationWatch();
    Q_EMIT popoverClosed();
}

void StatusBarController::installDeactivationWatch()
{
    if (m_deactivationWatch)
        return;
    m_deactivationWatch
        = connect(m_popover, &PopoverWindow::deactivated, this, &StatusBarController::onDeactivated);
    // Through XWayland the popup's grab ends at XWayland's edge, and a click on a
    // Wayland window never reaches it; on sway the focus that click moves is heard from sway.
    if (QGuiApplication::platformName() == QLatin1String("xcb") && !qEnvironmentVariableIsEmpty("SWAYSOCK")) {
        if (!m_swayFocus) {
            m_swayFocus = new SwayFocusWatcher(this);
            // A click on the panel moves no focus, so this is never the icon's click: no reopen guard.
            connect(m_swayFocus, &SwayFocusWatcher::focusMoved, this, [this] {
                if (m_deactivationWatch)
                    closePopover();
            });
        }
        m_swayFocus->start();
    }
}

void StatusBarController::removeDeactivationWatch()
{
    if (!m_deactivationWatch)
        return;
    disconnect(m_deactivationWatch);
    if (m_swayFocus)
        m_swayFocus->stop();
    m_deactivationWatch = {};
}

void StatusBarController::onDeactivated()
{
    if (!isPopoverShown())
        return;
    m_lastDeactivationCloseMs = m_clock->monotonicMs();
    closePopover();
}

void StatusBarController::observeScreenChanges()
{
    m_popover->winId();
    QWindow *window = m_popover->windowHandle();
    if (!window)
        return;
    connect(window, &QWindow::screenChanged, this, [this] {
        if (!isPopoverShown())
            return;
        QTimer::singleShot(screenChangeCloseDelayMs, this, [this] {
            if (isPopoverShown())
                closePopover();
        });
    });
}

void StatusBarController::populateMenu(QMenu *menu, bool withOpenEntry)
{
    if (withOpenEntry) {
        QAction *open = menu->addAction(tr("Open Calendar"));
        open->setObjectName(QStringLiteral("openCalendarAction"));
        connect(open, &QAction::triggered, this, &StatusBarController::openPopover);
        menu->addSeparator();
    }
    QAction *quit = menu->addAction(tr("Quit Moriva"));
    quit->setObjectName(QStringLiteral("quitAction"));
    connect(quit, &QAction::triggered, this, &StatusBarController::quitApp);
}

QMenu *StatusBarController::showQuitMenu(const QPoint &at)
{
    auto *menu = new QMenu;
    menu->setObjectName(QStringLiteral("trayMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    populateMenu(menu, false);
    menu->popup(at.isNull() ? QCursor::pos() : at);
    Q_EMIT menuShown(menu);
    return menu;
}

void StatusBarController::quitApp()
{
    QCoreApplication::quit();
}

void StatusBarController::applyAppearance()
{
    switch (m_settingsManager->appearanceMode()) {
    case AppearanceMode::light:
        QApplication::setStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(Theme::lightPalette());
        break;
    case AppearanceMode::dark:
        QApplication::setStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(Theme::darkPalette());
        break;
    case AppearanceMode::system:
        applySystemScheme();
        break;
    }

    if (isPopoverShown()) {
        closePopover();
        recreatePopoverContent();
        QTimer::singleShot(reopenDelayMs, this, &StatusBarController::openPopover);
    } else {
        recreatePopoverContent();
    }
}

void StatusBarController::applySystemScheme()
{
    const auto scheme = m_colorScheme ? m_colorScheme->scheme() : ColorSchemeWatcher::Scheme::unknown;
    const bool platformDark = m_platformPalette.color(QPalette::Window).lightness() < 128;
    if (scheme == ColorSchemeWatcher::Scheme::dark && !platformDark) {
        QApplication::setStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(Theme::darkPalette());
    } else if (scheme == ColorSchemeWatcher::Scheme::light && platformDark) {
        QApplication::setStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(Theme::lightPalette());
    } else {
        // The platform already matches the desktop: its own style and palette, following it live.
        if (!m_platformStyle.isEmpty() && QApplication::style()->name() != m_platformStyle)
            QApplication::setStyle(m_platformStyle);
        QApplication::setPalette(QPalette());
    }
}
