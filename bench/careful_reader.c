/*
 * The yardstick for the listing benchmarks: what a careful C programmer gets
 * from libical alone. Parses each .ics file under the given folders, resolves
 * zone names from the system zone database (the file's VTIMEZONE only for
 * names the database does not know), expands series with icalrecur_iterator
 * started near the window, applies EXDATEs and RECURRENCE-ID overrides, and
 * lists every day of the window with the events on it. Each file is freed as
 * soon as it is read; only the occurrences inside the window are kept.
 *
 * careful_reader [--from YYYY-MM-DD] [--days N] PATH...
 * Output, one line per event and day, sorted:
 *   DAY <TAB> START <TAB> END <TAB> TITLE
 * START and END are local ISO times with offset, or dates (END exclusive) for
 * all-day events. Times are shown in the zone of TZ.
 */
#define _GNU_SOURCE
#include <libical/ical.h>

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

struct occurrence
{
    long long day; /* days since the epoch of the listed day */
    int all_day;
    time_t start, end; /* timed events */
    long long start_day, end_day; /* all-day events, end exclusive */
    char *title;
};

static struct occurrence *found;
static size_t found_count, found_capacity;
static time_t window_start, window_end; /* local midnights */
static long long window_first_day, window_days;

/* Days since 1970-01-01 of a proleptic Gregorian date. */
static long long days_from_civil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = (unsigned)(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (long long)doe - 719468;
}

