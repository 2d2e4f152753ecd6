#include "SettingsView.h"

#include "Divider.h"
#include "PanelHeader.h"
#include "SegmentedControl.h"
#include "SettingsManager.h"
#include "SwitchButton.h"
#include "ThemedLabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {

QWidget *captionedChooser(const QString &caption, SegmentedControl *chooser, QWidget *parent)
{
    auto *block = new QWidget(parent);
    auto *column = new QVBoxLayout(block);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(new ThemedLabel(caption, 12, QFont::Medium, Theme::Tone::secondary, block));
    chooser->setParent(block);
    chooser->setAccessibleName(caption);
    column->addWidget(chooser);
    return block;
}

QWidget *switchRow(const QString &text, SwitchButton *toggle, QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    auto *label = new ThemedLabel(text, 13, QFont::Normal, Theme::Tone::primary, row);
    // At least the designed 120; wider fonts than the design's must not cut the text.
    label->setMinimumWidth(120);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    line->addWidget(label);
    line->addStretch(1);
    toggle->setParent(row);
    toggle->setAccessibleName(text);
    line->addWidget(toggle);
    return row;
}

} // namespace

SettingsView::SettingsView(SettingsManager *settingsManager, QWidget *parent)
    : QWidget(parent)
    , m_settings(settingsManager)
{
    setObjectName(QStringLiteral("settingsView"));
    setAccessibleName(tr("Settings"));
    setFixedSize(panelWidth, panelHeight);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    // Content that is shorter than the fixed panel sits in its middle.
    column->addStretch(1);

    auto *header = new PanelHeader(tr("Settings"), 17, QStringLiteral("settings"), this);
    connect(header, &PanelHeader::closeClicked, this, &SettingsView::closeRequested);
    column->addWidget(header);
    column->addWidget(new Divider(this));

    m_appearance = new SegmentedControl(
        { rawValue(AppearanceMode::system), rawValue(AppearanceMode::light), rawValue(AppearanceMode::dark) },
        QStringLiteral("appearanceSegment_"));
    m_appearance->setObjectName(QStringLiteral("appearanceChooser"));
    m_weekStart = new SegmentedControl(
        { rawValue(WeekStart::sunday), rawValue(WeekStart::monday) }, QStringLiteral("weekStartSegment_"));
    m_weekStart->setObjectName(QStringLiteral("weekStartChooser"));
    m_launchAtLogin = new SwitchButton;
    m_launchAtLogin->setObjectName(QStringLiteral("launchAtLoginSwitch"));
    m_showEventDots = new SwitchButton;
    m_showEventDots->setObjectName(QStringLiteral("showEventDotsSwitch"));
    m_remindBeforeMeetings = new SwitchButton;
    m_remindBeforeMeetings->setObjectName(QStringLiteral("remindBeforeMeetingsSwitch"));

    auto *rows = new QVBoxLayout;
    const int pad = PanelHeader::defaultPadding;
    rows->setContentsMargins(pad, pad, pad, pad);
    rows->setSpacing(16);
    rows->addWidget(captionedChooser(tr("Appearance"), m_appearance, this));
    rows->addWidget(captionedChooser(tr("Week starts on"), m_weekStart, this));
    rows->addWidget(switchRow(tr("Launch at login"), m_launchAtLogin, this));
    rows->addWidget(switchRow(tr("Show event dots"), m_showEventDots, this));
    rows->addWidget(switchRow(tr("Remind before meetings"), m_remindBeforeMeetings, this));
    column->addLayout(rows);
    column->addWidget(new Divider(this));

    auto *version = new ThemedLabel(tr(versionText), 10, QFont::Normal, Theme::Tone::secondary, this);
    version->setObjectName(QStringLiteral("versionLabel"));
    version->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    version->setContentsMargins(0, 0, 0, 12);
    column->addWidget(version);
    column->addStretch(1);

    showSettings();

    connect(m_appearance, &SegmentedControl::activated, this,
        [this](int index) { m_settings->setAppearanceMode(static_cast<AppearanceMode>(index)); });
    connect(m_weekStart, &SegmentedControl::activated, this,
        [this](int index) { m_settings->setWeekStart(static_cast<WeekStart>(index)); });
    connect(m_launchAtLogin, &SwitchButton::clicked, this,
        [this](bool checked) { m_settings->setLaunchAtLogin(checked); });
    connect(m_showEventDots, &SwitchButton::clicked, this,
        [this](bool checked) { m_settings->setShowEventDots(checked); });
    connect(m_remindBeforeMeetings, &SwitchButton::clicked, this,
        [this](bool checked) { m_settings->setRemindBeforeMeetings(checked); });
    for (auto signal : { &SettingsManager::appearanceModeChanged, &SettingsManager::weekStartChanged,
             &SettingsManager::launchAtLoginChanged, &SettingsManager::showEventDotsChanged,
             &SettingsManager::remindBeforeMeetingsChanged })
        connect(m_settings, signal, this, &SettingsView::showSettings);
}

void SettingsView::showSettings()
{
    m_appearance->setCurrentIndex(static_cast<int>(m_settings->appearanceMode()));
    m_weekStart->setCurrentIndex(static_cast<int>(m_settings->weekStart()));
    m_launchAtLogin->setChecked(m_settings->launchAtLogin());
    m_showEventDots->setChecked(m_settings->showEventDots());
    m_remindBeforeMeetings->setChecked(m_settings->remindBeforeMeetings());
}
