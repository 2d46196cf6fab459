#pragma once
// The settings steps the windows run. Each opens the key, reads or writes, and closes
// it again before returning (also when it throws). Value failures throw SettingsError;
// the window's handler guard shows them and the step stops at that value: whatever was
// applied before stays applied, later values are neither read nor applied.
//
// How the windows call them (`key` is the program's RegistryKey, see registry.h):
//
//   Main window creation, Tqedit FormCreate:
//     restoreMainPosition(key, [&](Edge e, int v) { e == Edge::Top ? setTop(v) : setLeft(v); });
//   Other windows' creation, Tuserlist / Tstatform / Tshowresume FormCreate:
//     restoreWindowBounds(key, BoundsWindow::UserList, [&](Edge e, int v) { ...set edge... });
//   Main window activation, Tqedit FormActivate, in this order around the loading of the
//   user file:
//     auto name = activationUserFileName(key, [&]() -> std::optional<std::string> {
//         return dialogs.openUserFile(); });           // nullopt: cancelled, close window
//     ...loadUserFile, fillCodeLists, showRecord, totals, track bar, statcb...
//     ListOptions opts = activationListOptions(key);  // then check menu item i when opts.isOn(i)
//   A list option ticked, Tuserlist SaveOption(position 0..10, on):
//     saveOption(key, position, item->isChecked());
//   Window close, FormClose:
//     saveMainPosition(key, {top, left});  saveWindowBounds(key, BoundsWindow::Stats, {t, l, w,
//     h});
//   Another user file, openOtherUserFile after the size check:
//     storeUserFileName(key, path, [&] { fname1->setText(path); });
//   Choosing the resume conference, changeresbtClick:
//     ConferenceDialogPreset p = changeResumePreset(key, userFileName);
//     if (p.keyOpened) { set the dialog's file name to p.fileName; if (p.initialDir) its folder; }
//     set the filter kConferenceFilter; run; on OK with a non-empty name:
//     storeResumeConference(key, chosenPath);
//   Resume window activation, Tshowresume FormActivate:
//     ResumeConference rc = resumeConferenceOnActivate(key, [&]() -> std::optional<std::string> {
//         dialog: file name "*.hdr", filter kConferenceFilter, folder directoryPart(userFileName);
//         return the chosen path or nullopt; });
//     Cancelled: stop (window keeps its content). Stored/Chosen: confBase = rc.base.
//     KeyMissing: keep confBase as it was. Then read the resume.
//
// Dialogs run while the key is closed: the file backend's lock is never held while the
// operator makes up their mind.

#include "settings/registry.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zorv {

enum class Edge { Top, Left, Width, Height };
using ApplyEdge = std::function<void(Edge, std::int32_t)>;

struct WindowPos {
    std::int32_t top = 0;
    std::int32_t left = 0;
};

struct WindowBounds {
    std::int32_t top = 0;
    std::int32_t left = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    void set(Edge e, std::int32_t v);
};

// The resizable windows and their value prefixes "u", "s", "r".
enum class BoundsWindow { UserList, Stats, Resume };
std::string boundsValueName(BoundsWindow w, Edge e); // e.g. "u.height"

// Main window creation. If the key opens and "m.left" exists: reads "m.top" and applies Top, then
// reads "m.left" and applies Left. True when both were applied.
bool restoreMainPosition(RegistryKey& key, const ApplyEdge& apply);
// Other windows' creation. If the key opens and the window's height value exists: top, left, width,
// height, each applied right after it is read. True when all four were applied.
bool restoreWindowBounds(RegistryKey& key, BoundsWindow w, const ApplyEdge& apply);

// Window close. If the key opens: writes "m.top", "m.left" / top, left, width, height.
void saveMainPosition(RegistryKey& key, WindowPos pos);
void saveWindowBounds(RegistryKey& key, BoundsWindow w, WindowBounds b);

// Main window activation, first half. Opens the key, creating it. The stored "Filename" if it exists;
// otherwise asks (the open dialog `fileopen`) and stores the choice. nullopt: the
// operator cancelled. When the store cannot be used at all the choice is still
// returned, just not stored.
using AskPath = std::function<std::optional<std::string>()>;
std::optional<std::string> activationUserFileName(RegistryKey& key, const AskPath& askUserFile);

