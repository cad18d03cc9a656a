<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="cs_CZ">
<context>
    <name>CliText</name>
    <message>
        <source>find the devices on the network</source>
        <translation>najde zařízení v síti</translation>
    </message>
    <message>
        <source>pack a folder into a new web file</source>
        <translation>zabalí složku do nového webového souboru</translation>
    </message>
    <message>
        <source>upload a firmware image</source>
        <translation>nahraje obraz firmwaru</translation>
    </message>
    <message>
        <source>give a device a new IP address</source>
        <translation>přidělí zařízení novou IP adresu</translation>
    </message>
    <message>
        <source>give a device at a factory address a free one</source>
        <translation>zařízení s tovární adresou přidělí volnou</translation>
    </message>
    <message>
        <source>list the entries of a web file</source>
        <translation>vypíše položky webového souboru</translation>
    </message>
    <message>
        <source>write the entries back as files</source>
        <translation>zapíše položky zpět jako soubory</translation>
    </message>
    <message>
        <source>preview a web file in a browser</source>
        <translation>ukáže webový soubor v prohlížeči</translation>
    </message>
    <message>
        <source>Looks into a web file: list its entries, extract them, or serve them for a preview.</source>
        <translation>Nahlíží do webového souboru: vypíše jeho položky, rozbalí je nebo je poskytne k náhledu.</translation>
    </message>
    <message>
        <source>Usage: quillet-cli COMMAND [options] [arguments]

Commands:
</source>
        <translation>Použití: quillet-cli PŘÍKAZ [volby] [argumenty]

Příkazy:
</translation>
    </message>
    <message>
        <source>Unknown %1 command &apos;%2&apos;.</source>
        <translation>Neznámý příkaz %1 &apos;%2&apos;.</translation>
    </message>
    <message>
        <source>no command given</source>
        <translation>nebyl zadán žádný příkaz</translation>
    </message>
    <message>
        <source>unknown command &apos;%1&apos;</source>
        <translation>neznámý příkaz &apos;%1&apos;</translation>
    </message>
    <message>
        <source>Show this help and end.</source>
        <translation>Zobrazí tuto nápovědu a skončí.</translation>
    </message>
    <message>
        <source>Show the program version and end.</source>
        <translation>Zobrazí verzi programu a skončí.</translation>
    </message>
    <message>
        <source>Missing arguments.</source>
        <translation>Chybí argumenty.</translation>
    </message>
    <message>
        <source>Too many arguments.</source>
        <translation>Příliš mnoho argumentů.</translation>
    </message>
    <message>
        <source>Usage: %1</source>
        <translation>Použití: %1</translation>
    </message>
    <message>
        <source>Try &apos;%1 %2 --help&apos;.</source>
        <translation>Zkuste &apos;%1 %2 --help&apos;.</translation>
    </message>
    <message>
        <source>Packs FOLDER into a new web file in the output tree pmf/, named and numbered
as the window does, and prints its path. The tree lies beside the program,
or in the user&apos;s data folder when Quillet is installed.</source>
        <translation>Zabalí FOLDER do nového webového souboru ve výstupním stromu pmf/, pojmenovaného
a očíslovaného jako v okně, a vypíše jeho cestu. Strom leží vedle programu,
v nainstalovaném Quilletu ve složce dat uživatele.</translation>
    </message>
    <message>
        <source>The folder of web pages.</source>
        <translation>Složka webových stránek.</translation>
    </message>
    <message>
        <source>Rewrite the last version instead of adding one.</source>
        <translation>Přepíše poslední verzi místo přidání nové.</translation>
    </message>
    <message>
        <source>Name the file as in internal mode.</source>
        <translation>Pojmenuje soubor jako v interním režimu.</translation>
    </message>
    <message>
        <source>Keep the *.bak files of FOLDER (deleted by default).</source>
        <translation>Ponechá soubory *.bak ve FOLDER (jinak se smažou).</translation>
    </message>
    <message>
        <source>Write the web file to FILE instead of the output tree.</source>
        <translation>Zapíše webový soubor do FILE místo do výstupního stromu.</translation>
    </message>
    <message>
        <source>--rewrite replaces a version in the output tree; it cannot go with --output.</source>
        <translation>--rewrite nahrazuje verzi ve výstupním stromu; nelze ji použít s --output.</translation>
    </message>
    <message>
        <source>%1: not a folder</source>
        <translation>%1: není složka</translation>
    </message>
    <message>
        <source>the system refused %1 send of the range search (no route or no neighbour)</source>
        <translation>systém odmítl odeslání hledání v rozsahu: %1 (chybí cesta nebo soused)</translation>
    </message>
    <message>
        <source>the system refused %1 sends of the range search (no route or no neighbour)</source>
        <translation>systém odmítl odeslání hledání v rozsahu: %1 (chybí cesta nebo soused)</translation>
    </message>
    <message>
        <source>interrupted; stopping the uploads</source>
        <translation>přerušeno; nahrávání se zastavuje</translation>
    </message>
    <message>
        <source>To try the failed devices again: </source>
        <translation>Nový pokus u neúspěšných zařízení: </translation>
    </message>
    <message>
        <source>The ranges hold %1 addresses; at most a /16 (65536) in all.</source>
        <translation>Rozsahy obsahují %1 adres; celkem nejvýše /16 (65536).</translation>
    </message>
    <message>
        <source>--interface limits a broadcast; a range search goes by the routing table.</source>
        <translation>--interface omezuje všesměrové vysílání; hledání v rozsahu se řídí směrovací tabulkou.</translation>
    </message>
    <message>
        <source>The rate must be a number of datagrams per second from 1 to 1000000.</source>
        <translation>Rychlost musí být počet datagramů za sekundu od 1 do 1000000.</translation>
    </message>
    <message>
        <source>Uploads a firmware image to each device over TFTP.
Several devices are served side by side.</source>
        <translation>Nahraje obraz firmwaru do každého zařízení přes TFTP.
Více zařízení se obsluhuje souběžně.</translation>
    </message>
    <message>
        <source>The web file.</source>
        <translation>Webový soubor.</translation>
    </message>
    <message>
        <source>The firmware image.</source>
        <translation>Obraz firmwaru.</translation>
    </message>
    <message>
        <source>A device&apos;s IPv4 address; one or more.</source>
        <translation>IPv4 adresa zařízení; jedna nebo více.</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not an IPv4 address such as 192.168.1.20.</source>
        <translation>&apos;%1&apos; není IPv4 adresa jako 192.168.1.20.</translation>
    </message>
    <message>
        <source>%1 is named twice; one upload per device.</source>
        <translation>%1 je uvedena dvakrát; jedno nahrání na zařízení.</translation>
    </message>
    <message>
        <source>%1: no such file</source>
        <translation>%1: soubor neexistuje</translation>
    </message>
    <message>
        <source>%1: no such interface that is up and can broadcast.</source>
        <translation>%1: takové zapnuté rozhraní s všesměrovým vysíláním není.</translation>
    </message>
    <message>
        <source>Broadcasts one discovery query out of every network interface, as the search window
does, and lists every device that answers: IP address, MAC address,
firmware, device type and description, in ascending address order.
A device this computer cannot reach (its address lies outside the networks
of the interface it answered on) is marked. With --range, the query goes to
every address of the ranges instead, also behind routers.</source>
        <translation>Vyšle jeden vyhledávací dotaz každým síťovým rozhraním jako okno hledání
