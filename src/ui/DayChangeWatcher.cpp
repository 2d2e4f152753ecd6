#include "DayChangeWatcher.h"

#include "Clock.h"

#include <QDBusConnection>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimeZone>
#include <QTimer>

#include <limits>

DayChangeWatcher::DayChangeWatcher(const Clock *clock, QObject *parent)
    : QObject(parent)
    , m_clock(clock)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    // A coarse timer may be off by 5 % of its interval: half an hour on a long day.
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &DayChangeWatcher::midnightReached);
}

void DayChangeWatcher::start()
{
    arm();

    QDBusConnection::systemBus().connect(QStringLiteral("org.freedesktop.login1"),
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool)));

    // /etc/localtime is replaced, not written, when the zone changes, so a watch on
    // the file itself would keep following the old zone's file; /etc sees the rename.
    m_zoneSignature = timeZoneSignature();
    m_zoneWatcher = new QFileSystemWatcher(this);
    m_zoneWatcher->addPath(QStringLiteral("/etc"));
    connect(m_zoneWatcher, &QFileSystemWatcher::directoryChanged, this, &DayChangeWatcher::checkTimeZone);
}

qint64 DayChangeWatcher::msUntilNextDay(const QDateTime &now)
{
    const QDate tomorrow = now.date().addDays(1);
    QDateTime next;
    switch (now.timeSpec()) {
    case Qt::TimeZone:
        next = tomorrow.startOfDay(now.timeZone());
        break;
    case Qt::LocalTime:
        next = tomorrow.startOfDay();
        break;
    default:
        next = tomorrow.startOfDay(now.timeSpec(), now.offsetFromUtc());
        break;
    }
    return qMax<qint64>(0, now.msecsTo(next));
}

void DayChangeWatcher::arm()
{
    const QDateTime now = m_clock->now();
    m_armedDay = now.date();
    m_timer->start(int(qMin<qint64>(msUntilNextDay(now) + slackMs, std::numeric_limits<int>::max())));
}

void DayChangeWatcher::midnightReached()
{
    const bool newDay = m_clock->now().date() != m_armedDay;
    arm();
    if (newDay)
        Q_EMIT refreshNeeded();
}

void DayChangeWatcher::systemResumed()
{
    arm();
    Q_EMIT refreshNeeded();
}

void DayChangeWatcher::checkTimeZone()
{
    const QString signature = timeZoneSignature();
    if (signature == m_zoneSignature)
        return;
    m_zoneSignature = signature;
    systemResumed();
}

void DayChangeWatcher::onPrepareForSleep(bool goingToSleep)
{
    if (!goingToSleep)
        systemResumed();
}

QString DayChangeWatcher::timeZoneSignature()
{
    const QFileInfo localtime(QStringLiteral("/etc/localtime"));
    QString signature = QString::fromLocal8Bit(qgetenv("TZ")) + QLatin1Char('|') + localtime.symLinkTarget()
        + QLatin1Char('|') + QString::number(localtime.lastModified().toMSecsSinceEpoch());
    QFile zoneFile(QStringLiteral("/etc/timezone"));
    if (zoneFile.open(QIODevice::ReadOnly))
        signature += QLatin1Char('|') + QString::fromUtf8(zoneFile.readAll().trimmed());
    return signature;
}
