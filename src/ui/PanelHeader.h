#pragma once

#include <QWidget>

class PlainButton;
class ThemedLabel;

/** The title bar of a panel: its title at the left, the circled-cross close button at the right. */
class PanelHeader : public QWidget
{
    Q_OBJECT
public:
    /** closeGlyphPixelSize: the size of the close symbol, which differs between panels. */
    PanelHeader(const QString &title, qreal closeGlyphPixelSize, const QString &objectNamePrefix,
        QWidget *parent = nullptr);

    PlainButton *closeButton() const { return m_close; }

    /** The panels' standard inner padding. */
    static constexpr int defaultPadding = 12;

Q_SIGNALS:
    void closeClicked();

private:
    ThemedLabel *m_title;
    PlainButton *m_close;
};
