<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pl_PL">
<context>
    <name>ContentView</name>
    <message>
        <source>Previous month</source>
        <translation type="vanished">Poprzedni miesiąc</translation>
    </message>
    <message>
        <source>Next month</source>
        <translation type="vanished">Następny miesiąc</translation>
    </message>
    <message>
        <source>Today</source>
        <translation type="vanished">Dzisiaj</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation type="vanished">Ustawienia</translation>
    </message>
    <message>
        <source>Year %1, choose year</source>
        <translation type="vanished">Rok %1, wybierz rok</translation>
    </message>
    <message>
        <source>%1, choose month</source>
        <translation type="vanished">%1, wybierz miesiąc</translation>
    </message>
    <message>
        <source>Month</source>
        <translation type="vanished">Miesiąc</translation>
    </message>
</context>
<context>
    <name>DayCell</name>
    <message>
        <source>, has events</source>
        <translation type="vanished">, ma wydarzenia</translation>
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
        <translation type="vanished">Otwórz %1</translation>
    </message>
</context>
<context>
    <name>EventSection</name>
    <message>
        <source>No events</source>
        <translation type="vanished">Brak wydarzeń</translation>
    </message>
    <message>
        <source>Open Calendar Folder</source>
        <translation type="vanished">Otwórz folder kalendarzy</translation>
    </message>
    <message>
        <source>Events</source>
        <translation type="vanished">Wydarzenia</translation>
    </message>
    <message>
        <source>No calendars yet. Put calendar files in
%1
Desktop calendar accounts appear by themselves.</source>
        <translation type="vanished">Brak kalendarzy. Umieść pliki kalendarzy w
%1
Konta kalendarzy pulpitu pojawią się same.</translation>
    </message>
</context>
<context>
    <name>MeetingLink</name>
    <message>
        <source>Join %1</source>
        <translation type="vanished">Dołącz: %1</translation>
    </message>
</context>
<context>
    <name>MeetingNotifier</name>
    <message>
        <source>Starts at %1 · %2</source>
        <translation type="vanished">Początek o %1 · %2</translation>
    </message>
    <message>
        <source>Join</source>
        <translation type="vanished">Dołącz</translation>
    </message>
</context>
<context>
    <name>MeetingSchedule</name>
    <message>
        <source>Untitled Event</source>
        <translation type="vanished">Wydarzenie bez tytułu</translation>
    </message>
    <message>
        <source>%1 in %n min</source>
        <translation type="vanished">%1 za %n min</translation>
    </message>
    <message>
        <source>%1 in %n h</source>
        <translation type="vanished">%1 za %n godz.</translation>
    </message>
    <message>
        <source>%1 in %2 h %3 min</source>
        <translation type="vanished">%1 za %2 godz. %3 min</translation>
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
        <translation type="vanished">Wybierz miesiąc</translation>
    </message>
</context>
<context>
    <name>OverlayHost</name>
    <message>
        <source>Close panel</source>
        <translation type="vanished">Zamknij panel</translation>
    </message>
</context>
<context>
    <name>PanelHeader</name>
    <message>
        <source>Close</source>
        <translation type="vanished">Zamknij</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Settings</source>
        <translation type="vanished">Ustawienia</translation>
    </message>
    <message>
        <source>Appearance</source>
        <translation type="vanished">Wygląd</translation>
    </message>
    <message>
        <source>Week starts on</source>
        <translation type="vanished">Początek tygodnia</translation>
    </message>
    <message>
        <source>Launch at login</source>
        <translation type="vanished">Uruchamiaj po zalogowaniu</translation>
    </message>
    <message>
        <source>Show event dots</source>
        <translation type="vanished">Pokazuj kropki wydarzeń</translation>
    </message>
    <message>
        <source>Moriva v1.0.0 (2026.08.26)</source>
        <translation type="vanished">Moriva v1.0.0 (2026.08.26)</translation>
    </message>
    <message>
        <source>Remind before meetings</source>
        <translation type="vanished">Przypominaj przed spotkaniami</translation>
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
        <translation type="vanished">Wybierz rok</translation>
    </message>
</context>
</TS>
