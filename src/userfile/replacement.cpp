#include "userfile/replacement.h"

#include "userfile/errors.h"
#include "userfile/fd.h"
#include "userfile/filecopy.h"
#include "userfile/pathparts.h"
#include "userfile/privatefile.h"
#include "userfile/recordio.h"

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace zorv {

namespace {

ReplaceHook replaceHook = nullptr;
ReplaceHook tempHook = nullptr;

[[noreturn]] void throwErrno() {
    throw ioErrorFromErrno(errno);
}

} // namespace

void setReplaceHookForTesting(ReplaceHook hook) {
    replaceHook = hook;
}

void setTempHookForTesting(ReplaceHook hook) {
    tempHook = hook;
}

namespace {

[[noreturn]] void throwAt(const std::string& what, const std::string& path) {
    const int err = errno;
    throw IoError(ioErrorCodeFromErrno(err), what + " " + path + ": " + os::errorText(err));
}

bool isOurTempFor(const std::string& name, const std::string& base) {
    const std::string prefix = std::string(kTempPrefix) + base + ".";
    return name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0;
}

// A temp file of ours, created and locked; the lock tells a later cleanup
// that its writer still lives.
os::Handle createLockedTemp(std::string& temp, const std::string& dst) {
    // A cleanup may take a temp for a dead writer's between create and lock,
    // so a few tries; a file system whose names never agree with their open
    // files gets a message, not a temp left per try for ever.
    constexpr int kTries = 4;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        const os::Handle fd =
            os::createTemp(dirOf(dst) + "/" + kTempPrefix + baseOf(dst) + ".", temp);
        if (!os::isOpen(fd))
            throwAt("Cannot create a temporary file in", dirOf(dst));
        (void)os::lockWriters(fd, true);
        if (tempHook)
            tempHook(temp);
        if (os::pathNames(temp, fd))
            return fd;
        os::remove(temp);
        os::close(fd);
    }
    throw IoError(kFileAccessDenied, "File access denied: a temporary file in " + dirOf(dst) +
                                         " kept being removed or replaced as soon as it was "
                                         "made, so " +
                                         dst + " was not written");
}

// rename() that never replaces.
void renameIntoAFreeName(const std::string& from, const std::string& to) {
    if (!os::renameIntoFreeName(from, to))
        throwAt("Cannot create", to);
}

// Writes what `fill` puts into a locked temp beside dst, then renames it over dst.
template <typename Fill>
void replaceWith(const std::string& dstPath, const Fill& fill, const os::FileInfo* model,
                 bool followLink = true) {
    ReplacementFile r(dstPath, model, true, followLink);
    fill(r.fd(), r.tempPath());
    r.commit();
}

} // namespace

ReplacementFile::ReplacementFile(const std::string& dstPath, const os::FileInfo* model,
                                 bool adoptTarget, bool followLink) {
    dst_ = dstPath;
    os::FileInfo dstSt;
    bool haveDst = false;
    if (adoptTarget && followLink) {
        // A link to the user file is kept a link: the file it points to is replaced.
        os::FileInfo lst;
        if (os::linkInfoOf(dst_, lst) && lst.kind == os::Kind::Link) {
            if (auto real = os::realPath(dst_))
                dst_ = *real;
        }
        haveDst = os::infoOf(dst_, dstSt);
    } else if (adoptTarget) {
        haveDst = os::linkInfoOf(dst_, dstSt) && dstSt.kind != os::Kind::Link;
    } else {
        // A copy: whatever lies at the name (a planted file or link) is
        // replaced, never followed and never a source of owner or mode.
        haveDst = os::linkInfoOf(dst_, dstSt);
    }
    if (haveDst && dstSt.kind == os::Kind::Folder)
        throw IoError(kFileAccessDenied, std::string(accessDenied(dstSt).what()) + ": " + dst_);
    removeStaleTemps(dst_);

    fd_ = createLockedTemp(temp_, dst_);
    try {
        if (!adoptTarget) {
            if (model)
                takeModeAndGroup(fd_, *model);
            // else the temp's own 0600
        } else {
            const os::FileInfo* mode = haveDst ? &dstSt : model;
            // Root keeps the owner; anyone keeps the group where allowed, and
            // where not, the group's bits are not given to our own group.
            const bool groupKept = !mode || os::adoptOwner(fd_, *mode);
            // A new file gets what any new file would, not the temp file's 0600.
            unsigned perms = mode ? (mode->mode & 07777) : os::newFileMode();
            if (!groupKept)
                perms &= ~070u;
            if (!os::setMode(fd_, perms))
                throwAt("Cannot set the permissions of", temp_);
        }
    } catch (...) {
        discard();
        throw;
    }
}

