// Stand-ins for the desktop calendar module: one that works, one of another
// version, one that is some other library.
#include "SystemEventStore.h"

#ifndef FAKE_NOT_OURS
namespace {

class FakeSystemStore : public SystemEventStore
{
public:
    AuthorizationStatus authorizationStatus() const override { return AuthorizationStatus::fullAccess; }
    void requestFullAccess(AccessCompletion completion) override
    {
        Q_EMIT loaded();
        Q_EMIT changed();
        if (completion)
            completion(true, QString());
    }
    EventList events(const QDateTime &, const QDateTime &) override { return {}; }
    bool isLoaded() const override { return true; }
    QStringList localCalendarFiles() const override { return { QStringLiteral("/fake/calendar.ics") }; }
};

} // namespace

extern "C" {

Q_DECL_EXPORT const char *moriva_system_store_version()
{
    return FAKE_VERSION;
}

Q_DECL_EXPORT SystemEventStore *moriva_system_store_create()
{
    return new FakeSystemStore;
}
}
#else
extern "C" Q_DECL_EXPORT int moriva_something_else()
{
    return 42;
}
#endif
