<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it_IT">
<context>
    <name>ContentView</name>
    <message>
        <source>Previous month</source>
        <translation>Mese precedente</translation>
    </message>
    <message>
        <source>Next month</source>
        <translation>Mese successivo</translation>
    </message>
    <message>
        <source>Today</source>
        <translation>Oggi</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Impostazioni</translation>
    </message>
    <message>
        <source>Year %1, choose year</source>
        <translation>Anno %1, scegli anno</translation>
    </message>
    <message>
        <source>%1, choose month</source>
        <translation>%1, scegli mese</translation>
    </message>
    <message>
        <source>Month</source>
        <translation>Mese</translation>
    </message>
</context>
<context>
    <name>DayCell</name>
    <message>
        <source>, has events</source>
        <translation>, ha eventi</translation>
    </message>
</context>
<context>
    <name>EventRow</name>
    <message>
        <source>Untitled Event</source>
        <translation>Evento senza titolo</translation>
    </message>
    <message>
        <source>All Day</source>
        <translation>Tutto il giorno</translation>
    </message>
    <message>
        <source>Join %1</source>
        <translation type="vanished">Partecipa a %1</translation>
    </message>
    <message>
        <source>Open %1</source>
        <translation>Apri %1</translation>
    </message>
</context>
<context>
    <name>EventSection</name>
    <message>
        <source>No events</source>
        <translation>Nessun evento</translation>
    </message>
    <message>
        <source>Open Calendar Folder</source>
        <translation>Apri cartella calendari</translation>
    </message>
    <message>
        <source>Events</source>
        <translation>Eventi</translation>
    </message>
    <message>
        <source>No calendars yet. Put calendar files in
%1
Desktop calendar accounts appear by themselves.</source>
        <translation>Ancora nessun calendario. Metti i file di calendario in
%1
Gli account di calendario del desktop compaiono da soli.</translation>
    </message>
</context>
<context>
    <name>MeetingLink</name>
    <message>
        <source>Join %1</source>
        <translation>Partecipa a %1</translation>
    </message>
</context>
<context>
    <name>MeetingNotifier</name>
    <message>
        <source>Starts at %1 · %2</source>
        <translation>Inizia alle %1 · %2</translation>
    </message>
    <message>
        <source>Join</source>
        <translation>Partecipa</translation>
    </message>
</context>
<context>
    <name>MeetingSchedule</name>
    <message>
        <source>Untitled Event</source>
        <translation type="vanished">Evento senza titolo</translation>
    </message>
    <message numerus="yes">
        <source>%1 in %n min</source>
        <translation>
            <numerusform>%1 tra %n min</numerusform>
            <numerusform>%1 tra %n min</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 in %n h</source>
        <translation>
            <numerusform>%1 tra %n h</numerusform>
            <numerusform>%1 tra %n h</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 in %2 h %3 min</source>
        <translation>%1 tra %2 h %3 min</translation>
    </message>
</context>
<context>
    <name>MonthGrid</name>
    <message>
        <source>Today</source>
        <translation>Oggi</translation>
    </message>
    <message numerus="yes">
        <source>in %n days</source>
        <translation>
            <numerusform>tra %n giorno</numerusform>
            <numerusform>tra %n giorni</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n days ago</source>
        <translation>
            <numerusform>%n giorno fa</numerusform>
            <numerusform>%n giorni fa</numerusform>
        </translation>
    </message>
    <message>
        <source>in 1 day</source>
        <translation type="vanished">tra 1 giorno</translation>
    </message>
    <message>
        <source>1 day ago</source>
        <translation type="vanished">1 giorno fa</translation>
    </message>
    <message>
        <source>in %1 days</source>
        <translation type="vanished">tra %1 giorni</translation>
    </message>
    <message>
        <source>%1 days ago</source>
        <translation type="vanished">%1 giorni fa</translation>
    </message>
</context>
<context>
    <name>MonthPickerView</name>
    <message>
        <source>Select Month</source>
        <translation>Scegli mese</translation>
    </message>
</context>
<context>
    <name>OverlayHost</name>
    <message>
        <source>Close panel</source>
        <translation>Chiudi pannello</translation>
    </message>
</context>
<context>
    <name>PanelHeader</name>
    <message>
        <source>Close</source>
        <translation>Chiudi</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Settings</source>
        <translation>Impostazioni</translation>
    </message>
    <message>
        <source>Appearance</source>
        <translation>Aspetto</translation>
    </message>
    <message>
        <source>Week starts on</source>
        <translation>La settimana inizia di</translation>
    </message>
    <message>
        <source>Launch at login</source>
        <translation>Avvia all’accesso</translation>
    </message>
    <message>
        <source>Show event dots</source>
        <translation>Mostra punti eventi</translation>
    </message>
    <message>
        <source>Moriva v1.0.0 (2026.08.26)</source>
        <translation>Moriva v1.0.0 (2026.08.26)</translation>
    </message>
    <message>
        <source>Remind before meetings</source>
        <translation>Promemoria prima delle riunioni</translation>
    </message>
</context>
<context>
    <name>StatusBarController</name>
    <message>
        <source>Open Calendar</source>
        <translation>Apri calendario</translation>
    </message>
    <message>
        <source>Quit Moriva</source>
        <translation>Esci da Moriva</translation>
    </message>
</context>
<context>
    <name>YearPickerView</name>
    <message>
        <source>Select Year</source>
        <translation>Scegli anno</translation>
    </message>
</context>
</TS>
