#pragma once

#include "KeyboardButton.h"

/**
 * One choice in a chooser panel: its text across the full width, on an
 * accent-filled rounded background when it is the displayed value. No hover
 * look, only the pressed dimming of a plain button.
 */
class ChoiceButton : public KeyboardButton
{
    Q_OBJECT
public:
    ChoiceButton(const QString &text, qreal pixelSize, int verticalPadding, bool highlighted,
        QWidget *parent = nullptr);

    bool isHighlighted() const { return m_highlighted; }

    /** Room kept beside the text, in logical pixels. */
    static constexpr int horizontalPadding = 8;
    /** Text never shrinks below this to fit. */
    static constexpr int smallestPixelSize = 9;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_verticalPadding;
    bool m_highlighted;
};
