#include "EventSection.h"

#include "EventRow.h"
#include "MonthGrid.h"
#include "ThemedLabel.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

/** A scroll area as tall as its content, up to the cap. */
class CappedScrollArea : public QScrollArea
{
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override
    {
        const int content = widget() ? widget()->sizeHint().height() : 0;
        return QSize(QScrollArea::sizeHint().width(), qMin(content, maximumHeight()));
    }
    QSize minimumSizeHint() const override { return QSize(0, qMin(sizeHint().height(), 40)); }
};

} // namespace

EventSection::EventSection(UrlOpener *urlOpener, CalendarAppLauncher *calendarLauncher, QWidget *parent)
    : QWidget(parent)
    , m_urlOpener(urlOpener)
    , m_calendarLauncher(calendarLauncher)
{
    setObjectName(QStringLiteral("eventSection"));
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);

    m_block = new QWidget(this);
    m_block->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    auto *blockColumn = new QVBoxLayout(m_block);
    blockColumn->setContentsMargins(0, 0, 0, 0);
    blockColumn->setSpacing(0);

    m_heading = new QWidget(m_block);
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
    blockColumn->addWidget(m_heading, 0, Qt::AlignLeft);

    m_noEvents
        = new ThemedLabel(QStringLiteral("No events"), 11, QFont::Normal, Theme::Tone::secondary, m_block);
    m_noEvents->setObjectName(QStringLiteral("noEventsLabel"));
    m_noEvents->setContentsMargins(16, 0, 16, 10);
    blockColumn->addWidget(m_noEvents, 0, Qt::AlignLeft);
    m_layout->addWidget(m_block, 0, Qt::AlignHCenter);

    m_list = new CappedScrollArea(this);
    m_list->setObjectName(QStringLiteral("eventList"));
    m_list->setAccessibleName(QStringLiteral("Events"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setWidgetResizable(true);
    m_list->setMaximumHeight(maxListHeight);
    m_list->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_list->viewport()->setAutoFillBackground(false);
    auto *content = new QWidget;
    content->setAutoFillBackground(false);
    m_rowsLayout = new QVBoxLayout(content);
    m_rowsLayout->setContentsMargins(16, 0, 16, 10);
    m_rowsLayout->setSpacing(8);
    m_rowsLayout->addStretch(1);
    m_list->setWidget(content);
    m_layout->addWidget(m_list);
    connect(m_list->verticalScrollBar(), &QScrollBar::valueChanged, this, &EventSection::buildMoreIfNearEnd);
    connect(m_list->verticalScrollBar(), &QScrollBar::rangeChanged, this, &EventSection::buildMoreIfNearEnd);
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
    const bool empty = events.isEmpty();
    m_noEvents->setVisible(empty);
    m_list->setVisible(!empty);
    // With no list the block is centred as a whole; with one, the heading keeps to the leading edge.
    m_layout->setAlignment(m_block, empty ? Qt::AlignHCenter : Qt::AlignLeft);

    const int inUse = qMin<int>(int(events.size()), qMax<int>(int(m_rows.size()), rowBatch));
    for (int i = 0; i < m_rows.size(); ++i) {
        if (i < inUse)
            m_rows.at(i)->setEvent(events.at(i));
        else
            m_rows.at(i)->setEvent(nullptr);
        m_rows.at(i)->setVisible(i < inUse);
    }
    buildRowsUpTo(inUse);
    // Another day starts at its first event; a refetch of the same day keeps the reader's place.
    if (selectedDate != m_shownDate)
        m_list->verticalScrollBar()->setValue(0);
    m_shownDate = selectedDate;
    updateGeometry();
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