a vypíše každé zařízení, které odpoví: IP adresu, MAC adresu, firmware,
typ a popis zařízení, seřazené vzestupně podle adresy.
Zařízení, na které tento počítač nedosáhne (jeho adresa leží mimo sítě
rozhraní, na kterém odpovědělo), je označeno. S --range jde dotaz místo toho
na každou adresu rozsahů, i za směrovači.</translation>
    </message>
    <message>
        <source>Print a JSON array of objects instead.</source>
        <translation>Vypíše místo toho pole objektů JSON.</translation>
    </message>
    <message>
        <source>Print CSV with a header line instead.</source>
        <translation>Vypíše místo toho CSV s řádkem záhlaví.</translation>
    </message>
    <message>
        <source>Read the device type names from FILE (section GlobalTypes).</source>
        <translation>Načte názvy typů zařízení z FILE (sekce GlobalTypes).</translation>
    </message>
    <message>
        <source>Broadcast only out of this interface; may be repeated.</source>
        <translation>Vysílá jen tímto rozhraním; lze opakovat.</translation>
    </message>
    <message>
        <source>Ask every address of CIDR (e.g. 203.0.113.0/24) instead of broadcasting; may be repeated, at most a /16 in all.</source>
        <translation>Místo všesměrového vysílání se ptá každé adresy CIDR (např. 203.0.113.0/24); lze opakovat, celkem nejvýše /16.</translation>
    </message>
    <message>
        <source>Datagrams per second of a range search (default %1).</source>
        <translation>Datagramy za sekundu při hledání v rozsahu (výchozí %1).</translation>
    </message>
    <message>
        <source>No device answered.</source>
        <translation>Žádné zařízení neodpovědělo.</translation>
    </message>
    <message>
        <source>Device %1 answers at %2.</source>
        <translation>Zařízení %1 odpovídá na %2.</translation>
    </message>
    <message>
        <source>No device with MAC %1 answered at %2 within %3 s.</source>
        <translation>Žádné zařízení s MAC %1 neodpovědělo na %2 do %3 s.</translation>
    </message>
    <message>
        <source>How long to search for the device at its new address (default 10).</source>
        <translation>Jak dlouho hledat zařízení na nové adrese (výchozí 10).</translation>
    </message>
    <message>
        <source>The wait must be a number of seconds from more than 0 to 3600.</source>
        <translation>Čekání musí být počet sekund větší než 0 a nejvýše 3600.</translation>
    </message>
    <message>
        <source>Gives the device with the MAC address MAC the IP address ADDRESS, after making sure
that nothing answers at ADDRESS yet, then searches until that device answers there.
The change goes out only of the interface the device answers a search on.</source>
        <translation>Přidělí zařízení s MAC adresou MAC IP adresu ADDRESS, když se předtím ujistí,
že na ADDRESS ještě nic neodpovídá, a pak hledá, dokud tam zařízení neodpoví.
Změna odchází jen rozhraním, na kterém zařízení odpovídá na hledání.</translation>
    </message>
    <message>
        <source>The device&apos;s MAC address, e.g. 02-00-00-12-34-5F or 02:00:00:12:34:5f.</source>
        <translation>MAC adresa zařízení, např. 02-00-00-12-34-5F nebo 02:00:00:12:34:5f.</translation>
    </message>
    <message>
        <source>The new IPv4 address.</source>
        <translation>Nová IPv4 adresa.</translation>
    </message>
    <message>
        <source>Only enter the address in this computer&apos;s neighbour table.</source>
        <translation>Jen zapíše adresu do tabulky sousedů tohoto počítače.</translation>
    </message>
    <message>
        <source>Look for the device on this interface only, and send the change out of it even when the device does not answer.</source>
        <translation>Hledá zařízení jen na tomto rozhraní a pošle jím změnu, i když zařízení neodpovídá.</translation>
    </message>
    <message>
        <source>Do not search for the device afterwards.</source>
        <translation>Potom zařízení nehledá.</translation>
    </message>
    <message>
        <source>Gives a device that answers from outside the networks of its interface (a factory
address) a free address of that interface&apos;s network, and searches until it
answers there.</source>
        <translation>Zařízení, které odpovídá z adresy mimo sítě svého rozhraní (tovární adresa),
přidělí volnou adresu ze sítě tohoto rozhraní a hledá, dokud na ní
neodpoví.</translation>
    </message>
    <message>
        <source>The device&apos;s MAC address.</source>
        <translation>MAC adresa zařízení.</translation>
    </message>
    <message>
        <source>Look for the device on this interface only.</source>
        <translation>Hledá zařízení jen na tomto rozhraní.</translation>
    </message>
    <message>
        <source>Device %1 at %2 is reachable from %3: there is nothing to rescue.</source>
        <translation>Zařízení %1 na %2 je dosažitelné z %3: není co zachraňovat.</translation>
    </message>
    <message>
        <source>Giving %1 (at %2) the free address %3 of %4 (%5).</source>
        <translation>Zařízení %1 (na %2) dostává volnou adresu %3 rozhraní %4 (%5).</translation>
    </message>
    <message>
        <source>%1 entry, %2 bytes: the directory matches the stored bytes</source>
        <translation>%1 položka, %2 bajtů: adresář odpovídá uloženým bajtům</translation>
    </message>
    <message>
        <source>%1 entries, %2 bytes: the directory matches the stored bytes</source>
        <translation>Počet položek %1, %2 bajtů: adresář odpovídá uloženým bajtům</translation>
    </message>
    <message>
        <source>Lists each entry of a web file with its stored size, offset and MIME type,
then checks that the directory matches the stored bytes.</source>
        <translation>Vypíše každou položku webového souboru s uloženou velikostí, posunem a typem MIME,
pak ověří, že adresář odpovídá uloženým bajtům.</translation>
    </message>
    <message>
        <source>Writes every entry of a web file back as a file in FOLDER, without its reply head.</source>
        <translation>Zapíše každou položku webového souboru zpět jako soubor do FOLDER, bez hlavičky odpovědi.</translation>
    </message>
    <message>
        <source>Where the files go; created when missing.</source>
        <translation>Kam soubory patří; chybí-li, vytvoří se.</translation>
    </message>
    <message>
        <source>Replace files that are already in FOLDER.</source>
        <translation>Nahradí soubory, které už ve FOLDER jsou.</translation>
    </message>
    <message>
        <source>%1 file written to %2</source>
        <translation>%1 soubor zapsán do %2</translation>
    </message>
    <message>
        <source>%1 files written to %2</source>
        <translation>Počet souborů zapsaných do %2: %1</translation>
    </message>
    <message>
        <source>Serves a web file on 127.0.0.1 as a device would, for a preview in a browser.
Runs until it is stopped (Ctrl+C).</source>
        <translation>Poskytuje webový soubor na 127.0.0.1 jako zařízení, k náhledu v prohlížeči.
Běží, dokud se nezastaví (Ctrl+C).</translation>
    </message>
    <message>
        <source>The port to listen on (default 8080; 0 picks a free one).</source>
        <translation>Port, na kterém naslouchat (výchozí 8080; 0 vybere volný).</translation>
    </message>
    <message>
        <source>The port must be a number from 0 to 65535.</source>
        <translation>Port musí být číslo od 0 do 65535.</translation>
    </message>
    <message>
        <source>Serving %1 on http://127.0.0.1:%2/ (Ctrl+C stops)</source>
        <translation>Poskytuje se %1 na http://127.0.0.1:%2/ (Ctrl+C zastaví)</translation>
    </message>
    <message>
        <source>upload a web file and verify each device</source>
        <translation>nahraje webový soubor a ověří každé zařízení</translation>
    </message>
    <message>
        <source>Uploads a web file to each device over TFTP, waits until it has restarted and checks over HTTP that it serves the new file.
Several devices are served side by side.</source>
        <translation>Nahraje webový soubor do každého zařízení přes TFTP, počká, až se restartuje, a přes HTTP ověří, že poskytuje nový soubor.
