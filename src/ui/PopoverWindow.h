#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>

class QPainter;

/**
 * The frameless window that holds the popover's content, with no taskbar or
 * switcher entry. Where the platform allows it is a popup: it closes itself on
 * a click outside and on Esc. It reports its own deactivation and hiding;
 * deciding what they mean is the controller's business.
 *
 * Where an X11 compositor blends windows the window is larger than its content by a
 * transparent margin on each side, in which it draws the content's soft shadow;
 * the margin takes no clicks. Geometry that callers care about (placement, the
 * popover's size) is the content's.
 */
class PopoverWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int popoverWidth = 320;
    static constexpr int popoverHeight = 520;
    /** Space between the panel icon and the popover. */
    static constexpr int anchorGap = 4;
    /** The transparent margin around the content that holds the shadow. */
    static constexpr int shadowMargin = 18;
    /** The content's corners where it is drawn rounded. */
    static constexpr int cornerRadius = 10;

    /** Square and opaque; translucent with rounded corners; that and a shadow around it. */
    enum class Frame { plain, rounded, shadowed };
    Q_ENUM(Frame)

    /** The frame that suits the platform: see defaultFrame(). */
    explicit PopoverWindow(QWidget *parent = nullptr);
    explicit PopoverWindow(Frame frame, QWidget *parent = nullptr);

    static Qt::WindowFlags windowFlagsFor(const QString &platformName);

    void setVisible(bool visible) override;

    /** Takes ownership; the previous content is deleted once control returns to the event loop. */
    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }

    /** Shadowed where an X11 compositor runs, rounded on Wayland, plain elsewhere. */
    static Frame defaultFrame();
    Frame frame() const { return m_frame; }
    /** The content's rectangle in the window's own coordinates. */
    QRect contentRect() const;
    /** Moves the window so that the content's top-left corner lands on this point of the screen. */
    void moveContentTo(const QPoint &globalTopLeft);

    /**
     * Where the content's top-left corner goes: against the screen edge nearest
     * the anchor (below an icon on a top panel, above one on a bottom panel, beside
     * one on a side panel), centred on the anchor, kept inside the available area.
     */
    static QPoint placement(
        const QRect &anchor, const QRect &screen, const QRect &available, const QSize &size);

Q_SIGNALS:
    /** The window had been active and lost activation: the user went elsewhere. */
    void deactivated();
    void hidden();
    /** A press outside the popup, at this point of the screen, is about to close it. */
    void outsidePressed(const QPoint &globalPos);
    /** Every paint of the window itself, for timing the first one after opening. */
    void painted();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void paintShadow(QPainter &painter);
    void updateInputRegion();

    Frame m_frame;
    QPixmap m_shadow;
    bool m_shadowDark = false;
    QPointer<QWidget> m_content;
    bool m_hiding = false;
};
