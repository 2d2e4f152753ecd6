#pragma once

#include <QPointer>
#include <QWidget>

class QAbstractScrollArea;
class QScrollBar;

/**
 * A thin scroll indicator laid over the right edge of a scroll area, as the
 * popups of GNOME and KDE have: no arrows, no groove, no width taken from
 * the content. It shows only when there is something to scroll, follows the
 * area's own vertical scroll bar (which it hides) and can be dragged.
 */
class OverlayScrollBar : public QWidget
{
    Q_OBJECT
public:
    /** Becomes a child of area and lives as long as it. */
    explicit OverlayScrollBar(QAbstractScrollArea *area);

    /** The handle's rectangle in this widget, empty when nothing scrolls. */
    QRectF handleRect() const;

    static constexpr int hitWidth = 10;
    static constexpr qreal thinWidth = 4;
    static constexpr qreal wideWidth = 7;
    static constexpr int minimumHandle = 24;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void reposition();
    void syncVisibility();

    /** Kept apart from the area: its events still come while the area is being destroyed. */
    QPointer<QWidget> m_viewport;
    QScrollBar *m_bar;
    bool m_hovered = false;
    bool m_dragging = false;
    qreal m_dragOffset = 0;
};
