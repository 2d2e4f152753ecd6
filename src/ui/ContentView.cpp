#include "ContentView.h"

#include "Clock.h"
#include "DayCell.h"
#include "Divider.h"
#include "EventManager.h"
#include "EventSection.h"
#include "MonthGrid.h"
#include "MonthPickerView.h"
#include "OverlayHost.h"
#include "PlainButton.h"
#include "ScrollCatcherView.h"
#include "SettingsManager.h"
#include "SettingsView.h"
#include "ThemedLabel.h"
#include "YearPickerView.h"

#include "CalendarSources.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QUrl>
#include <QVBoxLayout>

namespace {
constexpr int gridSize = 42;
}

ContentView::ContentView(EventManager *eventManager, SettingsManager *settingsManager, const Clock *clock,
    UrlOpener *urlOpener, CalendarAppLauncher *calendarLauncher, QWidget *parent)
    : QWidget(parent)
    , m_eventManager(eventManager)
    , m_settingsManager(settingsManager)
    , m_clock(clock)
    , m_urlOpener(urlOpener)
    , m_calendarLauncher(calendarLauncher)
{
    setObjectName(QStringLiteral("contentView"));
    setBackgroundRole(QPalette::Base);
    // The background is painted here, rounded where the window is translucent.
    setAutoFillBackground(false);
    setMinimumWidth(300);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 16, 0, 0);
    outer->setSpacing(0);
    m_root = new QWidget(this);
    m_root->setMinimumWidth(300);
    m_root->setMaximumWidth(400);
    m_root->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // Wider than its maximum, the content stays centred.
    auto *centring = new QHBoxLayout;
    centring->setContentsMargins(0, 0, 0, 0);
    centring->setSpacing(0);
    centring->addStretch(0);
    centring->addWidget(m_root, 1);
    centring->addStretch(0);
    outer->addLayout(centring, 1);

    auto *column = new QVBoxLayout(m_root);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    buildNavigationRow(column);
    buildWeekdayHeader(column);
    buildGrid(column);
    buildActionBar(column);
    column->addWidget(new Divider(m_root));
    m_eventSection = new EventSection(m_urlOpener, m_calendarLauncher, m_root);
    column->addWidget(m_eventSection);
    connect(
        m_eventSection, &EventSection::openCalendarFolderRequested, this, &ContentView::openCalendarFolder);
    setCalendarFolder(CalendarSources::dropInFolder());
    m_folderOpener = [](const QString &path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    fitEventSection();

    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(m_grid);
    // The grid, not the first button, takes the keyboard when the popover opens, so arrows move the day.
    m_grid->setFocus(Qt::OtherFocusReason);

    connect(m_eventManager, &EventManager::currentMonthChanged, this, [this] {
        rebuildTitles();
        rebuildGrid();
    });
    connect(m_eventManager, &EventManager::selectedDateChanged, this, [this] {
        rebuildGrid();
        rebuildEventSection();
    });
    // A fetch ends by publishing the day's events, so the dots are redrawn here too.
    connect(m_eventManager, &EventManager::selectedDayEventsChanged, this, [this] {
        rebuildGrid();
        rebuildEventSection();
    });
    connect(m_settingsManager, &SettingsManager::weekStartChanged, this, [this] {
        rebuildWeekdayHeader();
        rebuildGrid();
    });
    connect(m_settingsManager, &SettingsManager::showEventDotsChanged, this, &ContentView::rebuildGrid);

    rebuildTitles();
    rebuildWeekdayHeader();
    rebuildGrid();
    rebuildEventSection();
}

ContentView::~ContentView() = default;