static void civil_from_days(long long z, int *y, int *m, int *d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = (unsigned)(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = (int)(doy - (153 * mp + 2) / 5 + 1);
    *m = (int)(mp < 10 ? mp + 3 : mp - 9);
    *y = (int)(yoe + era * 400 + (*m <= 2));
}

static long long local_day(time_t t)
{
    struct tm tm;
    localtime_r(&t, &tm);
    return days_from_civil(tm.tm_year + 1900, (unsigned)tm.tm_mon + 1, (unsigned)tm.tm_mday);
}

static time_t local_instant(int y, int mo, int d, int h, int mi, int s)
{
    struct tm tm = { 0 };
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return mktime(&tm);
}

/* Exchange's names of the zones the benchmark calendars use; a full table
 * would come from CLDR's windowsZones.xml. */
static const char *const windows_zones[][2] = {
    { "W. Europe Standard Time", "Europe/Berlin" },
    { "Romance Standard Time", "Europe/Paris" },
    { "GMT Standard Time", "Europe/London" },
    { "Eastern Standard Time", "America/New_York" },
    { "Central Standard Time", "America/Chicago" },
    { "Pacific Standard Time", "America/Los_Angeles" },
    { "Tokyo Standard Time", "Asia/Tokyo" },
    { "UTC", "UTC" },
};

/* Zone lookups repeat across files; libical searches its list linearly. */
struct zone_entry
{
    char *tzid;
    icaltimezone *zone;
};
static struct zone_entry zone_cache[256];
static size_t zone_cache_size;

static icaltimezone *system_zone(const char *tzid)
{
    for (size_t i = 0; i < zone_cache_size; ++i) {
        if (strcmp(zone_cache[i].tzid, tzid) == 0)
            return zone_cache[i].zone;
    }
    const char *name = tzid;
    for (size_t i = 0; i < sizeof windows_zones / sizeof windows_zones[0]; ++i) {
        if (strcmp(windows_zones[i][0], tzid) == 0) {
            name = windows_zones[i][1];
            break;
        }
    }
    icaltimezone *zone = NULL;
    if (strcmp(name, "UTC") == 0 || strcmp(name, "Etc/UTC") == 0 || strcmp(name, "GMT") == 0)
        zone = icaltimezone_get_utc_timezone();
    else if (name[0] == '/') {
        /* "/vendor/version/Region/City": the first tail the database knows. */
        for (const char *p = name; p && !zone; p = strchr(p + 1, '/'))
            zone = icaltimezone_get_builtin_timezone(p + 1);
    } else if (strchr(name, '/')) {
        zone = icaltimezone_get_builtin_timezone(name);
    }
    if (zone_cache_size < sizeof zone_cache / sizeof zone_cache[0]) {
        zone_cache[zone_cache_size].tzid = strdup(tzid);
        zone_cache[zone_cache_size].zone = zone;
        ++zone_cache_size;
    }
    return zone;
}

/* A time as written, with what it needs to become an instant. */
struct when
{
    struct icaltimetype t; /* zone stripped: wall time, or UTC when utc */
    int utc, all_day;
    icaltimezone *zone; /* NULL: floating (local) */
};

static struct when read_time(icalproperty *prop, icalcomponent *vcalendar)
{
    struct when w = { icaltime_null_time(), 0, 0, NULL };
    if (!prop)
        return w;
    icalvalue *value = icalproperty_get_value(prop);
    if (!value)
        return w;
    const icalvalue_kind kind = icalvalue_isa(value);
    if (kind == ICAL_DATETIME_VALUE || kind == ICAL_DATE_VALUE)
        w.t = icalvalue_get_datetime(value);
    else if (kind == ICAL_DATETIMEPERIOD_VALUE)
        w.t = icalvalue_get_datetimeperiod(value).time;
    else
        return w;
    if (icaltime_is_null_time(w.t) || !icaltime_is_valid_time(w.t) || w.t.year < 1 || w.t.month < 1
        || w.t.month > 12 || w.t.day < 1 || w.t.day > icaltime_days_in_month(w.t.month, w.t.year)) {
        w.t = icaltime_null_time();
        return w;
    }
    w.all_day = w.t.is_date;
    w.utc = icaltime_is_utc(w.t);
    w.t.zone = NULL;
    if (!w.all_day && !w.utc) {
        icalparameter *p = icalproperty_get_first_parameter(prop, ICAL_TZID_PARAMETER);
        const char *tzid = p ? icalparameter_get_tzid(p) : NULL;
        if (tzid && *tzid) {
            w.zone = system_zone(tzid);
            if (!w.zone)
                w.zone = icalcomponent_get_timezone(vcalendar, tzid);
            if (w.zone == icaltimezone_get_utc_timezone()) {
                w.zone = NULL;
                w.utc = 1;
            }
        }
    }
    return w;
}

static time_t instant_of(struct icaltimetype t, const struct when *how)
{
    if (how->utc)
        return icaltime_as_timet(t);
    if (how->zone)
        return icaltime_as_timet_with_zone(t, how->zone);
    return local_instant(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

static long long day_of(struct icaltimetype t)
{
    return days_from_civil(t.year, (unsigned)t.month, (unsigned)t.day);
}

static void keep(const struct occurrence *o)
{
    if (found_count == found_capacity) {
        found_capacity = found_capacity ? 2 * found_capacity : 1024;
        found = realloc(found, found_capacity * sizeof *found);
        if (!found) {
            perror("careful_reader");
            exit(1);
        }
    }
    found[found_count++] = *o;
}

/* Lists an occurrence on each day of the window it touches. */
static void emit(int all_day, time_t start, time_t end, long long start_day, long long end_day,
    const char *title)
{
    long long first, last;
    if (all_day) {
        if (end_day <= start_day)
            end_day = start_day + 1;
        first = start_day;
        last = end_day - 1;
    } else {
        if (end < start)
            end = start;
        if (!(start < window_end && (end > window_start || (end == start && start >= window_start))))
            return;
        first = local_day(start);
        last = end > start ? local_day(end - 1) : first;
    }
    if (first < window_first_day)
        first = window_first_day;
    if (last >= window_first_day + window_days)
        last = window_first_day + window_days - 1;
    for (long long day = first; day <= last; ++day) {
        struct occurrence o = { day, all_day, start, end, start_day, end_day, strdup(title ? title : "") };
        keep(&o);
    }
}

struct event_shape
{
    struct when start;
    int has_end_time;
    struct when end_time;
    int duration_seconds; /* timed events without DTEND */
    long long duration_days; /* all-day events */
};

static struct event_shape shape_of(icalcomponent *event, icalcomponent *vcalendar)
{
    struct event_shape s;
    memset(&s, 0, sizeof s);
    s.start = read_time(icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY), vcalendar);
    s.end_time = read_time(icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY), vcalendar);
    icalproperty *duration = icalcomponent_get_first_property(event, ICAL_DURATION_PROPERTY);
    s.duration_days = 1;
    if (!icaltime_is_null_time(s.end_time.t)) {
        if (s.start.all_day)
            s.duration_days = s.end_time.all_day ? day_of(s.end_time.t) - day_of(s.start.t) : 1;
        else
            s.has_end_time = 1;
    } else if (duration) {
        const struct icaldurationtype d = icalproperty_get_duration(duration);
        if (s.start.all_day)
            s.duration_days = (long long)(d.days + 7 * d.weeks);
        else
            s.duration_seconds = icaldurationtype_as_int(d);
    }
    if (s.duration_days < 1)
        s.duration_days = 1;
    return s;
}

/* One instance of a series at wall time t (in the series' zone). */
static void emit_instance(const struct event_shape *s, long long exact_seconds, struct icaltimetype t,
    const char *title)
{
    if (s->start.all_day) {
        const long long d = day_of(t);
        emit(1, 0, 0, d, d + s->duration_days, title);
    } else {
        const time_t start = instant_of(t, &s->start);
        emit(0, start, start + (time_t)exact_seconds, 0, 0, title);
    }
}

static int same_instance(const struct event_shape *s, struct icaltimetype a, const struct when *b)
{
    if (s->start.all_day || b->all_day)
        return day_of(a) == day_of(b->t);
    return instant_of(a, &s->start) == instant_of(b->t, b);
}

#define MAX_EXCLUDED 64

static void expand_master(icalcomponent *event, icalcomponent *vcalendar, struct when *excluded,
    size_t n_excluded)
{
    const struct event_shape s = shape_of(event, vcalendar);
    if (icaltime_is_null_time(s.start.t))
        return;
    const char *title = icalcomponent_get_summary(event);
    long long exact = s.duration_seconds;
    if (s.has_end_time)
        exact = (long long)(instant_of(s.end_time.t, &s.end_time) - instant_of(s.start.t, &s.start));
    if (exact < 0)
        exact = 0;

    icalproperty *rrule = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
    for (icalproperty *p = icalcomponent_get_first_property(event, ICAL_EXDATE_PROPERTY);
         p && n_excluded < MAX_EXCLUDED; p = icalcomponent_get_next_property(event, ICAL_EXDATE_PROPERTY)) {
        const struct when w = read_time(p, vcalendar);
        if (!icaltime_is_null_time(w.t))
            excluded[n_excluded++] = w;
    }
    int is_excluded = 0;
    for (size_t i = 0; i < n_excluded; ++i)
        is_excluded |= same_instance(&s, s.start.t, &excluded[i]);
    /* DTSTART is an occurrence whether or not the rule produces it. */
    if (!is_excluded)
        emit_instance(&s, exact, s.start.t, title);
    if (!rrule)
        return;

    struct icalrecurrencetype rule = icalproperty_get_rrule(rrule);
    if (rule.freq == ICAL_NO_RECURRENCE)
        return;
    /* Compare UNTIL as a wall time of the series, so that the iterator never
     * converts between zones itself. */
    if (!icaltime_is_null_time(rule.until) && icaltime_is_utc(rule.until) && !s.start.all_day
        && !s.start.utc) {
        const time_t until = icaltime_as_timet(rule.until);
        if (s.start.zone) {
            rule.until = icaltime_from_timet_with_zone(until, 0, s.start.zone);
        } else {
            struct tm tm;
            localtime_r(&until, &tm);
            rule.until = icaltime_null_time();
            rule.until.year = tm.tm_year + 1900;
            rule.until.month = tm.tm_mon + 1;
            rule.until.day = tm.tm_mday;
            rule.until.hour = tm.tm_hour;
            rule.until.minute = tm.tm_min;
            rule.until.second = tm.tm_sec;
        }
    }
    rule.until.zone = NULL;
    icalrecur_iterator *it = icalrecur_iterator_new(rule, s.start.t);
    if (!it)
        return;
    if (rule.count == 0) {
        /* Begin the event's length and two days before the window, in the
         * series' own wall time (the margin covers any zone offset, and a
         * floating series read as UTC), so that nothing overlapping it is missed. */
        const time_t from = window_start - (time_t)(s.start.all_day ? s.duration_days * 86400 : exact)
            - 2 * 86400;
        struct icaltimetype begin = icaltime_from_timet_with_zone(from, s.start.all_day, s.start.zone);
        begin.zone = NULL;
        if (icaltime_compare(begin, s.start.t) > 0)
            icalrecur_iterator_set_start(it, begin);
    }
    const long long last_day = window_first_day + window_days + 1;
    for (struct icaltimetype t = icalrecur_iterator_next(it); !icaltime_is_null_time(t);
         t = icalrecur_iterator_next(it)) {
        if (day_of(t) > last_day)
            break;
        if (icaltime_compare(t, s.start.t) == 0)
            continue;
        int skip = 0;
        for (size_t i = 0; i < n_excluded && !skip; ++i)
            skip = same_instance(&s, t, &excluded[i]);
        if (!skip)
            emit_instance(&s, exact, t, title);
    }
    icalrecur_iterator_free(it);
}

static void emit_single(icalcomponent *event, icalcomponent *vcalendar)
{
    const struct event_shape s = shape_of(event, vcalendar);
    if (icaltime_is_null_time(s.start.t))
        return;
    long long exact = s.duration_seconds;
    if (s.has_end_time)
        exact = (long long)(instant_of(s.end_time.t, &s.end_time) - instant_of(s.start.t, &s.start));
    emit_instance(&s, exact < 0 ? 0 : exact, s.start.t, icalcomponent_get_summary(event));
}

static void read_calendar(icalcomponent *vcalendar)
{
    /* Overrides first: they remove their instance from their master. */
    struct when excluded[MAX_EXCLUDED];
    icalcompiter i = icalcomponent_begin_component(vcalendar, ICAL_VEVENT_COMPONENT);
    for (icalcomponent *c; (c = icalcompiter_deref(&i)); icalcompiter_next(&i)) {
        if (icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY)) {
            const char *status = NULL;
            icalproperty *st = icalcomponent_get_first_property(c, ICAL_STATUS_PROPERTY);
            if (st)
                status = icalproperty_get_value_as_string(st);
            if (!status || strcmp(status, "CANCELLED") != 0)
                emit_single(c, vcalendar);
        }
    }
    i = icalcomponent_begin_component(vcalendar, ICAL_VEVENT_COMPONENT);
    for (icalcomponent *c; (c = icalcompiter_deref(&i)); icalcompiter_next(&i)) {
        if (icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY))
            continue;
        const char *uid = icalcomponent_get_uid(c);
        size_t n = 0;
        icalcompiter j = icalcomponent_begin_component(vcalendar, ICAL_VEVENT_COMPONENT);
        for (icalcomponent *o; (o = icalcompiter_deref(&j)) && n < MAX_EXCLUDED; icalcompiter_next(&j)) {
            icalproperty *rid = icalcomponent_get_first_property(o, ICAL_RECURRENCEID_PROPERTY);
            const char *ouid = icalcomponent_get_uid(o);
            if (rid && uid && ouid && strcmp(uid, ouid) == 0) {
                const struct when w = read_time(rid, vcalendar);
                if (!icaltime_is_null_time(w.t))
                    excluded[n++] = w;
            }
        }
        expand_master(c, vcalendar, excluded, n);
    }
}

