#pragma once

#include <QDateTime>
#include <QWidget>

/**
 * One day of the month grid: the day number, the marker circle of today or
 * the selected day, the event dot and a faint highlight under the pointer.
 * The cell decides nothing about calendars; its owner sets every input and
 * reuses the cell across rebuilds, so the pointer state survives them.
 */
class DayCell : public QWidget
{
    Q_OBJECT
public:
    explicit DayCell(QWidget *parent = nullptr);

    struct State
    {
        QDateTime date;
        bool isCurrentMonth = false;
        bool isToday = false;
        bool isSelected = false;
        bool hasEvents = false;
        bool operator==(const State &) const = default;
    };

    /** Shows a day; a default State (invalid date) leaves an empty filler. */
    void setState(const State &state);
    const State &state() const { return m_state; }
    bool isEmpty() const { return !m_state.date.isValid(); }
    bool isHovered() const { return m_hovered; }

    /** The day number, from the one formatter every cell shares. */
    static QString dayNumberText(const QDate &date);

    static constexpr int numberBlock = 30;
    static constexpr int dotGap = 2;
    static constexpr int dotSize = 4;
    static constexpr int minimumWidth = 36;
    static constexpr int preferredHeight = 42;
    /**
     * Just the number block, gap and dot: six rows of the preferred height
     * would leave the event list too little of the popover's height.
     */
    static constexpr int minimumHeight = numberBlock + dotGap + dotSize;

    QSize sizeHint() const override { return QSize(minimumWidth, preferredHeight); }
    QSize minimumSizeHint() const override { return QSize(minimumWidth, minimumHeight); }

    /** Where the marker circle and the dot sit, for drawing and for tests. */
    QRectF numberRect() const;
    QRectF dotRect() const;

Q_SIGNALS:
    /** A single click, with the cell's own date. */
    void tapped(const QDateTime &date);

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void updateAccessibleName();

    State m_state;
    bool m_hovered = false;
    bool m_pressed = false;
};