Více zařízení se obsluhuje souběžně.</translation>
    </message>
    <message>
        <source>Do not check over HTTP that each device serves the new web file.</source>
        <translation>Neověřovat přes HTTP, že každé zařízení poskytuje nový webový soubor.</translation>
    </message>
    <message>
        <source>what the site journal recorded, newest first</source>
        <translation>co zaznamenal deník pracoviště, nejnovější napřed</translation>
    </message>
    <message>
        <source>
Every command takes --help and --version. Exit status: 0 success, 1 failure,
2 usage error. search, the uploads, change-ip and rescue record what they
did in the site journal unless given --no-journal.
</source>
        <translation>
Každý příkaz přijímá --help a --version. Návratový kód: 0 úspěch, 1 selhání,
2 chybné použití. search, nahrávání, change-ip a rescue zapisují, co udělaly,
do deníku pracoviště, pokud nedostanou --no-journal.
</translation>
    </message>
    <message>
        <source>Print only what changed since the previous search of the same interfaces or ranges: devices new, moved, with other firmware, gone.</source>
        <translation>Vypíše jen to, co se změnilo od předchozího hledání na týchž rozhraních nebo rozsazích: zařízení nová, přesunutá, s jiným firmwarem, zmizelá.</translation>
    </message>
    <message>
        <source>new</source>
        <translation>nové</translation>
    </message>
    <message>
        <source>moved</source>
        <translation>přesunuto</translation>
    </message>
    <message>
        <source>firmware changed</source>
        <translation>jiný firmware</translation>
    </message>
    <message>
        <source>gone</source>
        <translation>zmizelo</translation>
    </message>
    <message>
        <source>Record nothing in the site journal.</source>
        <translation>Nic nezapisuje do deníku pracoviště.</translation>
    </message>
    <message>
        <source>was at %1</source>
        <translation>bylo na %1</translation>
    </message>
    <message>
        <source>firmware was %1</source>
        <translation>firmware byl %1</translation>
    </message>
    <message>
        <source>Lists what the site journal recorded, newest first: the devices each search
found new, moved or with other firmware, every upload with its file and outcome,
and every IP change.</source>
        <translation>Vypíše, co zaznamenal deník pracoviště, nejnovější napřed: zařízení, která každé
hledání našlo nová, přesunutá nebo s jiným firmwarem, každé nahrání s jeho
souborem a výsledkem a každou změnu IP.</translation>
    </message>
    <message>
        <source>Only this device&apos;s events; may be repeated.</source>
        <translation>Jen události tohoto zařízení; lze zopakovat.</translation>
    </message>
    <message>
        <source>Only events from DATE on (2026-03-01, or a time such as 2026-03-01T14:00).</source>
        <translation>Jen události od DATE (2026-03-01 nebo čas jako 2026-03-01T14:00).</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a MAC address such as 02-00-00-12-34-5F.</source>
        <translation>&apos;%1&apos; není MAC adresa jako 02-00-00-12-34-5F.</translation>
    </message>
    <message>
        <source>The date must read like 2026-03-01 or 2026-03-01T14:00.</source>
        <translation>Datum se zapisuje jako 2026-03-01 nebo 2026-03-01T14:00.</translation>
    </message>
    <message>
        <source>The journal holds no such events.</source>
        <translation>Deník žádné takové události neobsahuje.</translation>
    </message>
    <message>
        <source>cannot create a file in %1: %2</source>
        <translation>nelze vytvořit soubor v %1: %2</translation>
    </message>
    <message>
        <source>cannot write %1: %2</source>
        <translation>nelze zapsat %1: %2</translation>
    </message>
    <message>
        <source>%1: is a folder, not a web file</source>
        <translation>%1: je složka, ne webový soubor</translation>
    </message>
    <message>
        <source>cannot open %1: %2</source>
        <translation>nelze otevřít %1: %2</translation>
    </message>
    <message>
        <source>cannot read %1</source>
        <translation>nelze přečíst %1</translation>
    </message>
    <message>
        <source>%1: not a web file: longer than %2 bytes, the most a web file can hold</source>
        <translation>%1: není webový soubor: delší než %2 bajtů, nejvíc, co webový soubor pojme</translation>
    </message>
    <message>
        <source>%1: not a web file: %2</source>
        <translation>%1: není webový soubor: %2</translation>
    </message>
    <message>
        <source>%1 exists and is not a folder</source>
        <translation>%1 existuje a není to složka</translation>
    </message>
    <message>
        <source>cannot create %1: %2</source>
        <translation>nelze vytvořit %1: %2</translation>
    </message>
    <message>
        <source>%1 already exists; nothing written (--overwrite replaces files)</source>
        <translation>%1 už existuje; nic nebylo zapsáno (--overwrite soubory nahradí)</translation>
    </message>
    <message>
        <source>cannot listen on 127.0.0.1:%1: %2</source>
        <translation>nelze naslouchat na 127.0.0.1:%1: %2</translation>
    </message>
    <message>
        <source>entry %1 (%2) cannot be written inside the folder: %3</source>
        <translation>položku %1 (%2) nelze zapsat dovnitř složky: %3</translation>
    </message>
    <message>
        <source>entry %1 (%2) repeats the name of an earlier entry</source>
        <translation>položka %1 (%2) opakuje název dřívější položky</translation>
    </message>
    <message>
        <source>--changes compares with the journal; --no-journal keeps none.</source>
        <translation>--changes porovnává s deníkem; --no-journal žádný nevede.</translation>
    </message>
    <message>
        <source>--changes prints text or JSON.</source>
        <translation>--changes vypisuje text nebo JSON.</translation>
    </message>
    <message>
        <source>Nothing changed since the previous search.</source>
        <translation>Od předchozího hledání se nic nezměnilo.</translation>
    </message>
    <message>
        <source>How many transfers run at once; the other devices wait their turn (default %1).</source>
        <translation>Kolik přenosů běží najednou; ostatní zařízení čekají, až na ně přijde řada (výchozí %1).</translation>
    </message>
    <message>
        <source>--parallel takes a number of transfers from 1 to 10000.</source>
        <translation>--parallel bere počet přenosů od 1 do 10000.</translation>
    </message>
</context>
<context>
    <name>ClientFailureLine</name>
    <message>
        <source>The file %1 could not be read.</source>
        <translation>Soubor %1 nelze přečíst.</translation>
    </message>
    <message>
        <source>The device refused the file: its TFTP server may be write-protected or busy.</source>
        <translation>Zařízení soubor odmítlo: server TFTP je možná jen ke čtení nebo vytížený.</translation>
    </message>
    <message>
        <source>The device at %1 answers, but its TFTP server does not: it may be switched off or busy.</source>
        <translation>Zařízení na %1 odpovídá, ale jeho server TFTP ne: je možná vypnutý nebo zaneprázdněný.</translation>
    </message>
    <message>
        <source>The device did not answer at %1: is it switched on and at this address?</source>
        <translation>Zařízení na %1 neodpovědělo: je zapnuté a má tuto adresu?</translation>
    </message>
    <message>
        <source>The upload failed (TFTP client exit status %1).</source>
        <translation>Nahrání selhalo (návratový kód klienta TFTP %1).</translation>
    </message>
</context>
<context>
    <name>FreeAddress</name>
    <message>
        <source>The network %1 is too small to propose a free address in it.</source>
        <translation>Síť %1 je příliš malá, aby v ní šlo navrhnout volnou adresu.</translation>
    </message>
    <message>
        <source>No free address was found in %1: the %2 tried all answer or are in use.</source>
        <translation>V %1 se nenašla volná adresa: všech %2 vyzkoušených odpovídá nebo se používá.</translation>
    </message>
