#pragma once

#include "CalendarEvent.h"

/** Shows an event in the user's calendar application, or at least starts it. */
class CalendarAppLauncher
{
public:
    virtual ~CalendarAppLauncher() = default;
    virtual void showEvent(const CalendarEvent &event) = 0;
};
