<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pt_BR">
<context>
    <name>ContentView</name>
    <message>
        <source>Previous month</source>
        <translation>Mês anterior</translation>
    </message>
    <message>
        <source>Next month</source>
        <translation>Próximo mês</translation>
    </message>
    <message>
        <source>Today</source>
        <translation>Hoje</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Configurações</translation>
    </message>
    <message>
        <source>Year %1, choose year</source>
        <translation>Ano %1, escolher ano</translation>
    </message>
    <message>
        <source>%1, choose month</source>
        <translation>%1, escolher mês</translation>
    </message>
    <message>
        <source>Month</source>
        <translation>Mês</translation>
    </message>
</context>
<context>
    <name>DayCell</name>
    <message>
        <source>, has events</source>
        <translation>, tem eventos</translation>
    </message>
</context>
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
    <message>
        <source>Join %1</source>
        <translation type="vanished">Entrar em %1</translation>
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
        <translation>Nenhum evento</translation>
    </message>
    <message>
        <source>Open Calendar Folder</source>
        <translation>Abrir pasta de calendários</translation>
    </message>
    <message>
        <source>Events</source>
        <translation>Eventos</translation>
    </message>
    <message>
        <source>No calendars yet. Put calendar files in
%1
Desktop calendar accounts appear by themselves.</source>
        <translation>Ainda não há calendários. Coloque arquivos de calendário em
%1
As contas de calendário do desktop aparecem sozinhas.</translation>
    </message>
</context>
<context>
    <name>MeetingLink</name>
    <message>
        <source>Join %1</source>
        <translation>Entrar em %1</translation>
    </message>
</context>
<context>
    <name>MeetingNotifier</name>
    <message>
        <source>Starts at %1 · %2</source>
        <translation>Começa às %1 · %2</translation>
    </message>
    <message>
        <source>Join</source>
        <translation>Entrar</translation>
    </message>
</context>
<context>
    <name>MeetingSchedule</name>
    <message>
        <source>Untitled Event</source>
        <translation type="vanished">Evento sem título</translation>
    </message>
    <message numerus="yes">
        <source>%1 in %n min</source>
        <translation>
            <numerusform>%1 em %n min</numerusform>
            <numerusform>%1 em %n min</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 in %n h</source>
        <translation>
            <numerusform>%1 em %n h</numerusform>
            <numerusform>%1 em %n h</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 in %2 h %3 min</source>
        <translation>%1 em %2 h %3 min</translation>
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
    <message>
        <source>in 1 day</source>
        <translation type="vanished">em 1 dia</translation>
    </message>
    <message>
        <source>1 day ago</source>
        <translation type="vanished">há 1 dia</translation>
    </message>
    <message>
        <source>in %1 days</source>
        <translation type="vanished">em %1 dias</translation>
    </message>
    <message>
        <source>%1 days ago</source>
        <translation type="vanished">há %1 dias</translation>
    </message>
</context>
<context>
    <name>MonthPickerView</name>
    <message>
        <source>Select Month</source>
        <translation>Escolher mês</translation>
    </message>
</context>
<context>
    <name>OverlayHost</name>
    <message>
        <source>Close panel</source>
        <translation>Fechar painel</translation>
    </message>
</context>
<context>
    <name>PanelHeader</name>
    <message>
        <source>Close</source>
        <translation>Fechar</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Settings</source>
        <translation>Configurações</translation>
    </message>
    <message>
        <source>Appearance</source>
        <translation>Aparência</translation>
    </message>
    <message>
        <source>Week starts on</source>
        <translation>Início da semana</translation>
    </message>
    <message>
        <source>Launch at login</source>
        <translation>Abrir ao iniciar sessão</translation>
    </message>
    <message>
        <source>Show event dots</source>
        <translation>Mostrar pontos de eventos</translation>
    </message>
    <message>
        <source>Moriva v1.0.0 (2026.08.26)</source>
        <translation>Moriva v1.0.0 (2026.08.26)</translation>
    </message>
    <message>
        <source>Remind before meetings</source>
        <translation>Lembrar antes de reuniões</translation>
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
<context>
    <name>YearPickerView</name>
    <message>
        <source>Select Year</source>
        <translation>Escolher ano</translation>
    </message>
</context>
</TS>