</context>
<context>
    <name>JournalWords</name>
    <message>
        <source>upload</source>
        <translation>nahrání</translation>
    </message>
    <message>
        <source>ip change</source>
        <translation>změna IP</translation>
    </message>
    <message>
        <source>search</source>
        <translation>hledání</translation>
    </message>
    <message>
        <source>firmware</source>
        <translation>firmware</translation>
    </message>
    <message>
        <source>web</source>
        <translation>web</translation>
    </message>
    <message>
        <source>first seen</source>
        <translation>poprvé viděno</translation>
    </message>
    <message>
        <source>moved</source>
        <translation>přesunuto</translation>
    </message>
    <message>
        <source>firmware changed</source>
        <translation>jiný firmware</translation>
    </message>
    <message>
        <source>to %1: %2</source>
        <translation>na %1: %2</translation>
    </message>
    <message>
        <source>%1 (firmware %2)</source>
        <translation>%1 (firmware %2)</translation>
    </message>
    <message>
        <source>done</source>
        <translation>hotovo</translation>
    </message>
    <message>
        <source>nothing sent</source>
        <translation>nic neodesláno</translation>
    </message>
    <message>
        <source>upload time-out</source>
        <translation>vypršel čas nahrávání</translation>
    </message>
    <message>
        <source>restart time-out</source>
        <translation>vypršel čas restartu</translation>
    </message>
    <message>
        <source>internal error</source>
        <translation>vnitřní chyba</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>selhalo</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>bez odpovědi</translation>
    </message>
    <message>
        <source>interrupted</source>
        <translation>přerušeno</translation>
    </message>
    <message>
        <source>verified</source>
        <translation>ověřeno</translation>
    </message>
    <message>
        <source>differs</source>
        <translation>liší se</translation>
    </message>
    <message>
        <source>not verified</source>
        <translation>neověřeno</translation>
    </message>
    <message>
        <source>cancelled</source>
        <translation>zrušeno</translation>
    </message>
    <message>
        <source>sent, not checked</source>
        <translation>odesláno, neověřeno</translation>
    </message>
    <message>
        <source>no answer at the new address</source>
        <translation>na nové adrese bez odpovědi</translation>
    </message>
    <message>
        <source>neighbour table only</source>
        <translation>jen tabulka sousedů</translation>
    </message>
</context>
<context>
    <name>QLineEdit</name>
    <message>
        <source>&amp;Paste</source>
        <translation>&amp;Vložit</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Warning</source>
        <translation>Upozornění</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Informace</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Chyba</translation>
    </message>
</context>
<context>
    <name>QuilletHelp</name>
    <message>
        <source>Packs a folder of web pages into one web file and uploads web files and firmware to devices.

-brimo as the first argument, in any case, starts the internal mode:
firmware upload and the full help page.</source>
        <translation>Zabalí složku webových stránek do jednoho webového souboru a nahrává webové soubory
a firmware do zařízení.

-brimo jako první argument, v libovolné velikosti písmen, spustí interní režim:
nahrávání firmwaru a úplnou stránku nápovědy.</translation>
    </message>
    <message>
        <source>Displays this help.</source>
        <translation>Zobrazí tuto nápovědu.</translation>
    </message>
    <message>
        <source>Displays version information.</source>
        <translation>Zobrazí informace o verzi.</translation>
    </message>
    <message>
        <source>The language of the window: cs or en (default: the system&apos;s, or Language= in qlt.ini).</source>
        <translation>Jazyk okna: cs nebo en (výchozí: jazyk systému nebo Language= v qlt.ini).</translation>
    </message>
    <message>
        <source>%1 is already running; its window has been brought to the front.</source>
        <translation>%1 už běží; jeho okno bylo přeneseno do popředí.</translation>
    </message>
    <message>
        <source>%1 is already running.</source>
        <translation>%1 už běží.</translation>
    </message>
</context>
<context>
    <name>RelynChangeTarget</name>
    <message>
        <source>No device with MAC %1 answered a search; to send the change all the same, name the interface to send it out of with --interface.</source>
        <translation>Na hledání neodpovědělo žádné zařízení s MAC %1; chcete-li změnu přesto poslat, určete volbou --interface rozhraní, kterým se má odeslat.</translation>
    </message>
    <message>
        <source>The device with MAC %1 answered on %2: name the one to send the change out of with --interface.</source>
        <translation>Zařízení s MAC %1 odpovědělo na %2: volbou --interface určete to, kterým se má změna odeslat.</translation>
    </message>
    <message>
        <source> and </source>
        <translation> a </translation>
    </message>
    <message>
        <source>%1 and %2 on %3 both end in %4: the change names a device only by those two bytes and would move both.</source>
        <translation>%1 i %2 na %3 končí na %4: změna určuje zařízení jen těmito dvěma bajty a přesunula by obě.</translation>
    </message>
</context>
<context>
    <name>RelynDeviceList</name>
    <message>
        <source>Syntax error</source>
        <translation>Chyba syntaxe</translation>
    </message>
    <message>
        <source>Synax error</source>
        <translation>Chyba syntaxe</translation>
    </message>
    <message>
        <source>The ranges hold %1 addresses; at most a /16 (65536) in all.</source>
        <translation>Rozsahy obsahují %1 adres; celkem nejvýše /16 (65536).</translation>
    </message>
</context>
<context>
    <name>RelynIPChange</name>
    <message>
        <source>%1 is this computer&apos;s own address (%2).</source>
        <translation>%1 je vlastní adresa tohoto počítače (%2).</translation>
    </message>
    <message>
        <source>%1 is the network address of %2.</source>
        <translation>%1 je adresa sítě %2.</translation>
    </message>
    <message>
        <source>%1 is the broadcast address of %2.</source>
        <translation>%1 je adresa všesměrového vysílání sítě %2.</translation>
    </message>
</context>
<context>
    <name>RelynNoReply</name>
    <message>
        <source>The query went out of the one interface the system chose.</source>
        <translation>Dotaz odešel jediným rozhraním, které zvolil systém.</translation>
    </message>
    <message>
        <source>Asked on %1.</source>
        <translation>Dotázáno na %1.</translation>
    </message>
    <message>
        <source>it cannot match a device&apos;s reply to the broadcast query, so it may drop the replies and hide the devices.</source>
        <translation>nedokáže přiřadit odpověď zařízení k všesměrovému dotazu, a tak může odpovědi zahodit a zařízení skrýt.</translation>
    </message>
    <message>
        <source>This lets the replies (UDP from port 30718) in:</source>
        <translation>Odpovědi (UDP z portu 30718) propustí tento příkaz:</translation>
    </message>
    <message>
        <source>This computer&apos;s firewall (nftables chain %1) drops what it does not accept: </source>
        <translation>Firewall tohoto počítače (řetězec nftables %1) zahazuje, co nepřijme: </translation>
    </message>
    <message>
        <source>The firewall firewalld runs on this computer: </source>
        <translation>Na tomto počítači běží firewall firewalld: </translation>
    </message>
    <message>
        <source>The firewall ufw is enabled on this computer: </source>
        <translation>Na tomto počítači je zapnutý firewall ufw: </translation>
    </message>
    <message>
        <source>If this computer runs a firewall, </source>
        <translation>Pokud na tomto počítači běží firewall, </translation>
    </message>
    <message>
        <source>With nftables, this lets the replies (UDP from port 30718) in:</source>
        <translation>S nftables odpovědi (UDP z portu 30718) propustí tento příkaz:</translation>
    </message>
    <message>
        <source>No device answered.</source>
        <translation>Žádné zařízení neodpovědělo.</translation>
    </message>
    <message>
        <source>Asked the address %1.</source>
        <translation>Dotázána adresa %1.</translation>
    </message>
    <message>
        <source>Asked the %1 addresses %2 one by one.</source>
        <translation>Postupně dotázáno %1 adres: %2.</translation>
    </message>
    <message>
        <source>A device answers only at an address of the range, and only when the routers on the way pass UDP to and from port 30718.</source>
        <translation>Zařízení odpoví jen na adrese z rozsahu, a jen když směrovače po cestě propouštějí UDP z portu 30718 a na něj.</translation>
    </message>
    <message>
        <source>unless it lets in the replies to this computer&apos;s own queries, it drops the devices&apos; replies and hides the devices.</source>
        <translation>pokud nepropouští odpovědi na vlastní dotazy tohoto počítače, zahodí odpovědi zařízení a zařízení skryje.</translation>
    </message>
