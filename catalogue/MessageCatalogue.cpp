#include "catalogue/MessageCatalogue.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/files/files.h"

namespace app {

namespace {

struct Entry {
    int id;
    std::string_view text;
};

// German ids and their English twins at id + 1000; English-only texts of the dialogs that
// carry German built-in texts. Sorted by id.
constexpr Entry kCatalogue[] = {
    {1, "FRAGE"},
    {2, "INFORMATION"},
    {3, "FEHLER"},
    {4, "WARNUNG"},
    {10, "Die gespeicherten Einstellungen wurden gelöscht."},
    {11, "Es wurden noch keine Einstellungen gespeichert."},
    {12, "Nicht genügend Speicher frei auf Laufwerk "},
    {13, " ist bereits vorhanden und wird überschrieben."},
    {14, "Die TEMP Variable ist ungültig, Aufnahme nicht möglich!"},
    {15, "Bitte einen Namen für das Video eingeben."},
    {16, "Alle Videos löschen?"},
    {17, "Bitte ein Video auswählen."},
    {18, "Die maximale Aufnahmedauer wurde erreicht."},
    {19, "Aufnahme gestoppt."},
    {20, "Komprimiere Datei..."},
    {21, "Erstelle E-Mail..."},
    {22, " nicht gefunden!"},
    {23, " ist im Zugriff durch ein anderes Programm!"},
    {24, "Die folgende Datei kann nicht erstellt werden:"},
    {25, "Korvex! kann nicht gestartet werden."},
    {26, "7-ZIP Format verwenden wenn AVI-Datei größer ist als "},
    {27, " ist keine gültige Datei!"},
    {28, "Kein Video gefunden in "},
    {29, "Fehler beim Dekomprimieren von "},
    {30, "Nicht genügend Speicher frei zum Dekomprimieren von "},
    {31, "Es ist kein Programm zum Abspielen von Videos eingerichtet. Das Video liegt hier:"},
    {32, "Es ist kein E-Mail-Programm eingerichtet. Das Archiv liegt hier:"},
    {40,
     "Der Bildschirm kann nicht aufgenommen werden: Auf diesem Desktop läuft kein "
     "Desktop-Portal (xdg-desktop-portal)."},
    {41,
     "Der Bildschirm kann nicht aufgenommen werden: Das Desktop-Portal bietet keine "
     "Bildschirmfreigabe an."},
    {42, "Die Auswahl des Bildschirms wurde abgebrochen. Es wurde nichts aufgenommen."},
    {43, "Der Desktop hat die Bildschirmfreigabe abgelehnt. Es wurde nichts aufgenommen."},
    {44, "Keine Verbindung zu PipeWire: Der Bildschirm kann nicht aufgenommen werden."},
    {45, "Die Bildschirmfreigabe wurde beendet. Die Aufnahme bis hierher ist gespeichert."},
    {46, "Der freigegebene Bildschirm liefert kein Bild. Es wurde nichts aufgenommen."},
    {50, "Es antwortet kein Sound-Server. Die Aufnahme läuft ohne Ton."},
    {51,
     "Der Sound-Server hat keinen Eingang, der sich aufnehmen lässt (kein Mikrofon). Die "
     "Aufnahme läuft ohne Ton."},
    {52,
     "Der Ton-Eingang ist während der Aufnahme verloren gegangen. Die Aufnahme läuft ohne "
     "Ton weiter."},
    {60, "Korvex! findet keine X-Anzeige: DISPLAY ist nicht gesetzt."},
    {61, "Korvex! erreicht die X-Anzeige nicht: "},
    {101, "Programmoptionen einstellen..."},
    {102, "Aufnahmebereich einstellen (WIN+S)..."},
    {103, "Video anzeigen..."},
    {104, "Video versenden..."},
    {105, "Video auswählen..."},
    {106, "Video löschen"},
    {107, "Video komprimieren"},
    {108, "Windows Explorer öffnen"},
    {109, "Aufnahme beenden (WIN+S)..."},
    {110, "F9: Cursor Ausrufezeichen..."},
    {111, "F10: Cursor Fragezeichen..."},
    {112, "F11: Cursor Zufriedenheit..."},
    {113, "F12: Cursor Unzufriedenheit..."},
    {114, "Aufnahme starten (WIN+S)..."},
    {115, "Aufnahmebereich einstellen und Aufnahme starten..."},
    {116, "Kontextmenü für weitere Befehle..."},
    {117, "Komprimiertes Video anzeigen"},
    {118, "Komprimierte Videos (*.zip; *.7z)|*.zip;*.7z"},
    {303, "Zielfenster auswählen..."},
    {304, "Aufnahme wird gestartet..."},
    {305, "Aufnahmebereich einstellen"},
    {1001, "QUESTION"},
    {1002, "INFORMATION"},
    {1003, "ERROR"},
    {1004, "WARNING"},
    {1010, "The saved settings were erased."},
    {1011, "There are no saved settings."},
    {1012, "Insufficient space on drive "},
    {1013, " is already existing and will be overwritten."},
    {1014, "Invalid TEMP variable, recording impossible!"},
    {1015, "Please enter a name for the video."},
    {1016, "Delete all videos?"},
    {1017, "Please select a video."},
    {1018, "The maximum recording time has been reached."},
    {1019, "Recording stopped."},
    {1020, "Compressing file..."},
    {1021, "Creating email..."},
    {1022, " not found!"},
    {1023, " is in access by another program!"},
    {1024, "The following file cannot be created:"},
    {1025, "Unable to start Korvex!"},
    {1026, "Use 7-ZIP format if AVI file is larger than "},
    {1027, " is not a valid file!"},
    {1028, "No video found in "},
    {1029, "Unable to extract "},
    {1030, "Insufficient space to extract "},
    {1031, "No program is set up to play videos. The video is here:"},
    {1032, "No mail program is set up. The archive is here:"},
    {1040,
     "The screen cannot be recorded: no desktop portal (xdg-desktop-portal) runs on this "
     "desktop."},
    {1041, "The screen cannot be recorded: the desktop portal offers no screen sharing."},
    {1042, "Choosing the screen was cancelled. Nothing was recorded."},
    {1043, "The desktop refused to share the screen. Nothing was recorded."},
    {1044, "No connection to PipeWire: the screen cannot be recorded."},
    {1045, "Screen sharing has ended. The recording up to this point has been saved."},
    {1046, "The shared screen sends no picture. Nothing was recorded."},
    {1050, "No sound server answers. The recording goes on without sound."},
    {1051,
     "The sound server has no input that can be recorded (no microphone). The recording goes "
     "on without sound."},
    {1052, "The sound input was lost during the recording. The recording goes on without sound."},
    {1060, "Korvex! finds no X display: DISPLAY is not set."},
    {1061, "Korvex! cannot reach the X display "},
    {1101, "Set program options..."},
    {1102, "Set recording region (WIN+S)..."},
    {1103, "Watch a video..."},
    {1104, "Send a video..."},
    {1105, "Select a video..."},
    {1106, "Delete a video"},
    {1107, "Compress a video"},
    {1108, "Open Windows Explorer"},
    {1109, "Stop recording (WIN+S)..."},
    {1110, "F9: Cursor exclamation mark..."},
    {1111, "F10: Cursor question mark..."},
    {1112, "F11: Cursor satisfaction..."},
    {1113, "F12: Cursor dissatisfaction..."},
    {1114, "Start recording (WIN+S)..."},
    {1115, "Set recording region and start recording..."},
    {1116, "Context menu for additional commands..."},
    {1117, "Watch a compressed video"},
    {1118, "Compressed videos (*.zip; *.7z)|*.zip;*.7z"},
    {1201, "Options"},
    {1202, "Recording"},
    {1203, "AVI files"},
    {1204, "Compressor"},
    {1205, "A&bout..."},
    {1206, "Framerate"},
    {1207, "Set the framerate in frames per second..."},
    {1208, "Highlight mousecursor"},
    {1209, "Recording time (max.)"},
    {1210, "Maximum recording time in minutes (0 = autostop disabled)..."},
    {1215, "Erase AVI files when quiting"},
    {1216, "All AVI and ZIP files are automatically erased when the program is closed..."},
    {1217, "Alert before erasing"},
    {1218, "Display a warning before erasing video files..."},
    {1219, "&Save"},
    {1220, "&Clear saved settings"},
    {1221, "Erase Korvex! settings out of the Windows registry..."},
    {1222, "C&ancel"},
    {1223, "Strong compression in 7-ZIP format"},
    {1224, "Compression in ZIP format"},
    {1225, "Record microphone"},
    {1226, "Record the sound server's default input (a microphone) with the video..."},
    {1301, "Set the recording region and start recording..."},
    {1303, "Choose target window..."},
    {1304, "Starting recording..."},
    {1305, "Set the recording region"},
};

constexpr bool Sorted() {
    for (std::size_t i = 1; i < std::size(kCatalogue); ++i) {
        if (kCatalogue[i - 1].id >= kCatalogue[i].id) return false;
    }
    return true;
}
static_assert(Sorted());

}  // namespace

std::string_view CatalogueText(int id) {
    const auto* end = std::end(kCatalogue);
    const auto* it = std::lower_bound(std::begin(kCatalogue), end, id,
                                      [](const Entry& e, int wanted) { return e.id < wanted; });
    return it != end && it->id == id ? it->text : std::string_view{};
}

std::string Text(Msg id, int languageOffset) {
    return std::string(CatalogueText(static_cast<int>(id) + languageOffset));
}

std::vector<int> CatalogueIds() {
    std::vector<int> ids;
    for (const Entry& e : kCatalogue) ids.push_back(e.id);
    return ids;
}

int LanguageOffsetFor(const std::optional<std::string>& locale) {
    if (!locale) return kGerman;
    static constexpr std::array<std::string_view, 5> kGermanLocales = {
        "00000407", "00001407", "00001007", "00000807", "00000C07"};
    for (std::string_view german : kGermanLocales) {
        if (platform::files::EqualsIgnoringAsciiCase(*locale, german)) return kGerman;
    }
    return kEnglish;
}

}  // namespace app
