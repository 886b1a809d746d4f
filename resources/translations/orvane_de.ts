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
    <name>DesktopNotice</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
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
        <translation>Dieser Assistent verbindet das Gateway auf diesem Computer mit Ihrem orvane-Konto.&lt;br/&gt;&lt;br/&gt;Klicken Sie auf „Weiter“, um sich mit Ihrem Webbrowser anzumelden. Sie müssen ein Power-User von orvane sein. Danach wählen Sie den Speicher, den das Gateway bereitstellt: einen neuen für einen Ordner auf diesem Computer oder einen, der bereits existiert.</translation>
    </message>
    <message>
        <source>Reconfigure orvane Storage Gateway</source>
        <translation>orvane Storage Gateway neu einrichten</translation>
    </message>
    <message>
        <source>This gateway is already set up. You can connect it to another storage, or repair its connection to orvane.&lt;br/&gt;&lt;br/&gt;Press Next to sign in with your web browser. The current configuration is backed up before it is replaced, and nothing changes until you press Finish.</source>
        <translation>Dieses Gateway ist bereits eingerichtet. Sie können es mit einem anderen Speicher verbinden oder seine Verbindung zu orvane reparieren.&lt;br/&gt;&lt;br/&gt;Klicken Sie auf „Weiter“, um sich mit Ihrem Webbrowser anzumelden. Die aktuelle Konfiguration wird gesichert, bevor sie ersetzt wird, und nichts ändert sich, bevor Sie auf „Fertigstellen“ klicken.</translation>
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
        <translation>Speicher wählen</translation>
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
        <translation>Einen Speicher verwenden, der in orvane bereits existiert</translation>
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
        <translation>&amp;Wählen …</translation>
    </message>
    <message>
        <source>Choose an existing storage</source>
        <translation>Vorhandenen Speicher wählen</translation>
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
        <translation>Hinweis zum Ordner</translation>
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
        <translation>In Arbeit</translation>
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
    <name>StatusWindow</name>
    <message>
        <source>%1 has no icon in the panel: this desktop shows no system tray. On GNOME, the AppIndicator extension adds one; once it is on, the icon appears. Until then, open %1 from the application menu to come back to this window.</source>
        <extracomment>%1 is the application&apos;s name. &quot;AppIndicator&quot; is the name of a GNOME Shell extension.</extracomment>
        <translation>%1 hat kein Symbol in der Leiste: Diese Arbeitsumgebung zeigt keinen Infobereich an. Unter GNOME fügt die Erweiterung „AppIndicator“ einen hinzu; sobald sie aktiviert ist, erscheint das Symbol. Öffnen Sie bis dahin %1 über das Anwendungsmenü, um zu diesem Fenster zurückzukehren.</translation>
    </message>
</context>
</TS>
