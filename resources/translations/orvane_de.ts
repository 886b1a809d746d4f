<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>AboutPanel</name>
    <message>
        <source>All rights reserved.</source>
        <translation>Alle Rechte vorbehalten.</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Version %1 (%2)</source>
        <extracomment>%1 is the version a person reads (1.4.2), %2 the build number.</extracomment>
        <translation>Version %1 (%2)</translation>
    </message>
</context>
<context>
    <name>AdministratorPrompt</name>
    <message>
        <source>This system root is a sandbox: confirming here stands in for an administrator&apos;s password.</source>
        <translation>Dieses Systemstammverzeichnis ist eine Sandbox: Die Bestätigung hier ersetzt das Passwort eines Administrators.</translation>
    </message>
    <message>
        <source>Rights requested:</source>
        <translation>Angeforderte Rechte:</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>&amp;Install Helper</source>
        <translation>Hilfsprogramm &amp;installieren</translation>
    </message>
    <message>
        <source>%1 is trying to install a new helper tool.</source>
        <extracomment>%1 is the application&apos;s name.</extracomment>
        <translation>%1 versucht, ein neues Hilfsprogramm zu installieren.</translation>
    </message>
</context>
<context>
    <name>Alert</name>
    <message>
        <source>Failed to start Setup Wizard</source>
        <translation>Der Einrichtungsassistent konnte nicht gestartet werden</translation>
    </message>
    <message>
        <source>Ask an administrator to add you to the group orvane, then log out and in again.</source>
        <translation>Bitten Sie einen Administrator, Sie zur Gruppe orvane hinzuzufügen, und melden Sie sich danach ab und wieder an.</translation>
    </message>
    <message>
        <source>Failed to open Configuration</source>
        <translation>Die Konfiguration konnte nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Could not get orvane URL or Storage ID from config.ini. Is orvane Storage Gateway installed?</source>
        <translation>Die orvane-URL oder die Speicher-ID konnte nicht aus der config.ini gelesen werden. Ist orvane Storage Gateway installiert?</translation>
    </message>
    <message>
        <source>Failed to show log file</source>
        <translation>Die Protokolldatei konnte nicht angezeigt werden</translation>
    </message>
    <message>
        <source>Could not parse log file location from config.ini</source>
        <translation>Der Ort der Protokolldatei konnte nicht aus der config.ini gelesen werden</translation>
    </message>
    <message>
        <source>Failed to create log directory</source>
        <translation>Der Protokollordner konnte nicht erstellt werden</translation>
    </message>
    <message>
        <source>Failed to get admin access</source>
        <translation>Administratorrechte konnten nicht erlangt werden</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>Unbekannter Fehler</translation>
    </message>
    <message>
        <source>You are not allowed to start or stop the gateway; where your desktop asks for an administrator&apos;s password, giving it allows it once.</source>
        <translation>Sie dürfen das Gateway nicht starten oder anhalten; wenn Ihre Arbeitsumgebung nach dem Passwort eines Administrators fragt, erlaubt dessen Eingabe es einmalig.</translation>
    </message>
    <message>
        <source>Failed to start orvane Storage Gateway</source>
        <translation>orvane Storage Gateway konnte nicht gestartet werden</translation>
    </message>
    <message>
        <source>Failed to stop orvane Storage Gateway</source>
        <translation>orvane Storage Gateway konnte nicht angehalten werden</translation>
    </message>
    <message>
        <source>orvane Storage Gateway failed to start</source>
        <translation>orvane Storage Gateway ist nicht angelaufen</translation>
    </message>
    <message>
        <source>Please check the configuration and logs for more information.</source>
        <translation>Bitte prüfen Sie die Konfiguration und die Protokolle, um mehr zu erfahren.</translation>
    </message>
    <message>
        <source>The gateway&apos;s unit ended with result %1</source>
        <translation>Die Unit des Gateways wurde mit dem Ergebnis %1 beendet</translation>
    </message>
    <message>
        <source>Its program&apos;s exit status: %1</source>
        <translation>Exit-Status ihres Programms: %1</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>The authorization rights are invalid.</source>
        <translation>Die Berechtigungen der Autorisierung sind ungültig.</translation>
    </message>
    <message>
        <source>The authorization reference is invalid.</source>
        <translation>Die Referenz der Autorisierung ist ungültig.</translation>
    </message>
    <message>
        <source>The authorization tag is invalid.</source>
        <translation>Die Kennung der Autorisierung ist ungültig.</translation>
    </message>
    <message>
        <source>The returned authorization is invalid.</source>
        <translation>Die erhaltene Autorisierung ist ungültig.</translation>
    </message>
    <message>
        <source>The authorization was denied.</source>
        <translation>Die Autorisierung wurde verweigert.</translation>
    </message>
    <message>
        <source>The authorization was canceled by the user.</source>
        <translation>Die Autorisierung wurde vom Benutzer abgebrochen.</translation>
    </message>
    <message>
        <source>The authorization was denied since no user interaction was possible.</source>
        <translation>Die Autorisierung wurde verweigert, da keine Eingabe durch den Benutzer möglich war.</translation>
    </message>
    <message>
        <source>Unable to obtain authorization for this operation.</source>
        <translation>Für diesen Vorgang konnte keine Autorisierung erlangt werden.</translation>
    </message>
    <message>
        <source>The configuration file %1 cannot be read: %2.</source>
        <extracomment>%1 is the file&apos;s path, %2 the system&apos;s reason.</extracomment>
        <translation>Die Konfigurationsdatei %1 kann nicht gelesen werden: %2.</translation>
    </message>
    <message>
        <source>Is orvane Storage Gateway installed and config.ini properly initialized?

