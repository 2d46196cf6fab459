// The settings steps of the windows: what each reads, applies and writes, where it
// stops on a failure, and what it does when the key is missing.

#include "settings/memorykey.h"
#include "settings/regfile.h"
#include "settings/steps.h"
#include "settings_fixture.h"

#include <gtest/gtest.h>

namespace zorv {
namespace {

using settingstest::errorOf;
using settingstest::kHead;
using settingstest::readBytes;
using settingstest::TempDir;
using settingstest::writeBytes;

// Records what a step applied, in order.
struct Applied {
    std::vector<std::pair<Edge, int>> edges;
    ApplyEdge fn() {
        return [this](Edge e, std::int32_t v) { edges.emplace_back(e, v); };
    }
};

MemoryRegistryKey keyWith(std::initializer_list<std::pair<const char*, int>> ints) {
    MemoryRegistryKey key;
    key.keyExists = true;
    for (const auto& [name, v] : ints)
        key.putInteger(name, v);
    return key;
}

// --- How many backups a save keeps -----------------------------------------------------

TEST(Backups, StoredCountOrThree) {
    MemoryRegistryKey missing;
    EXPECT_EQ(backupCount(missing), 3) << "no key";
    MemoryRegistryKey unset = keyWith({});
    EXPECT_EQ(backupCount(unset), 3);
    MemoryRegistryKey none = keyWith({{"Backups", 0}});
    EXPECT_EQ(backupCount(none), 0);
    MemoryRegistryKey many = keyWith({{"Backups", 9}});
    EXPECT_EQ(backupCount(many), 9);
    MemoryRegistryKey negative = keyWith({{"Backups", -2}});
    EXPECT_EQ(backupCount(negative), 0);
    // Each kept backup is a copy of the whole file: 99 at most.
    for (int huge : {100, 1000000, 2147483647}) {
        MemoryRegistryKey key = keyWith({{"Backups", huge}});
        EXPECT_EQ(backupCount(key), 99) << huge;
    }
    MemoryRegistryKey text = keyWith({});
    text.putText("Backups", "5");
    EXPECT_EQ(errorOf([&] { backupCount(text); }), "Invalid data type for 'Backups'");
    EXPECT_FALSE(text.isOpen());
}

// --- The report windows' last sort -----------------------------------------------------

TEST(ReportSort, StoredPerWindowAndAnythingUnusableIsNoSort) {
    MemoryRegistryKey key = keyWith({});
    EXPECT_EQ(loadSort(key, SortWindow::UserList), StoredSort{}) << "nothing stored";
    saveSort(key, SortWindow::UserList, StoredSort{3, 1});
    saveSort(key, SortWindow::Stats, StoredSort{-1, 0});
    EXPECT_EQ(loadSort(key, SortWindow::UserList), (StoredSort{3, 1}));
    EXPECT_EQ(loadSort(key, SortWindow::Stats), StoredSort{});
    EXPECT_FALSE(key.isOpen());

    for (auto [col, dir] : {std::pair{-2, 0}, std::pair{2, -1}, std::pair{2, 2}}) {
        MemoryRegistryKey bad = keyWith({{"StatSortColumn", col}, {"StatSortDirection", dir}});
        EXPECT_EQ(loadSort(bad, SortWindow::Stats), StoredSort{}) << col << " " << dir;
    }
    MemoryRegistryKey text = keyWith({{"ListSortDirection", 0}});
    text.putText("ListSortColumn", "2");
    EXPECT_EQ(loadSort(text, SortWindow::UserList), StoredSort{});
    EXPECT_FALSE(text.isOpen());
    MemoryRegistryKey half = keyWith({{"ListSortColumn", 2}});
    EXPECT_EQ(loadSort(half, SortWindow::UserList), StoredSort{});

    MemoryRegistryKey missing;
    saveSort(missing, SortWindow::UserList, StoredSort{1, 0});
    EXPECT_TRUE(missing.writeLog.empty());
    EXPECT_FALSE(missing.keyExists);
}

TEST(LiveRefresh, OnUnlessZeroOrBelow) {
    MemoryRegistryKey missing;
    EXPECT_TRUE(liveRefreshOn(missing)) << "no key";
    MemoryRegistryKey off = keyWith({{"LiveRefresh", 0}});
    EXPECT_FALSE(liveRefreshOn(off));
    MemoryRegistryKey negative = keyWith({{"LiveRefresh", -1}});
    EXPECT_FALSE(liveRefreshOn(negative));
    MemoryRegistryKey text = keyWith({});
    text.putText("LiveRefresh", "0");
    EXPECT_EQ(errorOf([&] { liveRefreshOn(text); }), "Invalid data type for 'LiveRefresh'");
    EXPECT_FALSE(text.isOpen());
}

// --- Main window creation --------------------------------------------------------------

TEST(MainPosition, RestoresTopThenLeft) {
    MemoryRegistryKey key = keyWith({{"m.top", 40}, {"m.left", -8}});
    Applied a;
    EXPECT_TRUE(restoreMainPosition(key, a.fn()));
    EXPECT_EQ(a.edges, (std::vector<std::pair<Edge, int>>{{Edge::Top, 40}, {Edge::Left, -8}}));
    EXPECT_FALSE(key.isOpen());
    EXPECT_EQ(key.closes, 1);
}

TEST(MainPosition, TestValueIsLeftNotTop) {
    MemoryRegistryKey onlyTop = keyWith({{"m.top", 40}});
    Applied a;
    EXPECT_FALSE(restoreMainPosition(onlyTop, a.fn()));
    EXPECT_TRUE(a.edges.empty());

    // m.left present, m.top missing: the first read fails and nothing is applied.
    MemoryRegistryKey onlyLeft = keyWith({{"m.left", 5}});
    EXPECT_EQ(errorOf([&] { restoreMainPosition(onlyLeft, a.fn()); }),
              "Failed to get data for 'm.top'");
    EXPECT_TRUE(a.edges.empty());
    EXPECT_FALSE(onlyLeft.isOpen());
}

TEST(MainPosition, KeyMissingAppliesNothingAndCreatesNothing) {
    MemoryRegistryKey key;
    Applied a;
    EXPECT_FALSE(restoreMainPosition(key, a.fn()));
    EXPECT_TRUE(a.edges.empty());
    EXPECT_FALSE(key.keyExists);
}

TEST(MainPosition, TopStoredAsText) {
    MemoryRegistryKey shortText = keyWith({{"m.left", 5}});
    shortText.putText("m.top", "100");
    Applied a;
    EXPECT_EQ(errorOf([&] { restoreMainPosition(shortText, a.fn()); }),
              "Invalid data type for 'm.top'");
    MemoryRegistryKey longText = keyWith({{"m.left", 5}});
    longText.putText("m.top", "12345");
    EXPECT_EQ(errorOf([&] { restoreMainPosition(longText, a.fn()); }),
              "Failed to get data for 'm.top'");
    EXPECT_TRUE(a.edges.empty());
}

TEST(MainPosition, LeftFailingAfterTopKeepsTop) {
    MemoryRegistryKey key = keyWith({{"m.top", 7}});
    key.put("m.left", kRegBinary, std::string(8, '\0'));
    Applied a;
    EXPECT_EQ(errorOf([&] { restoreMainPosition(key, a.fn()); }),
              "Failed to get data for 'm.left'");
    EXPECT_EQ(a.edges, (std::vector<std::pair<Edge, int>>{{Edge::Top, 7}}));
}

// --- Other windows' creation -----------------------------------------------------------

TEST(WindowBoundsRestore, AllFourInOrderWithTheWindowsPrefix) {
    MemoryRegistryKey key = keyWith({{"r.top", 1},
                                     {"r.left", 2},
                                     {"r.width", 3},
                                     {"r.height", 4},
                                     {"u.top", 9},
                                     {"u.left", 9},
                                     {"u.width", 9},
                                     {"u.height", 9}});
    Applied a;
    EXPECT_TRUE(restoreWindowBounds(key, BoundsWindow::Resume, a.fn()));
    EXPECT_EQ(a.edges, (std::vector<std::pair<Edge, int>>{
                           {Edge::Top, 1}, {Edge::Left, 2}, {Edge::Width, 3}, {Edge::Height, 4}}));
    Applied s;
    EXPECT_FALSE(restoreWindowBounds(key, BoundsWindow::Stats, s.fn()));
    EXPECT_TRUE(s.edges.empty());
}

TEST(WindowBoundsRestore, HeightMissingRestoresNothing) {
    MemoryRegistryKey key = keyWith({{"u.top", 1}, {"u.left", 2}, {"u.width", 3}});
    Applied a;
    EXPECT_FALSE(restoreWindowBounds(key, BoundsWindow::UserList, a.fn()));
    EXPECT_TRUE(a.edges.empty());
}

TEST(WindowBoundsRestore, WidthMissingStopsAfterTopAndLeft) {
    MemoryRegistryKey key = keyWith({{"s.top", 10}, {"s.left", 20}, {"s.height", 40}});
    WindowBounds b{1, 2, 3, 4};
    EXPECT_EQ(errorOf([&] {
                  restoreWindowBounds(key, BoundsWindow::Stats,
                                      [&](Edge e, std::int32_t v) { b.set(e, v); });
              }),
              "Failed to get data for 's.width'");
    EXPECT_EQ(b.top, 10);
    EXPECT_EQ(b.left, 20);
    EXPECT_EQ(b.width, 3);
    EXPECT_EQ(b.height, 4);
    EXPECT_FALSE(key.isOpen());
}

TEST(WindowBoundsRestore, KeyMissing) {
    MemoryRegistryKey key;
    Applied a;
    EXPECT_FALSE(restoreWindowBounds(key, BoundsWindow::UserList, a.fn()));
    EXPECT_TRUE(a.edges.empty());
}

// --- Window close ----------------------------------------------------------------------

TEST(WindowClose, WritesInOrderAndTheLastCloseWins) {
    MemoryRegistryKey key;
    key.keyExists = true;
    saveMainPosition(key, {10, 20});
    saveWindowBounds(key, BoundsWindow::UserList, {1, 2, 300, 400});
    saveWindowBounds(key, BoundsWindow::UserList, {5, 6, 310, 410});
    EXPECT_EQ(key.writeLog,
              (std::vector<std::string>{"m.top", "m.left", "u.top", "u.left", "u.width", "u.height",
                                        "u.top", "u.left", "u.width", "u.height"}));
    Applied a;
    restoreWindowBounds(key, BoundsWindow::UserList, a.fn());
    EXPECT_EQ(a.edges,
              (std::vector<std::pair<Edge, int>>{
                  {Edge::Top, 5}, {Edge::Left, 6}, {Edge::Width, 310}, {Edge::Height, 410}}));
    EXPECT_EQ(key.get("m.left")->type, kRegDword);
}

TEST(WindowClose, KeyMissingSavesNothing) {
    MemoryRegistryKey key;
    saveMainPosition(key, {10, 20});
    saveWindowBounds(key, BoundsWindow::Stats, {1, 2, 3, 4});
    EXPECT_FALSE(key.keyExists);
    EXPECT_TRUE(key.writeLog.empty());
}

TEST(WindowClose, RefusedWriteStopsTheStep) {
    MemoryRegistryKey key;
    key.keyExists = true;
    key.refusedWrites.insert("s.width");
    EXPECT_EQ(errorOf([&] {
                  saveWindowBounds(key, BoundsWindow::Stats, {1, 2, 3, 4});
              }),
              "Failed to set data for 's.width'");
    EXPECT_EQ(key.writeLog, (std::vector<std::string>{"s.top", "s.left"}));
    EXPECT_FALSE(key.isOpen());
}

// --- Main window activation ------------------------------------------------------------

TEST(Activation, FirstRunCreatesTheKeyAsksAndStores) {
    MemoryRegistryKey key;
    int asked = 0;
    bool keyOpenWhileAsking = true;
    const auto name = activationUserFileName(key, [&]() -> std::optional<std::string> {
        ++asked;
        keyOpenWhileAsking = key.isOpen();
        return "/bbs/zorvuser.dat";
    });
    EXPECT_EQ(name, "/bbs/zorvuser.dat");
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(keyOpenWhileAsking);
    EXPECT_EQ(key.get("Filename")->data, "/bbs/zorvuser.dat");
    const ListOptions opts = activationListOptions(key);
    EXPECT_EQ(opts.text, "11111111001");
    EXPECT_EQ(key.get("Options")->data, "11111111001");
    EXPECT_FALSE(key.isOpen());
}

TEST(Activation, StoredFileNameIsUsedWithoutAsking) {
    MemoryRegistryKey key;
    key.keyExists = true;
    key.putText("Filename", "C:\\BBS\\zorvuser.dat");
    int asked = 0;
    EXPECT_EQ(activationUserFileName(key,
                                     [&]() -> std::optional<std::string> {
                                         ++asked;
                                         return "other";
                                     }),
              "C:\\BBS\\zorvuser.dat");
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(key.writeLog.empty());
}

TEST(Activation, CancelStoresNothingButTheKeyExists) {
    MemoryRegistryKey key;
    EXPECT_EQ(activationUserFileName(key, [] { return std::optional<std::string>(); }),
              std::nullopt);
    EXPECT_TRUE(key.keyExists);
    EXPECT_FALSE(key.get("Filename"));
}

TEST(Activation, FileNameOfTheWrongTypeFails) {
    MemoryRegistryKey key = keyWith({{"Filename", 3}});
    int asked = 0;
    EXPECT_EQ(errorOf([&] {
                  activationUserFileName(key, [&] {
                      ++asked;
                      return std::optional<std::string>("x");
                  });
              }),
              "Invalid data type for 'Filename'");
    EXPECT_EQ(asked, 0);
}

TEST(Activation, OptionsRepairAndValidity) {
    struct Case {
        std::string stored;
        std::string used;
        bool rewritten;
    };
    const std::vector<Case> cases = {
        {"1111111100", "11111111001", true},   // ten characters
        {"211111111001", "11111111001", true}, // twelve
        {"21111111100", "11111111001", true},  // first character 2
        {"", "11111111001", true},             // empty text
        {"1abcdefghij", "1abcdefghij", false}, // only the first character is checked
        {"01010101010", "01010101010", false}, //
        {"0          ", "0          ", false}, //
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("'" + c.stored + "'");
        MemoryRegistryKey key;
        key.keyExists = true;
        key.putText("Options", c.stored);
        EXPECT_EQ(activationListOptions(key).text, c.used);
        EXPECT_EQ(key.get("Options")->data, c.used);
        EXPECT_EQ(key.writeLog.size(), c.rewritten ? 1u : 0u);
    }
}

TEST(Activation, OptionsOfTheWrongTypeFailWithoutRewriting) {
    MemoryRegistryKey key = keyWith({{"Options", 1}});
    EXPECT_EQ(errorOf([&] { activationListOptions(key); }), "Invalid data type for 'Options'");
    EXPECT_TRUE(key.writeLog.empty());
}

TEST(Activation, OptionsTextEndsAtAZeroByte) {
    MemoryRegistryKey key;
    key.keyExists = true;
    key.put("Options", kRegExpandSz, std::string("11111111011\0garbage", 19));
    EXPECT_EQ(activationListOptions(key).text, "11111111011");
    EXPECT_TRUE(key.writeLog.empty());
}

TEST(ListOptionsText, PositionsAndDefault) {
    const ListOptions def;
    for (int i = kOptUserNumber; i <= kOptUpDownStat; ++i)
        EXPECT_TRUE(def.isOn(i)) << i;
    EXPECT_FALSE(def.isOn(kOptLoginStat));
    EXPECT_FALSE(def.isOn(kOptLastCall));
    EXPECT_TRUE(def.isOn(kOptSplitNames));
    const ListOptions letters{"1abcdefghij"};
    EXPECT_TRUE(letters.isOn(kOptUserNumber));
    for (int i = 1; i < kListOptionCount; ++i)
        EXPECT_FALSE(letters.isOn(i)) << i;
    EXPECT_FALSE(def.isOn(-1));
    EXPECT_FALSE(def.isOn(11));
    EXPECT_FALSE(listOptionsValid("x1111111001"));
    EXPECT_TRUE(listOptionsValid("0xxxxxxxxxx"));
}

// --- A list option ticked (SaveOption) -------------------------------------------------

std::string toggled(const std::string& stored, int index, bool on) {
    MemoryRegistryKey key;
    key.keyExists = true;
    key.putText("Options", stored);
    saveOption(key, index, on);
    return key.get("Options")->data;
}

TEST(SaveOption, ChangesOnlyItsPosition) {
    EXPECT_EQ(toggled("11111111001", kOptLastCall, true), "11111111011");
    EXPECT_EQ(toggled("11111111001", kOptUserNumber, false), "01111111001");
    EXPECT_EQ(toggled("11111111001", kOptSplitNames, false), "11111111000");
    EXPECT_EQ(toggled("1abcdefghij", kOptCityState, true), "1ab1defghij");
}

TEST(SaveOption, ShortenedTextIsPaddedWithOffChoices) {
    EXPECT_EQ(toggled("111", kOptLastCall, true), "11100000010");
    EXPECT_EQ(toggled("", kOptName, true), "01000000000");
    EXPECT_EQ(toggled("1111111100", kOptSplitNames, true), "11111111001");
    // Longer texts keep their length; only the position changes.
    EXPECT_EQ(toggled("1111111100100", kOptUserNumber, false), "0111111100100");
}

TEST(SaveOption, NothingWithoutKeyOrValue) {
    MemoryRegistryKey none;
    saveOption(none, kOptName, true);
    EXPECT_FALSE(none.keyExists);
    MemoryRegistryKey noValue;
    noValue.keyExists = true;
    saveOption(noValue, kOptName, true);
    EXPECT_FALSE(noValue.get("Options"));
    EXPECT_EQ(noValue.closes, 1);
}

// --- Another user file -----------------------------------------------------------------

TEST(StoreUserFileName, ShowsThenWrites) {
    MemoryRegistryKey key;
    key.keyExists = true;
    key.refusedWrites.insert("Filename");
    bool shown = false;
    EXPECT_EQ(errorOf([&] { storeUserFileName(key, "/new.dat", [&] { shown = true; }); }),
              "Failed to set data for 'Filename'");
    EXPECT_TRUE(shown);

    key.refusedWrites.clear();
    EXPECT_TRUE(storeUserFileName(key, "/new.dat", nullptr));
    EXPECT_EQ(key.get("Filename")->data, "/new.dat");

    MemoryRegistryKey missing;
    shown = false;
    EXPECT_FALSE(storeUserFileName(missing, "/new.dat", [&] { shown = true; }));
    EXPECT_FALSE(shown);
    EXPECT_FALSE(missing.keyExists);
}

// --- Choosing the resume conference, resume window activation --------------------------

TEST(ResumeConferenceChoice, PresetFromTheStoredValue) {
    MemoryRegistryKey key;
    key.keyExists = true;
    key.putText("Resume", "/bbs/msg/conf7");
    const ConferenceDialogPreset p = changeResumePreset(key, "/bbs/zorvuser.dat");
    EXPECT_TRUE(p.keyOpened);
    EXPECT_EQ(p.fileName, "/bbs/msg/conf7.hdr");
    EXPECT_FALSE(p.initialDir);
}

TEST(ResumeConferenceChoice, PresetWithoutStoredValueStartsAtTheUserFile) {
    MemoryRegistryKey key;
    key.keyExists = true;
    const ConferenceDialogPreset p = changeResumePreset(key, "/bbs/data/zorvuser.dat");
    EXPECT_EQ(p.fileName, "*.hdr");
    EXPECT_EQ(p.initialDir, "/bbs/data");
    MemoryRegistryKey missing;
    EXPECT_FALSE(changeResumePreset(missing, "/x.dat").keyOpened);
}

TEST(ResumeConferenceChoice, StoresThePathWithoutItsExtension) {
    MemoryRegistryKey key;
    key.keyExists = true;
    storeResumeConference(key, "/bbs/msg/resume.hdr");
    EXPECT_EQ(key.get("Resume")->data, "/bbs/msg/resume");
    storeResumeConference(key, "");
    EXPECT_EQ(key.writeLog.size(), 1u);
    MemoryRegistryKey missing;
    storeResumeConference(missing, "/bbs/msg/resume.hdr");
    EXPECT_FALSE(missing.keyExists);
}

TEST(ResumeWindowActivation, StoredChosenCancelledMissing) {
    MemoryRegistryKey key;
    int asked = 0;
    bool openWhileAsking = true;
    auto ask = [&](std::optional<std::string> answer) {
        return [&, answer]() {
            ++asked;
            openWhileAsking = key.isOpen();
            return answer;
        };
    };
    // Key missing: nothing asked, the window keeps its conference.
    EXPECT_EQ(resumeConferenceOnActivate(key, ask("/c.hdr")).source,
              ResumeConference::Source::KeyMissing);
    EXPECT_EQ(asked, 0);

    key.keyExists = true;
    EXPECT_EQ(resumeConferenceOnActivate(key, ask(std::nullopt)).source,
              ResumeConference::Source::Cancelled);
    EXPECT_FALSE(key.get("Resume"));

    const ResumeConference chosen = resumeConferenceOnActivate(key, ask("/bbs/conf.HDR"));
    EXPECT_EQ(chosen.source, ResumeConference::Source::Chosen);
    EXPECT_EQ(chosen.base, "/bbs/conf");
    EXPECT_EQ(key.get("Resume")->data, "/bbs/conf");
    EXPECT_FALSE(openWhileAsking);
    EXPECT_EQ(asked, 2);

    const ResumeConference stored = resumeConferenceOnActivate(key, ask("/other.hdr"));
    EXPECT_EQ(stored.source, ResumeConference::Source::Stored);
    EXPECT_EQ(stored.base, "/bbs/conf");
    EXPECT_EQ(asked, 2);
}

TEST(ResumeWindowActivation, RefusedWriteLeavesTheConferenceUnset) {
    MemoryRegistryKey key;
    key.keyExists = true;
    key.refusedWrites.insert("Resume");
    EXPECT_EQ(errorOf([&] {
                  resumeConferenceOnActivate(key,
                                             [] { return std::optional<std::string>("/a.hdr"); });
              }),
              "Failed to set data for 'Resume'");
}

TEST(PathHelpers, ConferenceBaseCutsFourCharacters) {
    EXPECT_EQ(conferenceBase("C:\\BBS\\RESUME.HDR"), "C:\\BBS\\RESUME");
    EXPECT_EQ(conferenceBase("/x/conf.txt"), "/x/conf");
    EXPECT_EQ(conferenceBase(".hdr"), "");
    EXPECT_EQ(conferenceBase("ab"), "");
}

TEST(PathHelpers, DirectoryPart) {
    EXPECT_EQ(directoryPart("/bbs/data/zorvuser.dat"), "/bbs/data");
    EXPECT_EQ(directoryPart("/zorvuser.dat"), "/");
    EXPECT_EQ(directoryPart("zorvuser.dat"), "");
    EXPECT_EQ(directoryPart("/bbs/data/"), "/bbs/data");
    EXPECT_EQ(directoryPart("/bbs//x.dat"), "/bbs//");
#ifdef _WIN32
    EXPECT_EQ(directoryPart("C:\\zorvuser.dat"), "C:\\");
    EXPECT_EQ(directoryPart("C:\\BBS\\zorvuser.dat"), "C:\\BBS");
    EXPECT_EQ(directoryPart("C:zorvuser.dat"), "C:");
#endif
}

// --- The steps on the settings file ----------------------------------------------------

TEST(StepsOnTheFile, FirstRunThenRestart) {
    TempDir d;
    RegFileKey key(d.regPath());
    Applied a;
    EXPECT_FALSE(restoreMainPosition(key, a.fn()));
    EXPECT_FALSE(restoreWindowBounds(key, BoundsWindow::UserList, a.fn()));
    saveWindowBounds(key, BoundsWindow::Resume, {1, 2, 3, 4}); // key missing: nothing saved
    EXPECT_FALSE(std::filesystem::exists(d.regPath()));
    EXPECT_EQ(activationUserFileName(key, [] { return std::optional<std::string>("/b/u.dat"); }),
              "/b/u.dat");
    EXPECT_EQ(activationListOptions(key).text, "11111111001");
    saveOption(key, kOptLastCall, true);
    saveMainPosition(key, {30, 40});
    EXPECT_EQ(readBytes(d.regPath()), std::string(kHead) + "\"Filename\"=\"/b/u.dat\"\n"
                                                           "\"Options\"=\"11111111011\"\n"
                                                           "\"m.top\"=dword:0000001e\n"
                                                           "\"m.left\"=dword:00000028\n");
    EXPECT_TRUE(restoreMainPosition(key, a.fn()));
    EXPECT_EQ(a.edges, (std::vector<std::pair<Edge, int>>{{Edge::Top, 30}, {Edge::Left, 40}}));
    EXPECT_FALSE(key.isOpen());
}

TEST(StepsOnTheFile, TopStoredAsTextInTheFile) {
    TempDir d;
    writeBytes(d.regPath(), std::string(kHead) + "\"m.top\"=\"12\"\n\"m.left\"=dword:00000005\n");
    RegFileKey key(d.regPath());
    Applied a;
    EXPECT_EQ(errorOf([&] { restoreMainPosition(key, a.fn()); }), "Invalid data type for 'm.top'");
    EXPECT_TRUE(a.edges.empty());
    // The lock was released despite the error: another handle opens at once.
    RegFileKey other(d.regPath());
    other.setLockTimeoutMs(0);
    EXPECT_TRUE(other.open(false));
}

} // namespace
} // namespace zorv
