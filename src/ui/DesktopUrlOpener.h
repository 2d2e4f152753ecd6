#pragma once

#include "UrlOpener.h"

/**
 * Hands URLs to the desktop's handlers. Links come from other people's
 * invitations, so anything the event-row rules do not consider safe (local
 * files, scripts, unknown schemes) is refused here as well, whoever asks.
 */
class DesktopUrlOpener : public UrlOpener
{
public:
    void openUrl(const QUrl &url) override;
};
