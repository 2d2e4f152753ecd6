<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>ContentView</name>
    <message>
        <source>Previous month</source>
        <translation>Mois précédent</translation>
    </message>
    <message>
        <source>Next month</source>
        <translation>Mois suivant</translation>
    </message>
    <message>
        <source>Today</source>
        <translation>Aujourd’hui</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Paramètres</translation>
    </message>
    <message>
        <source>Year %1, choose year</source>
        <translation>Année %1, choisir l’année</translation>
    </message>
    <message>
        <source>%1, choose month</source>
        <translation>%1, choisir le mois</translation>
    </message>
    <message>
        <source>Month</source>
        <translation>Mois</translation>
    </message>
</context>
<context>
    <name>DayCell</name>
    <message>
        <source>, has events</source>
        <translation>, a des événements</translation>
    </message>
</context>
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
    <message>
        <source>Join %1</source>
        <translation type="vanished">Rejoindre %1</translation>
    </message>
    <message>
        <source>Open %1</source>
        <translation>Ouvrir %1</translation>
    </message>
</context>
<context>
    <name>EventSection</name>
    <message>
        <source>No events</source>
        <translation>Aucun événement</translation>
    </message>
    <message>
        <source>Open Calendar Folder</source>
        <translation>Ouvrir le dossier des calendriers</translation>
    </message>
    <message>
        <source>Events</source>
        <translation>Événements</translation>
    </message>
    <message>
        <source>No calendars yet. Put calendar files in
%1
Desktop calendar accounts appear by themselves.</source>
        <translation>Aucun calendrier pour l’instant. Placez des fichiers de calendrier dans
%1
Les comptes de calendrier du bureau apparaissent d’eux-mêmes.</translation>
    </message>
</context>
<context>
    <name>MeetingLink</name>
    <message>
        <source>Join %1</source>
        <translation>Rejoindre %1</translation>
    </message>
</context>
<context>
    <name>MeetingNotifier</name>
    <message>
        <source>Starts at %1 · %2</source>
        <translation>Commence à %1 · %2</translation>
    </message>
    <message>
        <source>Join</source>
        <translation>Rejoindre</translation>
    </message>
</context>
<context>
    <name>MeetingSchedule</name>
    <message>
        <source>Untitled Event</source>
        <translation type="vanished">Événement sans titre</translation>
    </message>
    <message numerus="yes">
        <source>%1 in %n min</source>
        <translation>
            <numerusform>%1 dans %n min</numerusform>
            <numerusform>%1 dans %n min</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 in %n h</source>
        <translation>
            <numerusform>%1 dans %n h</numerusform>
            <numerusform>%1 dans %n h</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 in %2 h %3 min</source>
        <translation>%1 dans %2 h %3 min</translation>
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
    <message>
        <source>in 1 day</source>
        <translation type="vanished">dans 1 jour</translation>
    </message>
    <message>
        <source>1 day ago</source>
        <translation type="vanished">il y a 1 jour</translation>
    </message>
    <message>
        <source>in %1 days</source>
        <translation type="vanished">dans %1 jours</translation>
    </message>
    <message>
        <source>%1 days ago</source>
        <translation type="vanished">il y a %1 jours</translation>
    </message>
</context>
<context>
    <name>MonthPickerView</name>
    <message>
        <source>Select Month</source>
        <translation>Choisir le mois</translation>
    </message>
</context>
<context>
    <name>OverlayHost</name>
    <message>
        <source>Close panel</source>
        <translation>Fermer le panneau</translation>
    </message>
</context>
<context>
    <name>PanelHeader</name>
    <message>
        <source>Close</source>
        <translation>Fermer</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Settings</source>
        <translation>Paramètres</translation>
    </message>
    <message>
        <source>Appearance</source>
        <translation>Apparence</translation>
    </message>
    <message>
        <source>Week starts on</source>
        <translation>La semaine commence le</translation>
    </message>
    <message>
        <source>Launch at login</source>
        <translation>Ouvrir à la connexion</translation>
    </message>
    <message>
        <source>Show event dots</source>
        <translation>Points d’événements</translation>
    </message>
    <message>
        <source>Moriva v1.0.0 (2026.08.26)</source>
        <translation>Moriva v1.0.0 (2026.08.26)</translation>
    </message>
    <message>
        <source>Remind before meetings</source>
        <translation>Rappel avant les réunions</translation>
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
<context>
    <name>YearPickerView</name>
    <message>
        <source>Select Year</source>
        <translation>Choisir l’année</translation>
    </message>
</context>
</TS>
