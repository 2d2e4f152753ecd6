#include "SystemStoreModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QLoggingCategory>

#include <atomic>

Q_LOGGING_CATEGORY(lcModule, "moriva.systemstore", QtInfoMsg)

namespace {

using VersionFunction = const char *(*)();
using CreateFunction = SystemEventStore *(*)();

std::atomic_bool failureLogged { false };

void logFailure(const QString &why)
{
    if (!failureLogged.exchange(true))
        qCWarning(lcModule).noquote() << "desktop calendars unavailable, showing calendar files only:" << why;
}

} // namespace

QStringList SystemStoreModule::defaultPaths()
{
    QStringList paths;
#ifdef MORIVA_INSTALLED_MODULES
    paths.append(QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/')
        + QStringLiteral(MORIVA_INSTALLED_MODULES) + QStringLiteral("/moriva-eds.so")));
#endif
#ifdef MORIVA_BUILD_MODULES
    paths.append(QStringLiteral(MORIVA_BUILD_MODULES "/moriva-eds.so"));
#endif
    return paths;
}

std::unique_ptr<SystemEventStore> SystemStoreModule::load(const QStringList &paths)
{
    QString why = QStringLiteral("no module in %1").arg(paths.join(QStringLiteral(", ")));
    for (const QString &path : paths) {
        if (!QFileInfo(path).isFile())
            continue;
        // Every symbol now: a module that lacks one must fail here, not at
        // its first call. The module is never unloaded: the service's
        // libraries keep threads and type registrations for the whole run.
        QLibrary library(path);
        library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        if (!library.load()) {
            why = library.errorString();
            continue;
        }
        const auto version
            = reinterpret_cast<VersionFunction>(library.resolve("moriva_system_store_version"));
        const auto create = reinterpret_cast<CreateFunction>(library.resolve("moriva_system_store_create"));
        if (!version || !create) {
            why = QStringLiteral("%1 is not a Moriva calendar module").arg(path);
            continue;
        }
        // The store is built against this program's types: only the same build fits.
        const QString theirs = QString::fromUtf8(version());
        if (theirs != QLatin1String(MORIVA_VERSION)) {
            why = QStringLiteral("%1 is version %2, not %3").arg(path, theirs, QLatin1String(MORIVA_VERSION));
            continue;
        }
        std::unique_ptr<SystemEventStore> store(create());
        if (store)
            return store;
        why = QStringLiteral("%1 made no store").arg(path);
    }
    logFailure(why);
    return nullptr;
}

bool SystemStoreModule::sessionBusReachable()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(QDir(runtime).filePath(QStringLiteral("bus")));
}
