#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

struct icalcomponent_impl;

/**
 * The one road from a calendar file's text to libical components.
 *
 * libical's own parser trusts its input in ways a reader of strangers'
 * invitations cannot: it stops at the first NUL byte, frees components
 * recursively (so deep nesting overflows the stack), slices unfolded lines
 * in 80-byte pieces that each rescan the rest of the text, and a small file
 * of multi-valued lines with many parameters costs gigabytes and seconds.
 * So the text is cut into unfolded lines here, in one linear pass, checked,
 * and handed to libical line by line; a file whose nesting or estimated
 * parse cost is beyond bounds is refused before libical sees it.
 *
 * Pure and safe on any thread.
 */
class IcsTextParser
{
public:
    struct ComponentFree
    {
        void operator()(icalcomponent_impl *component) const;
    };
    using ComponentPtr = std::unique_ptr<icalcomponent_impl, ComponentFree>;

    enum class Refusal : quint8 { none, tooDeep, tooCostly };

    struct Limits
    {
        /** Real calendars nest three deep (VCALENDAR, VEVENT, VALARM). */
        int maxDepth = 32;
        /**
         * Parse cost allowed for a file, in units of about a nanosecond of
         * libical's time: a fixed allowance plus an allowance per byte, so a
         * plain calendar of any size passes (it costs about 250 per byte) and
         * one whose cost is out of proportion to its size does not.
         */
        qint64 baseWork = 50'000'000;
        qint64 workPerByte = 2'000;
        /** The same for the memory libical would take, in bytes. */
        qint64 baseMemory = 64LL << 20;
        qint64 memoryPerByte = 64;
        qint64 maxMemory = 1LL << 30;
    };

    struct Result
    {
        ComponentPtr root; ///< null when nothing complete was read, or refused
        Refusal refusal = Refusal::none;
        qint64 estimatedWork = 0;
        qint64 estimatedMemory = 0;
        /** Why the file was refused, for the store's log; empty when it was not. */
        QString reason() const;
    };

    IcsTextParser() = default;
    explicit IcsTextParser(const Limits &limits);

    Result parse(const QByteArray &text) const;

    /**
     * The content lines libical is given: unfolded, NUL bytes dropped,
     * trailing white space cut, blank lines and END lines that close nothing
     * left out. Empty, with `refusal` set, when refused.
     */
    QList<QByteArray> contentLines(const QByteArray &text, Refusal *refusal = nullptr) const;

    /**
     * The same content lines, handed to `visit` one at a time without a copy
     * each; `visit` returns false to stop early. False when the text is
     * refused or a visit stopped; a look at the lines then proves nothing.
     */
    bool visitContentLines(const QByteArray &text, const std::function<bool(QByteArrayView line)> &visit) const;

    /**
     * Whether a rule's value has an INTERVAL above what libical holds; such
     * a rule is refused rather than read with its INTERVAL wrapped around.
     */
    static bool hasOutsizedInterval(QByteArrayView rule);

private:
    Limits m_limits;
};