</context>
<context>
    <name>RelynSearch</name>
    <message>
        <source>&apos;%1&apos; is not a range such as 192.0.2.0/24.</source>
        <translation>&apos;%1&apos; není rozsah jako 192.0.2.0/24.</translation>
    </message>
    <message>
        <source>A datagram of more than %1 bytes was skipped.</source>
        <translation>Datagram delší než %1 bajtů byl přeskočen.</translation>
    </message>
    <message>
        <source>An empty datagram from %1 was skipped.</source>
        <translation>Prázdný datagram z %1 byl přeskočen.</translation>
    </message>
    <message>
        <source>%1: no such interface that is up and can broadcast.</source>
        <translation>%1: takové zapnuté rozhraní s všesměrovým vysíláním není.</translation>
    </message>
    <message>
        <source>A reply from %1, which is no device&apos;s address, was skipped.</source>
        <translation>Odpověď z %1, což není adresa žádného zařízení, byla přeskočena.</translation>
    </message>
    <message>
        <source>A reply from %1, the network&apos;s own or broadcast address on %2 (%3), was skipped.</source>
        <translation>Odpověď z %1, adresy sítě nebo všesměrové adresy na %2 (%3), byla přeskočena.</translation>
    </message>
    <message>
        <source>Repeated replies from %1 were skipped.</source>
        <translation>Opakované odpovědi z %1 byly přeskočeny.</translation>
    </message>
</context>
<context>
    <name>RelynTypeNames</name>
    <message>
        <source>Cannot open file &quot;%1&quot;. %2</source>
        <translation>Nelze otevřít soubor „%1“. %2</translation>
    </message>
    <message>
        <source>Cannot read file &quot;%1&quot;. %2</source>
        <translation>Nelze číst soubor „%1“. %2</translation>
    </message>
    <message>
        <source>Cannot read file &quot;%1&quot;.</source>
        <translation>Nelze číst soubor „%1“.</translation>
    </message>
</context>
<context>
    <name>TDeviceUpload</name>
    <message>
        <source>Process done.</source>
        <translation>Proces dokončen.</translation>
    </message>
    <message>
        <source>Web upload failed.</source>
        <translation>Nahrání webu selhalo.</translation>
    </message>
    <message>
        <source>Process failed?</source>
        <translation>Proces selhal?</translation>
    </message>
    <message>
        <source>Sending: %1 %</source>
        <translation>Odesílání: %1 %</translation>
    </message>
    <message>
        <source>Device restart: at most %1:%2 more</source>
        <translation>Restart zařízení: nejvýše ještě %1:%2</translation>
    </message>
    <message>
        <source>IP address syntax error.</source>
        <translation>Chybný zápis IP adresy.</translation>
    </message>
    <message>
        <source>Web upload...   \</source>
        <translation>Nahrávání webu...   \</translation>
    </message>
    <message>
        <source>No IP adress selected.</source>
        <translation>Není vybrána IP adresa.</translation>
    </message>
    <message>
        <source>No input (web) file selected.</source>
        <translation>Není vybrán vstupní (webový) soubor.</translation>
    </message>
    <message>
        <source>Firmware upload...   \</source>
        <translation>Nahrávání firmwaru...   \</translation>
    </message>
    <message>
        <source>No input (fw) file selected.</source>
        <translation>Není vybrán vstupní soubor (FW).</translation>
    </message>
    <message>
        <source>No IP address selected.</source>
        <translation>Není vybrána IP adresa.</translation>
    </message>
    <message>
        <source>Firmware upload successful.</source>
        <translation>Firmware úspěšně nahrán.</translation>
    </message>
    <message>
        <source>Device restart...</source>
        <translation>Restart zařízení...</translation>
    </message>
    <message>
        <source>Device restart timeout elapsed.</source>
        <translation>Vypršel čas na restart zařízení.</translation>
    </message>
    <message>
        <source>Internal error.</source>
        <translation>Vnitřní chyba.</translation>
    </message>
    <message>
        <source>Nothing was sent.</source>
        <translation>Nic nebylo odesláno.</translation>
    </message>
    <message>
        <source>Stopped before the upload ended.</source>
        <translation>Zastaveno před koncem nahrávání.</translation>
    </message>
    <message>
        <source>Device restart done.</source>
        <translation>Restart zařízení dokončen.</translation>
    </message>
    <message>
        <source>Web upload successful.</source>
        <translation>Web úspěšně nahrán.</translation>
    </message>
    <message>
        <source>Core web upload process timeout exceeded.</source>
        <translation>Překročen časový limit nahrávání webu.</translation>
    </message>
    <message>
        <source>It is possible to writting process was successful. Please, check your device web site, if upload was procceed correctly.</source>
        <translation>Zápis možná proběhl úspěšně. Zkontrolujte prosím webové stránky zařízení, zda nahrání proběhlo správně.</translation>
    </message>
    <message>
        <source>It is possible you will not connect to device a few time.</source>
        <translation>Možná se k zařízení chvíli nepřipojíte.</translation>
    </message>
    <message>
        <source>Wait some seconds after next device connection.</source>
        <translation>Před dalším připojením k zařízení počkejte několik sekund.</translation>
    </message>
    <message>
        <source>Upload failed at %1 %.</source>
        <translation>Nahrávání selhalo na %1 %.</translation>
    </message>
    <message>
        <source>The transfer stopped at %1 %: the device acknowledged nothing for %2 s.</source>
        <translation>Přenos se zastavil na %1 %: zařízení %2 s nic nepotvrdilo.</translation>
    </message>
    <message>
        <source>The whole file was sent, but the transfer had not ended %1 s later.</source>
        <translation>Celý soubor byl odeslán, ale přenos neskončil ani o %1 s později.</translation>
    </message>
    <message>
        <source>File sent; stopped waiting for the restart.</source>
        <translation>Soubor odeslán; čekání na restart zastaveno.</translation>
    </message>
</context>
<context>
    <name>TFleetUpload</name>
    <message>
        <source>Send the firmware %1 to %2 devices?</source>
        <translation>Poslat firmware %1 do %2 zařízení?</translation>
    </message>
    <message>
        <source>These differ in family or model from the others:
</source>
        <translation>Tato zařízení se od ostatních liší řadou nebo modelem:
</translation>
    </message>
    <message>
        <source>This computer has no route to:
</source>
        <translation>Tento počítač nemá cestu k:
