#include "EdsEventStore.h"

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

// Invitations carry stray control characters; they would show as boxes.
QString cleanText(const char *s)
{
    QString text = utf8(s);
    text.removeIf([](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 && u != u'\n' && u != u'\t') || u == 0x7f;
    });
    return text;
}

QString takeUtf8(gchar *s)
{
    QString out = utf8(s);
    g_free(s);
    return out;
}

// Out-of-range dates make libical read past its tables, and the data
// comes from other people's invitations: nothing unchecked reaches it.
bool plausible(const ICalTime *t)
{
    if (!t || i_cal_time_is_null_time(t))
        return false;
    gint y = 0, m = 0, d = 0;
    i_cal_time_get_date(t, &y, &m, &d);
    if (y < 1 || y > 9999 || !QDate::isValid(y, m, d))
        return false;
    if (i_cal_time_is_date(t))
        return true;
    gint h = 0, mi = 0, s = 0;
    i_cal_time_get_time(t, &h, &mi, &s);
    return h >= 0 && h < 24 && mi >= 0 && mi < 60 && s >= 0 && s <= 60;
}

QDate dateOf(const ICalTime *t)
{
    gint y = 0, m = 0, d = 0;
    i_cal_time_get_date(t, &y, &m, &d);
    return QDate(y, m, d);
}

ICalTime *utcTime(const QDateTime &dt)
{
    return i_cal_time_new_from_timet_with_zone(dt.toSecsSinceEpoch(), 0, i_cal_timezone_get_utc_timezone());
}

bool overlaps(const CalendarEvent &e, const QDateTime &start, const QDateTime &end)
{
    return e.start < end && (e.end > start || (e.end == e.start && e.start >= start));
}

QString identifierFor(const QString &source, const QString &uid, const QString &rid)
{
    return QStringLiteral("eds:%1/%2/%3")
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(source)),
            QString::fromLatin1(QUrl::toPercentEncoding(uid)),
            QString::fromLatin1(QUrl::toPercentEncoding(rid)));
}

constexpr int kMaxInstancesPerQuery = 5000;
// Iterations the recurrence engine may spend before it reaches a window;
// FREQ=SECONDLY from years ago would otherwise freeze the popover.
constexpr qint64 kMaxRecurrenceSteps = 400'000;

} // namespace

