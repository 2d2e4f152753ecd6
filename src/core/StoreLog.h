#pragma once

#include <QLoggingCategory>

/**
 * Diagnostics of the calendar-file store. Silent unless switched on, e.g.
 * QT_LOGGING_RULES="moriva.store*=true": a tray app must not chatter about
 * other people's broken invitations, but a user filing a bug needs the why.
 */
Q_DECLARE_LOGGING_CATEGORY(lcStore)