void ReplacementFile::append(std::string_view bytes) {
    if (!os::isOpen(fd_))
        throw IoError(kFileNotOpen);
    try {
        writeAllAt(fd_, bytes.data(), bytes.size(), static_cast<os::Offset>(written_));
    } catch (const IoError& e) {
        discard();
        throw IoError(e.code(), std::string(e.what()) + " writing " + temp_);
    }
    written_ += static_cast<long long>(bytes.size());
}

ReplacementFile::~ReplacementFile() {
    discard();
}

void ReplacementFile::discard() noexcept {
    if (!os::isOpen(fd_))
        return;
    os::remove(temp_);
    os::close(fd_);
    fd_ = os::noHandle();
}

void ReplacementFile::commit() {
    Fd kept(commitKeepingLock());
}

os::Handle ReplacementFile::commitKeepingLock(Commit how) {
    if (!os::isOpen(fd_))
        throw IoError(kFileNotOpen);
    try {
        if (!os::flush(fd_))
            throwAt("Cannot write", temp_);
        if (replaceHook)
            replaceHook(temp_);
        if (how == Commit::OnlyIntoAFreeName)
            renameIntoAFreeName(temp_, dst_);
        else if (!os::rename(temp_, dst_))
            throwAt("Cannot replace", dst_);
    } catch (...) {
        discard();
        throw;
    }
    const os::Handle fd = std::exchange(fd_, os::noHandle()); // its lock goes with it, once closed
    // Make the rename itself durable; the file is already whole either way.
    syncFolderOf(dst_);
    return fd;
}

void removeStaleTemps(const std::string& dst) {
    const std::string dir = dirOf(dst);
    const std::string base = baseOf(dst);
    std::vector<std::string> names;
    if (!os::listFolder(dir, names))
        return;
    for (const std::string& name : names) {
        if (!isOurTempFor(name, base))
            continue;
        const std::string path = dir + "/" + name;
        Fd fd(os::open(path, os::kRead | os::kNoFollow | os::kNoWait));
        os::FileInfo st;
        if (!fd.isOpen() || !os::info(fd.get(), st) || st.kind != os::Kind::Regular)
            continue;
        if (os::lockWriters(fd.get()) == os::Lock::Held)
            os::remove(path); // still locked by us: its writer sees it gone
    }
}

void replaceFileAtomically(const std::string& src, const std::string& dst,
                           const os::FileInfo* modelForNew, bool followLink) {
    Fd in(openRegularFile(src));
    os::FileInfo srcSt;
    if (!os::info(in.get(), srcSt))
        throwErrno();
    // Already the same file: a rename would strand whoever holds src open on
    // the old, unlinked inode.
    os::FileInfo dstSt;
    if (os::infoOf(dst, dstSt) && os::sameFile(dstSt, srcSt))
        return;
    replaceWith(
        dst,
        [&in, &src](os::Handle out, const std::string& temp) {
            try {
                copyContent(in.get(), out);
            } catch (const IoError& e) {
                throw IoError(e.code(), std::string(e.what()) + " copying " + src + " to " + temp);
            }
        },
        modelForNew ? modelForNew : &srcSt, followLink);
}

void copyFilePrivately(const std::string& src, const std::string& dst, const os::FileInfo& model) {
    Fd in(openRegularFile(src));
    ReplacementFile r(dst, &model, false);
    try {
        copyContent(in.get(), r.fd());
    } catch (const IoError& e) {
        throw IoError(e.code(), std::string(e.what()) + " copying " + src + " to " + r.tempPath());
    }
    r.commit();
}

void replaceFileWithBytes(const std::string& dst, std::string_view bytes) {
    replaceWith(
        dst,
        [bytes](os::Handle out, const std::string& temp) {
            try {
                writeAllAt(out, bytes.data(), bytes.size(), 0);
            } catch (const IoError& e) {
                throw IoError(e.code(), std::string(e.what()) + " writing " + temp);
            }
        },
        nullptr);
}

} // namespace zorv
