#pragma once

#include "LocalZone.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

#include <ctime>

/**
 * Pins the process's local zone for a test and says whether it took: an
 * unknown TZ silently behaves as UTC, which would make zone tests pass
 * vacuously. Checked against the zone database at two instants half a year
 * apart, so a zone without daylight saving is checked too.
 */
inline bool pinLocalZone(const QByteArray &ianaId)
{
    qputenv("TZ", ianaId);
    tzset();
    LocalZone::refresh();
    const QTimeZone zone(ianaId);
    if (!zone.isValid())
        return false;
    for (const QDate day : { QDate(2026, 1, 15), QDate(2026, 7, 15) }) {
        const QDateTime local(day, QTime(12, 0));
        if (local.offsetFromUtc() != zone.offsetFromUtc(local))
            return false;
    }
    return true;
}

/** Pins the default locale and says whether it took. */
inline bool pinLocale(const QLocale &locale)
{
    QLocale::setDefault(locale);
    return QLocale().name() == locale.name();
}
