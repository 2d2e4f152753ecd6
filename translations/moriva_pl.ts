<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pl_PL">
<context>
    <name>ContentView</name>
    <message>
        <source>Previous month</source>
        <translation>Poprzedni miesiąc</translation>
    </message>
    <message>
        <source>Next month</source>
        <translation>Następny miesiąc</translation>
    </message>
    <message>
        <source>Today</source>
        <translation>Dzisiaj</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Ustawienia</translation>
    </message>
    <message>
        <source>Year %1, choose year</source>
        <translation>Rok %1, wybierz rok</translation>
    </message>
    <message>
        <source>%1, choose month</source>
        <translation>%1, wybierz miesiąc</translation>
    </message>
    <message>
        <source>Month</source>
        <translation>Miesiąc</translation>
    </message>
</context>
<context>
    <name>DayCell</name>
    <message>
        <source>, has events</source>
        <translation>, ma wydarzenia</translation>
    </message>
</context>
<context>
    <name>EventRow</name>
    <message>
        <source>Untitled Event</source>
        <translation>Wydarzenie bez tytułu</translation>
    </message>
    <message>
        <source>All Day</source>
        <translation>Cały dzień</translation>
    </message>
    <message>
        <source>Join %1</source>
        <translation type="vanished">Dołącz: %1</translation>
    </message>
    <message>
        <source>Open %1</source>
        <translation>Otwórz %1</translation>
    </message>
</context>
<context>
    <name>EventSection</name>
    <message>
        <source>No events</source>
        <translation>Brak wydarzeń</translation>
    </message>
    <message>
        <source>Open Calendar Folder</source>
        <translation>Otwórz folder kalendarzy</translation>
    </message>
    <message>
        <source>Events</source>
        <translation>Wydarzenia</translation>
    </message>
    <message>
        <source>No calendars yet. Put calendar files in
%1
Desktop calendar accounts appear by themselves.</source>
        <translation>Brak kalendarzy. Umieść pliki kalendarzy w
%1
Konta kalendarzy pulpitu pojawią się same.</translation>
    </message>
</context>
<context>
    <name>MeetingLink</name>
    <message>
        <source>Join %1</source>
        <translation>Dołącz: %1</translation>
    </message>
</context>
<context>
    <name>MeetingNotifier</name>
    <message>
        <source>Starts at %1 · %2</source>
        <translation>Początek o %1 · %2</translation>
    </message>
    <message>
        <source>Join</source>
        <translation>Dołącz</translation>
    </message>
</context>
<context>
    <name>MeetingSchedule</name>
    <message>
        <source>Untitled Event</source>
        <translation type="vanished">Wydarzenie bez tytułu</translation>
    </message>
    <message numerus="yes">
        <source>%1 in %n min</source>
        <translation>
            <numerusform>%1 za %n min</numerusform>
            <numerusform>%1 za %n min</numerusform>
            <numerusform>%1 za %n min</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 in %n h</source>
        <translation>
            <numerusform>%1 za %n godz.</numerusform>
            <numerusform>%1 za %n godz.</numerusform>
            <numerusform>%1 za %n godz.</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 in %2 h %3 min</source>
        <translation>%1 za %2 godz. %3 min</translation>
    </message>
</context>
<context>
    <name>MonthGrid</name>
    <message>
        <source>Today</source>
        <translation>Dzisiaj</translation>
    </message>
    <message numerus="yes">
        <source>in %n days</source>
        <translation>
            <numerusform>za %n dzień</numerusform>
            <numerusform>za %n dni</numerusform>
            <numerusform>za %n dni</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n days ago</source>
        <translation>
            <numerusform>%n dzień temu</numerusform>
            <numerusform>%n dni temu</numerusform>
            <numerusform>%n dni temu</numerusform>
        </translation>
    </message>
    <message>
        <source>in 1 day</source>
        <translation type="vanished">za 1 dzień</translation>
    </message>
    <message>
        <source>1 day ago</source>
        <translation type="vanished">1 dzień temu</translation>
    </message>
    <message>
        <source>in %1 days</source>
        <translation type="vanished">za %1 dni</translation>
    </message>
    <message>
        <source>%1 days ago</source>
        <translation type="vanished">%1 dni temu</translation>
    </message>
</context>
<context>
    <name>MonthPickerView</name>
    <message>
        <source>Select Month</source>
        <translation>Wybierz miesiąc</translation>
    </message>
</context>
<context>
    <name>OverlayHost</name>
    <message>
        <source>Close panel</source>
        <translation>Zamknij panel</translation>
    </message>
</context>
<context>
    <name>PanelHeader</name>
    <message>
        <source>Close</source>
        <translation>Zamknij</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Settings</source>
        <translation>Ustawienia</translation>
    </message>
    <message>
        <source>Appearance</source>
        <translation>Wygląd</translation>
    </message>
    <message>
        <source>Week starts on</source>
        <translation>Początek tygodnia</translation>
    </message>
    <message>
        <source>Launch at login</source>
        <translation>Uruchamiaj po zalogowaniu</translation>
    </message>
    <message>
        <source>Show event dots</source>
        <translation>Pokazuj kropki wydarzeń</translation>
    </message>
    <message>
        <source>Moriva v1.0.0 (2026.08.26)</source>
        <translation>Moriva v1.0.0 (2026.08.26)</translation>
    </message>
    <message>
        <source>Remind before meetings</source>
        <translation>Przypominaj przed spotkaniami</translation>
    </message>
</context>
<context>
    <name>StatusBarController</name>
    <message>
        <source>Open Calendar</source>
        <translation>Otwórz kalendarz</translation>
    </message>
    <message>
        <source>Quit Moriva</source>
        <translation>Zakończ Moriva</translation>
    </message>
</context>
<context>
    <name>YearPickerView</name>
    <message>
        <source>Select Year</source>
        <translation>Wybierz rok</translation>
    </message>
</context>
</TS>
