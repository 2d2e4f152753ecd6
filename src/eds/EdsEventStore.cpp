#include "EdsEventStore.h"

#include "ComponentReader.h"
#include "EventIndex.h"
#include "IcsFileReader.h"
#include "LocalZone.h"
#include "SystemStoreModule.h"
#include "ZoneResolver.h"

#include <libecal/libecal.h>
#include <libedataserver/libedataserver.h>

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <map>
#include <vector>

Q_LOGGING_CATEGORY(lcEds, "moriva.eds", QtWarningMsg)

namespace {

struct GObjectUnref
{
    void operator()(gpointer p) const
    {
        if (p)
            g_object_unref(p);
    }
};
template<class T> using GRef = std::unique_ptr<T, GObjectUnref>;

// Drops a reference on a later turn of the main loop. Tearing a view or a
// client down while its D-Bus calls are still being dispatched makes libecal
// touch freed objects; a second later nothing of them is in flight.
void releaseLater(gpointer object)
{
    if (!object)
        return;
    g_timeout_add_seconds_full(
        G_PRIORITY_LOW, 1,
        [](gpointer p) -> gboolean {
            g_object_unref(p);
            return G_SOURCE_REMOVE;
        },
        object, nullptr);
}

QString utf8(const char *s)
{
    return s ? QString::fromUtf8(s) : QString();
}

QString takeUtf8(gchar *s)
{
    QString out = utf8(s);
    g_free(s);
    return out;
}

QString identifierFor(const QString &source, const QString &uid, const QString &rid)
{
    return QStringLiteral("eds:%1/%2/%3")
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(source)),
            QString::fromLatin1(QUrl::toPercentEncoding(uid)),
            QString::fromLatin1(QUrl::toPercentEncoding(rid)));
}

} // namespace

struct EdsEventStore::Private
{
    struct Item
    {
        GRef<ICalComponent> comp;
        QString uid;
        QString rid;
        bool stale = false; ///< kept from before a reconnection, not yet delivered again
    };

    struct Source
    {
        Private *owner = nullptr;
        quint64 serial = 0;
        QString uid;
        GRef<ESource> source;
        std::shared_ptr<const CalendarInfo> info;
        GRef<GCancellable> cancellable { g_cancellable_new() };
        GRef<ECalClient> client;
        GRef<ECalClientView> view;
        bool complete = false;
        bool dirty = true; ///< the items changed since the index was built
        int restarts = 0;
        bool pruneStale = false; ///< after a reconnection: drop what the new view does not deliver
        std::map<QString, Item> items;
        std::shared_ptr<EventIndex> index;
        QSet<QByteArray> requestedZones;
        /** The calendar's own zone definitions, read once each. */
        QHash<QByteArray, ZoneResolver::DefinedZone> definedZones;
        int zoneFetches = 0; ///< zones asked for and not yet answered

        ~Source()
        {
            g_cancellable_cancel(cancellable.get());
            if (view) {
                g_signal_handlers_disconnect_by_data(view.get(), this);
                e_cal_client_view_stop(view.get(), nullptr);
            }
            if (client)
                g_signal_handlers_disconnect_by_data(client.get(), this);
            releaseLater(view.release());
            // A client that fetched a calendar's own time zones is kept for
            // the life of the process: finalizing it frees one of those
            // zones twice (libecal 3.46). Sources are rarely removed, so
            // this costs a few kilobytes at most.
            if (requestedZones.isEmpty())
                releaseLater(client.release());
            else
                (void)client.release();
        }
    };

    struct CallContext
    {
        QPointer<EdsEventStore> store;
        quint64 serial = 0;
        // The client stays alive until its call returns: libecal's own
        // bookkeeping of a call in flight still points into the client.
        GRef<GObject> hold;
    };

    EdsEventStore *q;
    GRef<GCancellable> cancellable { g_cancellable_new() };
    GRef<ESourceRegistry> registry;
    AuthorizationStatus status = AuthorizationStatus::notDetermined;
    std::vector<AccessCompletion> pendingAccess;
    std::vector<std::unique_ptr<Source>> sources; ///< in listing order
    quint64 nextSerial = 1;
    bool registryAnswered = false;
    bool loadedEmitted = false;
    QTimer changeTimer;
    QTimer syncTimer;

