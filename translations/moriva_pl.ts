<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pl_PL">
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
</TS>
