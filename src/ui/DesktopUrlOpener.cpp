#include "DesktopUrlOpener.h"

#include "MeetingLink.h"

#include <QDesktopServices>

void DesktopUrlOpener::openUrl(const QUrl &url)
{
    if (!url.isValid() || !MeetingLink::isSafeToOpen(url))
        return;
    QDesktopServices::openUrl(url);
}
