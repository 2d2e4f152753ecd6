#pragma once

#include <QString>

/** Starting Moriva when the user logs in. */
class LoginItem
{
public:
    virtual ~LoginItem() = default;
    /** Both return false with a readable reason in error on failure. */
    virtual bool registerItem(QString &error) = 0;
    /** Already absent counts as success. */
    virtual bool unregisterItem(QString &error) = 0;
};