// List options: the 11-character text "Options", one character per choice, '1' = on.
enum ListOption : int {
    kOptUserNumber = 0, // UserNumber1
    kOptName,           // Name1
    kOptAddress,        // Address1
    kOptCityState,      // Citystate1
    kOptPhone,          // Phone1
    kOptBirth,          // Birth1
    kOptLimit,          // Limit1
    kOptUpDownStat,     // Updownstat1
    kOptLoginStat,      // Loginstat1
    kOptLastCall,       // LastCall1
    kOptSplitNames,     // Splittnames1
};
inline constexpr int kListOptionCount = 11;
inline constexpr std::string_view kDefaultListOptions = "11111111001";

// Length exactly 11 and first character '0' or '1'; the others are not checked.
bool listOptionsValid(std::string_view text);

struct ListOptions {
    std::string text{kDefaultListOptions};
    // index 0..10 (ListOption); anything but '1' is off, as is a position past the end.
    bool isOn(int index) const;
};

// Main window activation, second half. Opens the key, creating it. Reads "Options"; when it is missing
// or not valid, writes the default and uses it. The store unusable: the default.
ListOptions activationListOptions(RegistryKey& key);

// A list option ticked (`SaveOption`, index 0..10). If the key opens and "Options" exists: sets the
// character at `index` to '1' or '0' and writes the whole text back. A text shorter
// than 11 characters (edited outside the program) is first padded with '0' to 11.
void saveOption(RegistryKey& key, int index, bool checked);

// Another user file. If the key opens: runs showPath (the new path into `fname1`), then writes
// "Filename". False when the key did not open (nothing shown, nothing written).
bool storeUserFileName(RegistryKey& key, const std::string& path,
                       const std::function<void()>& showPath);

// How many backups a save keeps of the user file: the integer "Backups" when the
// key opens and it exists (below 0 counts as 0, above 99 as 99), otherwise 3.
inline constexpr int kDefaultBackups = 3;
inline constexpr int kMaxBackups = 99;
int backupCount(RegistryKey& key);

// The report windows' last sort, each as two integers: "ListSortColumn" and
// "ListSortDirection" for the user list, "StatSortColumn" and "StatSortDirection"
// for the statistics window. Column -1 is no sort; direction 0 ascending, 1
// descending. A missing value, one of another type, a column below -1 or another
// direction reads as no sort (a column beyond the grid is the window's to refuse).
enum class SortWindow { UserList, Stats };
struct StoredSort {
    int column = -1;
    int direction = 0;
    friend bool operator==(const StoredSort&, const StoredSort&) = default;
};
StoredSort loadSort(RegistryKey& key, SortWindow w);
// If the key opens: writes both values.
void saveSort(RegistryKey& key, SortWindow w, StoredSort sort);

// Whether the editor follows the user file while the board writes it: the
// integer "LiveRefresh" when the key opens and it exists (0 or below: not),
// otherwise it does. A bad value throws as for "Backups".
bool liveRefreshOn(RegistryKey& key);

// Choosing the resume conference, before the dialog.
inline constexpr const char* kConferenceFilter = "Conference files.(*.hdr)|*.hdr";
// The dialog's title: a bare "Open" does not say that a conference is asked for.
inline constexpr const char* kConferenceDialogTitle = "Choose the resume conference (.hdr file)";
struct ConferenceDialogPreset {
    bool keyOpened = false;                // false: leave the dialog's file name and folder alone
    std::string fileName;                  // "<Resume>.hdr" when "Resume" exists, else "*.hdr"
    std::optional<std::string> initialDir; // directoryPart(userFileName) when it does not
};
ConferenceDialogPreset changeResumePreset(RegistryKey& key, const std::string& userFileName);
// Choosing the resume conference, after the dialog returned OK: if the path is not empty and the key opens,
// writes "Resume" = conferenceBase(path).
void storeResumeConference(RegistryKey& key, const std::string& chosenPath);

// Resume window activation.
struct ResumeConference {
    enum class Source {
        KeyMissing, // key did not open: keep the conference read before
        Stored,     // "Resume" was stored: base
        Chosen,     // asked, chosen and stored: base
        Cancelled,  // asked and cancelled: stop loading
    };
    Source source = Source::KeyMissing;
    std::string base;
};
ResumeConference resumeConferenceOnActivate(RegistryKey& key, const AskPath& askConference);

// The chosen header file's path without its last four characters (whatever they are).
std::string conferenceBase(std::string_view chosenPath);

// The directory part of a path: up to its last separator (Windows: '\', '/', ':';
// elsewhere '/'); a final separator is dropped unless it follows ':' or another
// separator or is all that is left, so "C:\x.dat" gives "C:\" and "/x.dat" gives "/".
std::string directoryPart(std::string_view path);

} // namespace zorv
