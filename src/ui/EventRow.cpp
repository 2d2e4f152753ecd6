#include "EventRow.h"

#include "CalendarAppLauncher.h"
#include "EventRowRules.h"
#include "GlyphView.h"
#include "MeetingLink.h"
#include "Theme.h"
#include "ThemedLabel.h"
#include "UrlOpener.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace {

/** The calendar's colour as a thin rounded bar; the accent colour stands in when the calendar has none. */
class ColorBar : public QWidget
{
public:
    explicit ColorBar(QWidget *parent)
        : QWidget(parent)
    {
        setFixedSize(3, 32);
    }
    void setColor(const QColor &color)
    {
        m_color = color;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(m_color.isValid() ? m_color : Theme::accent(palette()));
        p.drawRoundedRect(QRectF(rect()), 2, 2);
    }

private:
    QColor m_color;
};

/**
 * The meeting line: camera glyph and "Join <service>" (or a link glyph and a page's host) in the
 * accent colour, a button of its own.
 */
class MeetingLine : public QAbstractButton
{
public:
    explicit MeetingLine(QWidget *parent)
        : QAbstractButton(parent)
    {
        setFont(Theme::font(10, QFont::Medium));
        setFocusPolicy(Qt::TabFocus);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }
    static constexpr int indent = 15;
    void setGlyph(Glyphs::Glyph glyph)
    {
        m_glyph = glyph;
        update();
    }
    int glyphSide() const { return QFontMetrics(Theme::font(9)).height() * 3 / 4 + 1; }
    QSize sizeHint() const override
    {
        return QSize(indent + glyphSide() + 4 + fontMetrics().horizontalAdvance(text()),
            qMax(glyphSide(), fontMetrics().height()));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        if (isDown())
            p.setOpacity(0.55);
        const QColor accent = Theme::accent(palette());
        const int side = glyphSide();
        Glyphs::paint(p, QRectF(indent, (height() - side) / 2.0, side, side), m_glyph, accent);
        const int textLeft = indent + side + 4;
        const QRect textRect(textLeft, 0, fontMetrics().horizontalAdvance(text()) + 1, height());
        p.setFont(font());
        p.setPen(accent);
        p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text());
        if (hasFocus()) {
            QColor ring = accent;
            ring.setAlphaF(0.6);
            p.setPen(QPen(ring, 1));
            p.setRenderHint(QPainter::Antialiasing);
            p.drawRoundedRect(QRectF(indent - 3, 0.5, textRect.right() - indent + 6, height() - 1), 4, 4);
        }
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
            animateClick();
            return;
        }
        QAbstractButton::keyPressEvent(event);
    }
    // Only the glyph and the name open the meeting; the indent still belongs to the row.
    bool hitButton(const QPoint &pos) const override
    {
        return pos.x() >= indent && pos.x() < sizeHint().width() && pos.y() >= 0 && pos.y() < height();
    }

private:
    Glyphs::Glyph m_glyph = Glyphs::Glyph::camera;
};

} // namespace

