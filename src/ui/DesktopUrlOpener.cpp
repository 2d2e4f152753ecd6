#include "DesktopUrlOpener.h"

#include "EventRowRules.h"

#include <QDesktopServices>

void DesktopUrlOpener::openUrl(const QUrl &url)
{
    if (!url.isValid() || !EventRowRules::isSafeToOpen(url))
        return;
    QDesktopServices::openUrl(url);
}
