<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>CycleRecord</name>
    <message>
        <source>none yet</source>
        <translation>noch keiner</translation>
    </message>
    <message>
        <source>Database connected - last import cycle: %1 - last export cycle: %2</source>
        <translation>Datenbank verbunden - letzter Importzyklus: %1 - letzter Exportzyklus: %2</translation>
    </message>
    <message>
        <source>Database away - last import cycle: %1 - last export cycle: %2</source>
        <translation>Datenbank nicht erreichbar - letzter Importzyklus: %1 - letzter Exportzyklus: %2</translation>
    </message>
</context>
<context>
    <name>EntryRecord</name>
    <message>
        <source>A result needs its sample ID: scan or type the sample ID first.</source>
        <translation>Ein Ergebnis braucht seine Proben-ID: bitte zuerst die Proben-ID scannen oder eingeben.</translation>
    </message>
    <message>
        <source>The sample ID &quot;%1&quot; has %2 characters; at most %3 fit.</source>
        <translation>Die Proben-ID „%1“ hat %2 Zeichen; höchstens %3 sind möglich.</translation>
    </message>
    <message>
        <source>The result &quot;%1&quot; has %2 characters; at most %3 fit.</source>
        <translation>Das Ergebnis „%1“ hat %2 Zeichen; höchstens %3 sind möglich.</translation>
    </message>
    <message>
        <source>Station and user &quot;%1&quot; have %2 characters together; at most %3 fit. Ask for a shorter station id.</source>
        <translation>Station und Benutzer „%1“ haben zusammen %2 Zeichen; höchstens %3 sind möglich. Bitte eine kürzere Stationskennung einrichten lassen.</translation>
    </message>
    <message>
        <source>The station id &quot;%1&quot; has %2 characters; at most %3 fit.</source>
        <translation>Die Stationskennung „%1“ hat %2 Zeichen; höchstens %3 sind möglich.</translation>
    </message>
    <message>
        <source>The user ID &quot;%1&quot; has %2 characters; at most %3 fit.</source>
        <translation>Die Benutzerkennung „%1“ hat %2 Zeichen; höchstens %3 sind möglich.</translation>
    </message>
</context>
<context>
    <name>EntryRules</name>
    <message>
        <source>There is no entry in history row %1 to delete.</source>
        <translation>In Zeile %1 der Liste steht kein Eintrag, der gelöscht werden kann.</translation>
    </message>
</context>
<context>
    <name>EntrySession</name>
    <message>
        <source>The user could not be checked; the station goes on as before.</source>
        <translation>Der Benutzer konnte nicht geprüft werden; die Station arbeitet wie bisher weiter.</translation>
    </message>
    <message>
        <source>Choose your user first.</source>
        <translation>Bitte zuerst den Benutzer auswählen.</translation>
    </message>
    <message>
        <source>The result &quot;%1&quot; is no number, and the validation ranges of this parameter are numbers: it cannot be interpreted.</source>
        <translation>Das Ergebnis „%1“ ist keine Zahl, die Validierungsbereiche dieses Parameters sind aber Zahlen: es kann nicht interpretiert werden.</translation>
    </message>
    <message>
        <source>Waiting for the database (another program is using it): %1 / %2 is stored as soon as it is free.</source>
        <translation>Warten auf die Datenbank (ein anderes Programm arbeitet damit): %1 / %2 wird gespeichert, sobald sie frei ist.</translation>
    </message>
    <message>
        <source>%1 more after it.</source>
        <translation>Danach noch %1 weitere.</translation>
    </message>
    <message>
        <source>Not stored yet: %1 / %2 waits and is tried again.</source>
        <translation>Noch nicht gespeichert: %1 / %2 wartet und wird erneut versucht.</translation>
    </message>
    <message>
        <source>Not stored: %1 / %2 stays in the boxes, press Enter to store it again.</source>
        <translation>Nicht gespeichert: %1 / %2 bleibt in den Feldern, mit Enter erneut speichern.</translation>
    </message>
    <message>
        <source>Sample %1 was not deleted.</source>
        <translation>Probe %1 wurde nicht gelöscht.</translation>
    </message>
    <message>
        <source>The session was not cleared.</source>
        <translation>Die Sitzung wurde nicht gelöscht.</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Kestrin cannot start.</source>
        <translation>Kestrin kann nicht starten.</translation>
    </message>
