<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it_IT">
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
</TS>