    explicit Private(EdsEventStore *store)
        : q(store)
    {
        changeTimer.setSingleShot(true);
        changeTimer.setInterval(50);
        QObject::connect(&changeTimer, &QTimer::timeout, q, [this] { Q_EMIT q->changed(); });
        syncTimer.setSingleShot(true);
        syncTimer.setInterval(0);
        QObject::connect(&syncTimer, &QTimer::timeout, q, [this] { syncSources(); });
    }

    ~Private()
    {
        g_cancellable_cancel(cancellable.get());
        sources.clear();
        if (registry)
            g_signal_handlers_disconnect_by_data(registry.get(), this);
        releaseLater(registry.release());
    }

    void start()
    {
        if (!EdsEventStore::sessionBusAvailable()) {
            QTimer::singleShot(0, q, [this] { registryFailed(QStringLiteral("no session bus")); });
            return;
        }
        e_source_registry_new(cancellable.get(), &Private::onRegistryReady, new CallContext { q, 0, {} });
    }

    static void onRegistryReady(GObject *, GAsyncResult *result, gpointer data)
    {
        std::unique_ptr<CallContext> ctx(static_cast<CallContext *>(data));
        GError *error = nullptr;
        GRef<ESourceRegistry> registry(e_source_registry_new_finish(result, &error));
        if (!ctx->store) {
            g_clear_error(&error);
            return;
        }
        Private *d = ctx->store->d.get();
        if (!registry) {
            const QString message = utf8(error ? error->message : nullptr);
            g_clear_error(&error);
            d->registryFailed(message);
            return;
        }
        d->registryReady(std::move(registry));
    }

    void registryFailed(const QString &why)
    {
        qCInfo(lcEds) << "calendar service not reachable:" << why;
        registryAnswered = true;
        status = AuthorizationStatus::denied;
        answerAccess(false, why);
        checkLoaded();
    }

    void registryReady(GRef<ESourceRegistry> reg)
    {
        registry = std::move(reg);
        registryAnswered = true;
        status = AuthorizationStatus::fullAccess;
        for (const char *signal :
            { "source-added", "source-removed", "source-enabled", "source-disabled", "source-changed" })
            g_signal_connect_swapped(registry.get(), signal, G_CALLBACK(&Private::onRegistryChanged), this);
        syncSources();
        answerAccess(true, QString());
        scheduleChanged();
        checkLoaded();
    }

    static void onRegistryChanged(Private *d) { d->syncTimer.start(); }

    void answerAccess(bool granted, const QString &error)
    {
        auto pending = std::move(pendingAccess);
        pendingAccess.clear();
        for (auto &completion : pending)
            if (completion)
                completion(granted, error);
    }

    void scheduleChanged()
    {
        if (!changeTimer.isActive())
            changeTimer.start();
    }

    bool isLoaded() const
    {
        if (!registryAnswered)
            return false;
        // Zones still on their way would place some events wrongly, so a
        // command that prints once waits for them too.
        return std::all_of(
            sources.begin(), sources.end(), [](const auto &s) { return s->complete && s->zoneFetches == 0; });
    }

    void checkLoaded()
    {
        if (!loadedEmitted && isLoaded()) {
            loadedEmitted = true;
            Q_EMIT q->loaded();
        }
    }

    Source *findSerial(quint64 serial) const
    {
        for (const auto &s : sources)
            if (s->serial == serial)
                return s.get();
        return nullptr;
    }

    static std::shared_ptr<const CalendarInfo> infoFor(ESource *source)
    {
        auto info = std::make_shared<CalendarInfo>();
        info->id = utf8(e_source_get_uid(source));
        info->name = utf8(e_source_get_display_name(source));
        if (e_source_has_extension(source, E_SOURCE_EXTENSION_CALENDAR)) {
            auto *ext = static_cast<ESourceSelectable *>(
                e_source_get_extension(source, E_SOURCE_EXTENSION_CALENDAR));
            const CalendarColor color
                = CalendarColor::fromString(takeUtf8(e_source_selectable_dup_color(ext)).trimmed());
            if (color.isValid())
                info->color = color;
        }
        return info;
    }

