#pragma once

#include "LoginItem.h"

/**
 * The freedesktop autostart entry, $XDG_CONFIG_HOME/autostart/moriva.desktop,
 * written atomically so a crash never leaves a half-written entry behind.
 */
class XdgAutostartLoginItem : public LoginItem
{
public:
    /** executable: absolute path of the binary the entry starts. */
    explicit XdgAutostartLoginItem(const QString &executable);
    bool registerItem(QString &error) override;
    bool unregisterItem(QString &error) override;
    /** Where the entry lives for the current environment. */
    static QString entryPath();

private:
    QString m_executable;
};