orvane-url from config.ini is &quot;%1&quot;</source>
        <extracomment>%1 is the value of orvane-url in config.ini, often empty.</extracomment>
        <translation>Ist orvane Storage Gateway installiert und die config.ini richtig eingerichtet?

orvane-url in der config.ini lautet „%1“</translation>
    </message>
    <message>
        <source>Failed to create log directory with error message: %1</source>
        <extracomment>%1 is the helper&apos;s message, as it wrote it.</extracomment>
        <translation>Der Protokollordner konnte nicht erstellt werden. Fehlermeldung: %1</translation>
    </message>
    <message>
        <source>The command &apos;launchctl&apos; failed with exit code: %1</source>
        <extracomment>%1 is the command&apos;s exit status, a number.</extracomment>
        <translation>Der Befehl „launchctl“ ist fehlgeschlagen. Exit-Code: %1</translation>
    </message>
    <message>
        <source>Could not open the application log</source>
        <translation>Das Protokoll der Anwendung konnte nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Could not open %1</source>
        <extracomment>%1 is the path of a file or folder.</extracomment>
        <translation>%1 konnte nicht geöffnet werden</translation>
    </message>
    <message>
        <source>No terminal that works in this session was found (looked for xdg-terminal-exec, x-terminal-emulator, foot, alacritty, kitty, gnome-terminal, konsole, xfce4-terminal and xterm). Install one of them.</source>
        <translation>In dieser Sitzung wurde kein funktionierendes Terminal gefunden (gesucht wurde nach xdg-terminal-exec, x-terminal-emulator, foot, alacritty, kitty, gnome-terminal, konsole, xfce4-terminal und xterm). Bitte installieren Sie eines davon.</translation>
    </message>
    <message>
        <source>%1 could not be started: %2</source>
        <extracomment>%1 is a program, %2 the system&apos;s reason.</extracomment>
        <translation>%1 konnte nicht gestartet werden: %2</translation>
    </message>
    <message>
        <source>%1 exited with status %2 right after it started.</source>
        <extracomment>%1 is a program, %2 its exit status, a number.</extracomment>
        <translation>%1 wurde direkt nach dem Start mit dem Status %2 beendet.</translation>
    </message>
    <message>
        <source>Only a file named by its absolute path can be opened.</source>
        <translation>Nur eine Datei, die mit ihrem absoluten Pfad angegeben ist, kann geöffnet werden.</translation>
    </message>
    <message>
        <source>%1 is not installed.</source>
        <extracomment>%1 is a program.</extracomment>
        <translation>%1 ist nicht installiert.</translation>
    </message>
    <message>
        <source>No file manager answered, and %1 is not installed.</source>
        <extracomment>%1 is a program.</extracomment>
        <translation>Kein Dateimanager hat geantwortet, und %1 ist nicht installiert.</translation>
    </message>
    <message>
        <source>The helper tool is not installed or does not match this version of the app. Reinstall the orvane-storage-gateway package.</source>
        <translation>Das Hilfsprogramm ist nicht installiert oder passt nicht zu dieser Version der Anwendung. Installieren Sie das Paket orvane-storage-gateway erneut.</translation>
    </message>
    <message>
        <source>The helper tool %1 could not be installed: %2.</source>
        <extracomment>%1 is the helper&apos;s name, %2 the system&apos;s reason.</extracomment>
        <translation>Das Hilfsprogramm %1 konnte nicht installiert werden: %2.</translation>
    </message>
    <message>
        <source>Helpers can only be installed in the system domain.</source>
        <translation>Hilfsprogramme können nur im Systembereich installiert werden.</translation>
    </message>
    <message>
        <source>The helper tool&apos;s name is not valid.</source>
        <translation>Der Name des Hilfsprogramms ist ungültig.</translation>
    </message>
    <message>
        <source>The authorization does not allow installing a helper tool.</source>
        <translation>Die Berechtigung erlaubt es nicht, ein Hilfsprogramm zu installieren.</translation>
    </message>
    <message>
        <source>The helper tool %1 in the application is not valid.</source>
        <extracomment>%1 is the helper&apos;s name.</extracomment>
        <translation>Das Hilfsprogramm %1 in der Anwendung ist ungültig.</translation>
    </message>
    <message>
        <source>The helper tool %1 could not be started.</source>
        <extracomment>%1 is the helper&apos;s name.</extracomment>
        <translation>Das Hilfsprogramm %1 konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>The helper tool %1 could not be started. launchctl exited with status %2.</source>
        <extracomment>%1 is the helper&apos;s name, %2 a number.</extracomment>
        <translation>Das Hilfsprogramm %1 konnte nicht gestartet werden. launchctl wurde mit dem Status %2 beendet.</translation>
    </message>