    // Enabled sources whose calendar the user has not hidden in the calendar
    // application; hiding one there hides it in the desktop's clock menus too.
    void syncSources()
    {
        if (!registry)
            return;
        struct Wanted
        {
            GRef<ESource> source;
            QString uid;
            QString name;
        };
        std::vector<Wanted> wanted;
        GList *list = e_source_registry_list_enabled(registry.get(), E_SOURCE_EXTENSION_CALENDAR);
        for (GList *l = list; l; l = l->next) {
            auto *source = static_cast<ESource *>(l->data);
            auto *ext = static_cast<ESourceSelectable *>(
                e_source_get_extension(source, E_SOURCE_EXTENSION_CALENDAR));
            if (!e_source_selectable_get_selected(ext))
                continue;
            wanted.push_back({ GRef<ESource>(static_cast<ESource *>(g_object_ref(source))),
                utf8(e_source_get_uid(source)), utf8(e_source_get_display_name(source)) });
        }
        g_list_free_full(list, g_object_unref);
        std::stable_sort(wanted.begin(), wanted.end(), [](const Wanted &a, const Wanted &b) {
            const int byName = QString::localeAwareCompare(a.name, b.name);
            return byName != 0 ? byName < 0 : a.uid < b.uid;
        });

        bool anyChange = false;
        std::vector<std::unique_ptr<Source>> next;
        for (auto &w : wanted) {
            auto it = std::find_if(
                sources.begin(), sources.end(), [&](const auto &s) { return s && s->uid == w.uid; });
            if (it != sources.end()) {
                auto info = infoFor(w.source.get());
                if (info->name != (*it)->info->name || info->color != (*it)->info->color) {
                    (*it)->info = info;
                    (*it)->dirty = true;
                    anyChange = true;
                }
                next.push_back(std::move(*it));
            } else {
                next.push_back(connectSource(std::move(w.source)));
                anyChange = true;
            }
        }
        for (auto &s : sources)
            if (s) {
                anyChange = true;
                s.reset();
            }
        sources = std::move(next);
        if (anyChange)
            scheduleChanged();
        checkLoaded();
    }

    std::unique_ptr<Source> connectSource(GRef<ESource> esource)
    {
        auto s = std::make_unique<Source>();
        s->owner = this;
        s->serial = nextSerial++;
        s->uid = utf8(e_source_get_uid(esource.get()));
        s->info = infoFor(esource.get());
        e_cal_client_connect(esource.get(), E_CAL_CLIENT_SOURCE_TYPE_EVENTS, 0, s->cancellable.get(),
            &Private::onClientConnected, new CallContext { q, s->serial, {} });
        s->source = std::move(esource);
        return s;
    }

    static void onClientConnected(GObject *, GAsyncResult *result, gpointer data)
    {
        std::unique_ptr<CallContext> ctx(static_cast<CallContext *>(data));
        GError *error = nullptr;
        GRef<EClient> client(e_cal_client_connect_finish(result, &error));
        Source *s = ctx->store ? ctx->store->d->findSerial(ctx->serial) : nullptr;
        if (!s) {
            g_clear_error(&error);
            return;
        }
        if (!client) {
            qCInfo(lcEds) << "calendar" << s->info->name
                          << "could not be opened:" << utf8(error ? error->message : nullptr);
            g_clear_error(&error);
            s->complete = true;
            s->owner->checkLoaded();
            return;
        }
        s->client.reset(E_CAL_CLIENT(client.release()));
        g_signal_connect_swapped(s->client.get(), "backend-died", G_CALLBACK(&Private::onBackendDied), s);
        e_cal_client_get_view(s->client.get(), "#t", s->cancellable.get(), &Private::onViewReady,
            new CallContext {
                ctx->store, ctx->serial, GRef<GObject>(G_OBJECT(g_object_ref(s->client.get()))) });
    }

