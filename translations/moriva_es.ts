<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>ContentView</name>
    <message>
        <source>Previous month</source>
        <translation>Mes anterior</translation>
    </message>
    <message>
        <source>Next month</source>
        <translation>Mes siguiente</translation>
    </message>
    <message>
        <source>Today</source>
        <translation>Hoy</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Ajustes</translation>
    </message>
    <message>
        <source>Year %1, choose year</source>
        <translation>Año %1, elegir año</translation>
    </message>
    <message>
        <source>%1, choose month</source>
        <translation>%1, elegir mes</translation>
    </message>
    <message>
        <source>Month</source>
        <translation>Mes</translation>
    </message>
</context>
<context>
    <name>DayCell</name>
    <message>
        <source>, has events</source>
        <translation>, tiene eventos</translation>
    </message>
</context>
<context>
    <name>EventRow</name>
    <message>
        <source>Untitled Event</source>
        <translation>Evento sin título</translation>
    </message>
    <message>
        <source>All Day</source>
        <translation>Todo el día</translation>
    </message>
    <message>
        <source>Join %1</source>
        <translation type="vanished">Unirse a %1</translation>
    </message>
    <message>
        <source>Open %1</source>
        <translation>Abrir %1</translation>
    </message>
</context>
<context>
    <name>EventSection</name>
    <message>
        <source>No events</source>
        <translation>No hay eventos</translation>
    </message>
    <message>
        <source>Open Calendar Folder</source>
        <translation>Abrir carpeta de calendarios</translation>
    </message>
    <message>
        <source>Events</source>
        <translation>Eventos</translation>
    </message>
    <message>
        <source>No calendars yet. Put calendar files in
%1
Desktop calendar accounts appear by themselves.</source>
        <translation>Aún no hay calendarios. Pon archivos de calendario en
%1
Las cuentas de calendario del escritorio aparecen solas.</translation>
    </message>
</context>
<context>
    <name>MeetingLink</name>
    <message>
        <source>Join %1</source>
        <translation>Unirse a %1</translation>
    </message>
</context>
<context>
    <name>MeetingNotifier</name>
    <message>
        <source>Starts at %1 · %2</source>
        <translation>Empieza a las %1 · %2</translation>
    </message>
    <message>
        <source>Join</source>
        <translation>Unirse</translation>
    </message>
</context>
<context>
    <name>MeetingSchedule</name>
    <message>
        <source>Untitled Event</source>
        <translation type="vanished">Evento sin título</translation>
    </message>
    <message numerus="yes">
        <source>%1 in %n min</source>
        <translation>
            <numerusform>%1 en %n min</numerusform>
            <numerusform>%1 en %n min</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 in %n h</source>
        <translation>
            <numerusform>%1 en %n h</numerusform>
            <numerusform>%1 en %n h</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 in %2 h %3 min</source>
        <translation>%1 en %2 h %3 min</translation>
    </message>
</context>
<context>
    <name>MonthGrid</name>
    <message>
        <source>Today</source>
        <translation>Hoy</translation>
    </message>
    <message numerus="yes">
        <source>in %n days</source>
        <translation>
            <numerusform>dentro de %n día</numerusform>
            <numerusform>dentro de %n días</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n days ago</source>
        <translation>
            <numerusform>hace %n día</numerusform>
            <numerusform>hace %n días</numerusform>
        </translation>
    </message>
    <message>
        <source>in 1 day</source>
        <translation type="vanished">dentro de 1 día</translation>
    </message>
    <message>
        <source>1 day ago</source>
        <translation type="vanished">hace 1 día</translation>
    </message>
    <message>
        <source>in %1 days</source>
        <translation type="vanished">dentro de %1 días</translation>
    </message>
    <message>
        <source>%1 days ago</source>
        <translation type="vanished">hace %1 días</translation>
    </message>
</context>
<context>
    <name>MonthPickerView</name>
    <message>
        <source>Select Month</source>
        <translation>Elegir mes</translation>
    </message>
</context>
<context>
    <name>OverlayHost</name>
    <message>
        <source>Close panel</source>
        <translation>Cerrar panel</translation>
    </message>
</context>
<context>
    <name>PanelHeader</name>
    <message>
        <source>Close</source>
        <translation>Cerrar</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Settings</source>
        <translation>Ajustes</translation>
    </message>
    <message>
        <source>Appearance</source>
        <translation>Apariencia</translation>
    </message>
    <message>
        <source>Week starts on</source>
        <translation>La semana empieza el</translation>
    </message>
    <message>
        <source>Launch at login</source>
        <translation>Abrir al iniciar sesión</translation>
    </message>
    <message>
        <source>Show event dots</source>
        <translation>Mostrar puntos de eventos</translation>
    </message>
    <message>
        <source>Moriva v1.0.0 (2026.08.26)</source>
        <translation>Moriva v1.0.0 (2026.08.26)</translation>
    </message>
    <message>
        <source>Remind before meetings</source>
        <translation>Recordar antes de reuniones</translation>
    </message>
</context>
<context>
    <name>StatusBarController</name>
    <message>
        <source>Open Calendar</source>
        <translation>Abrir calendario</translation>
    </message>
    <message>
        <source>Quit Moriva</source>
        <translation>Salir de Moriva</translation>
    </message>
</context>
<context>
    <name>YearPickerView</name>
    <message>
        <source>Select Year</source>
        <translation>Elegir año</translation>
    </message>
</context>
</TS>
