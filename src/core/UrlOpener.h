#pragma once

#include <QUrl>

/** Hands a URL to the desktop. */
class UrlOpener
{
public:
    virtual ~UrlOpener() = default;
    virtual void openUrl(const QUrl &url) = 0;
};
