#pragma once

#include <QAbstractButton>

/**
 * One choice in a chooser panel: its text across the full width, on an
 * accent-filled rounded background when it is the displayed value. No hover
 * look, only the pressed dimming of a plain button.
 */
class ChoiceButton : public QAbstractButton
{
    Q_OBJECT
public:
    ChoiceButton(const QString &text, qreal pointSize, int verticalPadding, bool highlighted,
        QWidget *parent = nullptr);

    bool isHighlighted() const { return m_highlighted; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    bool m_keyboardFocus = false;
    int m_verticalPadding;
    bool m_highlighted;
};
