#pragma once

#include <QWidget>

/** The thin separator line between sections, in the palette's separator colour. */
class Divider : public QWidget
{
    Q_OBJECT
public:
    explicit Divider(QWidget *parent = nullptr);
    QSize sizeHint() const override { return QSize(1, 1); }

protected:
    void paintEvent(QPaintEvent *event) override;
};
