#include "settings/regfile.h"

#ifndef _WIN32

#include "settings/regdoc.h"
#include "userfile/errors.h"
#include "userfile/replacement.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) || (errno = ENOTDIR, false);
    if (errno != ENOENT)
        return false;
    const std::string parent = parentOf(dir);
    if (parent != dir && !makeDirs(parent))
        return false;
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

enum class ReadResult { Ok, Missing, Failed, TooLarge };

ReadResult readFile(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    out.clear();
    char buf[16384];
    ReadResult r = ReadResult::Ok;
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
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
    ::close(fd);
    errno = saved;
    return r;
}

} // namespace

struct RegFileKey::State {
    int lockFd = -1;
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
    if (state_->lockFd >= 0) {
        ::flock(state_->lockFd, LOCK_UN);
        ::close(state_->lockFd);
        state_->lockFd = -1;
    }
}

bool RegFileKey::open(bool create) {
    close();
    struct stat st;
    if (!create && ::stat(path_.c_str(), &st) != 0 && errno == ENOENT)
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
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(lockTimeoutMs_);
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) ||
                std::chrono::steady_clock::now() >= deadline) {
                ::close(fd);
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
    return ::access(path_.c_str(), F_OK) == 0 && ::access(path_.c_str(), W_OK) != 0;
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
    struct stat privateModel {};
    privateModel.st_mode = S_IFREG | 0600;
    privateModel.st_uid = ::geteuid();
    privateModel.st_gid = ::getegid();
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
