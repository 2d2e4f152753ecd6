#pragma once

#include "LoginItem.h"

#include <QStringList>

/** A login item that records each call, and fails with the reason a test gives it. */
class FakeLoginItem : public LoginItem
{
public:
    QStringList calls;
    QString failWith; ///< empty: every call succeeds

    explicit FakeLoginItem(QString failure = QString()) : failWith(std::move(failure)) { }

    bool registerItem(QString &error) override { return answer(QStringLiteral("register"), error); }
    bool unregisterItem(QString &error) override { return answer(QStringLiteral("unregister"), error); }

private:
    bool answer(const QString &call, QString &error)
    {
        calls.append(call);
        if (failWith.isEmpty())
            return true;
        error = failWith;
        return false;
    }
};
