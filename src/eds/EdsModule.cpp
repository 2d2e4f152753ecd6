// The entry points SystemStoreModule looks up after loading this module.
#include "EdsEventStore.h"

extern "C" {

Q_DECL_EXPORT const char *moriva_system_store_version()
{
    return MORIVA_VERSION;
}

Q_DECL_EXPORT SystemEventStore *moriva_system_store_create()
{
    return new EdsEventStore;
}
}