void ContentView::buildNavigationRow(QVBoxLayout *column)
{
    auto *row = new QHBoxLayout;
    row->setContentsMargins(12, 4, 12, 4);
    row->setSpacing(4);

    m_yearTitle = new PlainButton(m_root);
    m_yearTitle->setObjectName(QStringLiteral("yearTitleButton"));
    m_yearTitle->setGlyph(Glyphs::Glyph::chevronDown, 9, Theme::Tone::secondary, 2);
    connect(m_yearTitle, &PlainButton::clicked, this, [this] { setShowingYearPicker(true); });

    m_monthTitle = new PlainButton(m_root);
    m_monthTitle->setObjectName(QStringLiteral("monthTitleButton"));
    m_monthTitle->setGlyph(Glyphs::Glyph::chevronDown, 9, Theme::Tone::secondary, 2);
    connect(m_monthTitle, &PlainButton::clicked, this, [this] { setShowingMonthPicker(true); });

    m_previous = new PlainButton(m_root);
    m_previous->setObjectName(QStringLiteral("previousMonthButton"));
    m_previous->setAccessibleName(tr("Previous month"));
    m_previous->setGlyph(Glyphs::Glyph::chevronLeft, 14, Theme::Tone::primary, 0);
    m_previous->setFixedSize(28, 28);
    connect(m_previous, &PlainButton::clicked, this, [this] { m_eventManager->previousMonth(); });

    m_next = new PlainButton(m_root);
    m_next->setObjectName(QStringLiteral("nextMonthButton"));
    m_next->setAccessibleName(tr("Next month"));
    m_next->setGlyph(Glyphs::Glyph::chevronRight, 14, Theme::Tone::primary, 0);
    m_next->setFixedSize(28, 28);
    connect(m_next, &PlainButton::clicked, this, [this] { m_eventManager->nextMonth(); });

    row->addWidget(m_yearTitle);
    row->addWidget(m_monthTitle);
    row->addStretch(1);
    row->addWidget(m_previous);
    row->addWidget(m_next);
    column->addLayout(row);
    m_fixedRows.append(row);
}

void ContentView::buildWeekdayHeader(QVBoxLayout *column)
{
    auto *row = new QHBoxLayout;
    row->setContentsMargins(8, 0, 8, 0);
    row->setSpacing(0);
    for (int i = 0; i < 7; ++i) {
        auto *label = new ThemedLabel(QString(), 11, QFont::Medium, Theme::Tone::secondary, m_root);
        label->setObjectName(QStringLiteral("weekdayHeader_%1").arg(i));
        label->setAlignment(Qt::AlignCenter);
        label->setContentsMargins(0, 6, 0, 6);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        row->addWidget(label, 1);
        m_weekdayLabels.append(label);
    }
    column->addLayout(row);
    m_fixedRows.append(row);
}

void ContentView::buildGrid(QVBoxLayout *column)
{
    m_grid = new ScrollCatcherView(m_clock, m_root);
    m_grid->setObjectName(QStringLiteral("scrollCatcher"));
    m_grid->setFocusPolicy(Qt::StrongFocus);
    m_grid->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto *grid = new QGridLayout(m_grid);
    grid->setContentsMargins(8, 0, 8, 0);
    grid->setSpacing(2);
    for (int i = 0; i < gridSize; ++i) {
        auto *cell = new DayCell(m_grid);
        cell->setObjectName(QStringLiteral("dayCell_%1").arg(i));
        grid->addWidget(cell, i / 7, i % 7);
        connect(cell, &DayCell::tapped, this, [this](QDateTime date) { m_eventManager->selectDate(date); });
        m_cells.append(cell);
    }
    for (int c = 0; c < 7; ++c)
        grid->setColumnStretch(c, 1);
    for (int r = 0; r < 6; ++r)
        grid->setRowStretch(r, 1);
    connect(m_grid, &ScrollCatcherView::scrollUp, this, [this] { m_eventManager->nextMonth(); });
    connect(m_grid, &ScrollCatcherView::scrollDown, this, [this] { m_eventManager->previousMonth(); });
    column->addWidget(m_grid, 1);
}

void ContentView::buildActionBar(QVBoxLayout *column)
{
    auto *row = new QHBoxLayout;
    row->setContentsMargins(12, 4, 12, 4);
    m_today = new PlainButton(m_root);
    m_today->setObjectName(QStringLiteral("todayButton"));
    m_today->setLabel(tr("Today"), 12, QFont::Medium, Theme::Tone::accent);
    connect(m_today, &PlainButton::clicked, this, [this] { m_eventManager->goToToday(); });

    m_settingsButton = new PlainButton(m_root);
    m_settingsButton->setObjectName(QStringLiteral("settingsButton"));
    m_settingsButton->setAccessibleName(tr("Settings"));
    m_settingsButton->setGlyph(Glyphs::Glyph::gear, 14, Theme::Tone::secondary, 0);
    m_settingsButton->setFixedSize(28, 28);
    connect(m_settingsButton, &PlainButton::clicked, this, [this] { setShowingSettings(true); });

    row->addWidget(m_today);
    row->addStretch(1);
    row->addWidget(m_settingsButton);
    column->addLayout(row);
    m_fixedRows.append(row);
}

DayCell *ContentView::dayCell(int index) const
{
    return index >= 0 && index < m_cells.size() ? m_cells.at(index) : nullptr;
}