static char *read_whole(const char *path)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return NULL;
    size_t size = 0, capacity = 8192;
    char *text = malloc(capacity);
    for (size_t n; text && (n = fread(text + size, 1, capacity - size - 1, f)) > 0;) {
        size += n;
        if (capacity - size - 1 == 0) {
            char *bigger = realloc(text, capacity * 2);
            if (!bigger) {
                free(text);
                text = NULL;
                break;
            }
            text = bigger;
            capacity *= 2;
        }
    }
    fclose(f);
    if (text)
        text[size] = 0;
    return text;
}

static size_t files_read;

static void read_file(const char *path)
{
    char *text = read_whole(path);
    if (!text)
        return;
    icalcomponent *root = icalparser_parse_string(text);
    free(text);
    if (!root)
        return;
    ++files_read;
    if (icalcomponent_isa(root) == ICAL_VCALENDAR_COMPONENT) {
        read_calendar(root);
    } else if (icalcomponent_isa(root) == ICAL_XROOT_COMPONENT) {
        icalcompiter i = icalcomponent_begin_component(root, ICAL_VCALENDAR_COMPONENT);
        for (icalcomponent *c; (c = icalcompiter_deref(&i)); icalcompiter_next(&i))
            read_calendar(c);
    }
    icalcomponent_free(root);
}

