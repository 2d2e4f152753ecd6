#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>

/**
 * The panel bands of a sway session, for an application that runs through
 * XWayland: X11 sees no struts of Wayland panels, but sway shrinks each
 * output's workspace by the room its layer-shell panels (waybar) reserve.
 */
class SwayPanels
{
public:
    /** Asks the sway of $SWAYSOCK; empty when there is none or it does not answer at once. */
    static QList<QRect> query();

    /** The bands, from sway's answers to get_outputs and get_workspaces (JSON). */
    static QList<QRect> fromReplies(const QByteArray &outputs, const QByteArray &workspaces);
};
