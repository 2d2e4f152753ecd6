#pragma once

#include <QObject>

#include <functional>

class QTimer;

/**
 * Waits for a panel that can show a tray icon. Qt decides once, on the first
 * tray icon it makes, whether to use a StatusNotifierItem host, and never looks
 * again; a session whose panel starts after Moriva would then be left with no
 * icon. So the icon is made only once a host is seen, or when waiting is over.
 */
class TrayHostWatcher : public QObject
{
    Q_OBJECT
public:
    enum class Host { none, statusNotifier, xembed };
    Q_ENUM(Host)
    using Probe = std::function<Host()>;

    static constexpr int defaultIntervalMs = 500;
    static constexpr int defaultTimeoutMs = 120'000;

    explicit TrayHostWatcher(QObject *parent = nullptr);
    TrayHostWatcher(Probe probe, int intervalMs, int timeoutMs, QObject *parent = nullptr);

    /** Looks at once, then every interval. ready() comes exactly once, possibly before start() returns. */
    void start();
    bool isFinished() const { return m_finished; }

    /** A StatusNotifierWatcher that reports a host on the session bus, else an XEmbed tray selection owner.
     */
    static Host probeSystem();
    static bool statusNotifierHostRegistered();
    static bool xembedTrayOwned();

    /** The one line that tells a user whose panel shows no tray what is missing. */
    static QString missingTrayMessage(const QString &currentDesktop, bool waylandSession);

Q_SIGNALS:
    /** The host found, or none when the wait timed out; the icon should be made either way. */
    void ready(TrayHostWatcher::Host host);

private:
    void poll();

    Probe m_probe;
    int m_intervalMs;
    int m_timeoutMs;
    int m_waitedMs = 0;
    bool m_finished = false;
    QTimer *m_timer;
};