static int ends_with_ics(const char *name)
{
    const size_t n = strlen(name);
    return n > 4 && strcasecmp(name + n - 4, ".ics") == 0;
}

static void walk(const char *path, int depth)
{
    struct stat st;
    if (stat(path, &st) != 0)
        return;
    if (S_ISREG(st.st_mode)) {
        if (depth == 0 || ends_with_ics(path))
            read_file(path);
        return;
    }
    if (!S_ISDIR(st.st_mode) || depth > 2)
        return;
    DIR *dir = opendir(path);
    if (!dir)
        return;
    for (struct dirent *e; (e = readdir(dir));) {
        if (e->d_name[0] == '.')
            continue;
        char child[4096];
        if (snprintf(child, sizeof child, "%s/%s", path, e->d_name) >= (int)sizeof child)
            continue;
        walk(child, depth + 1);
    }
    closedir(dir);
}

static int by_day_then_start(const void *pa, const void *pb)
{
    const struct occurrence *a = pa, *b = pb;
    if (a->day != b->day)
        return a->day < b->day ? -1 : 1;
    if (a->all_day != b->all_day)
        return a->all_day ? -1 : 1;
    const long long sa = a->all_day ? a->start_day : (long long)a->start;
    const long long sb = b->all_day ? b->start_day : (long long)b->start;
    if (sa != sb)
        return sa < sb ? -1 : 1;
    return strcmp(a->title, b->title);
}

