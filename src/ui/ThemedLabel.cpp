#include "ThemedLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QTextLayout>

ThemedLabel::ThemedLabel(
    const QString &text, qreal pixelSize, QFont::Weight weight, Theme::Tone tone, QWidget *parent)
    : QLabel(parent)
    , m_tone(tone)
{
    setFont(Theme::font(pixelSize, weight));
    setTextFormat(Qt::PlainText);
    // Without an explicit role a label draws with the role that goes with its
    // ancestors' background: under the popover's Base background that is Text,
    // at full strength, and the tone set on WindowText would never show.
    setForegroundRole(QPalette::WindowText);
    setText(text);
    applyTone();
}

void ThemedLabel::setTone(Theme::Tone tone)
{
    if (m_tone == tone)
        return;
    m_tone = tone;
    applyTone();
}

QString ThemedLabel::capped(const QString &text)
{
    if (text.size() <= maxCharacters)
        return text;
    qsizetype cut = maxCharacters;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut) + QChar(0x2026);
}

void ThemedLabel::setMaximumLines(int lines)
{
    m_maxLines = qMax(0, lines);
    setWordWrap(false);
    setText(m_fullText);
}

void ThemedLabel::setText(const QString &text)
{
    m_fullText = text;
    if (m_maxLines == 0) {
        QLabel::setText(text);
        return;
    }
    m_flatText = capped(text);
    m_flatText.replace(QLatin1String("\r\n"), QLatin1String(" "));
    for (QChar &c : m_flatText) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t')
            || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    updateGeometry();
    applyLines();
}

QStringList ThemedLabel::linesFor(int lineWidth) const
{
    if (m_flatText.isEmpty())
        return { QString() };
    const QFontMetrics metrics = fontMetrics();
    lineWidth = qMax(1, lineWidth);
    QTextLayout layout(m_flatText, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(lineWidth);
        if (lines.size() == m_maxLines - 1) {
            // The last line allowed takes the rest, elided if it is longer.
            const QString rest = m_flatText.mid(line.textStart());
            lines.append(metrics.elidedText(rest, Qt::ElideRight, lineWidth));
            break;
        }
        lines.append(m_flatText.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines;
}

QStringList ThemedLabel::shownLines() const
{
    return QLabel::text().split(QLatin1Char('\n'));
}

int ThemedLabel::marginsWidth() const
{
    return contentsMargins().left() + contentsMargins().right() + 2 * margin();
}

int ThemedLabel::marginsHeight() const
{
    return contentsMargins().top() + contentsMargins().bottom() + 2 * margin();
}

QSize ThemedLabel::sizeHint() const
{
    if (m_maxLines == 0)
        return QLabel::sizeHint();
    const int oneLine = fontMetrics().horizontalAdvance(m_flatText) + marginsWidth();
    return QSize(oneLine, heightForWidth(oneLine));
}

QSize ThemedLabel::minimumSizeHint() const
{
    if (m_maxLines == 0)
        return QLabel::minimumSizeHint();
    return QSize(0, fontMetrics().height() + marginsHeight());
}

bool ThemedLabel::hasHeightForWidth() const
{
    return m_maxLines > 0 || QLabel::hasHeightForWidth();
}

int ThemedLabel::heightForWidth(int w) const
{
    if (m_maxLines == 0)
        return QLabel::heightForWidth(w);
    const qsizetype lines = linesFor(w - marginsWidth()).size();
    return fontMetrics().height() + int(lines - 1) * fontMetrics().lineSpacing() + marginsHeight();
}

void ThemedLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange) && !m_applying)
        applyTone();
    if (event->type() == QEvent::FontChange && m_maxLines > 0)
        applyLines();
}

void ThemedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    if (m_maxLines > 0)
        applyLines();
}

void ThemedLabel::applyTone()
{
    // The tone is derived from the palette the label inherits, not from its
    // own (which already carries the previous tone).
    const QPalette inherited = parentWidget() ? parentWidget()->palette() : QPalette();
    QPalette own = palette();
    const QColor color = Theme::color(inherited, m_tone);
    if (own.color(QPalette::WindowText) == color && own.isBrushSet(QPalette::Active, QPalette::WindowText))
        return;
    m_applying = true;
    for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
        own.setColor(group, QPalette::WindowText, color);
    setPalette(own);
    m_applying = false;
}

void ThemedLabel::applyLines()
{
    const QString shown = linesFor(width() - marginsWidth()).join(QLatin1Char('\n'));
    if (QLabel::text() != shown)
        QLabel::setText(shown);
}
