<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it_IT">
<context>
    <name>ContentView</name>
    <message>
        <source>Previous month</source>
        <translation type="vanished">Mese precedente</translation>
    </message>
    <message>
        <source>Next month</source>
        <translation type="vanished">Mese successivo</translation>
    </message>
    <message>
        <source>Today</source>
        <translation type="vanished">Oggi</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation type="vanished">Impostazioni</translation>
    </message>
    <message>
        <source>Year %1, choose year</source>
        <translation type="vanished">Anno %1, scegli anno</translation>
    </message>
    <message>
        <source>%1, choose month</source>
        <translation type="vanished">%1, scegli mese</translation>
    </message>
    <message>
        <source>Month</source>
        <translation type="vanished">Mese</translation>
    </message>
</context>
<context>
    <name>DayCell</name>
    <message>
        <source>, has events</source>
        <translation type="vanished">, ha eventi</translation>
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
        <translation type="vanished">Apri %1</translation>
    </message>
</context>
<context>
    <name>EventSection</name>
    <message>
        <source>No events</source>
        <translation type="vanished">Nessun evento</translation>
    </message>
    <message>
        <source>Open Calendar Folder</source>
        <translation type="vanished">Apri cartella calendari</translation>
    </message>
    <message>
        <source>Events</source>
        <translation type="vanished">Eventi</translation>
    </message>
    <message>
        <source>No calendars yet. Put calendar files in
%1
Desktop calendar accounts appear by themselves.</source>
        <translation type="vanished">Ancora nessun calendario. Metti i file di calendario in
%1
Gli account di calendario del desktop compaiono da soli.</translation>
    </message>
</context>
<context>
    <name>MeetingLink</name>
    <message>
        <source>Join %1</source>
        <translation type="vanished">Partecipa a %1</translation>
    </message>
</context>
<context>
    <name>MeetingNotifier</name>
    <message>
        <source>Starts at %1 · %2</source>
        <translation type="vanished">Inizia alle %1 · %2</translation>
    </message>
    <message>
        <source>Join</source>
        <translation type="vanished">Partecipa</translation>
    </message>
</context>
<context>
    <name>MeetingSchedule</name>
    <message>
        <source>Untitled Event</source>
        <translation type="vanished">Evento senza titolo</translation>
    </message>
    <message>
        <source>%1 in %n min</source>
        <translation type="vanished">%1 tra %n min</translation>
    </message>
    <message>
        <source>%1 in %n h</source>
        <translation type="vanished">%1 tra %n h</translation>
    </message>
    <message>
        <source>%1 in %2 h %3 min</source>
        <translation type="vanished">%1 tra %2 h %3 min</translation>
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
        <translation type="vanished">Scegli mese</translation>
    </message>
</context>
<context>
    <name>OverlayHost</name>
    <message>
        <source>Close panel</source>
        <translation type="vanished">Chiudi pannello</translation>
    </message>
</context>
<context>
    <name>PanelHeader</name>
    <message>
        <source>Close</source>
        <translation type="vanished">Chiudi</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Settings</source>
        <translation type="vanished">Impostazioni</translation>
    </message>
    <message>
        <source>Appearance</source>
        <translation type="vanished">Aspetto</translation>
    </message>
    <message>
        <source>Week starts on</source>
        <translation type="vanished">La settimana inizia di</translation>
    </message>
    <message>
        <source>Launch at login</source>
        <translation type="vanished">Avvia all’accesso</translation>
    </message>
    <message>
        <source>Show event dots</source>
        <translation type="vanished">Mostra punti eventi</translation>
    </message>
    <message>
        <source>Moriva v1.0.0 (2026.08.26)</source>
        <translation type="vanished">Moriva v1.0.0 (2026.08.26)</translation>
    </message>
    <message>
        <source>Remind before meetings</source>
        <translation type="vanished">Promemoria prima delle riunioni</translation>
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
        <translation type="vanished">Scegli anno</translation>
    </message>
</context>
</TS>