</context>
<context>
    <name>CloudService</name>
    <message>
        <source>Unknown HTTP request error</source>
        <translation>Unbekannter Fehler bei der HTTP-Anfrage</translation>
    </message>
    <message>
        <source>HTTP request failed - received no data</source>
        <translation>HTTP-Anfrage fehlgeschlagen – keine Daten empfangen</translation>
    </message>
    <message>
        <source>HTTP request failed (%1)</source>
        <extracomment>%1 is the HTTP status code.</extracomment>
        <translation>HTTP-Anfrage fehlgeschlagen (%1)</translation>
    </message>
    <message>
        <source>HTTP error (HTTP %1)</source>
        <extracomment>%1 is the HTTP status code.</extracomment>
        <translation>HTTP-Fehler (HTTP %1)</translation>
    </message>
    <message>
        <source>Failed to generate request URL for %1</source>
        <extracomment>%1 is the address that could not be made.</extracomment>
        <translation>Die Adresse der Anfrage konnte nicht gebildet werden: %1</translation>
    </message>
    <message>
        <source>Could not find orvane-url from config.ini. Is orvane Storage Gateway installed?</source>
        <translation>In config.ini wurde keine orvane-url gefunden. Ist orvane Storage Gateway installiert?</translation>
    </message>
    <message>
        <source>HTTP error, failed to parse JSON response</source>
        <translation>HTTP-Fehler, die JSON-Antwort konnte nicht gelesen werden</translation>
    </message>
