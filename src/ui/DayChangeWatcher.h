#pragma once

#include <QDate>
#include <QObject>

class Clock;
class QFileSystemWatcher;
class QTimer;

/**
 * Tells when "today" may have become another day: at the next local midnight
 * (re-armed each day), when the system wakes from sleep and when the time zone
 * changes. Anything that shows today's date redraws on refreshNeeded().
 */
class DayChangeWatcher : public QObject
{
    Q_OBJECT
public:
    /** The timer fires this long after midnight, so the clock already reads the new day. */
    static constexpr qint64 slackMs = 1000;

    /** clock is not owned and must outlive the watcher. */
    explicit DayChangeWatcher(const Clock *clock, QObject *parent = nullptr);

    /** Arms the midnight timer and, where the system offers them, the wake and zone watches. */
    void start();

    /** Milliseconds from now until the start of the next local day, skipped midnights included. */
    static qint64 msUntilNextDay(const QDateTime &now);

    const QTimer *midnightTimer() const { return m_timer; }

public Q_SLOTS:
    /** The midnight timer's handler: announces a new day, or re-arms when it came early. */
    void midnightReached();
    /** The system woke up: the timer slept with it, so look again. */
    void systemResumed();
    /** Something under /etc changed; announces only a changed zone. */
    void checkTimeZone();

Q_SIGNALS:
    void refreshNeeded();

private Q_SLOTS:
    void onPrepareForSleep(bool goingToSleep);

private:
    void arm();
    static QString timeZoneSignature();

    const Clock *m_clock;
    QTimer *m_timer;
    QFileSystemWatcher *m_zoneWatcher = nullptr;
    QDate m_armedDay;
    QString m_zoneSignature;
};
