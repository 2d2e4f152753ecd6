#include "CompositeEventStore.h"

#include "SystemEventStore.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <memory>

namespace {

int rank(AuthorizationStatus s)
{
    switch (s) {
    case AuthorizationStatus::fullAccess:
        return 4;
    // Not asked yet can still become full access; the refusals cannot.
    case AuthorizationStatus::notDetermined:
        return 3;
    case AuthorizationStatus::writeOnly:
        return 2;
    case AuthorizationStatus::denied:
        return 1;
    case AuthorizationStatus::restricted:
        return 0;
    }
    return 0;
}

QString canonical(const QString &path)
{
    const QFileInfo info(path);
    const QString real = info.canonicalFilePath();
    return real.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : real;
}

} // namespace

CompositeEventStore::CompositeEventStore(QObject *parent)
    : EventStore(parent)
{ }

std::unique_ptr<CompositeEventStore> CompositeEventStore::withSystemStore(
    std::unique_ptr<SystemEventStore> system, std::unique_ptr<EventStore> files)
{
    auto composite = std::make_unique<CompositeEventStore>();
    if (system) {
        SystemEventStore *service = system.release();
        composite->addStore(service);
        composite->setHiddenPathsProvider([service] { return service->localCalendarFiles(); });
    }
    if (files)
        composite->addStore(files.release());
    return composite;
}

AuthorizationStatus CompositeEventStore::better(AuthorizationStatus a, AuthorizationStatus b)
{
    return rank(a) >= rank(b) ? a : b;
}

void CompositeEventStore::addStore(EventStore *store, bool takeOwnership)
{
    if (!store || m_stores.contains(store))
        return;
    if (takeOwnership)
        store->setParent(this);
    m_stores.append(store);
    connect(store, &EventStore::changed, this, &CompositeEventStore::partChanged);
    m_hiddenStale = true;
}

void CompositeEventStore::setHiddenPathsProvider(std::function<QStringList()> provider)
{
    m_hiddenPathsProvider = std::move(provider);
    m_hiddenStale = true;
}

void CompositeEventStore::partChanged()
{
    m_hiddenStale = true;
    Q_EMIT changed();
}

bool CompositeEventStore::hasCalendarSources() const
{
    for (const EventStore *s : m_stores) {
        const AuthorizationStatus status = s->authorizationStatus();
        if (status == AuthorizationStatus::notDetermined
            || (status == AuthorizationStatus::fullAccess && s->hasCalendarSources()))
            return true;
    }
    return false;
}

AuthorizationStatus CompositeEventStore::authorizationStatus() const
{
    if (m_stores.isEmpty())
        return AuthorizationStatus::denied;
    AuthorizationStatus best = m_stores.first()->authorizationStatus();
    for (const EventStore *s : m_stores)
        best = better(best, s->authorizationStatus());
    return best;
}

void CompositeEventStore::requestFullAccess(AccessCompletion completion)
{
    // One grant is enough to show something, so the caller hears as soon as
    // any part grants, and hears "refused" only when every part has refused.
    struct Pending
    {
        AccessCompletion completion;
        int outstanding = 0;
        bool answered = false;
        QString firstError;
    };
    auto pending = std::make_shared<Pending>();
    pending->completion = std::move(completion);

    auto answer = [pending](bool granted) {
        if (pending->answered)
            return;
        pending->answered = true;
        if (pending->completion)
            pending->completion(granted, granted ? QString() : pending->firstError);
    };

    QList<EventStore *> toAsk;
    for (EventStore *s : m_stores) {
        const AuthorizationStatus status = s->authorizationStatus();
        if (status == AuthorizationStatus::fullAccess) {
            answer(true);
            return;
        }
        if (status == AuthorizationStatus::notDetermined)
            toAsk.append(s);
    }
    if (toAsk.isEmpty()) {
        answer(false);
        return;
    }
    pending->outstanding = int(toAsk.size());
    for (EventStore *s : toAsk) {
        s->requestFullAccess([pending, answer](bool granted, const QString &error) {
            --pending->outstanding;
            if (!granted && pending->firstError.isEmpty())
                pending->firstError = error;
            if (granted || pending->outstanding == 0)
                answer(granted);
        });
        if (pending->answered)
            break;
    }
}

bool CompositeEventStore::isHidden(const CalendarInfo *calendar)
{
    if (!calendar || m_hiddenPaths.isEmpty() || calendar->id.isEmpty())
        return false;
    const auto cached = m_hiddenById.constFind(calendar->id);
    if (cached != m_hiddenById.constEnd())
        return *cached;
    bool hidden = false;
    if (QDir::isAbsolutePath(calendar->id))
        hidden = m_hiddenPaths.contains(canonical(calendar->id));
    m_hiddenById.insert(calendar->id, hidden);
    return hidden;
}

EventList CompositeEventStore::events(const QDateTime &start, const QDateTime &end)
{
    if (m_hiddenStale) {
        m_hiddenStale = false;
        m_hiddenPaths.clear();
        m_hiddenById.clear();
        if (m_hiddenPathsProvider) {
            for (const QString &path : m_hiddenPathsProvider()) {
                const QString file = canonical(path);
                m_hiddenPaths.insert(file);
                // A folder that holds the file is the same calendar read as a collection.
                m_hiddenPaths.insert(QFileInfo(file).absolutePath());
            }
        }
    }
    EventList out;
    for (EventStore *s : m_stores) {
        const EventList part = s->events(start, end);
        if (m_hiddenPaths.isEmpty()) {
            out += part;
            continue;
        }
        for (const EventPtr &e : part)
            if (!isHidden(e->calendar.get()))
                out.append(e);
    }
    return out;
}