</context>
<context>
    <name>DesktopNotice</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>Menu</name>
    <message>
        <source>Stop orvane Storage Gateway</source>
        <translation>orvane Storage Gateway anhalten</translation>
    </message>
    <message>
        <source>Configure...</source>
        <translation>Konfigurieren …</translation>
    </message>
    <message>
        <source>Setup Wizard...</source>
        <translation>Einrichtungsassistent …</translation>
    </message>
    <message>
        <source>Start at boot</source>
        <translation>Beim Hochfahren starten</translation>
    </message>
    <message>
        <source>Show Configuration Backups</source>
        <translation>Sicherungen der Konfiguration anzeigen</translation>
    </message>
    <message>
        <source>Show Service Logs</source>
        <translation>Protokolle des Dienstes anzeigen</translation>
    </message>
    <message>
        <source>Show Application Logs</source>
        <translation>Protokolle der Anwendung anzeigen</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Start orvane Storage Gateway</source>
        <translation>orvane Storage Gateway starten</translation>
    </message>
    <message>
        <source>Status: %1</source>
        <extracomment>%1 is the gateway&apos;s status (Running, Failed, Stopped, Unknown), or &quot;?&quot; before the first refresh.</extracomment>
        <translation>Status: %1</translation>
    </message>
    <message>
        <source>About %1</source>
        <extracomment>%1 is the application&apos;s name.</extracomment>
        <translation>Über %1</translation>
    </message>
</context>
<context>
    <name>Notification</name>
    <message>
        <source>The gateway stopped</source>
        <translation>Das Gateway wurde beendet</translation>
    </message>
    <message>
        <source>Show Service Logs</source>
        <translation>Protokolle des Dienstes anzeigen</translation>
    </message>
    <message>
        <source>orvane Storage Gateway is no longer running. Status: %1</source>
        <extracomment>%1 is the gateway&apos;s status now: Stopped or Failed.</extracomment>
        <translation>orvane Storage Gateway läuft nicht mehr. Status: %1</translation>
    </message>