void ContentView::rebuildTitles()
{
    const QDateTime month = m_eventManager->currentMonth();
    const QString year = month.isValid() ? MonthGrid::yearTitle(month) : QString();
    const QString name = month.isValid() ? MonthGrid::monthTitle(month) : QString();
    m_yearTitle->setLabel(year, 13, QFont::DemiBold, Theme::Tone::primary);
    m_yearTitle->setAccessibleName(tr("Year %1, choose year").arg(year));
    m_monthTitle->setLabel(name, 13, QFont::DemiBold, Theme::Tone::primary);
    m_monthTitle->setAccessibleName(tr("%1, choose month").arg(name));
}

void ContentView::rebuildWeekdayHeader()
{
    const QStringList headers = MonthGrid::dayHeaders(m_settingsManager->weekStart());
    for (int i = 0; i < m_weekdayLabels.size(); ++i)
        m_weekdayLabels.at(i)->setText(headers.value(i));
}

void ContentView::rebuildGrid()
{
    const QDateTime now = m_clock->now();
    const QList<CalendarDay> days = MonthGrid::calendarDays(
        m_eventManager->currentMonth(), m_eventManager->selectedDate(), m_settingsManager->weekStart(), now);
    const bool dots = m_settingsManager->showEventDots();
    for (int i = 0; i < m_cells.size(); ++i) {
        DayCell::State state;
        if (i < days.size()) {
            const CalendarDay &day = days.at(i);
            state.date = day.date;
            state.isCurrentMonth = day.isCurrentMonth;
            state.isToday = day.isToday;
            state.isSelected = day.isSelected;
            state.hasEvents = dots && m_eventManager->hasEvents(day.date);
        }
        m_cells.at(i)->setState(state);
    }
    const QDateTime month = m_eventManager->currentMonth();
    m_grid->setAccessibleName(month.isValid()
            ? MonthGrid::monthTitle(month) + QLatin1Char(' ') + MonthGrid::yearTitle(month)
            : tr("Month"));
}

void ContentView::setCalendarFolder(const QString &path)
{
    m_calendarFolder = path;
    m_eventSection->setCalendarFolder(path);
}

void ContentView::openCalendarFolder()
{
    if (m_calendarFolder.isEmpty())
        return;
    // Creating the folder is the only write: it is Moriva's own, never a calendar.
    QDir().mkpath(m_calendarFolder);
    if (m_folderOpener)
        m_folderOpener(m_calendarFolder);
}

void ContentView::fitEventSection()
{
    // The section's height is fixed once from the room the rest leaves at
    // its smallest, so the grid keeps its place whatever a day holds.
    int others = layout()->contentsMargins().top() + layout()->contentsMargins().bottom();
    for (QLayout *row : std::as_const(m_fixedRows))
        others += row->sizeHint().height();
    for (QWidget *w : m_root->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<Divider *>(w))
            others += w->sizeHint().height();
    }
    others += m_grid->layout()->minimumSize().height();
    const int total = qMax(preferredHeight, height());
    m_eventSection->setListHeight(total - others - m_eventSection->headingHeight());
}

void ContentView::rebuildEventSection()
{
    m_eventSection->setHasCalendarSources(m_eventManager->hasCalendarSources());
    m_eventSection->setDay(
        m_eventManager->selectedDate(), m_eventManager->selectedDayEvents(), m_clock->now());
}

void ContentView::setShowingSettings(bool showing)
{
    m_showingSettings = showing;
    updateOverlay();
}

void ContentView::setShowingMonthPicker(bool showing)
{
    m_showingMonthPicker = showing;
    updateOverlay();
}

void ContentView::setShowingYearPicker(bool showing)
{
    m_showingYearPicker = showing;
    updateOverlay();
}

void ContentView::closeShownOverlay()
{
    switch (m_shown) {
    case Overlay::settings:
        setShowingSettings(false);
        break;
    case Overlay::monthPicker:
        setShowingMonthPicker(false);
        break;
    case Overlay::yearPicker:
        setShowingYearPicker(false);
        break;
    case Overlay::none:
        break;
    }
}