    static void onViewReady(GObject *object, GAsyncResult *result, gpointer data)
    {
        std::unique_ptr<CallContext> ctx(static_cast<CallContext *>(data));
        GError *error = nullptr;
        ECalClientView *raw = nullptr;
        const bool ok = e_cal_client_get_view_finish(E_CAL_CLIENT(object), result, &raw, &error);
        GRef<ECalClientView> view(raw);
        Source *s = ctx->store ? ctx->store->d->findSerial(ctx->serial) : nullptr;
        if (!s) {
            g_clear_error(&error);
            return;
        }
        if (!ok || !view) {
            qCInfo(lcEds) << "calendar" << s->info->name
                          << "gave no view:" << utf8(error ? error->message : nullptr);
            g_clear_error(&error);
            s->complete = true;
            s->owner->checkLoaded();
            return;
        }
        s->view = std::move(view);
        g_signal_connect(s->view.get(), "objects-added", G_CALLBACK(&Private::onObjectsUpserted), s);
        g_signal_connect(s->view.get(), "objects-modified", G_CALLBACK(&Private::onObjectsUpserted), s);
        g_signal_connect(s->view.get(), "objects-removed", G_CALLBACK(&Private::onObjectsRemoved), s);
        g_signal_connect(s->view.get(), "complete", G_CALLBACK(&Private::onViewComplete), s);
        e_cal_client_view_set_flags(s->view.get(), E_CAL_CLIENT_VIEW_FLAGS_NOTIFY_INITIAL, nullptr);
        e_cal_client_view_start(s->view.get(), &error);
        if (error) {
            qCInfo(lcEds) << "calendar" << s->info->name << "view did not start:" << utf8(error->message);
            g_clear_error(&error);
            s->complete = true;
            s->owner->checkLoaded();
        }
    }

    static void onBackendDied(Source *s)
    {
        // The calendar factory crashed or was restarted: open the calendar
        // afresh, a few times at most, keeping what was shown meanwhile.
        Private *d = s->owner;
        const QString uid = s->uid;
        const int restarts = s->restarts + 1;
        qCInfo(lcEds) << "calendar backend of" << s->info->name << "died";
        if (restarts > 3)
            return;
        QTimer::singleShot(1000 * restarts, d->q, [d, uid, restarts] {
            auto it = std::find_if(
                d->sources.begin(), d->sources.end(), [&](const auto &x) { return x->uid == uid; });
            if (it == d->sources.end())
                return;
            auto fresh
                = d->connectSource(GRef<ESource>(static_cast<ESource *>(g_object_ref((*it)->source.get()))));
            fresh->restarts = restarts;
            fresh->items = std::move((*it)->items);
            for (auto &[key, item] : fresh->items)
                item.stale = true;
            fresh->pruneStale = true;
            fresh->dirty = true;
            fresh->complete = true;
            *it = std::move(fresh);
        });
    }

    static void onObjectsUpserted(ECalClientView *, const GSList *objects, Source *s)
    {
        qCDebug(lcEds) << g_slist_length(const_cast<GSList *>(objects)) << "objects from" << s->info->name;
        for (const GSList *l = objects; l; l = l->next)
            s->owner->upsert(*s, static_cast<ICalComponent *>(l->data));
        s->dirty = true;
        s->owner->scheduleChanged();
    }

    static void onObjectsRemoved(ECalClientView *, const GSList *ids, Source *s)
    {
        for (const GSList *l = ids; l; l = l->next) {
            auto *id = static_cast<const ECalComponentId *>(l->data);
            const QString uid = utf8(e_cal_component_id_get_uid(id));
            const QString rid = utf8(e_cal_component_id_get_rid(id));
            if (rid.isEmpty()) {
                // The whole series goes, with its moved occurrences.
                for (auto it = s->items.begin(); it != s->items.end();)
                    it = it->second.uid == uid ? s->items.erase(it) : std::next(it);
            } else {
                s->items.erase(uid + QLatin1Char('\n') + rid);
            }
        }
        s->dirty = true;
        s->owner->scheduleChanged();
    }

    static void onViewComplete(ECalClientView *, const GError *error, Source *s)
    {
        if (error)
            qCInfo(lcEds) << "calendar" << s->info->name << "completed with:" << utf8(error->message);
        else
            s->restarts = 0; // a calendar that loads again is healthy again
        if (s->pruneStale) {
            s->pruneStale = false;
            for (auto it = s->items.begin(); it != s->items.end();)
                it = it->second.stale ? s->items.erase(it) : std::next(it);
            s->dirty = true;
        }
        s->complete = true;
        s->owner->scheduleChanged();
        s->owner->checkLoaded();
    }