</context>
<context>
    <name>SetupWizard</name>
    <message>
        <source>Failed to create a new token for app %1 in orvane</source>
        <extracomment>%1 is the application&apos;s id in orvane.</extracomment>
        <translation>In orvane konnte kein neues Token für die App %1 angelegt werden</translation>
    </message>
    <message>
        <source>Configuration error</source>
        <translation>Konfigurationsfehler</translation>
    </message>
    <message>
        <source>Failed to create a new app in orvane</source>
        <translation>In orvane konnte keine neue App angelegt werden</translation>
    </message>
    <message>
        <source>Failed to write backup of current orvane Storage Gateway configuration. Will not proceed.</source>
        <translation>Die Sicherung der aktuellen Konfiguration von orvane Storage Gateway konnte nicht geschrieben werden. Der Vorgang wird abgebrochen.</translation>
    </message>
    <message>
        <source>Failed to write new configuration</source>
        <translation>Neue Konfiguration konnte nicht geschrieben werden</translation>
    </message>
    <message>
        <source>Failed to write new orvane Storage Gateway configuration. Will not proceed.</source>
        <translation>Die neue Konfiguration von orvane Storage Gateway konnte nicht geschrieben werden. Der Vorgang wird abgebrochen.</translation>
    </message>
    <message>
        <source>Failed to open Configuration</source>
        <translation>Konfiguration konnte nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Could not get orvane URL from config.ini</source>
        <translation>Die Adresse von orvane konnte nicht aus config.ini gelesen werden.</translation>
    </message>
    <message>
        <source>Could not start login, failed to parse orvane Storage Gateway config.ini</source>
        <translation>Die Anmeldung konnte nicht gestartet werden: Die Datei config.ini von orvane Storage Gateway ist nicht lesbar.</translation>
    </message>
    <message>
        <source>Authentication failed, did not receive orvane credentials. Click Next to try to log in as another user.</source>
        <translation>Die Anmeldung ist fehlgeschlagen, von orvane kamen keine Zugangsdaten. Klicken Sie auf „Weiter“, um sich als anderer Benutzer anzumelden.</translation>
    </message>
    <message>
        <source>You need to be a power user to set up an orvane Storage Gateway. Click Next to log in as another user.</source>
        <translation>Um ein orvane Storage Gateway einzurichten, müssen Sie Power-User sein. Klicken Sie auf „Weiter“, um sich als anderer Benutzer anzumelden.</translation>
    </message>
    <message>
        <source>No browser window? Open the sign-in page again, or copy its address into a browser.</source>
        <translation>Kein Browserfenster zu sehen? Öffnen Sie die Anmeldeseite erneut oder kopieren Sie ihre Adresse in einen Browser.</translation>
    </message>
    <message>
        <source>The web browser could not be opened. Copy the sign-in page&apos;s address and paste it into a browser.</source>
        <translation>Der Webbrowser konnte nicht geöffnet werden. Kopieren Sie die Adresse der Anmeldeseite und fügen Sie sie in einen Browser ein.</translation>
    </message>
    <message>
        <source>The address is copied. Paste it into a browser&apos;s address bar to sign in there.</source>
        <translation>Die Adresse ist kopiert. Fügen Sie sie in die Adressleiste eines Browsers ein, um sich dort anzumelden.</translation>
    </message>
    <message>
        <source>Waiting for you to sign in to orvane in your web browser (%1 left).</source>
        <extracomment>%1 is the time left, in minutes and seconds (&quot;4:59&quot;).</extracomment>
        <translation>Warten auf Ihre Anmeldung bei orvane in Ihrem Webbrowser (noch %1).</translation>
    </message>
    <message>
        <source>Name cannot be empty</source>
        <translation>Der Name darf nicht leer sein</translation>
    </message>
    <message>
        <source>Please select a folder to manage</source>
        <translation>Bitte wählen Sie den Ordner, den der Speicher verwalten soll</translation>
    </message>
    <message>
        <source>Invalid folder, enter the full path of a folder on this computer, starting with /</source>
        <translation>Ungültiger Ordner: Geben Sie den vollständigen Pfad eines Ordners auf diesem Computer ein, beginnend mit /</translation>
    </message>
    <message>
        <source>Invalid folder, this path does not exist</source>
        <translation>Ungültiger Ordner: Dieser Pfad existiert nicht</translation>
    </message>
    <message>
        <source>Invalid folder, this path is not a folder</source>
        <translation>Ungültiger Ordner: Dieser Pfad ist kein Ordner</translation>
    </message>
    <message>
        <source>The selected QOR does not point to a local folder. If this is a network folder make sure it is mounted

Path: %1</source>
        <extracomment>%1 is the storage&apos;s folder on this computer.</extracomment>
        <translation>Der ausgewählte QOR verweist nicht auf einen lokalen Ordner. Wenn es sich um einen Netzwerkordner handelt, stellen Sie sicher, dass er eingehängt ist.

Pfad: %1</translation>
    </message>
    <message>
        <source>The selected QOR does not points to a file, not a folder.

Path: %1</source>
        <extracomment>%1 is the storage&apos;s folder on this computer.</extracomment>
        <translation>Der ausgewählte QOR verweist auf eine Datei, nicht auf einen Ordner.

