#include "ThemedLabel.h"

#include <QEvent>
#include <QFontMetrics>

ThemedLabel::ThemedLabel(
    const QString &text, qreal pointSize, QFont::Weight weight, Theme::Tone tone, QWidget *parent)
    : QLabel(parent)
    , m_tone(tone)
{
    setFont(Theme::font(pointSize, weight));
    setTextFormat(Qt::PlainText);
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

void ThemedLabel::setElided(bool elided)
{
    m_elided = elided;
    setWordWrap(false);
    applyElision();
}

void ThemedLabel::setText(const QString &text)
{
    m_fullText = text;
    if (m_elided)
        applyElision();
    else
        QLabel::setText(text);
}

QSize ThemedLabel::sizeHint() const
{
    if (!m_elided)
        return QLabel::sizeHint();
    const int margins = contentsMargins().left() + contentsMargins().right() + 2 * margin();
    return QSize(fontMetrics().horizontalAdvance(m_fullText) + margins, QLabel::sizeHint().height());
}

QSize ThemedLabel::minimumSizeHint() const
{
    if (!m_elided)
        return QLabel::minimumSizeHint();
    return QSize(0, QLabel::minimumSizeHint().height());
}

void ThemedLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange) && !m_applying)
        applyTone();
    if (event->type() == QEvent::FontChange && m_elided)
        applyElision();
}

void ThemedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    if (m_elided)
        applyElision();
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

void ThemedLabel::applyElision()
{
    const QString shown = fontMetrics().elidedText(m_fullText, Qt::ElideRight, qMax(0, width()));
    if (QLabel::text() != shown)
        QLabel::setText(shown);
}