struct EdsEventStore::Private
{
    struct Item
    {
        GRef<ICalComponent> comp;
        QString uid;
        QString rid;
        bool recurring = false;
        bool cancelled = false;
        QDate firstDate;
        std::vector<std::pair<qint64, int>> fastRules; ///< step in seconds and COUNT of sub-daily rules
        CalendarEvent fields; ///< what every occurrence shares
        EventPtr single; ///< non-recurring items, worked out once
        bool hasRidKey = false;
        qint64 ridKey = 0;
        QDate ridDate;
        bool ridIsDate = false;
        bool thisAndFuture = false; ///< RANGE=THISANDFUTURE: later occurrences follow this one
        bool stale = false; ///< kept from before a reconnection, not yet delivered again
        /// Occurrences of a series over [cachedFrom, cachedTo), in order;
        /// month steps are then served without running the rule again.
        EventList cached;
        QDateTime cachedFrom, cachedTo;
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
        bool singlesDirty = false;
        bool overridesDirty = true;
        int restarts = 0;
        bool pruneStale = false; ///< after a reconnection: drop what the new view does not deliver
        std::map<QString, Item> items;
        QHash<QString, QSet<qint64>> overrideKeys;
        QHash<QString, QSet<QDate>> overrideDates;
        QHash<QString, std::vector<const Item *>> futureOverrides; ///< by uid, in RECURRENCE-ID order
        QSet<QByteArray> requestedZones;
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
            const QColor color(takeUtf8(e_source_selectable_dup_color(ext)).trimmed());
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
                    (*it)->singlesDirty = true;
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
            fresh->overridesDirty = true;
            fresh->complete = true;
            *it = std::move(fresh);
        });
    }

    static void onObjectsUpserted(ECalClientView *, const GSList *objects, Source *s)
    {
        qCDebug(lcEds) << g_slist_length(const_cast<GSList *>(objects)) << "objects from" << s->info->name;
        for (const GSList *l = objects; l; l = l->next)
            s->owner->upsert(*s, static_cast<ICalComponent *>(l->data));
        s->overridesDirty = true;
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
        s->overridesDirty = true;
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
            s->overridesDirty = true;
        }
        s->complete = true;
        s->owner->scheduleChanged();
        s->owner->checkLoaded();
    }

    static void removeInvalid(ICalComponent *comp, ICalPropertyKind kind)
    {
        std::vector<ICalProperty *> bad;
        for (ICalProperty *p = i_cal_component_get_first_property(comp, kind); p;
             p = i_cal_component_get_next_property(comp, kind)) {
            GRef<ICalTime> t;
            if (kind == I_CAL_EXDATE_PROPERTY) {
                t.reset(i_cal_property_get_exdate(p));
            } else if (kind == I_CAL_RDATE_PROPERTY) {
                GRef<ICalDatetimeperiod> period(i_cal_property_get_rdate(p));
                t.reset(i_cal_datetimeperiod_get_time(period.get()));
                if (!t || i_cal_time_is_null_time(t.get())) {
                    GRef<ICalPeriod> pp(i_cal_datetimeperiod_get_period(period.get()));
                    t.reset(pp ? i_cal_period_get_start(pp.get()) : nullptr);
                }
            } else if (kind == I_CAL_RRULE_PROPERTY) {
                GRef<ICalRecurrence> rule(i_cal_property_get_rrule(p));
                GRef<ICalTime> until(rule ? i_cal_recurrence_get_until(rule.get()) : nullptr);
                if (rule && until && !i_cal_time_is_null_time(until.get()) && !plausible(until.get()))
                    bad.push_back(p);
                else
                    g_object_unref(p);
                continue;
            }
            if (!plausible(t.get()))
                bad.push_back(p);
            else
                g_object_unref(p);
        }
        for (ICalProperty *p : bad) {
            i_cal_component_remove_property(comp, p);
            g_object_unref(p);
        }
    }

    void upsert(Source &s, ICalComponent *incoming)
    {
        if (i_cal_component_isa(incoming) != I_CAL_VEVENT_COMPONENT)
            return;
        Item item;
        item.comp.reset(i_cal_component_clone(incoming));
        ICalComponent *comp = item.comp.get();
        item.uid = utf8(i_cal_component_get_uid(comp));
        item.rid = takeUtf8(e_cal_util_component_get_recurid_as_string(comp));
        const QString key = item.uid + QLatin1Char('\n') + item.rid;

        GRef<ICalTime> dtstart(i_cal_component_get_dtstart(comp));
        if (!plausible(dtstart.get())) {
            qCInfo(lcEds) << "skipping" << item.uid << "in" << s.info->name << ": no usable start";
            s.items.erase(key);
            return;
        }
        if (GRef<ICalProperty> dtend { i_cal_component_get_first_property(comp, I_CAL_DTEND_PROPERTY) }) {
            GRef<ICalTime> t(i_cal_property_get_dtend(dtend.get()));
            if (!plausible(t.get()))
                i_cal_component_remove_property(comp, dtend.get());
        }
        removeInvalid(comp, I_CAL_EXDATE_PROPERTY);
        removeInvalid(comp, I_CAL_RDATE_PROPERTY);
        removeInvalid(comp, I_CAL_RRULE_PROPERTY);

        if (!item.rid.isEmpty()) {
            GRef<ICalProperty> prop(i_cal_component_get_first_property(comp, I_CAL_RECURRENCEID_PROPERTY));
            GRef<ICalTime> rid(prop ? i_cal_property_get_recurrenceid(prop.get()) : nullptr);
            if (!plausible(rid.get())) {
                s.items.erase(key);
                return;
            }
            item.hasRidKey = true;
            item.ridIsDate = i_cal_time_is_date(rid.get());
            if (GRef<ICalParameter> range {
                    i_cal_property_get_first_parameter(prop.get(), I_CAL_RANGE_PARAMETER) })
                item.thisAndFuture = i_cal_parameter_get_range(range.get()) == I_CAL_RANGE_THISANDFUTURE;
            item.ridDate = dateOf(rid.get());
            if (!item.ridIsDate && !i_cal_time_is_utc(rid.get())) {
                GRef<ICalParameter> tz(i_cal_property_get_first_parameter(prop.get(), I_CAL_TZID_PARAMETER));
                i_cal_time_set_timezone(
                    rid.get(), tz ? zoneFor(s, i_cal_parameter_get_tzid(tz.get())) : nullptr);
            }
            item.ridKey = toDateTime(rid.get()).toMSecsSinceEpoch();
        } else {
            item.recurring = e_cal_util_component_has_recurrences(comp);
        }
        prefetchZones(s, comp);
        item.cancelled = i_cal_component_get_status(comp) == I_CAL_STATUS_CANCELLED;
        if (item.recurring) {
            if (!i_cal_time_is_date(dtstart.get()))
                untilDatesToMidnight(comp);
            item.firstDate = dateOf(dtstart.get());
            item.fastRules = subDailyRules(comp);
        }

        CalendarEvent &f = item.fields;
        f.calendar = s.info;
        f.sourceUid = s.uid;
        f.componentUid = item.uid;
        // A SUMMARY without text is an empty title, not a missing one.
        if (GRef<ICalProperty> summary { i_cal_component_get_first_property(comp, I_CAL_SUMMARY_PROPERTY) })
            f.title = cleanText(i_cal_component_get_summary(comp));
        else if (hadEmptySummary(comp))
            f.title = QString();
        f.location = cleanText(i_cal_component_get_location(comp));
        f.notes = cleanText(i_cal_component_get_description(comp));
        if (GRef<ICalProperty> url { i_cal_component_get_first_property(comp, I_CAL_URL_PROPERTY) })
            f.url = QUrl(utf8(i_cal_property_get_url(url.get())).trimmed());
        MeetingProperties::read(
            static_cast<icalcomponent *>(i_cal_object_get_native(I_CAL_OBJECT(comp))), f.meeting);

        auto &slot = s.items[key];
        slot = std::move(item);
        if (!slot.recurring)
            buildSingle(s, slot);
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
                    zoneFor(s, i_cal_parameter_get_tzid(tz.get()));
            }
        }
    }

    // libical drops a SUMMARY with no text and leaves a parse note in its
    // place; the service hands the component on in that form.
    static bool hadEmptySummary(ICalComponent *comp)
    {
        bool found = false;
        for (ICalProperty *p = i_cal_component_get_first_property(comp, I_CAL_XLICERROR_PROPERTY);
             p && !found; p = i_cal_component_get_next_property(comp, I_CAL_XLICERROR_PROPERTY)) {
            GRef<ICalProperty> prop(p);
            found = QByteArray(i_cal_property_get_xlicerror(p)).startsWith("No value for SUMMARY property");
        }
        return found;
    }

    // An UNTIL given as a date for a series of timed occurrences ends the
    // series when that day begins, in the series' own zone, as the files
    // store and the other calendar readers have it; libecal alone would
    // still count that day's occurrence.
    static void untilDatesToMidnight(ICalComponent *comp)
    {
        for (ICalProperty *p = i_cal_component_get_first_property(comp, I_CAL_RRULE_PROPERTY); p;
             p = i_cal_component_get_next_property(comp, I_CAL_RRULE_PROPERTY)) {
            GRef<ICalProperty> prop(p);
            GRef<ICalRecurrence> rule(i_cal_property_get_rrule(p));
            GRef<ICalTime> until(rule ? i_cal_recurrence_get_until(rule.get()) : nullptr);
            if (!until || i_cal_time_is_null_time(until.get()) || !i_cal_time_is_date(until.get()))
                continue;
            i_cal_time_set_is_date(until.get(), FALSE);
            i_cal_time_set_time(until.get(), 0, 0, 0);
            i_cal_recurrence_set_until(rule.get(), until.get());
            i_cal_property_set_rrule(p, rule.get());
        }
    }

    static std::vector<std::pair<qint64, int>> subDailyRules(ICalComponent *comp)
    {
        std::vector<std::pair<qint64, int>> out;
        for (ICalProperty *p = i_cal_component_get_first_property(comp, I_CAL_RRULE_PROPERTY); p;
             p = i_cal_component_get_next_property(comp, I_CAL_RRULE_PROPERTY)) {
            GRef<ICalProperty> prop(p);
            GRef<ICalRecurrence> rule(i_cal_property_get_rrule(p));
            if (!rule)
                continue;
            qint64 step = 0;
            switch (i_cal_recurrence_get_freq(rule.get())) {
            case I_CAL_SECONDLY_RECURRENCE:
                step = 1;
                break;
            case I_CAL_MINUTELY_RECURRENCE:
                step = 60;
                break;
            case I_CAL_HOURLY_RECURRENCE:
                step = 3600;
                break;
            default:
                continue;
            }
            out.emplace_back(step * qMax<qint64>(1, i_cal_recurrence_get_interval(rule.get())),
                i_cal_recurrence_get_count(rule.get()));
        }
        return out;
    }

    static bool tooManySteps(const Item &item, const QDateTime &windowEnd)
    {
        const qint64 span = qMax<qint64>(0, item.firstDate.daysTo(windowEnd.date()) + 1) * 86400;
        for (const auto &[step, count] : item.fastRules) {
            qint64 steps = span / step;
            if (count > 0)
                steps = qMin<qint64>(steps, count);
            if (steps > kMaxRecurrenceSteps)
                return true;
        }
        return false;
    }

    // libical's zone for a TZID. Names the system zone database knows (also
    // behind vendor prefixes, and Windows names) use its built-in zones, so
    // the answers match the files store; anything else is the VTIMEZONE the
    // calendar itself holds, fetched once in the background.
    ICalTimezone *zoneFor(Source &s, const char *tzid)
    {
        if (!tzid || !*tzid)
            return nullptr;
        const QTimeZone zone = ZoneResolver::systemZone(QByteArray(tzid));
        if (zone.isValid()) {
            if (zone == QTimeZone::utc() || zone.id() == "UTC")
                return i_cal_timezone_get_utc_timezone();
            if (ICalTimezone *builtin = i_cal_timezone_get_builtin_timezone(zone.id().constData()))
                return builtin;
        }
        if (s.client) {
            if (ICalTimezone *cached = e_timezone_cache_get_timezone(E_TIMEZONE_CACHE(s.client.get()), tzid))
                return cached;
            fetchZone(s, QByteArray(tzid));
        }
        return nullptr;
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
            s->singlesDirty = true;
            s->overridesDirty = true;
            s->owner->scheduleChanged();
        }
        s->owner->checkLoaded();
    }

    static ICalTimezone *resolveZone(const gchar *tzid, gpointer data, GCancellable *, GError **)
    {
        auto *s = static_cast<Source *>(data);
        return s->owner->zoneFor(*s, tzid);
    }

    static QDateTime toDateTime(const ICalTime *t)
    {
        gint y = 0, m = 0, d = 0, h = 0, mi = 0, sec = 0;
        i_cal_time_get_date(t, &y, &m, &d);
        const QDate date(y, m, d);
        if (i_cal_time_is_date(t))
            return QDateTime(date, QTime(0, 0));
        i_cal_time_get_time(t, &h, &mi, &sec);
        const QTime time(h, mi, qMin(sec, 59));
        ICalTimezone *zone = i_cal_time_get_timezone(t);
        // Instants are kept in UTC: every query compares thousands of them,
        // and comparing local times means a zone lookup each time.
        if (i_cal_time_is_utc(t) || zone == i_cal_timezone_get_utc_timezone())
            return QDateTime(date, time, Qt::UTC);
        if (!zone)
            return QDateTime(date, time).toUTC();
        // libical's zones are the system zone database here (or the
        // calendar's own VTIMEZONE), and converting with them is an order of
        // magnitude cheaper than a QTimeZone per occurrence.
        return QDateTime::fromSecsSinceEpoch(i_cal_time_as_timet_with_zone(t, zone), Qt::UTC);
    }

    struct Expansion
    {
        Source *source = nullptr;
        Item *item = nullptr;
        QDateTime start, end; ///< the exact window; invalid when building a single
        EventList *out = nullptr;
        int count = 0;
    };

    static gboolean onInstance(ICalComponent *, ICalTime *instanceStart, ICalTime *instanceEnd, gpointer data,
        GCancellable *, GError **)
    {
        auto *x = static_cast<Expansion *>(data);
        Item &item = *x->item;
        auto event = std::make_shared<CalendarEvent>(item.fields);
        event->allDay = i_cal_time_is_date(instanceStart);
        event->start = toDateTime(instanceStart);
        if (event->allDay) {
            QDate endDate = instanceEnd ? dateOf(instanceEnd) : QDate();
            if (!endDate.isValid() || endDate <= event->start.date())
                endDate = event->start.date().addDays(1);
            event->end = QDateTime(endDate, QTime(0, 0));
        } else {
            event->end = instanceEnd ? toDateTime(instanceEnd) : event->start;
            if (!event->end.isValid() || event->end < event->start)
                event->end = event->start;
        }
        if (!event->start.isValid())
            return TRUE;

        if (!x->out) { // a single event or a moved occurrence: the whole item
            event->recurrenceId = item.rid;
            event->identifier = identifierFor(x->source->uid, item.uid, item.rid);
            item.single = std::move(event);
            return FALSE;
        }
        const qint64 key = event->start.toMSecsSinceEpoch();
        const auto keys = x->source->overrideKeys.constFind(item.uid);
        if (keys != x->source->overrideKeys.constEnd() && keys->contains(key))
            return TRUE;
        const auto dates = x->source->overrideDates.constFind(item.uid);
        if (dates != x->source->overrideDates.constEnd() && dates->contains(dateOf(instanceStart)))
            return TRUE;
        if (!event->allDay) {
            // The latest "this and future" change before this occurrence moves
            // it by the same amount and gives it that change's length and text.
            const auto future = x->source->futureOverrides.constFind(item.uid);
            const Item *change = nullptr;
            if (future != x->source->futureOverrides.constEnd())
                for (const Item *candidate : *future)
                    if (candidate->ridKey < key)
                        change = candidate;
            if (change) {
                if (change->cancelled || !change->single)
                    return TRUE;
                const qint64 shift = change->single->start.toMSecsSinceEpoch() - change->ridKey;
                const qint64 length = change->single->start.msecsTo(change->single->end);
                const QDateTime start = event->start;
                *event = change->fields;
                event->start = start.addMSecs(shift);
                event->end = event->start.addMSecs(length);
            }
        }
        if (!overlaps(*event, x->start, x->end))
            return TRUE;
        event->recurrenceId = takeUtf8(i_cal_time_as_ical_string(instanceStart));
        event->identifier = identifierFor(x->source->uid, item.uid, event->recurrenceId);
        x->out->append(std::move(event));
        return ++x->count < kMaxInstancesPerQuery;
    }

    void buildSingle(Source &s, Item &item)
    {
        item.single.reset();
        if (item.cancelled)
            return;
        GRef<ICalTime> from(utcTime(QDateTime(QDate(1, 1, 2), QTime(0, 0), Qt::UTC)));
        GRef<ICalTime> to(utcTime(QDateTime(QDate(9999, 12, 30), QTime(0, 0), Qt::UTC)));
        Expansion x;
        x.source = &s;
        x.item = &item;
        GError *error = nullptr;
        e_cal_recur_generate_instances_sync(item.comp.get(), from.get(), to.get(), &Private::onInstance, &x,
            &Private::resolveZone, &s, nullptr, nullptr, &error);
        g_clear_error(&error);
    }

    void refresh(Source &s)
    {
        if (s.singlesDirty) {
            s.singlesDirty = false;
            for (auto &[key, item] : s.items) {
                item.fields.calendar = s.info;
                item.cached.clear();
                item.cachedFrom = item.cachedTo = QDateTime();
                if (!item.recurring)
                    buildSingle(s, item);
            }
        }
        if (s.overridesDirty) {
            s.overridesDirty = false;
            for (auto &[key, item] : s.items) {
                item.cached.clear();
                item.cachedFrom = item.cachedTo = QDateTime();
            }
            for (auto &list : s.futureOverrides)
                std::sort(list.begin(), list.end(),
                    [](const Item *a, const Item *b) { return a->ridKey < b->ridKey; });
            s.overrideKeys.clear();
            s.overrideDates.clear();
            s.futureOverrides.clear();
            for (const auto &[key, item] : s.items) {
                if (!item.hasRidKey)
                    continue;
                if (item.ridIsDate)
                    s.overrideDates[item.uid].insert(item.ridDate);
                else
                    s.overrideKeys[item.uid].insert(item.ridKey);
                if (item.thisAndFuture && !item.ridIsDate)
                    s.futureOverrides[item.uid].push_back(&item);
            }
        }
    }

    void expand(Source &s, Item &item, const QDateTime &start, const QDateTime &end, EventList &out)
    {
        if (item.cancelled)
            return;
        if (item.cachedFrom.isValid() && item.cachedFrom <= start && end <= item.cachedTo) {
            for (const EventPtr &e : std::as_const(item.cached))
                if (overlaps(*e, start, end))
                    out.append(e);
            return;
        }
        // The rule engine walks from the series' first start on every call,
        // so one wide walk costs about what a narrow one does: expand half a
        // year back and a year ahead, and keep it unless the series filled it.
        const QDateTime from = start.addMonths(-6), to = end.addMonths(12);
        EventList wide;
        const int count = expandWindow(s, item, from, to, wide);
        item.cached.clear();
        item.cachedFrom = item.cachedTo = QDateTime();
        if (count >= 0 && count < kMaxInstancesPerQuery) {
            item.cached = wide;
            item.cachedFrom = from;
            item.cachedTo = to;
            for (const EventPtr &e : std::as_const(wide))
                if (overlaps(*e, start, end))
                    out.append(e);
            return;
        }
        expandWindow(s, item, start, end, out);
    }

    /** Occurrences overlapping [start, end); the count, or -1 when the series was not expanded. */
    int expandWindow(Source &s, Item &item, const QDateTime &start, const QDateTime &end, EventList &out)
    {
        if (tooManySteps(item, end.addDays(2))) {
            qCInfo(lcEds) << "not expanding" << item.uid << "in" << s.info->name
                          << ": rule repeats too often";
            return -1;
        }
        // Widened by two days: all-day and floating occurrences are placed in
        // local time afterwards, and the window is cut exactly then.
        GRef<ICalTime> from(utcTime(start.addDays(-2)));
        GRef<ICalTime> to(utcTime(end.addDays(2)));
        Expansion x;
        x.source = &s;
        x.item = &item;
        x.start = start;
        x.end = end;
        x.out = &out;
        GError *error = nullptr;
        e_cal_recur_generate_instances_sync(item.comp.get(), from.get(), to.get(), &Private::onInstance, &x,
            &Private::resolveZone, &s, nullptr, nullptr, &error);
        g_clear_error(&error);
        return x.count;
    }

    EventList query(const QDateTime &localStart, const QDateTime &localEnd)
    {
        EventList out;
        if (status != AuthorizationStatus::fullAccess || !localStart.isValid() || !localEnd.isValid()
            || !(localStart < localEnd))
            return out;
        const QDateTime start = localStart.toUTC(), end = localEnd.toUTC();
        for (const auto &source : sources) {
            Source &s = *source;
            refresh(s);
            for (auto &[key, item] : s.items) {
                if (item.recurring)
                    expand(s, item, start, end, out);
                else if (item.single && overlaps(*item.single, start, end))
                    out.append(item.single);
            }
        }
        std::stable_sort(
            out.begin(), out.end(), [](const EventPtr &a, const EventPtr &b) { return a->start < b->start; });
        return out;
    }
};

EdsEventStore::EdsEventStore(QObject *parent)
    : EventStore(parent)
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
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(QDir(runtime).filePath(QStringLiteral("bus")));
}
