<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pt_BR">
<context>
    <name>EventRow</name>
    <message>
        <source>Untitled Event</source>
        <translation>Evento sem título</translation>
    </message>
    <message>
        <source>All Day</source>
        <translation>Dia inteiro</translation>
    </message>
</context>
<context>
    <name>MonthGrid</name>
    <message>
        <source>Today</source>
        <translation>Hoje</translation>
    </message>
    <message numerus="yes">
        <source>in %n days</source>
        <translation>
            <numerusform>em %n dia</numerusform>
            <numerusform>em %n dias</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n days ago</source>
        <translation>
            <numerusform>há %n dia</numerusform>
            <numerusform>há %n dias</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>StatusBarController</name>
    <message>
        <source>Open Calendar</source>
        <translation>Abrir calendário</translation>
    </message>
    <message>
        <source>Quit Moriva</source>
        <translation>Sair do Moriva</translation>
    </message>
</context>
</TS>