</translation>
    </message>
    <message>
        <source>Send to them anyway?</source>
        <translation>Přesto je poslat?</translation>
    </message>
    <message>
        <source>%1 of %2 %3 done</source>
        <translation>%1 z %2 %3 hotovo</translation>
    </message>
    <message>
        <source>device</source>
        <translation>zařízení</translation>
    </message>
    <message>
        <source>devices</source>
        <translation>zařízení</translation>
    </message>
    <message>
        <source>, %1 verified</source>
        <translation>, ověřeno %1</translation>
    </message>
    <message>
        <source>, 1 differs</source>
        <translation>, 1 se liší</translation>
    </message>
    <message>
        <source>, %1 differ</source>
        <translation>, %1 se liší</translation>
    </message>
    <message>
        <source>Stopped before its turn came; nothing was sent.</source>
        <translation>Zastaveno dřív, než na ně přišla řada; nic nebylo odesláno.</translation>
    </message>
</context>
<context>
    <name>TJournal</name>
    <message>
        <source>it is not an SQLite database</source>
        <translation>není to databáze SQLite</translation>
    </message>
    <message>
        <source>The journal %1 could not be opened: Qt&apos;s SQLite driver is not installed. Nothing is recorded in it this time.</source>
        <translation>Deník %1 nelze otevřít: ovladač SQLite pro Qt není nainstalován. Tentokrát se do něj nic nezapíše.</translation>
    </message>
    <message>
        <source>The journal %1 could not be opened (%2). Nothing is recorded in it this time.</source>
        <translation>Deník %1 nelze otevřít (%2). Tentokrát se do něj nic nezapíše.</translation>
    </message>
    <message>
        <source>The journal %1 could not be read (%2). Nothing is recorded in it this time.</source>
        <translation>Deník %1 nelze přečíst (%2). Tentokrát se do něj nic nezapíše.</translation>
    </message>
    <message>
        <source>The journal %1 was written by a newer Quillet (journal version %2; this one knows up to %3). It is left as it is, and nothing is recorded in it this time.</source>
        <translation>Deník %1 zapsal novější Quillet (verze deníku %2; tento zná nejvýš %3). Zůstává, jak je, a tentokrát se do něj nic nezapíše.</translation>
    </message>
    <message>
        <source>it is another program&apos;s database</source>
        <translation>je to databáze jiného programu</translation>
    </message>
    <message>
        <source>The journal %1 could not be read (%2) and could not be kept beside it (%3). Nothing is recorded in it this time.</source>
        <translation>Deník %1 nelze přečíst (%2) a nelze ho ani uschovat vedle (%3). Tentokrát se do něj nic nezapíše.</translation>
    </message>
    <message>
        <source>The journal %1 could not be read (%2). It is kept as %3, and a new journal was started.</source>
        <translation>Deník %1 nelze přečíst (%2). Je uschován jako %3 a byl založen nový deník.</translation>
    </message>
    <message>
        <source>The journal %1 was kept busy by another program; an event was not recorded.</source>
        <translation>Deník %1 byl zaneprázdněn jiným programem; jedna událost nebyla zapsána.</translation>
    </message>
    <message>
        <source>The journal %1 could not be written (%2). Nothing more is recorded in it this time.</source>
        <translation>Do deníku %1 nelze zapisovat (%2). Tentokrát se do něj už nic dalšího nezapíše.</translation>
    </message>
</context>
<context>
    <name>TJournalColumns</name>
    <message>
        <source>new</source>
        <translation>nové</translation>
    </message>
    <message>
        <source>moved from %1</source>
        <translation>přesunuto z %1</translation>
    </message>
    <message>
        <source>firmware changed from %1</source>
        <translation>firmware změněn z %1</translation>
    </message>
    <message>
        <source>gone</source>
        <translation>zmizelo</translation>
    </message>
    <message>
        <source>Heard by the previous search, not by this one.</source>
        <translation>Ozvalo se při předchozím hledání, při tomto ne.</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Název</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Poznámka</translation>
    </message>
    <message>
        <source>Last upload</source>
        <translation>Poslední nahrání</translation>
    </message>
    <message>
        <source>Since last search</source>
        <translation>Od posledního hledání</translation>
    </message>
</context>
<context>
    <name>TRelynDeviceModel</name>
    <message>
        <source> and </source>
        <translation> a </translation>
    </message>
    <message>
        <source>IP address</source>
        <translation>IP adresa</translation>
    </message>
    <message>
        <source>MAC address</source>
        <translation>MAC adresa</translation>
    </message>
    <message>
        <source>Firmware</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>Device type</source>
        <translation>Typ zařízení</translation>
    </message>
    <message>
        <source>Device description</source>
        <translation>Popis zařízení</translation>
    </message>
    <message>
        <source>Interface</source>
        <translation>Rozhraní</translation>
    </message>
    <message>
        <source>This computer cannot reach %1 through %2 (%3). Give the device an address in %3 with Change IP.</source>
        <translation>Tento počítač nedosáhne na %1 přes %2 (%3). Přidělte zařízení adresu v %3 tlačítkem Změnit IP.</translation>
    </message>
    <message>
        <source>1 device</source>
        <translation>1 zařízení</translation>
    </message>
    <message>
        <source>%1 devices</source>
        <translation>%1 zařízení</translation>
    </message>
    <message>
        <source> in %1</source>
        <translation> v %1</translation>
    </message>
    <message>
        <source> on %1</source>
        <translation> na %1</translation>
    </message>
    <message>
        <source> in %1 s</source>
        <translation> za %1 s</translation>
    </message>
</context>
<context>
    <name>TRelynIPChangeLangSupport</name>
    <message>
        <source>Change IP address</source>
        <translation>Změna IP adresy</translation>
    </message>
    <message>
        <source>Change</source>
        <translation>Změnit</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Zrušit</translation>
    </message>
    <message>
        <source>IP address:</source>
        <translation>IP adresa:</translation>
    </message>
    <message>
        <source>MAC address</source>
        <translation>MAC adresa</translation>
    </message>
    <message>
        <source>Set IP address to ARP table only</source>
        <translation>Nastavit IP adresu jen do tabulky ARP</translation>
    </message>
</context>
<context>
    <name>TRelynIPChangeMsgLngSupport</name>
    <message>
        <source>IP address was temporarily assigned to MAC<byte value="xd"/>
To make IP change permanent you must change IP adress in device setup!</source>
        <translation>IP adresa byla dočasně přiřazena k MAC<byte value="xd"/>
Aby byla změna IP trvalá, musíte IP adresu změnit v nastavení zařízení!</translation>
    </message>
    <message>
        <source>IP address was successfuly changed</source>
        <translation>IP adresa byla úspěšně změněna</translation>
    </message>
    <message>
        <source>IP address change error.</source>
        <translation>Chyba při změně IP adresy.</translation>
    </message>
    <message>
        <source>IP address syntax error.<byte value="xd"/>
Write correct IP address, please.</source>
        <translation>Chybný zápis IP adresy.<byte value="xd"/>
Zadejte prosím správnou IP adresu.</translation>
    </message>
    <message>
        <source>Selected IP address already exists.</source>
        <translation>Zvolená IP adresa už existuje.</translation>
    </message>
    <message>
        <source>MAC address syntax error.</source>
        <translation>Chybný zápis MAC adresy.</translation>
    </message>
    <message>
        <source>Setting the neighbour table needs administrator rights, which this program does not have.<byte value="xd"/>
Start it as administrator (root, for example with sudo), or change the address in the device without &quot;ARP table only&quot;.</source>
        <translation>Zápis do tabulky sousedů vyžaduje práva správce, která tento program nemá.<byte value="xd"/>
Spusťte jej jako správce (root, například přes sudo), nebo změňte adresu v zařízení bez volby „jen do tabulky ARP“.</translation>
    </message>
