#pragma once

#include <QAbstractButton>

class QPainter;

/**
 * The keyboard side shared by Moriva's own buttons: Return and Enter click
 * them, and a focus ring shows only when focus came from the keyboard, so
 * mouse users never see it.
 */
class KeyboardButton : public QAbstractButton
{
    Q_OBJECT
public:
    using QAbstractButton::QAbstractButton;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

    bool showsFocusRing() const { return hasFocus() && m_keyboardFocus; }
    /** Strokes the ring along the rounded rectangle r, when it shows. */
    void paintFocusRing(QPainter &painter, const QRectF &r, qreal radius, qreal alpha = 0.6,
        qreal penWidth = 1.5) const;

private:
    bool m_keyboardFocus = false;
};
