#pragma once

#include <QHash>
#include <QObject>
#include <QStringList>

class QSocketNotifier;

/**
 * Watches folders for any change inside them: items added, removed or
 * renamed, and also writes to the items themselves, which a plain folder
 * watch does not report. One inotify watch per folder, so a collection of
 * any size costs one watch and in-place edits are seen whatever its size.
 */
class FolderWatcher : public QObject
{
    Q_OBJECT
public:
    explicit FolderWatcher(QObject *parent = nullptr);
    ~FolderWatcher() override;

    /** Watches exactly these folders from now on. */
    void setFolders(const QStringList &folders);
    QStringList folders() const { return m_byPath.keys(); }

Q_SIGNALS:
    /** Something in this folder, or the folder itself, changed. */
    void folderChanged(const QString &folder);

private:
    void readEvents();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QHash<QString, int> m_byPath;
    QHash<int, QString> m_byWatch;
};
