#include "FolderWatcher.h"

#include "StoreLog.h"

#include <QFile>
#include <QSet>
#include <QSocketNotifier>

#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr uint32_t watchedEvents = IN_CLOSE_WRITE | IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_FROM
    | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

FolderWatcher::FolderWatcher(QObject *parent)
    : QObject(parent)
    , m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    if (m_fd < 0) {
        qCInfo(lcStore) << "no inotify:" << qt_error_string(errno);
        return;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &FolderWatcher::readEvents);
}

FolderWatcher::~FolderWatcher()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void FolderWatcher::setFolders(const QStringList &folders)
{
    if (m_fd < 0)
        return;
    const QSet<QString> wanted(folders.begin(), folders.end());
    for (auto it = m_byPath.begin(); it != m_byPath.end();) {
        if (wanted.contains(it.key())) {
            ++it;
            continue;
        }
        inotify_rm_watch(m_fd, it.value());
        m_byWatch.remove(it.value());
        it = m_byPath.erase(it);
    }
    for (const QString &folder : wanted) {
        if (m_byPath.contains(folder))
            continue;
        const int wd = inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), watchedEvents);
        if (wd < 0) {
            qCInfo(lcStore) << "cannot watch" << folder << qt_error_string(errno);
            continue;
        }
        m_byPath.insert(folder, wd);
        m_byWatch.insert(wd, folder);
    }
}

void FolderWatcher::readEvents()
{
    alignas(inotify_event) char buffer[16384];
    QSet<QString> changed;
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t offset = 0; offset < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
            offset += ssize_t(sizeof(inotify_event) + event->len);
            const QString folder = m_byWatch.value(event->wd);
            if (event->mask & IN_IGNORED) {
                // The folder went away; a later setFolders() may watch it again.
                m_byWatch.remove(event->wd);
                m_byPath.remove(folder);
            }
            if (!folder.isEmpty())
                changed.insert(folder);
        }
    }
    for (const QString &folder : std::as_const(changed))
        Q_EMIT folderChanged(folder);
}