EventRow::EventRow(UrlOpener *urlOpener, CalendarAppLauncher *calendarLauncher, QWidget *parent)
    : QWidget(parent)
    , m_urlOpener(urlOpener)
    , m_calendarLauncher(calendarLauncher)
{
    setFocusPolicy(Qt::TabFocus);
    // Not Fixed: a fixed height would be the one-line size hint, and wrapped text needs its height for width.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 6, 0, 6);
    column->setSpacing(4);

    auto *mainLine = new QHBoxLayout;
    mainLine->setSpacing(12);
    mainLine->setContentsMargins(0, 0, 0, 0);
    auto *bar = new ColorBar(this);
    bar->setObjectName(QStringLiteral("colorBar"));
    m_colorBar = bar;
    mainLine->addWidget(bar, 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->setContentsMargins(0, 0, 0, 0);
    m_title = new ThemedLabel(QString(), 12, QFont::Medium, Theme::Tone::primary, this);
    m_title->setObjectName(QStringLiteral("eventTitle"));
    m_title->setMaximumLines(maxLinesPerField);
    m_time = new ThemedLabel(QString(), 11, QFont::Normal, Theme::Tone::secondary, this);
    m_time->setObjectName(QStringLiteral("eventTime"));
    m_time->setMaximumLines(maxLinesPerField);
    texts->addWidget(m_title);
    texts->addWidget(m_time);
    mainLine->addLayout(texts, 1);
    column->addLayout(mainLine);

    m_locationLine = new QWidget(this);
    m_locationLine->setObjectName(QStringLiteral("locationLine"));
    auto *locationRow = new QHBoxLayout(m_locationLine);
    locationRow->setContentsMargins(MeetingLine::indent, 0, 0, 0);
    locationRow->setSpacing(4);
    // The pin stays beside the first line when the place wraps.
    auto *pin = new GlyphView(Glyphs::Glyph::mapPin, 9, Theme::Tone::secondary, m_locationLine);
    auto *pinColumn = new QVBoxLayout;
    pinColumn->setContentsMargins(
        0, qMax(0, (QFontMetrics(Theme::font(10)).height() - pin->sizeHint().height()) / 2), 0, 0);
    pinColumn->addWidget(pin);
    pinColumn->addStretch(1);
    locationRow->addLayout(pinColumn);
    m_location = new ThemedLabel(QString(), 10, QFont::Normal, Theme::Tone::secondary, m_locationLine);
    m_location->setObjectName(QStringLiteral("eventLocation"));
    m_location->setMaximumLines(maxLinesPerField);
    locationRow->addWidget(m_location, 1);
    column->addWidget(m_locationLine);

    m_meeting = new MeetingLine(this);
    m_meeting->setObjectName(QStringLiteral("meetingLine"));
    column->addWidget(m_meeting, 0, Qt::AlignLeft);
    connect(m_meeting, &QAbstractButton::clicked, this, [this] {
        if (m_urlOpener && m_meetingUrl.isValid())
            m_urlOpener->openUrl(m_meetingUrl);
    });
}

void EventRow::setEvent(const EventPtr &event)
{
    m_event = event;
    if (!event) {
        m_meetingUrl = QUrl();
        m_locationLine->hide();
        m_meeting->hide();
        return;
    }
    static_cast<ColorBar *>(m_colorBar)
        ->setColor(event->calendar && event->calendar->color.isValid()
                ? QColor::fromRgba(event->calendar->color.argb())
                : QColor());
    // The row renders one value computed in core, as the agenda does.
    EventRowRules::RowContent row = EventRowRules::rowContent(*event);
    // Capped before anything measures or shapes them: a megabyte of text from
    // a stranger's invitation must not freeze the popover.
    m_title->setText(ThemedLabel::capped(row.title));
    m_time->setText(ThemedLabel::capped(row.time));
    if (row.location)
        row.location = ThemedLabel::capped(*row.location);
    m_location->setText(row.location.value_or(QString()));
    m_locationLine->setVisible(row.location.has_value());
    const MeetingLink &link = row.link;
    m_meetingUrl = link.url;
    m_meeting->setText(ThemedLabel::capped(link.label));
    static_cast<MeetingLine *>(m_meeting)->setGlyph(
        link.kind == MeetingLink::Kind::link ? Glyphs::Glyph::link : Glyphs::Glyph::camera);
    m_meeting->setAccessibleName(
        link.kind == MeetingLink::Kind::link ? tr("Open %1").arg(m_meeting->text()) : m_meeting->text());
    m_meeting->setVisible(bool(link));
    m_meeting->updateGeometry();

    QString name = m_title->fullText() + QStringLiteral(", ") + m_time->fullText();
    if (row.location)
        name += QStringLiteral(", ") + *row.location;
    setAccessibleName(name);
}

QString EventRow::titleText() const
{
    return m_title->fullText();
}

QString EventRow::timeText() const
{
    return m_time->fullText();
}

QString EventRow::locationText() const
{
    return m_locationLine->isVisibleTo(this) ? m_location->fullText() : QString();
}

QString EventRow::meetingText() const
{
    return m_meeting->isVisibleTo(this) ? m_meeting->text() : QString();
}

QWidget *EventRow::meetingLine() const
{
    return m_meeting;
}

void EventRow::openInCalendar()
{
    if (m_event && m_calendarLauncher)
        m_calendarLauncher->showEvent(*m_event);
}

void EventRow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void EventRow::mouseReleaseEvent(QMouseEvent *event)
{
    const bool wasPressed = m_pressed;
    m_pressed = false;
    if (event->button() == Qt::LeftButton && wasPressed && rect().contains(event->position().toPoint())) {
        event->accept();
        openInCalendar();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void EventRow::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space)
        && !event->isAutoRepeat()) {
        openInCalendar();
        return;
    }
    QWidget::keyPressEvent(event);
}

void EventRow::paintEvent(QPaintEvent *)
{
    if (!hasFocus())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor ring = Theme::accent(palette());
    ring.setAlphaF(0.6);
    p.setPen(QPen(ring, 1.5));
    p.drawRoundedRect(QRectF(rect()).adjusted(-0.0, 0.75, -0.75, -0.75), 6, 6);
}
