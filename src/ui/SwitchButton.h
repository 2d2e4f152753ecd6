#pragma once

#include "KeyboardButton.h"

/** An on/off switch: a pill-shaped track in the accent colour when on, with a round knob. */
class SwitchButton : public KeyboardButton
{
    Q_OBJECT
public:
    explicit SwitchButton(QWidget *parent = nullptr);

    QSize sizeHint() const override { return QSize(32, 18); }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;

private:
};
