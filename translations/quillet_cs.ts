<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="cs_CZ">
<context>
    <name>TfQuillet</name>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Soubor</translation>
    </message>
    <message>
        <source>&amp;Devices...</source>
        <translation>&amp;Zařízení...</translation>
    </message>
    <message>
        <source>&amp;Cancel operation</source>
        <translation>&amp;Zrušit operaci</translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation>&amp;Konec</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Nápověda</translation>
    </message>
    <message>
        <source>&amp;English</source>
        <translation>&amp;Anglicky</translation>
    </message>
    <message>
        <source>&amp;Czech</source>
        <translation>Č&amp;esky</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Informace</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>&amp;O programu</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Soubory</translation>
    </message>
    <message>
        <source>From:</source>
        <translation>Zdroj:</translation>
    </message>
    <message>
        <source>Web file:</source>
        <translation>Web:</translation>
    </message>
    <message>
        <source>FW:</source>
        <translation>FW:</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>Procházet</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Zdroj</translation>
    </message>
    <message>
        <source>Web file</source>
        <translation>Webový soubor</translation>
    </message>
    <message>
        <source>New version</source>
        <translation>Nová verze</translation>
    </message>
    <message>
        <source>Rewrite last</source>
        <translation>Přepsat</translation>
    </message>
    <message>
        <source>*.bak files</source>
        <translation>Soubory *.bak</translation>
    </message>
    <message>
        <source>Delete *.bak files from source</source>
        <translation>Smazat soubory *.bak ze zdroje</translation>
    </message>
    <message>
        <source>C r e a t e</source>
        <translation>V y t v o ř i t</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>Nahrání</translation>
    </message>
    <message>
        <source>IP:</source>
        <translation>IP:</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Hledat</translation>
    </message>
    <message>
        <source>Upload web</source>
        <translation>Nahrát web</translation>
    </message>
    <message>
        <source>Upload FW</source>
        <translation>Nahrát FW</translation>
    </message>
    <message>
        <source>Cancelled.</source>
        <translation>Zrušeno.</translation>
    </message>
    <message>
        <source>%1 is already running: this is its window.</source>
        <translation>%1 už běží: toto je jeho okno.</translation>
    </message>
    <message>
        <source>The settings could not be saved to %1:
%2</source>
        <translation>Nastavení nelze uložit do %1:
%2</translation>
    </message>
    <message>
        <source>A create or upload is still running. Stop it and quit?</source>
        <translation>Vytváření nebo nahrávání ještě běží. Zastavit je a skončit?</translation>
    </message>
</context>
</TS>
