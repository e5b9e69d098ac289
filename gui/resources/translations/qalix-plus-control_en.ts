<?xml version='1.0' encoding='utf-8'?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="de">
<context>
    <name>DialogNumberPad</name>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>DialogOptions</name>
    <message>
        <source>Optionen:</source>
        <translation>Options:</translation>
    </message>
    <message>
        <source>Extern / Intern Auto.</source>
        <translation>Connect automatically (external / internal)</translation>
    </message>
    <message>
        <source>Autostart Projekt:</source>
        <translation>Autostart project:</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Speichern (Restart App)</source>
        <translation>Save (restart app)</translation>
    </message>
    <message>
        <source>- Kein Projekt -</source>
        <translation>- No project -</translation>
    </message>
    <message>
        <source>Speichern beendet die Anwendung; sie startet gleich mit den neuen Einstellungen wieder.</source>
        <translation>Saving ends the application; it starts again at once with the new settings.</translation>
    </message>
    <message>
        <source>Speichern beendet die Anwendung. Sie startet nicht von selbst wieder: das tut nur der Kiosk-Starter (qalix-plus-control-kiosk).</source>
        <translation>Saving ends the application. It does not start again by itself: only the kiosk launcher (qalix-plus-control-kiosk) does that.</translation>
    </message>
    <message>
        <source>Die Einstellungen können nicht unter "%1" gespeichert werden!</source>
        <translation>The settings cannot be saved in "%1"!</translation>
    </message>
</context>
<context>
    <name>DialogPin</name>
    <message>
        <source>PIN eingeben</source>
        <translation>Enter PIN</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>DialogSelectProject</name>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=" font-weight:600;"&gt;Projekte:&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=" font-weight:600;"&gt;Projects:&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Daten von dem Computer auf dem der Designer läuft:</source>
        <translation>Data from the computer the designer runs on:</translation>
    </message>
    <message>
        <source>Host/IP:</source>
        <translation>Host/IP:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>Herunterladen</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>&lt;b&gt;Auflösung:&lt;/b&gt; %1 x %2</source>
        <translation>&lt;b&gt;Resolution:&lt;/b&gt; %1 x %2</translation>
    </message>
</context>
<context>
    <name>DownReason</name>
    <message>
        <source>Anmeldung abgelehnt</source>
        <translation>login refused</translation>
    </message>
    <message>
        <source>Server nicht erreichbar</source>
        <translation>server not reachable</translation>
    </message>
    <message>
        <source>Keine Antwort vom Server</source>
        <translation>no answer from the server</translation>
    </message>
    <message>
        <source>Verbindung unterbrochen</source>
        <translation>connection broken off</translation>
    </message>
</context>
<context>
    <name>Item</name>
    <message>
        <source>keine Rückmeldung</source>
        <translation>no response</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Im Package "%1" ist keine Seite.</source>
        <translation>The package "%1" holds no page.</translation>
    </message>
</context>
<context>
    <name>NoProjectNotice</name>
    <message>
        <source>Projekt wählen</source>
        <translation>Choose project</translation>
    </message>
    <message>
        <source>Kein Projekt geladen.</source>
        <translation>No project loaded.</translation>
    </message>
    <message>
        <source>„Projekt wählen“ zeigt die Projekte dieses Panels und holt neue vom Computer, auf dem der Designer läuft. Damit eines bei jedem Start öffnet: in den Optionen (Zahnrad oben rechts) unter „Autostart Projekt“ wählen und „Speichern (Restart App)“ drücken.</source>
        <translation>“Choose project” lists this panel's projects and fetches new ones from the computer the designer runs on. To open one at every start: in the options (the gear at the top right), choose it under “Autostart project” and press “Save (restart app)”.</translation>
    </message>
