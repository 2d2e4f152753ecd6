#include "DayCell.h"

#include "Theme.h"

#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

DayCell::DayCell(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
}

QString DayCell::dayNumberText(const QDate &date)
{
    // Created once, on first use, in the user's locale; every cell of every
    // rebuild reads the same one.
    static const QLocale formatter;
    return formatter.toString(date, QStringLiteral("d"));
}

void DayCell::setState(const State &state)
{
    if (m_state == state)
        return;
    m_state = state;
    updateAccessibleName();
    update();
}

void DayCell::updateAccessibleName()
{
    if (isEmpty()) {
        setAccessibleName(QString());
        return;
    }
    QString name = QLocale().toString(m_state.date.date(), QLocale::LongFormat);
    if (m_state.hasEvents)
        name += tr(", has events");
    setAccessibleName(name);
}

QRectF DayCell::numberRect() const
{
    const qreal column = numberBlock + (m_state.hasEvents ? dotGap + dotSize : 0);
    const qreal top = (height() - column) / 2.0;
    return QRectF((width() - numberBlock) / 2.0, top, numberBlock, numberBlock);
}

QRectF DayCell::dotRect() const
{
    const QRectF number = numberRect();
    return QRectF(number.center().x() - dotSize / 2.0, number.bottom() + dotGap, dotSize, dotSize);
}

void DayCell::paintEvent(QPaintEvent *)
{
    if (isEmpty())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = palette();
    const QColor accent = Theme::accent(pal);
    const State &s = m_state;

    if (m_hovered && !s.isToday && !s.isSelected) {
        QColor hover = Theme::primary(pal);
        hover.setAlphaF(0.06);
        p.setPen(Qt::NoPen);
        p.setBrush(hover);
        p.drawRoundedRect(QRectF(rect()), 6, 6);
    }

    const QRectF number = numberRect();
    if (s.isToday || s.isSelected) {
        QColor marker = accent;
        if (!s.isToday)
            marker.setAlphaF(0.2);
        p.setPen(Qt::NoPen);
        p.setBrush(marker);
        p.drawEllipse(number);
    }

    QColor numberColor;
    if (s.isToday)
        numberColor = Qt::white;
    else if (s.isSelected)
        numberColor = accent;
    else if (s.isCurrentMonth)
        numberColor = Theme::primary(pal);
    else
        numberColor = Theme::tertiary(pal);
    p.setFont(Theme::font(14, s.isToday ? QFont::Bold : QFont::Medium));
    p.setPen(numberColor);
    p.drawText(number, Qt::AlignCenter, dayNumberText(s.date.date()));

    // Today's dot sits below its circle, on the plain background, where white
    // would vanish in the light appearance: it takes the accent like every other.
    if (s.hasEvents) {
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawEllipse(dotRect());
    }
}

void DayCell::enterEvent(QEnterEvent *event)
{
    QWidget::enterEvent(event);
    if (!m_hovered) {
        m_hovered = true;
        update();
    }
}

void DayCell::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    if (m_hovered) {
        m_hovered = false;
        update();
    }
}

void DayCell::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && !isEmpty()) {
        m_pressed = true;
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void DayCell::mouseReleaseEvent(QMouseEvent *event)
{
    const bool wasPressed = m_pressed;
    m_pressed = false;
    if (event->button() == Qt::LeftButton && wasPressed && rect().contains(event->position().toPoint())) {
        event->accept();
        // A copy: the receiver rebuilds the grid, which reassigns this cell's state mid-call.
        const QDateTime date = m_state.date;
        Q_EMIT tapped(date);
        return;
    }
    QWidget::mouseReleaseEvent(event);
}
