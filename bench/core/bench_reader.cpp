// Prints how long the file reader takes over inputs that once made it
// quadratic, crash or blow up, beside a plain calendar of similar size.
// Usage: bench_reader
#include "IcsFileReader.h"

#include <QElapsedTimer>

#include <cstdio>

namespace {

QByteArray calendar(const QByteArray &body)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\n" + body + "END:VCALENDAR\r\n";
}

QByteArray event(int i, const QByteArray &extra = {})
{
    return "BEGIN:VEVENT\r\nUID:" + QByteArray::number(i)
        + "\r\nDTSTART:20250303T100000Z\r\nSUMMARY:event\r\n" + extra + "END:VEVENT\r\n";
}

QByteArray folded(const QByteArray &line)
{
    QByteArray out = line.left(75);
    for (qsizetype i = 75; i < line.size(); i += 74)
        out.append("\r\n ").append(line.mid(i, 74));
    return out.append("\r\n");
}

void measure(const char *name, const QByteArray &text)
{
    QElapsedTimer timer;
    timer.start();
    const IcsFileContent content = IcsFileReader::parse(text);
    std::printf("%-34s %9.1f KB %9.1f ms  %5lld events  %s\n", name, double(text.size()) / 1024,
        double(timer.nsecsElapsed()) / 1e6, qint64(content.events.size()),
        content.refusal.isEmpty() ? "read" : qPrintable(QStringLiteral("refused: ") + content.refusal));
}

} // namespace

int main()
{
    QByteArray plain;
    for (int i = 0; i < 20'000; ++i)
        plain
            += event(i, "DESCRIPTION:Notes of a moderate length, as real ones are,\r\n and folded once.\r\n");
    measure("plain calendar, 20,000 events", calendar(plain));

    measure("8 MB inline attachment, folded",
        calendar(event(
            0, folded("ATTACH;VALUE=BINARY;ENCODING=BASE64:" + QByteArray("QUJD").repeated(2'000'000)))));

    measure("nested 300,000 deep",
        calendar(event(0) + QByteArray("BEGIN:X\r\n").repeated(300'000)
            + QByteArray("END:X\r\n").repeated(300'000)));

    const QByteArray copies = folded(
        "CATEGORIES" + QByteArray(";X=1").repeated(100) + ":" + QByteArray("a,").repeated(500) + "a");
    measure("multi-valued copies (322 KB)", calendar(event(0, copies.repeated(219))));

    measure("20,000 unreadable values", calendar(event(0, QByteArray("DTSTART:xx\r\n").repeated(20'000))));

    QByteArray zones, uses;
    for (int i = 0; i < 3000; ++i) {
        const QByteArray id = "Private " + QByteArray::number(i);
        const QByteArray winter = QString::asprintf("%+03d00", i % 25 - 12).toLatin1();
        const QByteArray summer = QString::asprintf("%+03d00", i % 25 - 11).toLatin1();
        zones += "BEGIN:VTIMEZONE\r\nTZID:" + id
            + "\r\nBEGIN:STANDARD\r\nDTSTART:16010101T030000\r\nTZOFFSETFROM:" + summer
            + "\r\nTZOFFSETTO:" + winter
            + "\r\nRRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10\r\nEND:STANDARD\r\nBEGIN:DAYLIGHT\r\nDTSTART:"
              "16010101T020000\r\nTZOFFSETFROM:"
            + winter + "\r\nTZOFFSETTO:" + summer
            + "\r\nRRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=3\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n";
        uses += "BEGIN:VEVENT\r\nUID:" + QByteArray::number(i) + "\r\nDTSTART;TZID=" + id
            + ":20250303T100000\r\nEND:VEVENT\r\n";
    }
    measure("3,000 private zones", calendar(zones + uses));
    return 0;
}