Pfad: %1</translation>
    </message>
    <message>
        <source>The selected QOR does not have a mount point set.</source>
        <translation>Für den ausgewählten QOR ist kein Einhängepunkt festgelegt.</translation>
    </message>
    <message>
        <source>Select</source>
        <extracomment>The chooser&apos;s confirm button.</extracomment>
        <translation>Auswählen</translation>
    </message>
    <message>
        <source>Error setting up local transcoders</source>
        <translation>Fehler beim Einrichten der lokalen Transcoder</translation>
    </message>
    <message>
        <source>Local keyframe and proxy creation may not work, you can still proceed with the setup.</source>
        <translation>Keyframes und Proxys werden möglicherweise nicht lokal erstellt. Sie können die Einrichtung trotzdem fortsetzen.</translation>
    </message>
    <message>
        <source>Error creating storage</source>
        <translation>Fehler beim Anlegen des Speichers</translation>
    </message>
    <message>
        <source>Failed to configure storage in orvane:</source>
        <translation>Der Speicher konnte in orvane nicht eingerichtet werden:</translation>
    </message>
    <message>
        <source>Error getting storage list</source>
        <translation>Fehler beim Abrufen der Speicherliste</translation>
    </message>
    <message>
        <source>Failed to get list of storages from orvane</source>
        <translation>Die Liste der Speicher konnte nicht von orvane abgerufen werden</translation>
    </message>
    <message>
        <source>No QOR storages found</source>
        <translation>Keine QOR-Speicher gefunden</translation>
    </message>
    <message>
        <source>There are no storages with type FILE in orvane</source>
        <translation>In orvane gibt es keine Speicher vom Typ FILE</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Finish</source>
        <translation>Fertigstellen</translation>
    </message>
    <message>
        <source>Choose a Folder</source>
        <translation>Ordner auswählen</translation>
    </message>