    // Every reading rule lives in the engine; here the component is only kept.
    void upsert(Source &s, ICalComponent *incoming)
    {
        if (i_cal_component_isa(incoming) != I_CAL_VEVENT_COMPONENT)
            return;
        Item item;
        item.comp.reset(i_cal_component_clone(incoming));
        item.uid = utf8(i_cal_component_get_uid(item.comp.get()));
        item.rid = takeUtf8(e_cal_util_component_get_recurid_as_string(item.comp.get()));
        prefetchZones(s, item.comp.get());
        const QString key = item.uid + QLatin1Char('\n') + item.rid;
        s.items[key] = std::move(item);
    }

    // Asks for every zone the component names now rather than when a query
    // first meets it, so the first answer is already placed right.
    void prefetchZones(Source &s, ICalComponent *comp)
    {
        for (ICalPropertyKind kind : { I_CAL_DTSTART_PROPERTY, I_CAL_DTEND_PROPERTY,
                 I_CAL_RECURRENCEID_PROPERTY, I_CAL_EXDATE_PROPERTY, I_CAL_RDATE_PROPERTY }) {
            for (ICalProperty *p = i_cal_component_get_first_property(comp, kind); p;
                 p = i_cal_component_get_next_property(comp, kind)) {
                GRef<ICalProperty> prop(p);
                GRef<ICalParameter> tz(i_cal_property_get_first_parameter(p, I_CAL_TZID_PARAMETER));
                if (tz)
                    zoneFor(s, i_cal_parameter_get_tzid(tz.get()), QDate(2000, 1, 1), QTime(0, 0));
            }
        }
    }

    // The zone a TZID names: the system zone database where it knows the
    // name (also behind vendor prefixes, and Windows names), as the files
    // store reads it; anything else is the VTIMEZONE the calendar itself
    // holds, fetched once in the background.
    QTimeZone zoneFor(Source &s, const char *tzid, QDate date, QTime time)
    {
        if (!tzid || !*tzid)
            return {};
        const QByteArray name(tzid);
        const QTimeZone zone = ZoneResolver::systemZone(name);
        if (zone.isValid() || !s.client)
            return zone;
        if (const auto it = s.definedZones.constFind(name); it != s.definedZones.constEnd())
            return it->zoneFor(date, time);
        if (ICalTimezone *cached = e_timezone_cache_get_timezone(E_TIMEZONE_CACHE(s.client.get()), tzid)) {
            GRef<ICalComponent> definition(i_cal_timezone_get_component(cached));
            if (!definition)
                return {};
            auto *native = static_cast<icalcomponent *>(i_cal_object_get_native(I_CAL_OBJECT(definition.get())));
            return s.definedZones.insert(name, ZoneResolver::DefinedZone(native))->zoneFor(date, time);
        }
        fetchZone(s, QByteArray(tzid));
        return {};
    }

    void fetchZone(Source &s, const QByteArray &tzid)
    {
        if (s.requestedZones.contains(tzid) || s.requestedZones.size() > 64)
            return;
        s.requestedZones.insert(tzid);
        ++s.zoneFetches;
        e_cal_client_get_timezone(s.client.get(), tzid.constData(), s.cancellable.get(),
            &Private::onZoneFetched,
            new CallContext { q, s.serial, GRef<GObject>(G_OBJECT(g_object_ref(s.client.get()))) });
    }

    static void onZoneFetched(GObject *object, GAsyncResult *result, gpointer data)
    {
        std::unique_ptr<CallContext> ctx(static_cast<CallContext *>(data));
        GError *error = nullptr;
        ICalTimezone *zone = nullptr;
        const bool ok = e_cal_client_get_timezone_finish(E_CAL_CLIENT(object), result, &zone, &error);
        g_clear_error(&error);
        Source *s = ctx->store ? ctx->store->d->findSerial(ctx->serial) : nullptr;
        if (!s)
            return;
        --s->zoneFetches;
        if (ok && zone) {
            s->dirty = true;
            s->owner->scheduleChanged();
        }
        s->owner->checkLoaded();
    }

