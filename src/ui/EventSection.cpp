#include "EventSection.h"

#include "EventRow.h"
#include "MonthGrid.h"
#include "OverlayScrollBar.h"
#include "PlainButton.h"
#include "ThemedLabel.h"

#include <QDir>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

/** The folder as a person would type it: the home folder as "~". */
QString displayPath(const QString &path)
{
    const QString home = QDir::homePath();
    if (!home.isEmpty() && home != QLatin1String("/")
        && (path == home || path.startsWith(home + QLatin1Char('/'))))
        return QLatin1Char('~') + path.mid(home.size());
    return path;
}

} // namespace

EventSection::EventSection(UrlOpener *urlOpener, CalendarAppLauncher *calendarLauncher, QWidget *parent)
    : QWidget(parent)
    , m_urlOpener(urlOpener)
    , m_calendarLauncher(calendarLauncher)
{
    setObjectName(QStringLiteral("eventSection"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_heading = new QWidget(this);
    m_heading->setObjectName(QStringLiteral("eventHeading"));
    auto *headingRow = new QHBoxLayout(m_heading);
    headingRow->setContentsMargins(16, 10, 16, 6);
    headingRow->setSpacing(4);
    m_date = new ThemedLabel(QString(), 12, QFont::DemiBold, Theme::Tone::primary, m_heading);
    m_date->setObjectName(QStringLiteral("eventHeadingDate"));
    m_bullet
        = new ThemedLabel(QStringLiteral("\u2022"), 12, QFont::Normal, Theme::Tone::secondary, m_heading);
    m_bullet->setObjectName(QStringLiteral("eventHeadingBullet"));
    m_relative = new ThemedLabel(QString(), 12, QFont::Normal, Theme::Tone::secondary, m_heading);
    m_relative->setObjectName(QStringLiteral("eventHeadingRelative"));
    headingRow->addWidget(m_date);
    headingRow->addWidget(m_bullet);
    headingRow->addWidget(m_relative);
    headingRow->addStretch(1);
    layout->addWidget(m_heading);

    // The area under the heading: the list, or the empty text centred where the list would be.
    m_body = new QWidget(this);
    m_body->setObjectName(QStringLiteral("eventBody"));
    auto *bodyLayout = new QVBoxLayout(m_body);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    bodyLayout->setSpacing(0);
    layout->addWidget(m_body);

    m_empty = new QWidget(m_body);
    auto *emptyColumn = new QVBoxLayout(m_empty);
    emptyColumn->setContentsMargins(16, 0, 16, 10);
    emptyColumn->setSpacing(8);
    emptyColumn->addStretch(1);
    m_noEvents = new ThemedLabel(tr("No events"), 11, QFont::Normal, Theme::Tone::secondary, m_empty);
    m_noEvents->setObjectName(QStringLiteral("noEventsLabel"));
    emptyColumn->addWidget(m_noEvents, 0, Qt::AlignHCenter);

    m_firstRun = new QWidget(m_empty);
    m_firstRun->setObjectName(QStringLiteral("firstRunHint"));
    auto *firstRunColumn = new QVBoxLayout(m_firstRun);
    firstRunColumn->setContentsMargins(0, 0, 0, 0);
    firstRunColumn->setSpacing(4);
    m_firstRunText = new ThemedLabel(QString(), 11, QFont::Normal, Theme::Tone::secondary, m_firstRun);
    m_firstRunText->setObjectName(QStringLiteral("firstRunText"));
    m_firstRunText->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_firstRunText->setWordWrap(true);
    firstRunColumn->addWidget(m_firstRunText);
    m_openFolder = new PlainButton(m_firstRun);
    m_openFolder->setObjectName(QStringLiteral("openCalendarFolderButton"));
    m_openFolder->setLabel(tr("Open Calendar Folder"), 12, QFont::Medium, Theme::Tone::accent);
    firstRunColumn->addWidget(m_openFolder, 0, Qt::AlignHCenter);
    connect(m_openFolder, &PlainButton::clicked, this, &EventSection::openCalendarFolderRequested);
    emptyColumn->addWidget(m_firstRun);
    emptyColumn->addStretch(1);
    bodyLayout->addWidget(m_empty);

    m_list = new QScrollArea(m_body);
    m_list->setObjectName(QStringLiteral("eventList"));
    m_list->setAccessibleName(tr("Events"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setWidgetResizable(true);
    m_list->viewport()->setAutoFillBackground(false);
    new OverlayScrollBar(m_list);
    auto *content = new QWidget;
    m_rowsLayout = new QVBoxLayout(content);
    m_rowsLayout->setContentsMargins(16, 0, 16, 10);
    m_rowsLayout->setSpacing(8);
    m_rowsLayout->addStretch(1);
    m_list->setWidget(content);
    // setWidget turns the background on; the popover's own surface shows through instead.
    content->setAutoFillBackground(false);
    bodyLayout->addWidget(m_list);
    connect(m_list->verticalScrollBar(), &QScrollBar::valueChanged, this, &EventSection::buildMoreIfNearEnd);
    connect(m_list->verticalScrollBar(), &QScrollBar::rangeChanged, this, &EventSection::buildMoreIfNearEnd);

    setCalendarFolder(QString());
    setListHeight(maxListHeight);
    updateBody();
}

void EventSection::setListHeight(int pixels)
{
    m_body->setFixedHeight(qBound(0, pixels, maxListHeight));
    setFixedHeight(headingHeight() + m_body->height());
}

int EventSection::listHeight() const
{
    return m_body->height();
}

int EventSection::headingHeight() const
{
    return m_heading->sizeHint().height();
}

void EventSection::setHasCalendarSources(bool hasSources)
{
    if (m_hasSources == hasSources)
        return;
    m_hasSources = hasSources;
    updateBody();
}

void EventSection::setCalendarFolder(const QString &path)
{
    m_calendarFolder = path;
    // The folder gets a line of its own: wrapped inside, a path is hard to read and to type.
    m_firstRunText->setText(
        tr("No calendars yet. Put calendar files in\n%1\nDesktop calendar accounts appear by themselves.")
            .arg(displayPath(path)));
}

void EventSection::updateBody()
{
    const bool empty = m_events.isEmpty();
    m_list->setVisible(!empty);
    m_empty->setVisible(empty);
    m_firstRun->setVisible(empty && !m_hasSources);
    m_noEvents->setVisible(empty && m_hasSources);
}

void EventSection::setDay(const QDateTime &selectedDate, const EventList &events, const QDateTime &now)
{
    m_date->setText(selectedDate.isValid() ? MonthGrid::eventListDateTitle(selectedDate) : QString());
    const auto relative
        = selectedDate.isValid() ? MonthGrid::relativeDateString(selectedDate, now) : std::nullopt;
    m_bullet->setVisible(relative.has_value());
    m_relative->setVisible(relative.has_value());
    m_relative->setText(relative.value_or(QString()));
    m_heading->setAccessibleName(headingText());

    m_events = events;
    const int inUse = qMin<int>(int(events.size()), qMax<int>(int(m_rows.size()), rowBatch));
    for (int i = 0; i < m_rows.size(); ++i) {
        m_rows.at(i)->setEvent(i < inUse ? events.at(i) : nullptr);
        m_rows.at(i)->setVisible(i < inUse);
    }
    buildRowsUpTo(inUse);
    updateBody();
    // Rows shown or hidden while the list was hidden leave its content's
    // layout with stale sizes; lay it out now, before anything is painted.
    m_list->widget()->layout()->invalidate();
    m_list->widget()->layout()->activate();
    // Another day starts at its first event; a refetch of the same day keeps the reader's place.
    if (selectedDate != m_shownDate)
        m_list->verticalScrollBar()->setValue(0);
    m_shownDate = selectedDate;
}

void EventSection::buildRowsUpTo(int count)
{
    count = qMin<int>(count, int(m_events.size()));
    for (int i = 0; i < count; ++i) {
        if (i < m_rows.size()) {
            if (!m_rows.at(i)->isVisibleTo(m_list->widget())) {
                m_rows.at(i)->setEvent(m_events.at(i));
                m_rows.at(i)->setVisible(true);
            }
            continue;
        }
        auto *row = new EventRow(m_urlOpener, m_calendarLauncher, m_list->widget());
        row->setObjectName(QStringLiteral("eventRow_%1").arg(i));
        row->setEvent(m_events.at(i));
        m_rowsLayout->insertWidget(i, row);
        m_rows.append(row);
    }
}

void EventSection::buildMoreIfNearEnd()
{
    int shown = 0;
    while (shown < m_rows.size() && m_rows.at(shown)->isVisibleTo(m_list->widget()))
        ++shown;
    if (shown >= m_events.size())
        return;
    const QScrollBar *bar = m_list->verticalScrollBar();
    if (bar->maximum() - bar->value() <= maxListHeight)
        buildRowsUpTo(shown + rowBatch);
}

QString EventSection::headingText() const
{
    QString text = m_date->fullText();
    if (m_relative->isVisibleTo(m_heading))
        text += QStringLiteral(" \u2022 ") + m_relative->fullText();
    return text;
}

int EventSection::builtRowCount() const
{
    return int(m_rows.size());
}

EventRow *EventSection::row(int index) const
{
    return index >= 0 && index < m_rows.size() ? m_rows.at(index) : nullptr;
}
