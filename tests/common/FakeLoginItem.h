#pragma once

#include "LoginItem.h"

#include <QStringList>

#include <functional>

/**
 * A login item that records each call, and fails with the reason a test
 * gives it. onCall runs inside the call, so a test can see what had happened
 * by then (which signals, what was already on disk).
 */
class FakeLoginItem : public LoginItem
{
public:
    QStringList calls;
    QString failWith; ///< empty: every call succeeds
    std::function<void(const QString &call)> onCall;

    explicit FakeLoginItem(QString failure = QString()) : failWith(std::move(failure)) { }

    bool registerItem(QString &error) override { return answer(QStringLiteral("register"), error); }
    bool unregisterItem(QString &error) override { return answer(QStringLiteral("unregister"), error); }

private:
    bool answer(const QString &call, QString &error)
    {
        calls.append(call);
        if (onCall)
            onCall(call);
        if (failWith.isEmpty())
            return true;
        error = failWith;
        return false;
    }
};
