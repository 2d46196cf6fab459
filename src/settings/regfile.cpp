#include "settings/regfile.h"

#ifndef _WIN32

#include "os/file.h"
#include "settings/regdoc.h"
#include "userfile/errors.h"
#include "userfile/replacement.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

namespace zorv {

namespace {

constexpr std::size_t kMaxFileSize = 8u << 20;

// Files whose unreadable state was reported already in this run.
std::mutex reportedMutex;
std::set<std::string> reportedFiles;

bool markReported(const std::string& path) {
    std::lock_guard<std::mutex> lock(reportedMutex);
    return reportedFiles.insert(path).second;
}

void clearReported(const std::string& path) {
    std::lock_guard<std::mutex> lock(reportedMutex);
    reportedFiles.erase(path);
}

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

bool makeDirs(const std::string& dir) {
    os::FileInfo st;
    if (os::infoOf(dir, st))
        return st.kind == os::Kind::Folder || (errno = ENOTDIR, false);
    if (errno != ENOENT)
        return false;
    const std::string parent = parentOf(dir);
    if (parent != dir && !makeDirs(parent))
        return false;
    return os::makeFolder(dir);
}

enum class ReadResult { Ok, Missing, Failed, TooLarge };

ReadResult readFile(const std::string& path, std::string& out) {
    const os::Handle fd = os::open(path, os::kRead);
    if (!os::isOpen(fd))
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    out.clear();
    char buf[16384];
    ReadResult r = ReadResult::Ok;
    while (true) {
        const long long n = os::readAt(fd, buf, sizeof buf, static_cast<os::Offset>(out.size()));
        if (n < 0) {
            r = ReadResult::Failed;
            break;
        }
        if (n == 0)
            break;
        out.append(buf, static_cast<std::size_t>(n));
        if (out.size() > kMaxFileSize) {
            r = ReadResult::TooLarge;
            break;
        }
    }
    const int saved = errno;
    os::close(fd);
    errno = saved;
    return r;
}

} // namespace

struct RegFileKey::State {
    os::Handle lockFd = os::noHandle();
    bool open = false;
    regdoc::Document doc;
};

RegFileKey::RegFileKey(std::string path)
    : path_(std::move(path)), state_(std::make_unique<State>()) {}

RegFileKey::~RegFileKey() {
    close();
}

bool RegFileKey::isOpen() const noexcept {
    return state_->open;
}

void RegFileKey::close() noexcept {
    state_->open = false;
    state_->doc = regdoc::Document{};
    if (os::isOpen(state_->lockFd)) {
        os::unlockWriters(state_->lockFd);
        os::close(state_->lockFd);
        state_->lockFd = os::noHandle();
    }
}

bool RegFileKey::open(bool create) {
    close();
    os::FileInfo st;
    if (!create && !os::infoOf(path_, st) && errno == ENOENT)
        return false;
    const std::string dir = parentOf(path_);
    // Problems that last are reported once per run; a busy lock each time.
    auto reportOnce = [this](const std::string& text) {
        if (markReported(path_))
            reportProblem(text);
    };
    if (create && !makeDirs(dir)) {
        reportOnce("Cannot create the settings folder '" + dir + "': " + std::strerror(errno));
        return false;
    }

    // The lock lives in a file of its own: the settings file itself is replaced by
    // every write, and a lock on a replaced file would protect nothing.
    const std::string lockPath = path_ + ".lock";
    os::Handle fd = os::open(lockPath, os::kReadWrite | os::kCreate, 0600);
    if (!os::isOpen(fd))
        fd = os::open(lockPath, os::kRead);
    if (os::isOpen(fd)) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(lockTimeoutMs_);
        while (os::lockWriters(fd) != os::Lock::Held) {
            if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
                os::close(fd);
                reportProblem("The settings file '" + path_ +
                              "' is locked by another program; settings were not read or saved");
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        state_->lockFd = fd;
    }
    // Without a lock file (a read-only folder) the file can still be read; writes
    // would fail there anyway.

    std::string bytes;
    const ReadResult r = readFile(path_, bytes);
    if (r == ReadResult::Failed || r == ReadResult::TooLarge) {
        const std::string why =
            r == ReadResult::TooLarge ? "it is too large" : std::strerror(errno);
        close();
        reportOnce("Cannot read the settings file '" + path_ + "': " + why +
                   "; settings are not read or saved until this is mended");
        return false;
    }
    regdoc::ParseError err;
    if (r == ReadResult::Ok && !regdoc::parse(bytes, state_->doc, err)) {
        close();
        reportOnce("The settings file '" + path_ + "' cannot be read (line " +
                   std::to_string(err.line) + ": " + err.what +
                   "); it is left as it is, and settings are not read or saved "
                   "until it is mended or removed");
        return false;
    }
    if (r == ReadResult::Missing)
        state_->doc = regdoc::Document{};

    if (!state_->doc.hasSection) {
        if (!create) {
            close();
            return false;
        }
        regdoc::addSection(state_->doc);
        std::string why;
        if (!writeBack(why)) {
            close();
            reportOnce("Cannot write the settings file '" + path_ + "': " + why);
            return false;
        }
    }
    clearReported(path_);
    state_->open = true;
    return true;
}

std::optional<RegValue> RegFileKey::queryValue(const std::string& name) {
    if (!state_->open)
        return std::nullopt;
    const regdoc::Entry* e = regdoc::find(state_->doc, name);
    if (!e)
        return std::nullopt;
    return e->value;
}

bool RegFileKey::setValue(const std::string& name, std::uint32_t type, std::string_view data) {
    if (!state_->open)
        return false;
    regdoc::Document before = state_->doc;
    if (!regdoc::set(state_->doc, name, type, data))
        return true;
    std::string why;
    if (writeBack(why))
        return true;
    state_->doc = std::move(before);
    if (readOnlyFile()) {
        // The sysop made it read-only on purpose, perhaps: said once per run,
        // then such writes are dropped quietly.
        if (markReported(path_ + "\n(read-only)"))
            throw SettingsError(SettingsError::Kind::SetData, name,
                                "The settings file '" + path_ + "' may not be written (" + why +
                                    "); settings are not saved.");
        return true;
    }
    return false;
}

bool RegFileKey::readOnlyFile() const {
    return os::exists(path_) && !os::writable(path_);
}

bool RegFileKey::writeBack(std::string& why) {
    // Replacing a file this user may not write would go round its permissions.
    if (readOnlyFile()) {
        why = std::strerror(EACCES);
        return false;
    }
    // A new settings file is this user's alone; an existing one keeps its
    // mode, owner and group, and a symbolic link stays one (its file is
    // replaced). Temps that a killed editor left beside it go, those of a
    // running one stay (their lock says so).
    os::FileInfo privateModel;
    privateModel.kind = os::Kind::Regular;
    privateModel.mode = 0600;
    privateModel.owner = os::myUser();
    privateModel.group = os::myGroup();
    try {
        ReplacementFile file(path_, &privateModel);
        file.append(regdoc::serialize(state_->doc));
        file.commit();
        return true;
    } catch (const IoError& e) {
        why = e.what();
        return false;
    }
}

} // namespace zorv

#endif // _WIN32