</context>
<context>
    <name>TRelynSearchLangSupport</name>
    <message>
        <source>Find device</source>
        <translation>Hledat zařízení</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Hledat</translation>
    </message>
    <message>
        <source>Help! My device wasn&apos;t found!</source>
        <translation>Pomoc! Zařízení se nenašlo!</translation>
    </message>
    <message>
        <source>Change IP</source>
        <translation>Změnit IP</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>Vybrat</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Zrušit</translation>
    </message>
    <message>
        <source>IP address</source>
        <translation>IP adresa</translation>
    </message>
    <message>
        <source>MAC address</source>
        <translation>MAC adresa</translation>
    </message>
    <message>
        <source>Firmware</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>Device type</source>
        <translation>Typ zařízení</translation>
    </message>
    <message>
        <source>Device description</source>
        <translation>Popis zařízení</translation>
    </message>
    <message>
        <source>Change IP address</source>
        <translation>Změna IP adresy</translation>
    </message>
    <message>
        <source>Change</source>
        <translation>Změnit</translation>
    </message>
    <message>
        <source>Set IP address to ARP table only</source>
        <translation>Nastavit IP adresu jen do tabulky ARP</translation>
    </message>
</context>
<context>
    <name>TUploadLock</name>
    <message>
        <source>No upload lock for %1: the runtime folder cannot be used.</source>
        <translation>Žádný zámek nahrávání pro %1: běhovou složku nelze použít.</translation>
    </message>
    <message>
        <source>No upload lock for %1: %2 cannot be written.</source>
        <translation>Žádný zámek nahrávání pro %1: %2 nelze zapsat.</translation>
    </message>
    <message>
        <source>%1 is already receiving an upload from this Quillet.</source>
        <translation>%1 už přijímá nahrávání z tohoto Quilletu.</translation>
    </message>
    <message>
        <source>%1 is already receiving an upload from another Quillet (%2, process %3).</source>
        <translation>%1 už přijímá nahrávání z jiného Quilletu (%2, proces %3).</translation>
    </message>
</context>
<context>
    <name>TUploadModel</name>
    <message>
        <source>sending</source>
        <translation>odesílá se</translation>
    </message>
    <message>
        <source>restarting</source>
        <translation>restartuje se</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Zařízení</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Průběh</translation>
    </message>
    <message>
        <source>Outcome</source>
        <translation>Výsledek</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Důvod</translation>
    </message>
    <message>
        <source>Uploading to %1 %2, %3 ended</source>
        <translation>Nahrávání do %1 %2, skončilo %3</translation>
    </message>
    <message>
        <source>device</source>
        <translation>zařízení</translation>
    </message>
    <message>
        <source>devices</source>
        <translation>zařízení</translation>
    </message>
    <message>
        <source>nothing sent</source>
        <translation>nic neodesláno</translation>
    </message>
    <message>
        <source>done</source>
        <translation>hotovo</translation>
    </message>
    <message>
        <source>upload time-out</source>
        <translation>vypršel čas nahrávání</translation>
    </message>
    <message>
        <source>restart time-out</source>
        <translation>vypršel čas restartu</translation>
    </message>
    <message>
        <source>internal error</source>
        <translation>vnitřní chyba</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>selhalo</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>bez odpovědi</translation>
    </message>
    <message>
        <source>interrupted</source>
        <translation>přerušeno</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>neznámý</translation>
    </message>
    <message>
        <source>verified</source>
        <translation>ověřeno</translation>
    </message>
    <message>
        <source>differs</source>
        <translation>liší se</translation>
    </message>
    <message>
        <source>not verified</source>
        <translation>neověřeno</translation>
    </message>
    <message>
        <source>cancelled</source>
        <translation>zrušeno</translation>
    </message>
    <message>
        <source>checking</source>
        <translation>ověřování</translation>
    </message>
    <message>
        <source>Verified</source>
        <translation>Ověření</translation>
    </message>
    <message>
        <source>waiting</source>
        <translation>čeká</translation>
    </message>
</context>
<context>
    <name>TVerifiedUpload</name>
    <message>
        <source>The web file could not be read: nothing was checked.</source>
        <translation>Webový soubor nelze přečíst: nic nebylo ověřeno.</translation>
    </message>
    <message>
        <source>The file is no web file (%1): nothing was checked.</source>
        <translation>Soubor není webový soubor (%1): nic nebylo ověřeno.</translation>
    </message>
    <message>
        <source>Checking the web file: page %1 of %2</source>
        <translation>Ověřování webového souboru: stránka %1 z %2</translation>
    </message>
</context>
<context>
    <name>TWebFileCheck</name>
    <message>
        <source>%1 is not a web file: %2.</source>
        <translation>%1 není webový soubor: %2.</translation>
    </message>
    <message>
        <source>longer than %1 bytes, the most a web file can hold</source>
        <translation>delší než %1 bajtů, nejvíc, co webový soubor pojme</translation>
    </message>
</context>
<context>
    <name>TWebFileCreator</name>
    <message>
        <source>Web file creating failed.</source>
        <translation>Vytvoření webového souboru selhalo.</translation>
    </message>
    <message>
        <source>Unknown error.</source>
        <translation>Neznámá chyba.</translation>
    </message>
    <message>
        <source>Creating web file...</source>
        <translation>Vytváření webového souboru...</translation>
    </message>
    <message>
        <source>Internal error.</source>
        <translation>Vnitřní chyba.</translation>
    </message>
    <message>
        <source>Cannot change to the folder %1</source>
        <translation>Nelze přejít do složky %1</translation>
    </message>
    <message>
        <source>Web file created successful.</source>
        <translation>Webový soubor úspěšně vytvořen.</translation>
    </message>
    <message>
        <source>%1 did not end within %2 s and was stopped.</source>
        <translation>%1 neskončil do %2 s a byl zastaven.</translation>
    </message>
</context>
<context>
    <name>TWebVerification</name>
    <message>
        <source>The device serves the new web file: %1 of %2 pages identical</source>
        <translation>Zařízení poskytuje nový webový soubor: shodných stránek %1 z %2</translation>
    </message>
    <message>
        <source>, 1 file of unknown extension not checked</source>
        <translation>, 1 soubor s neznámou příponou nezkontrolován</translation>
    </message>
    <message>
        <source>, %1 files of unknown extension not checked</source>
        <translation>, nezkontrolované soubory s neznámou příponou: %1</translation>
    </message>
    <message>
        <source> differs</source>
        <translation> se liší</translation>
    </message>
    <message>
        <source> differ</source>
        <translation> se liší</translation>
    </message>
    <message>
        <source> is missing</source>
        <translation> chybí</translation>
    </message>
    <message>
        <source> are missing</source>
        <translation> chybí</translation>
    </message>
    <message>
        <source>The device does not serve the new web file: </source>
        <translation>Zařízení neposkytuje nový webový soubor: </translation>
    </message>
    <message>
        <source> It stopped answering after %1 of %2 pages.</source>
        <translation> Přestalo odpovídat po %1 z %2 stránek.</translation>
    </message>
    <message>
        <source>The web file holds no page that can be checked over HTTP.</source>
        <translation>Webový soubor neobsahuje žádnou stránku, kterou lze zkontrolovat přes HTTP.</translation>
    </message>
    <message>
        <source>The device serves no web pages over HTTP: the new web file could not be checked.</source>
        <translation>Zařízení přes HTTP neposkytuje žádné webové stránky: nový webový soubor nelze zkontrolovat.</translation>
    </message>
    <message>
        <source>The device stopped answering over HTTP after %1 of %2 pages: the new web file could not be checked.</source>
        <translation>Zařízení přestalo přes HTTP odpovídat po %1 z %2 stránek: nový webový soubor nelze zkontrolovat.</translation>
    </message>
    <message>
        <source>The check of the new web file was cancelled.</source>
        <translation>Kontrola nového webového souboru byla zrušena.</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1 a %2</translation>
    </message>
    <message>
        <source>%1 and %2 more</source>
        <translation>%1 a %2 další</translation>
    </message>
