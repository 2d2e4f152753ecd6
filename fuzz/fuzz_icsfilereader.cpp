// Feeds arbitrary bytes to the reader and expands whatever events survive,
// over a window around each start, as the store would for the popover.
#include "IcsFileReader.h"
#include "MeetingLink.h"
#include "IcsPrescan.h"
#include "IcsTextParser.h"
#include "RecurrenceExpander.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("TZ", "Europe/Berlin", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // Bounds small enough for inputs of a few KB to reach every refusal, and
    // to refuse halfway through feeding libical.
    IcsTextParser::Limits tight;
    tight.maxDepth = 4;
    tight.baseWork = 200'000;
    tight.workPerByte = 20;
    tight.baseMemory = 16'384;
    tight.memoryPerByte = 1;
    (void)IcsTextParser(tight).parse(bytes);
    const IcsFileContent content = IcsFileReader::parse(bytes);
    // A file the pre-scan vouches for holds only single events, within its
    // days and under its UIDs; anything else would vanish from a listing.
    const IcsPrescan::Result scan = IcsPrescan::scan(bytes);
    if (!scan.mustParse) {
        for (const IcsEvent &event : content.events) {
            const QDateTime start = event.start.toDateTime();
            const qint64 first = start.toUTC().date().toJulianDay();
            const qint64 last = event.endFor(start).toUTC().date().toJulianDay();
            if (!event.rules.isEmpty() || !event.rdates.isEmpty() || event.recurrenceId.isValid()
                || !scan.uids.contains(event.uid.toUtf8()) || first < scan.firstDay || last > scan.lastDay)
                std::abort();
        }
    }
    auto shared = std::make_shared<IcsFileContent>(content);
    for (const IcsEvent &event : shared->events) {
        const QDateTime start = event.start.toDateTime();
        if (!start.isValid())
            continue;
        (void)event.endFor(start);
        // Invitations are where hostile links arrive.
        CalendarEvent record;
        record.url = event.url;
        record.location = event.location;
        record.notes = event.description;
        record.meeting = event.meeting;
        (void)MeetingLink::find(record);
        RecurrenceExpander expander(std::shared_ptr<const IcsEvent>(shared, &event), 2000);
        for (const IcsEvent &other : shared->events)
            expander.addOverride(other.recurrenceId);
        const qint64 ms = start.toMSecsSinceEpoch();
        (void)expander.occurrences(ms - 86400000LL, ms + 60 * 86400000LL, 50);
        (void)expander.occurrences(ms + 1100 * 86400000LL, ms + 1142 * 86400000LL, 50);
    }
    return 0;
}
