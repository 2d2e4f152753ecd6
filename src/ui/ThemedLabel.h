#pragma once

#include "Theme.h"

#include <QLabel>

/**
 * A label whose text colour is a theme tone rather than a fixed colour, so it
 * follows a live change of the desktop's appearance without being rebuilt.
 */
class ThemedLabel : public QLabel
{
    Q_OBJECT
public:
    ThemedLabel(const QString &text, qreal pointSize, QFont::Weight weight, Theme::Tone tone,
        QWidget *parent = nullptr);

    Theme::Tone tone() const { return m_tone; }
    void setTone(Theme::Tone tone);
    /** Shows the text on one line, elided at the end when it does not fit. */
    void setElided(bool elided);
    void setText(const QString &text);
    QString fullText() const { return m_fullText; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyTone();
    void applyElision();

    Theme::Tone m_tone;
    QString m_fullText;
    bool m_elided = false;
    bool m_applying = false;
};