</context>
<context>
    <name>TfAbout</name>
    <message>
        <source>About</source>
        <translation>O programu</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TfDevices</name>
    <message>
        <source>Devices</source>
        <translation>Zařízení</translation>
    </message>
    <message>
        <source>&amp;Range:</source>
        <translation>&amp;Rozsah:</translation>
    </message>
    <message>
        <source>every interface, or a range such as 192.0.2.0/24</source>
        <translation>všechna rozhraní, nebo rozsah jako 192.0.2.0/24</translation>
    </message>
    <message>
        <source>&amp;Search</source>
        <translation>&amp;Hledat</translation>
    </message>
    <message>
        <source>Search again (F5)</source>
        <translation>Hledat znovu (F5)</translation>
    </message>
    <message>
        <source>Change IP</source>
        <translation>Změnit IP</translation>
    </message>
    <message>
        <source>Help! My device wasn&apos;t found!</source>
        <translation>Pomoc! Zařízení se nenašlo!</translation>
    </message>
    <message>
        <source>&amp;Export...</source>
        <translation>&amp;Exportovat...</translation>
    </message>
    <message>
        <source>%1 is no interface of this computer any more.</source>
        <translation>%1 už není rozhraním tohoto počítače.</translation>
    </message>
    <message>
        <source>No browser could be started for %1</source>
        <translation>Prohlížeč pro %1 nelze spustit</translation>
    </message>
    <message>
        <source>Searching...</source>
        <translation>Hledání...</translation>
    </message>
    <message>
        <source>Searching %1...</source>
        <translation>Hledání v %1...</translation>
    </message>
    <message>
        <source>The search failed: %1</source>
        <translation>Hledání selhalo: %1</translation>
    </message>
    <message>
        <source> (%1 sends refused: no route or no neighbour)</source>
        <translation> (odmítnutá odeslání: %1; chybí cesta nebo soused)</translation>
    </message>
    <message>
        <source>CSV files (*.csv)|*.csv|JSON files (*.json)|*.json</source>
        <translation>Soubory CSV (*.csv)|*.csv|Soubory JSON (*.json)|*.json</translation>
    </message>
    <message>
        <source>%1 could not be written: %2</source>
        <translation>%1 nelze zapsat: %2</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopírovat</translation>
    </message>
    <message>
        <source>Open in &amp;browser</source>
        <translation>Otevřít v &amp;prohlížeči</translation>
    </message>
    <message>
        <source>Change &amp;IP...</source>
        <translation>Změnit &amp;IP...</translation>
    </message>
    <message>
        <source>Give it an &amp;address here...</source>
        <translation>Přidělit &amp;adresu zde...</translation>
    </message>
    <message>
        <source>&amp;Use this address</source>
        <translation>&amp;Použít tuto adresu</translation>
    </message>
    <message>
        <source>Upload &amp;web to selected</source>
        <translation>Nahrát &amp;web do vybraných</translation>
    </message>
    <message>
        <source>Upload &amp;FW to selected</source>
        <translation>Nahrát &amp;FW do vybraných</translation>
    </message>
    <message>
        <source>Hi&amp;story...</source>
        <translation>Hi&amp;storie...</translation>
    </message>
    <message>
        <source>The journal&apos;s history of the selected devices, or of all when none is selected</source>
        <translation>Historie vybraných zařízení z deníku, nebo všech, když není vybráno žádné</translation>
    </message>
    <message>
        <source> (stopped)</source>
        <translation> (zastaveno)</translation>
    </message>
    <message>
        <source>S&amp;top</source>
        <translation>&amp;Zastavit</translation>
    </message>
</context>
<context>
    <name>TfJournalHistory</name>
    <message>
        <source>History of %1</source>
        <translation>Historie %1</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Historie</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Čas</translation>
    </message>
    <message>
        <source>Event</source>
        <translation>Událost</translation>
    </message>
    <message>
        <source>MAC address</source>
        <translation>MAC adresa</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Název</translation>
    </message>
    <message>
        <source>IP address</source>
        <translation>IP adresa</translation>
    </message>
    <message>
        <source>What</source>
        <translation>Co</translation>
    </message>
    <message>
        <source>&amp;Export...</source>
        <translation>&amp;Exportovat...</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Zavřít</translation>
    </message>
    <message>
        <source>%1 could not be written: %2</source>
        <translation>%1 nelze zapsat: %2</translation>
    </message>
    <message>
        <source>CSV files (*.csv)|*.csv|JSON files (*.json)|*.json</source>
        <translation>Soubory CSV (*.csv)|*.csv|Soubory JSON (*.json)|*.json</translation>
    </message>
</context>
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
        <source>External application start up error.</source>
        <translation>Chyba při spuštění externí aplikace.</translation>
    </message>
    <message>
        <source>You can open file </source>
        <translation>Soubor </translation>
    </message>
    <message>
        <source> manualy.</source>
        <translation> můžete otevřít ručně.</translation>
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
    <message>
        <source>web files (*.pmf)|*.pmf|all files|*.*</source>
        <translation>webové soubory (*.pmf)|*.pmf|všechny soubory|*.*</translation>
    </message>
    <message>
        <source>firmware (*.rom)|*.rom</source>
        <translation>firmware (*.rom)|*.rom</translation>
    </message>
    <message>
        <source>Designed by %1</source>
        <translation>Navrhla firma %1</translation>
    </message>
    <message>
        <source>Czech Republic</source>
        <translation>Česká republika</translation>
    </message>
</context>
<context>
    <name>TfRelynIPChangeGUI</name>
    <message>
        <source><byte value="xd"/>
The change went out of every interface of this computer.</source>
        <translation><byte value="xd"/>
Změna odešla všemi rozhraními tohoto počítače.</translation>
    </message>
    <message>
        <source>Looking for the device at %1 ...</source>
        <translation>Hledání zařízení na adrese %1 ...</translation>
    </message>
    <message>
        <source>The device answers at %1.</source>
        <translation>Zařízení odpovídá na adrese %1.</translation>
    </message>
    <message>
        <source>The device does not answer at %1 yet (looked for it for %2 s): it may need longer, or the change did not reach it. Search again to see.</source>
        <translation>Zařízení na adrese %1 zatím neodpovídá (hledáno %2 s): možná potřebuje déle, nebo změna k němu nedorazila. Zkuste vyhledat znovu.</translation>
    </message>
    <message>
        <source>Whether the device answers at %1 was not checked: the wait was cancelled.</source>
        <translation>Zda zařízení odpovídá na adrese %1, nebylo ověřeno: čekání bylo zrušeno.</translation>
    </message>
</context>
<context>
    <name>TfUpload</name>
    <message>
        <source>Upload</source>
        <translation>Nahrání</translation>
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
        <source> to %1 devices</source>
        <translation> do %1 zařízení</translation>
    </message>
    <message>
        <source>File: </source>
        <translation>Soubor: </translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopírovat</translation>
    </message>
    <message>
        <source>C&amp;ancel</source>
        <translation>&amp;Zrušit</translation>
    </message>
    <message>
        <source>&amp;Retry failed</source>
        <translation>&amp;Opakovat neúspěšné</translation>
    </message>
    <message>
        <source>C&amp;lose</source>
        <translation>Za&amp;vřít</translation>
    </message>
    <message>
        <source>Uploads are still running. Stop them and close?</source>
        <translation>Nahrávání ještě běží. Zastavit je a zavřít?</translation>
    </message>
</context>
</TS>