static void format_date(char *out, size_t size, long long day)
{
    int y, m, d;
    civil_from_days(day, &y, &m, &d);
    snprintf(out, size, "%04d-%02d-%02d", y, m, d);
}

static void format_local(char *out, size_t size, time_t t)
{
    struct tm tm;
    localtime_r(&t, &tm);
    const long offset = tm.tm_gmtoff;
    const long minutes = labs(offset) / 60;
    snprintf(out, size, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", tm.tm_year + 1900, tm.tm_mon + 1,
        tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
}

int main(int argc, char **argv)
{
    tzset();
    const time_t now = time(NULL);
    struct tm today;
    localtime_r(&now, &today);
    int y = today.tm_year + 1900, m = today.tm_mon + 1, d = today.tm_mday;
    window_days = 1;
    int first_path = 1;
    for (; first_path < argc && strncmp(argv[first_path], "--", 2) == 0; ++first_path) {
        if (strcmp(argv[first_path], "--from") == 0 && first_path + 1 < argc) {
            if (sscanf(argv[++first_path], "%d-%d-%d", &y, &m, &d) != 3) {
                fprintf(stderr, "careful_reader: --from wants YYYY-MM-DD\n");
                return 2;
            }
        } else if (strcmp(argv[first_path], "--days") == 0 && first_path + 1 < argc) {
            window_days = atoll(argv[++first_path]);
            if (window_days < 1 || window_days > 3660) {
                fprintf(stderr, "careful_reader: --days wants 1 to 3660\n");
                return 2;
            }
        } else {
            fprintf(stderr, "usage: careful_reader [--from YYYY-MM-DD] [--days N] PATH...\n");
            return 2;
        }
    }
    if (first_path >= argc) {
        fprintf(stderr, "usage: careful_reader [--from YYYY-MM-DD] [--days N] PATH...\n");
        return 2;
    }
    window_first_day = days_from_civil(y, (unsigned)m, (unsigned)d);
    int ey, em, ed;
    civil_from_days(window_first_day + window_days, &ey, &em, &ed);
    window_start = local_instant(y, m, d, 0, 0, 0);
    window_end = local_instant(ey, em, ed, 0, 0, 0);

    /* Broken files are skipped; libical's complaints would drown the listing. */
    icalerror_set_errors_are_fatal(0);
    icalerror_set_error_state(ICAL_PARSE_ERROR, ICAL_ERROR_NONFATAL);
    for (int i = first_path; i < argc; ++i)
        walk(argv[i], 0);

    if (found_count)
        qsort(found, found_count, sizeof *found, by_day_then_start);
    char day[16], a[96], b[96];
    for (size_t i = 0; i < found_count; ++i) {
        const struct occurrence *o = &found[i];
        format_date(day, sizeof day, o->day);
        if (o->all_day) {
            format_date(a, sizeof a, o->start_day);
            format_date(b, sizeof b, o->end_day);
        } else {
            format_local(a, sizeof a, o->start);
            format_local(b, sizeof b, o->end);
        }
        printf("%s\t%s\t%s\t%s\n", day, a, b, o->title);
        free(o->title);
    }
    free(found);
    for (size_t i = 0; i < zone_cache_size; ++i)
        free(zone_cache[i].tzid);
    icaltimezone_free_builtin_timezones();
    fprintf(stderr, "careful_reader: %zu files\n", files_read);
    return 0;
}