QWidget *ContentView::makePanel(Overlay which)
{
    switch (which) {
    case Overlay::settings: {
        auto *panel = new SettingsView(m_settingsManager);
        connect(panel, &SettingsView::closeRequested, this, [this] { setShowingSettings(false); });
        return panel;
    }
    case Overlay::monthPicker: {
        auto *panel = new MonthPickerView(m_eventManager->currentMonth(), MonthGrid::monthNames());
        connect(panel, &MonthPickerView::monthSelected, this, [this](const QDateTime &date) {
            m_eventManager->goToMonth(date);
            setShowingMonthPicker(false);
        });
        connect(panel, &MonthPickerView::dismissRequested, this, [this] { setShowingMonthPicker(false); });
        return panel;
    }
    case Overlay::yearPicker: {
        auto *panel = new YearPickerView(m_eventManager->currentMonth());
        connect(panel, &YearPickerView::yearSelected, this, [this](int year) {
            m_eventManager->goToYear(year);
            setShowingYearPicker(false);
        });
        connect(panel, &YearPickerView::dismissRequested, this, [this] { setShowingYearPicker(false); });
        return panel;
    }
    case Overlay::none:
        break;
    }
    return nullptr;
}

void ContentView::updateOverlay()
{
    Overlay wanted = Overlay::none;
    if (m_showingSettings)
        wanted = Overlay::settings;
    else if (m_showingMonthPicker)
        wanted = Overlay::monthPicker;
    else if (m_showingYearPicker)
        wanted = Overlay::yearPicker;
    if (wanted == m_shown)
        return;

    const bool hadFocus = m_overlay && m_overlay->isAncestorOf(QApplication::focusWidget());
    if (m_overlay) {
        m_overlay->fadeOutAndDelete();
        m_overlay = nullptr;
    }
    m_shown = wanted;
    if (wanted == Overlay::none) {
        if (hadFocus && m_focusBeforeOverlay)
            m_focusBeforeOverlay->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (!hadFocus)
        m_focusBeforeOverlay = QApplication::focusWidget();
    QWidget *panel = makePanel(wanted);
    m_overlay = new OverlayHost(panel, this);
    connect(m_overlay, &OverlayHost::backdropClicked, this, &ContentView::closeShownOverlay);
    m_overlay->fadeIn();
    // Keyboard focus moves into the panel so that Tab stays inside it and Esc reaches this view.
    if (isAncestorOf(QApplication::focusWidget()) || QApplication::focusWidget() == this)
        panel->setFocus(Qt::OtherFocusReason);
}

void ContentView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QColor base = palette().color(QPalette::Base);
    QColor border = palette().color(QPalette::Mid);
    if (window() != this && window()->testAttribute(Qt::WA_TranslucentBackground)) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(border, 1));
        p.setBrush(base);
        p.drawRoundedRect(
            QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), windowCornerRadius, windowCornerRadius);
        return;
    }
    p.fillRect(rect(), base);
    p.setPen(border);
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ContentView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitEventSection();
    for (OverlayHost *host : findChildren<OverlayHost *>(QString(), Qt::FindDirectChildrenOnly))
        host->setGeometry(rect());
}

bool ContentView::focusNextPrevChild(bool next)
{
    if (!m_overlay)
        return QWidget::focusNextPrevChild(next);
    QWidget *panel = m_overlay->panel();
    QList<QWidget *> chain;
    for (QWidget *w = panel->nextInFocusChain(); w && w != panel; w = w->nextInFocusChain()) {
        if (panel->isAncestorOf(w) && w->isVisibleTo(panel) && w->isEnabled()
            && (w->focusPolicy() & Qt::TabFocus))
            chain.append(w);
    }
    if (chain.isEmpty())
        return true;
    const qsizetype at = chain.indexOf(QApplication::focusWidget());
    qsizetype target;
    if (at < 0)
        target = next ? 0 : chain.size() - 1;
    else
        target = (at + (next ? 1 : chain.size() - 1)) % chain.size();
    chain.at(target)->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void ContentView::moveSelection(int days)
{
    QDateTime from = m_eventManager->selectedDate();
    if (!from.isValid())
        from = m_clock->now();
    m_eventManager->selectDate(from.date().addDays(days).startOfDay());
}

void ContentView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_shown != Overlay::none) {
        closeShownOverlay();
        event->accept();
        return;
    }
    if (m_shown == Overlay::none && event->modifiers() == Qt::NoModifier) {
        int step = 0;
        switch (event->key()) {
        case Qt::Key_Left:
            step = layoutDirection() == Qt::RightToLeft ? 1 : -1;
            break;
        case Qt::Key_Right:
            step = layoutDirection() == Qt::RightToLeft ? -1 : 1;
            break;
        case Qt::Key_Up:
            step = -7;
            break;
        case Qt::Key_Down:
            step = 7;
            break;
        default:
            break;
        }
        if (step != 0) {
            moveSelection(step);
            event->accept();
            return;
        }
    }
    // Esc with no panel open, and anything else, belongs to the window: it closes the popover.
    event->ignore();
}
