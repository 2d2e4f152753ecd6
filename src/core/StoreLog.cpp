#include "StoreLog.h"

// Critical is the lowest level that stays on, and the store never logs at it.
Q_LOGGING_CATEGORY(lcStore, "moriva.store", QtCriticalMsg)