</context>
<context>
    <name>WorkEdge</name>
    <message>
        <source>The database is busy: another program is using it. Try again in a moment.</source>
        <translation>Die Datenbank ist belegt, ein anderes Programm arbeitet gerade damit. Bitte gleich noch einmal versuchen.</translation>
    </message>
    <message>
        <source>The database did not accept it (the log says why).</source>
        <translation>Die Datenbank hat es nicht angenommen (der Grund steht im Protokoll).</translation>
    </message>
    <message>
        <source>The database cannot be reached.</source>
        <translation>Die Datenbank ist nicht erreichbar.</translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation>unbekannter Fehler</translation>
    </message>
</context>
<context>
    <name>kestrin::MainWindow</name>
    <message>
        <source>The request monitor opens once the database is connected.</source>
        <translation>Der Request Monitor lässt sich öffnen, sobald die Datenbank verbunden ist.</translation>
    </message>
</context>
<context>
    <name>kestrin::PushInputWindow</name>
    <message>
        <source>Delete this entry</source>
        <translation>Diesen Eintrag löschen</translation>
    </message>
    <message>
        <source>A sample ID cannot hold a blank or any of %1 .</source>
        <translation>Eine Proben-ID darf weder Leerzeichen noch eines der Zeichen %1 enthalten.</translation>
    </message>
    <message>
        <source>A result cannot hold a blank or any of %1 .</source>
        <translation>Ein Ergebnis darf weder Leerzeichen noch eines der Zeichen %1 enthalten.</translation>
    </message>
    <message>
        <source>1 entry still waits for the database; close the station once it is stored.</source>
        <translation>1 Eintrag wartet noch auf die Datenbank; die Station erst schließen, wenn er gespeichert ist.</translation>
    </message>
    <message>
        <source>%1 entries still wait for the database; close the station once they are stored.</source>
        <translation>%1 Einträge warten noch auf die Datenbank; die Station erst schließen, wenn sie gespeichert sind.</translation>
    </message>
</context>
<context>
    <name>kestrin::RequestMonitor</name>
    <message>
        <source>1 row</source>
        <translation>1 Zeile</translation>
    </message>
    <message>
        <source>%1 rows</source>
        <translation>%1 Zeilen</translation>
    </message>
    <message>
        <source>Request: %1, Req2send: %2, read at %3</source>
        <translation>Request: %1, Req2send: %2, gelesen um %3</translation>
    </message>
    <message>
        <source>Lists read at %1; counting their rows…</source>
        <translation>Listen gelesen um %1; ihre Zeilen werden gezählt…</translation>
    </message>
    <message>
        <source>Lists read at %1; counting their rows failed: %2</source>
        <translation>Listen gelesen um %1; Zählen ihrer Zeilen fehlgeschlagen: %2</translation>
    </message>
    <message>
        <source>Reload failed at %1: %2</source>
        <translation>Neu laden um %1 fehlgeschlagen: %2</translation>
    </message>
    <message>
        <source>the lists show the database as read at %1.</source>
        <translation>die Listen zeigen die Datenbank, wie sie um %1 gelesen wurde.</translation>
    </message>
    <message>
        <source>Reading further rows failed at %1: %2</source>
        <translation>Lesen weiterer Zeilen um %1 fehlgeschlagen: %2</translation>
    </message>
    <message>
        <source>RELOAD reads the lists again.</source>
        <translation>RELOAD liest die Listen neu.</translation>
    </message>
</context>
<context>
    <name>kestrin::SampleIdStation</name>
    <message>
        <source>The sample list is not current, new samples are missing. Reason: %1 (tried again every second)</source>
        <translation>Probenliste nicht aktuell, neue Proben fehlen. Grund: %1 (neuer Versuch jede Sekunde)</translation>
    </message>
    <message>
        <source>Sample %1 is not in the list; the selection stays.</source>
        <translation>Probe %1 steht nicht in der Liste; die Auswahl bleibt.</translation>
    </message>
</context>
<context>
    <name>kestrin::SplashWindow</name>
    <message>
        <source>Starting ... </source>
        <translation>Wird gestartet ... </translation>
    </message>
    <message>
        <source>Kestrin laboratory middleware</source>
        <translation>Kestrin Labor-Middleware</translation>
    </message>
</context>
</TS>