</context>
<context>
    <name>PackageReport</name>
    <message>
        <source>Die Datei gibt es nicht.</source>
        <translation>The file does not exist.</translation>
    </message>
    <message>
        <source>Es ist ein Ordner, keine Datei.</source>
        <translation>It is a folder, not a file.</translation>
    </message>
    <message>
        <source>Die Datei ist leer.</source>
        <translation>The file is empty.</translation>
    </message>
    <message>
        <source>Die Datei ist kein Package oder ihr Kopf ist beschädigt.</source>
        <translation>The file is not a package, or its header is damaged.</translation>
    </message>
    <message>
        <source>Die Datei kann nicht gelesen werden.</source>
        <translation>The file cannot be read.</translation>
    </message>
    <message>
        <source>Das Package "%1" kann nicht geöffnet werden. %2</source>
        <translation>The package "%1" cannot be opened. %2</translation>
    </message>
    <message>
        <source>Das Package "%1" ist unvollständig oder beschädigt. Geladen wird nur, was darin vollständig ist; es fehlen Bilder oder Seiten.</source>
        <translation>The package "%1" is incomplete or damaged. Only what is complete in it is loaded; pictures or pages are missing.</translation>
    </message>
    <message>
        <source>%1 Dateien aus dem Package "%2" können nicht entpackt und gespeichert werden: %3. Diese Bilder fehlen.</source>
        <translation>%1 files from the package "%2" cannot be unpacked and saved: %3. These pictures are missing.</translation>
    </message>
    <message>
        <source> und %1 weitere</source>
        <translation> and %1 more</translation>
    </message>
    <message>
        <source>Der Name führt aus dem Bilderordner hinaus.</source>
        <translation>Its name leads out of the picture folder.</translation>
    </message>
    <message>
        <source>Den Ordner "%1" gibt es nicht; Unterordner werden nicht angelegt.</source>
        <translation>The folder "%1" does not exist; folders within the picture folder are not created.</translation>
    </message>
    <message>
        <source>Speicher voll: %1 frei in "%2", das Bild braucht %3.</source>
        <translation>Storage full: %1 free in "%2", the picture needs %3.</translation>
    </message>
    <message>
        <source>Der Ordner "%1" darf nicht beschrieben werden.</source>
        <translation>The folder "%1" may not be written to.</translation>
    </message>
</context>
<context>
    <name>PinLock</name>
    <message>
        <source>Falsche PIN. Noch ein Versuch.</source>
        <translation>Wrong PIN. One more try.</translation>
    </message>
    <message>
        <source>Falsche PIN. Noch %1 Versuche.</source>
        <translation>Wrong PIN. %1 more tries.</translation>
    </message>
    <message>
        <source>Zu viele falsche PINs. Gesperrt für %1 s.</source>
        <translation>Too many wrong PINs. Locked for %1 s.</translation>
    </message>
    <message>
        <source>Keine gültige PIN hinterlegt. Zugang gesperrt.</source>
        <translation>No valid PIN stored. Access locked.</translation>
    </message>
</context>
<context>
    <name>ProjectLoader</name>
    <message>
        <source>Path can not be created! (1)</source>
        <translation>Path can not be created! (1)</translation>
    </message>
    <message>
        <source>Path can not be created! (2)</source>
        <translation>Path can not be created! (2)</translation>
    </message>
    <message>
        <source>Die Datei "%1" kann nicht aus dem Package entpackt werden und unter "%2" gespeichert werden!</source>
        <translation>The file "%1" cannot be unpacked from the package and saved as "%2"!</translation>
    </message>
    <message>
        <source>Die Datei "%1" kann nicht aus dem Package entpackt werden!</source>
        <translation>The file "%1" cannot be unpacked from the package!</translation>
    </message>
</context>
<context>
    <name>ScreenSaver</name>
    <message>
        <source>ddd d. MMMM yyyy</source>
        <extracomment>The saver's date: a format of QDate::toString, with the day's name.</extracomment>
        <translation>ddd d MMMM yyyy</translation>
    </message>
</context>
<context>
    <name>StaleWatch</name>
    <message>
        <source>Keine Verbindung seit %1</source>
        <translation>No connection since %1</translation>
    </message>
</context>
<context>
    <name>TransferReceiver</name>
    <message>
        <source>Übertragung fehlgeschlagen: zu langsam</source>
        <translation>Transfer failed: too slow</translation>
    </message>
    <message>
        <source>Übertragung fehlgeschlagen: keine Antwort</source>
        <translation>Transfer failed: no answer</translation>
    </message>
    <message>
        <source>Übertragung fehlgeschlagen: keine Daten mehr</source>
        <translation>Transfer failed: no more data</translation>
    </message>
    <message>
        <source>Ungültige Projektdaten empfangen</source>
        <translation>Invalid project data received</translation>
    </message>
    <message>
        <source>Übertragung abgelehnt: Package zu groß</source>
        <translation>Transfer refused: package too large</translation>
    </message>
    <message>
        <source>Übertragung abgelehnt: zu wenig Speicherplatz</source>
        <translation>Transfer refused: not enough storage</translation>
    </message>
    <message>
        <source>Übertragung fehlgeschlagen: zu viele Daten</source>
        <translation>Transfer failed: too much data</translation>
    </message>
    <message>
        <source>Übertragung fehlgeschlagen: Schreibfehler</source>
        <translation>Transfer failed: write error</translation>
    </message>
    <message>
        <source>Übertragung fehlgeschlagen: Package beschädigt</source>
        <translation>Transfer failed: package damaged</translation>
    </message>
</context>
<context>
    <name>WallPanel</name>
    <message>
        <source>Keine gültige PIN hinterlegt. Beenden und Optionen bleiben gesperrt.</source>
        <translation>No valid PIN stored. Exit and options stay locked.</translation>
    </message>
</context>
</TS>