#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>

class QPropertyAnimation;

/**
 * Lays one panel over the popover: a near-invisible backdrop over everything
 * that takes every click (and wheel turn) meant for the views beneath and
 * turns it into a close request, and the panel centred on it with a rounded
 * translucent background and a soft shadow. The host fades as a whole; since
 * a widget carries only one graphics effect, the shadow is painted here
 * rather than being an effect of the panel.
 */
class OverlayHost : public QWidget
{
    Q_OBJECT
public:
    /** Takes ownership of panel. */
    OverlayHost(QWidget *panel, QWidget *parent);

    QWidget *panel() const { return m_panel; }
    QRect panelRect() const;

    /** Fades in over fadeMs from fully transparent. */
    void fadeIn();
    /** Fades out, then deletes itself; until then it keeps swallowing clicks. */
    void fadeOutAndDelete();
    bool isClosing() const { return m_closing; }

    static constexpr int fadeMs = 150;
    static constexpr int cornerRadius = 12;
    static constexpr qreal backdropOpacity = 0.01;
    static constexpr qreal shadowOpacity = 0.33;
    static constexpr int shadowBlur = 20;
    /** Opaque: a translucent panel lets the grid's digits show through and compete with its text. */
    static constexpr qreal materialOpacity = 1.0;

Q_SIGNALS:
    /** A click landed on the backdrop, outside the panel. */
    void backdropClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void animateOpacity(qreal from, qreal to);
    const QImage &shadowImage(const QSize &panelSize, qreal dpr);

    QWidget *m_panel;
    QPointer<QPropertyAnimation> m_animation;
    QImage m_shadow;
    QSize m_shadowFor;
    bool m_closing = false;
    bool m_pressOnBackdrop = false;
};