</context>
<context>
    <name>SetupWizardWindow</name>
    <message>
        <source>Setup Wizard</source>
        <translation>Einrichtungsassistent</translation>
    </message>
    <message>
        <source>Setup progress</source>
        <translation>Fortschritt der Einrichtung</translation>
    </message>
    <message>
        <source>Sign in</source>
        <translation>Anmelden</translation>
    </message>
    <message>
        <source>Welcome to orvane Storage Gateway</source>
        <translation>Willkommen bei orvane Storage Gateway</translation>
    </message>
    <message>
        <source>This assistant connects the gateway on this computer to your orvane account.&lt;br/&gt;&lt;br/&gt;Press Next to sign in with your web browser. You need to be a power user of orvane. Afterwards you choose the storage that the gateway serves: a new one for a folder on this computer, or one that already exists.</source>
        <translation>Dieser Assistent verbindet das Gateway auf diesem Computer mit Ihrem orvane-Konto.&lt;br/&gt;&lt;br/&gt;Klicken Sie auf „Weiter“, um sich mit Ihrem Webbrowser anzumelden. Dazu müssen Sie in orvane Power-User sein. Danach wählen Sie den Speicher, den das Gateway bereitstellt: einen neuen für einen Ordner auf diesem Computer oder einen bereits vorhandenen.</translation>
    </message>
    <message>
        <source>Reconfigure orvane Storage Gateway</source>
        <translation>orvane Storage Gateway neu einrichten</translation>
    </message>
    <message>
        <source>This gateway is already set up. You can connect it to another storage, or repair its connection to orvane.&lt;br/&gt;&lt;br/&gt;Press Next to sign in with your web browser. The current configuration is backed up before it is replaced, and nothing changes until you press Finish.</source>
        <translation>Dieses Gateway ist bereits eingerichtet. Sie können es mit einem anderen Speicher verbinden oder seine Verbindung zu orvane reparieren.&lt;br/&gt;&lt;br/&gt;Klicken Sie auf „Weiter“, um sich mit Ihrem Webbrowser anzumelden. Die aktuelle Konfiguration wird gesichert, bevor sie ersetzt wird, und bis Sie auf „Fertigstellen“ klicken, ändert sich nichts.</translation>
    </message>
    <message>
        <source>&amp;Open Sign-in Page Again</source>
        <translation>Anmeldeseite erneut ö&amp;ffnen</translation>
    </message>
    <message>
        <source>&amp;Copy Address</source>
        <translation>Adresse &amp;kopieren</translation>
    </message>
    <message>
        <source>Copies the address of the sign-in page to the clipboard</source>
        <translation>Kopiert die Adresse der Anmeldeseite in die Zwischenablage</translation>
    </message>
    <message>
        <source>Choose a storage</source>
        <translation>Speicher auswählen</translation>
    </message>
    <message>
        <source>You are signed in. Which storage should this gateway serve?</source>
        <translation>Sie sind angemeldet. Welchen Speicher soll dieses Gateway bereitstellen?</translation>
    </message>
    <message>
        <source>Create a new storage for a folder on this computer</source>
        <translation>Einen neuen Speicher für einen Ordner auf diesem Computer anlegen</translation>
    </message>
    <message>
        <source>Use a storage that already exists in orvane</source>
        <translation>Einen in orvane bereits vorhandenen Speicher verwenden</translation>
    </message>
    <message>
        <source>Create a new storage</source>
        <translation>Neuen Speicher anlegen</translation>
    </message>
    <message>
        <source>Name the new storage and choose the folder on this computer that it serves.</source>
        <translation>Benennen Sie den neuen Speicher und wählen Sie den Ordner auf diesem Computer, den er bereitstellt.</translation>
    </message>
    <message>
        <source>Storage &amp;name:</source>
        <translation>&amp;Name des Speichers:</translation>
    </message>
    <message>
        <source>&amp;Folder:</source>
        <translation>&amp;Ordner:</translation>
    </message>
    <message>
        <source>/path/to/the/folder</source>
        <translation>/pfad/zum/ordner</translation>
    </message>
    <message>
        <source>&amp;Choose...</source>
        <translation>&amp;Auswählen …</translation>
    </message>
    <message>
        <source>Choose an existing storage</source>
        <translation>Vorhandenen Speicher auswählen</translation>
    </message>
    <message>
        <source>Choose the storage that this gateway serves. Its folder must be reachable from this computer.</source>
        <translation>Wählen Sie den Speicher, den dieses Gateway bereitstellt. Sein Ordner muss von diesem Computer aus erreichbar sein.</translation>
    </message>
    <message>
        <source>&amp;Storage:</source>
        <translation>&amp;Speicher:</translation>
    </message>
    <message>
        <source>Folder warning</source>
        <translation>Warnung zum Ordner</translation>
    </message>
    <message>
        <source>Ready to set up</source>
        <translation>Bereit zur Einrichtung</translation>
    </message>
    <message>
        <source>Press Finish to connect the gateway to this storage. The current configuration is backed up, the new one is written, and the gateway restarts.</source>
        <translation>Klicken Sie auf „Fertigstellen“, um das Gateway mit diesem Speicher zu verbinden. Die aktuelle Konfiguration wird gesichert, die neue geschrieben, und das Gateway startet neu.</translation>
    </message>
    <message>
        <source>Storage:</source>
        <translation>Speicher:</translation>
    </message>
    <message>
        <source>Folder:</source>
        <translation>Ordner:</translation>
    </message>
    <message>
        <source>&amp;Advanced Storage Settings...</source>
        <translation>&amp;Erweiterte Speichereinstellungen …</translation>
    </message>
    <message>
        <source>Working</source>
        <translation>Bitte warten</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>&lt; &amp;Back</source>
        <translation>&lt; &amp;Zurück</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
</context>
<context>
    <name>Status</name>
    <message>
        <source>Running</source>
        <translation>Läuft</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
</context>
<context>
    <name>StatusWindow</name>
    <message>
        <source>%1 has no icon in the panel: this desktop shows no system tray. On GNOME, the AppIndicator extension adds one; once it is on, the icon appears. Until then, open %1 from the application menu to come back to this window.</source>
        <extracomment>%1 is the application&apos;s name. &quot;AppIndicator&quot; is the name of a GNOME Shell extension.</extracomment>
        <translation>%1 hat kein Symbol in der Leiste: Diese Arbeitsumgebung zeigt keinen Infobereich an. Unter GNOME fügt die Erweiterung „AppIndicator“ einen hinzu; sobald sie aktiviert ist, erscheint das Symbol. Öffnen Sie bis dahin %1 über das Anwendungsmenü, um zu diesem Fenster zurückzukehren.</translation>
    </message>
</context>
</TS>
