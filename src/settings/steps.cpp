#include "settings/steps.h"

#include <algorithm>

namespace zorv {

namespace {

constexpr const char* kFilename = "Filename";
constexpr const char* kOptions = "Options";
constexpr const char* kResume = "Resume";

const char* prefix(BoundsWindow w) {
    switch (w) {
    case BoundsWindow::UserList:
        return "u";
    case BoundsWindow::Stats:
        return "s";
    case BoundsWindow::Resume:
        break;
    }
    return "r";
}

const char* edgeName(Edge e) {
    switch (e) {
    case Edge::Top:
        return "top";
    case Edge::Left:
        return "left";
    case Edge::Width:
        return "width";
    case Edge::Height:
        break;
    }
    return "height";
}

constexpr Edge kEdges[] = {Edge::Top, Edge::Left, Edge::Width, Edge::Height};

} // namespace

void WindowBounds::set(Edge e, std::int32_t v) {
    switch (e) {
    case Edge::Top:
        top = v;
        break;
    case Edge::Left:
        left = v;
        break;
    case Edge::Width:
        width = v;
        break;
    case Edge::Height:
        height = v;
        break;
    }
}

std::string boundsValueName(BoundsWindow w, Edge e) {
    return std::string(prefix(w)) + "." + edgeName(e);
}

bool restoreMainPosition(RegistryKey& key, const ApplyEdge& apply) {
    KeyCloser closer(key);
    if (!key.open(false) || !key.exists("m.left"))
        return false;
    apply(Edge::Top, key.readInteger("m.top"));
    apply(Edge::Left, key.readInteger("m.left"));
    return true;
}

bool restoreWindowBounds(RegistryKey& key, BoundsWindow w, const ApplyEdge& apply) {
    KeyCloser closer(key);
    if (!key.open(false) || !key.exists(boundsValueName(w, Edge::Height)))
        return false;
    for (Edge e : kEdges)
        apply(e, key.readInteger(boundsValueName(w, e)));
    return true;
}

void saveMainPosition(RegistryKey& key, WindowPos pos) {
    KeyCloser closer(key);
    if (!key.open(false))
        return;
    key.writeInteger("m.top", pos.top);
    key.writeInteger("m.left", pos.left);
}

void saveWindowBounds(RegistryKey& key, BoundsWindow w, WindowBounds b) {
    KeyCloser closer(key);
    if (!key.open(false))
        return;
    key.writeInteger(boundsValueName(w, Edge::Top), b.top);
    key.writeInteger(boundsValueName(w, Edge::Left), b.left);
    key.writeInteger(boundsValueName(w, Edge::Width), b.width);
    key.writeInteger(boundsValueName(w, Edge::Height), b.height);
}

std::optional<std::string> activationUserFileName(RegistryKey& key, const AskPath& askUserFile) {
    bool usable;
    {
        KeyCloser closer(key);
        usable = key.open(true);
        if (usable && key.exists(kFilename))
            return key.readText(kFilename);
    }
    // The key is closed while the dialog is up, so other editors are not held up.
    std::optional<std::string> chosen = askUserFile();
    if (!chosen || !usable)
        return chosen;
    KeyCloser closer(key);
    if (key.open(true))
        key.writeText(kFilename, *chosen);
    return chosen;
}

bool listOptionsValid(std::string_view text) {
    return text.size() == static_cast<std::size_t>(kListOptionCount) &&
           (text[0] == '0' || text[0] == '1');
}

bool ListOptions::isOn(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < text.size() && text[index] == '1';
}

ListOptions activationListOptions(RegistryKey& key) {
    KeyCloser closer(key);
    ListOptions result;
    if (!key.open(true))
        return result;
    if (key.exists(kOptions)) {
        std::string text = key.readText(kOptions);
        if (listOptionsValid(text)) {
            result.text = std::move(text);
            return result;
        }
    }
    key.writeText(kOptions, kDefaultListOptions);
    return result;
}

void saveOption(RegistryKey& key, int index, bool checked) {
    if (index < 0 || index >= kListOptionCount)
        return;
    KeyCloser closer(key);
    if (!key.open(false) || !key.exists(kOptions))
        return;
    std::string text = key.readText(kOptions);
    // Shortened outside the program since start-up: the missing choices count as off.
    if (text.size() < static_cast<std::size_t>(kListOptionCount))
        text.resize(kListOptionCount, '0');
    text[index] = checked ? '1' : '0';
    key.writeText(kOptions, text);
}

bool storeUserFileName(RegistryKey& key, const std::string& path,
                       const std::function<void()>& showPath) {
    KeyCloser closer(key);
    if (!key.open(false))
        return false;
    if (showPath)
        showPath();
    key.writeText(kFilename, path);
    return true;
}

int backupCount(RegistryKey& key) {
    KeyCloser closer(key);
    if (!key.open(false) || !key.exists("Backups"))
        return kDefaultBackups;
    return std::clamp(key.readInteger("Backups"), 0, kMaxBackups);
}

namespace {

std::string sortValueName(SortWindow w, const char* what) {
    return std::string(w == SortWindow::UserList ? "List" : "Stat") + "Sort" + what;
}

} // namespace

StoredSort loadSort(RegistryKey& key, SortWindow w) {
    KeyCloser closer(key);
    const std::string colName = sortValueName(w, "Column");
    const std::string dirName = sortValueName(w, "Direction");
    if (!key.open(false) || !key.exists(colName) || !key.exists(dirName))
        return {};
    StoredSort s;
    try {
        s.column = key.readInteger(colName);
        s.direction = key.readInteger(dirName);
    } catch (const SettingsError&) {
        return {}; // a value edited by hand into another type
    }
    if (s.column < 0 || (s.direction != 0 && s.direction != 1))
        return {};
    return s;
}

void saveSort(RegistryKey& key, SortWindow w, StoredSort sort) {
    KeyCloser closer(key);
    if (!key.open(false))
        return;
    key.writeInteger(sortValueName(w, "Column"), sort.column);
    key.writeInteger(sortValueName(w, "Direction"), sort.direction);
}

bool liveRefreshOn(RegistryKey& key) {
    KeyCloser closer(key);
    if (!key.open(false) || !key.exists("LiveRefresh"))
        return true;
    return key.readInteger("LiveRefresh") > 0;
}

ConferenceDialogPreset changeResumePreset(RegistryKey& key, const std::string& userFileName) {
    KeyCloser closer(key);
    ConferenceDialogPreset p;
    if (!key.open(false))
        return p;
    p.keyOpened = true;
    if (key.exists(kResume)) {
        p.fileName = key.readText(kResume) + ".hdr";
    } else {
        p.fileName = "*.hdr";
        p.initialDir = directoryPart(userFileName);
    }
    return p;
}

void storeResumeConference(RegistryKey& key, const std::string& chosenPath) {
    if (chosenPath.empty())
        return;
    KeyCloser closer(key);
    if (key.open(false))
        key.writeText(kResume, conferenceBase(chosenPath));
}

ResumeConference resumeConferenceOnActivate(RegistryKey& key, const AskPath& askConference) {
    ResumeConference rc;
    {
        KeyCloser closer(key);
        if (!key.open(false))
            return rc;
        if (key.exists(kResume)) {
            rc.source = ResumeConference::Source::Stored;
            rc.base = key.readText(kResume);
            return rc;
        }
    }
    std::optional<std::string> chosen = askConference();
    if (!chosen || chosen->empty()) {
        rc.source = ResumeConference::Source::Cancelled;
        return rc;
    }
    rc.source = ResumeConference::Source::Chosen;
    rc.base = conferenceBase(*chosen);
    KeyCloser closer(key);
    if (key.open(false))
        key.writeText(kResume, rc.base);
    return rc;
}

std::string conferenceBase(std::string_view chosenPath) {
    if (chosenPath.size() <= 4)
        return {};
    return std::string(chosenPath.substr(0, chosenPath.size() - 4));
}

std::string directoryPart(std::string_view path) {
#ifdef _WIN32
    constexpr std::string_view delims = "\\/:";
    constexpr std::string_view seps = "\\/";
#else
    constexpr std::string_view delims = "/";
    constexpr std::string_view seps = "/";
#endif
    const std::size_t last = path.find_last_of(delims);
    if (last == std::string_view::npos)
        return {};
    std::size_t len = last + 1;
    if (len > 1 && seps.find(path[last]) != std::string_view::npos &&
        delims.find(path[last - 1]) == std::string_view::npos)
        --len;
    return std::string(path.substr(0, len));
}

} // namespace zorv