    /** The engine's index of one calendar, rebuilt from its components after a change. */
    EventIndex &indexOf(Source &s)
    {
        if (!s.index || s.dirty) {
            s.dirty = false;
            EventIndex::Calendar calendar;
            calendar.info = s.info;
            calendar.wallTimeRecurrenceIds = true;
            calendar.identifier = [source = s.uid](const QString &uid, const QString &rid) {
                return identifierFor(source, uid, rid);
            };
            const ComponentReader::ZoneLookup zones
                = [this, &s](const QByteArray &tzid, QDate date, QTime time) {
                  return zoneFor(s, tzid.constData(), date, time);
              };
            for (const auto &[key, item] : s.items) {
                auto event = std::make_shared<IcsEvent>();
                auto *native = static_cast<icalcomponent *>(i_cal_object_get_native(I_CAL_OBJECT(item.comp.get())));
                if (!native || !ComponentReader::read(native, zones, *event)) {
                    qCInfo(lcEds) << "skipping" << item.uid << "in" << s.info->name << ": no usable start";
                    continue;
                }
                calendar.items.append({ std::move(event), item.uid });
            }
            s.index = std::make_shared<EventIndex>(QList<EventIndex::Calendar> { calendar }, EventIndex::Limits());
        }
        return *s.index;
    }

    EventList query(const QDateTime &start, const QDateTime &end)
    {
        EventList out;
        if (status != AuthorizationStatus::fullAccess || !start.isValid() || !end.isValid() || !(start < end))
            return out;
        LocalZone::refresh();
        for (const auto &source : sources)
            out += indexOf(*source).events(start, end);
        return out;
    }
};

EdsEventStore::EdsEventStore(QObject *parent)
    : SystemEventStore(parent)
    , d(std::make_unique<Private>(this))
{
    d->start();
}

EdsEventStore::~EdsEventStore() = default;

AuthorizationStatus EdsEventStore::authorizationStatus() const
{
    return d->status;
}

void EdsEventStore::requestFullAccess(AccessCompletion completion)
{
    if (!d->registryAnswered) {
        d->pendingAccess.push_back(std::move(completion));
        return;
    }
    if (completion)
        completion(d->status == AuthorizationStatus::fullAccess, QString());
}

EventList EdsEventStore::events(const QDateTime &start, const QDateTime &end)
{
    return d->query(start, end);
}

bool EdsEventStore::isLoaded() const
{
    return d->isLoaded();
}

QList<std::shared_ptr<const CalendarInfo>> EdsEventStore::calendars() const
{
    QList<std::shared_ptr<const CalendarInfo>> out;
    for (const auto &s : d->sources)
        out.append(s->info);
    return out;
}

QStringList EdsEventStore::localCalendarFiles() const
{
    QStringList out;
    for (const auto &s : d->sources) {
        ESource *source = s->source.get();
        auto *backend
            = static_cast<ESourceBackend *>(e_source_get_extension(source, E_SOURCE_EXTENSION_CALENDAR));
        if (qstrcmp(e_source_backend_get_backend_name(backend), "local") != 0)
            continue;
        QString path;
        if (e_source_has_extension(source, E_SOURCE_EXTENSION_LOCAL_BACKEND)) {
            auto *local = static_cast<ESourceLocal *>(
                e_source_get_extension(source, E_SOURCE_EXTENSION_LOCAL_BACKEND));
            if (GRef<GFile> file { e_source_local_dup_custom_file(local) })
                path = takeUtf8(g_file_get_path(file.get()));
        }
        if (path.isEmpty())
            path = QDir(utf8(e_get_user_data_dir()))
                       .filePath(QStringLiteral("calendar/%1/calendar.ics").arg(s->uid));
        out.append(path);
    }
    return out;
}

void EdsEventStore::setChangeCoalescingMs(int ms)
{
    d->changeTimer.setInterval(qMax(0, ms));
}

bool EdsEventStore::sessionBusAvailable()
{
    return SystemStoreModule::sessionBusReachable();
}
