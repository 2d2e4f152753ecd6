#pragma once

#include <QObject>

class QSocketNotifier;

/**
 * Hears sway move the keyboard focus to a window or a workspace. Through
 * XWayland the popover cannot see this itself: its X11 grab ends at the edge
 * of XWayland, and the focus a click on a Wayland window takes away from it
 * is never reported to X11 clients.
 */
class SwayFocusWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SwayFocusWatcher(QObject *parent = nullptr);
    ~SwayFocusWatcher() override;

    /** Starts listening; false when no sway answers. */
    bool start();
    void stop();
    bool isListening() const { return m_socket >= 0; }

    /** Whether a sway event (type and JSON payload) is the focus moving. */
    static bool isFocusChange(quint32 type, const QByteArray &payload);

Q_SIGNALS:
    void focusMoved();

private:
    void readEvents();

    int m_socket = -1;
    QSocketNotifier *m_notifier = nullptr;
};
