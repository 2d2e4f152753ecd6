<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>EventRow</name>
    <message>
        <source>Untitled Event</source>
        <translation>Événement sans titre</translation>
    </message>
    <message>
        <source>All Day</source>
        <translation>Toute la journée</translation>
    </message>
</context>
<context>
    <name>MonthGrid</name>
    <message>
        <source>Today</source>
        <translation>Aujourd’hui</translation>
    </message>
    <message numerus="yes">
        <source>in %n days</source>
        <translation>
            <numerusform>dans %n jour</numerusform>
            <numerusform>dans %n jours</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n days ago</source>
        <translation>
            <numerusform>il y a %n jour</numerusform>
            <numerusform>il y a %n jours</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>StatusBarController</name>
    <message>
        <source>Open Calendar</source>
        <translation>Ouvrir le calendrier</translation>
    </message>
    <message>
        <source>Quit Moriva</source>
        <translation>Quitter Moriva</translation>
    </message>
</context>
</TS>
