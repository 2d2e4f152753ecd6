#pragma once

#include "Theme.h"

#include <QLabel>

/**
 * A label whose text colour is a theme tone rather than a fixed colour, so it
 * follows a live change of the desktop's appearance without being rebuilt.
 * It can also wrap its text to a few lines and elide what does not fit.
 */
class ThemedLabel : public QLabel
{
    Q_OBJECT
public:
    ThemedLabel(const QString &text, qreal pixelSize, QFont::Weight weight, Theme::Tone tone,
        QWidget *parent = nullptr);

    Theme::Tone tone() const { return m_tone; }
    void setTone(Theme::Tone tone);
    /**
     * Wraps the text at word boundaries to at most lines lines of the label's
     * width and ends the last with "…" when more would be needed; line breaks
     * in the text read as spaces. 0 gives back plain label behaviour.
     */
    void setMaximumLines(int lines);
    int maximumLines() const { return m_maxLines; }
    void setText(const QString &text);
    QString fullText() const { return m_fullText; }
    /** The lines as shown at the current width. */
    QStringList shownLines() const;

    /** Text beyond this many characters is dropped before any measuring or shaping. */
    static constexpr int maxCharacters = 1000;
    /** text cut to maxCharacters (never inside a surrogate pair) with "…" when it was longer. */
    static QString capped(const QString &text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int w) const override;

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyTone();
    void applyLines();
    QStringList linesFor(int lineWidth) const;
    int marginsWidth() const;
    int marginsHeight() const;

    Theme::Tone m_tone;
    QString m_fullText;
    QString m_flatText;
    int m_maxLines = 0;
    bool m_applying = false;
};
