#pragma once

#include "LoginItem.h"

#include <QStringList>

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
    /**
     * The binary the entry should start: the installed one when Moriva is
     * installed (the running one if it is among installed, else the first of
     * installed that is an executable file), so that a build run once from a
     * source tree does not tie every login to that tree; otherwise the
     * running one.
     */
    static QString executableToStart(const QString &running, const QStringList &installed);

private:
    QString m_executable;
};
