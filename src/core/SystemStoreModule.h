#pragma once

#include "SystemEventStore.h"

#include <QStringList>

#include <memory>

/**
 * Loads the desktop calendar store from its module. The module brings the
 * calendar service's client libraries (dozens of them), so a process maps
 * them only once the service is known to answer; without the module, or
 * with one that does not load, Moriva shows its calendar files alone.
 *
 * A process that loads the module exports its own symbols (ENABLE_EXPORTS),
 * so the module's store and the program share one EventStore type.
 */
namespace SystemStoreModule {

/** The service's registry on the session bus: Moriva asks for it only when this name answers. */
constexpr const char *registryBusName = "org.gnome.evolution.dataserver.Sources5";

/** Where the module is looked for: beside the installed binary, then in the build tree. */
QStringList defaultPaths();

/**
 * The store from the first of `paths` that exists and loads, or nothing.
 * A failure is logged once per process, never fatal.
 */
std::unique_ptr<SystemEventStore> load(const QStringList &paths = defaultPaths());

/**
 * Whether a session bus can be reached without starting one: an address in
 * the environment, or the user bus socket. Asking without it would have
 * GLib or libdbus autolaunch a private bus that outlives the program.
 */
bool sessionBusReachable();

} // namespace SystemStoreModule
