#pragma once

#include <QPointer>
#include <QWidget>

/**
 * The frameless window that holds the popover's content, with no taskbar or
 * switcher entry. Where the platform allows it is a popup: it closes itself on
 * a click outside and on Esc. It reports its own deactivation and hiding;
 * deciding what they mean is the controller's business.
 */
class PopoverWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int popoverWidth = 320;
    static constexpr int popoverHeight = 520;
    /** Space between the panel icon and the popover. */
    static constexpr int anchorGap = 4;

    explicit PopoverWindow(QWidget *parent = nullptr);

    static Qt::WindowFlags windowFlagsFor(const QString &platformName);

    void setVisible(bool visible) override;

    /** Takes ownership; the previous content is deleted once control returns to the event loop. */
    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }

    /**
     * Where the popover's top-left corner goes: against the screen edge nearest
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

private:
    QPointer<QWidget> m_content;
    bool m_hiding = false;
};
