// The Windows backend of the file layer. Paths come in UTF-8 with '/' or '\'
// and go to the wide calls; errors come back as the errno values the core
// words. Every open shares reading, writing and deleting, so the board keeps
// using the user file while we have it open.
#include "os/file.h"
#include "os/loops.h"
#include "os/readrefusal.h"
#include "os/win32/winerror.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <random>
#include <thread>

namespace zorv::os {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A board that opened the file without sharing it may close it a moment
// later: an open refused so is tried again for about this long.
constexpr int kSharingTries = 20;
constexpr auto kSharingPause = std::chrono::milliseconds(50);
// The between-writers lock: one byte far past any record (2^62), which a
// record lock on the same handle never meets.
constexpr ULONGLONG kWritersByte = 1ull << 62;

std::int64_t epochNs(LARGE_INTEGER t) {
    // 100 ns ticks since 1601 to ns since 1970.
    constexpr std::int64_t kEpochTicks = 116444736000000000LL;
    return (t.QuadPart - kEpochTicks) * 100;
}

// One call's share of a large read or write.
DWORD chunk(std::size_t left) {
    return static_cast<DWORD>(left < (1u << 30) ? left : (1u << 30));
}

OVERLAPPED at(Offset offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xffffffffu);
    o.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    return o;
}

// The SID of the account this process runs as, in a buffer of its own.
struct MySid {
    std::vector<char> buf;
    PSID get() { return buf.empty() ? nullptr : reinterpret_cast<PSID>(buf.data()); }
};

MySid& mySid() {
    static MySid sid = [] {
        MySid s;
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return s;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<char> info(size);
        if (size && GetTokenInformation(token, TokenUser, info.data(), size, &size)) {
            const PSID user = reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid;
            s.buf.resize(GetLengthSid(user));
            CopySid(static_cast<DWORD>(s.buf.size()), s.get(), user);
        }
        CloseHandle(token);
        return s;
    }();
    return sid;
}

std::uint32_t ridOf(PSID sid) {
    if (!sid || !IsValidSid(sid))
        return 0xffffffffu;
    const UCHAR n = *GetSidSubAuthorityCount(sid);
    return n ? static_cast<std::uint32_t>(*GetSidSubAuthority(sid, n - 1u)) : 0u;
}

// Owners are told apart as numbers: the account's last sub-authority, with
// the top bit flipped for an account that is not ours but shares our number.
std::uint32_t ownerNumber(PSID owner) {
    const std::uint32_t rid = ridOf(owner);
    const PSID me = mySid().get();
    if (me && owner && EqualSid(owner, me))
        return rid;
    return rid == ridOf(me) ? rid ^ 0x80000000u : rid;
}

bool isWellKnownTrusted(PSID sid) {
    // SYSTEM, the administrators and the file's creator may use any file.
    return IsWellKnownSid(sid, WinLocalSystemSid) ||
           IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
           IsWellKnownSid(sid, WinCreatorOwnerSid);
}

// The permission bits that the DACL comes to: the owner's always, and the
// others' (group and world alike) where an allowing entry names anyone but
// the owner and the system's own accounts.
unsigned modeFromDacl(PACL dacl, PSID owner, bool present, bool folder) {
    const unsigned own = folder ? 0700 : 0600;
    if (!present || !dacl)
        return own | (folder ? 077 : 066); // no DACL: everyone may do anything
    unsigned others = 0;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace))
            continue;
        const auto* header = static_cast<ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        const PSID sid = reinterpret_cast<PSID>(&allowed->SidStart);
        if ((owner && EqualSid(sid, owner)) || isWellKnownTrusted(sid))
            continue;
        const ACCESS_MASK m = allowed->Mask;
        if (m & (GENERIC_ALL | GENERIC_READ | FILE_READ_DATA))
            others |= 044;
        if (m & (GENERIC_ALL | GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE |
                 WRITE_DAC | WRITE_OWNER))
            others |= 022;
        if (folder && (m & (GENERIC_ALL | GENERIC_EXECUTE | FILE_TRAVERSE)))
            others |= 011;
    }
    return own | others;
}

Kind kindOf(HANDLE h, DWORD attributes) {
    switch (GetFileType(h)) {
    case FILE_TYPE_PIPE:
        return Kind::Fifo;
    case FILE_TYPE_CHAR:
        return Kind::Device;
    default:
        break;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Kind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Kind::Folder;
    return Kind::Regular;
}

// The owner's-only DACL of a private new file or folder, "" when the account
// is unknown.
std::wstring privateDescriptor(bool folder) {
    LPWSTR sid = nullptr;
    if (!mySid().get() || !ConvertSidToStringSidW(mySid().get(), &sid))
        return {};
    std::wstring sddl = std::wstring(L"D:P(A;") + (folder ? L"OICI" : L"") + L";FA;;;" + sid + L")";
    LocalFree(sid);
    return sddl;
}

// Security attributes that make a new object the owner's alone.
class PrivateAttributes {
  public:
    explicit PrivateAttributes(bool folder) {
        const std::wstring sddl = privateDescriptor(folder);
        if (!sddl.empty() && ConvertStringSecurityDescriptorToSecurityDescriptorW(
                                 sddl.c_str(), SDDL_REVISION_1, &sd_, nullptr)) {
            sa_.nLength = sizeof sa_;
            sa_.lpSecurityDescriptor = sd_;
            sa_.bInheritHandle = FALSE;
        }
    }
    ~PrivateAttributes() {
        if (sd_)
            LocalFree(sd_);
    }
    PrivateAttributes(const PrivateAttributes&) = delete;
    PrivateAttributes& operator=(const PrivateAttributes&) = delete;
    SECURITY_ATTRIBUTES* get() { return sd_ ? &sa_ : nullptr; }

  private:
    PSECURITY_DESCRIPTOR sd_ = nullptr;
    SECURITY_ATTRIBUTES sa_{};
};

// CreateFileW, an open refused by another program's sharing tried again for
// a moment.
HANDLE createFile(const std::wstring& path, DWORD access, DWORD disposition, DWORD flags,
                  SECURITY_ATTRIBUTES* sa = nullptr) {
    for (int attempt = 0;; ++attempt) {
        const HANDLE h =
            CreateFileW(path.c_str(), access, kShareAll, sa, disposition, flags, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION ||
            attempt + 1 >= kSharingTries)
            return h;
        std::this_thread::sleep_for(kSharingPause);
    }
}

// A handle that only looks at a file (no data access), for the path-based
// questions.
HANDLE openToLook(const std::string& path, bool followLink) {
    std::wstring w;
    if (!widePath(path, w))
        return INVALID_HANDLE_VALUE;
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
    if (!followLink)
        flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE h = createFile(w, READ_CONTROL | FILE_READ_ATTRIBUTES, OPEN_EXISTING, flags);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
        h = createFile(w, FILE_READ_ATTRIBUTES, OPEN_EXISTING, flags);
    if (h == INVALID_HANDLE_VALUE)
        setErrnoFromLastError();
    return h;
}

bool looksLikeLink(HANDLE h) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag))
        return false;
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK ||
            tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

bool setPrivateDacl(HANDLE h, bool folder) {
    const std::wstring sddl = privateDescriptor(folder);
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (sddl.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                            sddl.c_str(), SDDL_REVISION_1, &sd, nullptr)) {
        errno = EPERM;
        return false;
    }
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
    const auto set = [&](HANDLE on) {
        return SetSecurityInfo(on, SE_FILE_OBJECT,
                               DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                               nullptr, nullptr, dacl, nullptr);
    };
    DWORD rc = set(h);
    if (rc == ERROR_ACCESS_DENIED) {
        // A handle opened to read and write lacks WRITE_DAC; the owner may
        // take it on a second handle of the same file.
        const HANDLE again = ReOpenFile(h, WRITE_DAC | READ_CONTROL,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        folder ? FILE_FLAG_BACKUP_SEMANTICS : 0);
        if (again != INVALID_HANDLE_VALUE) {
            rc = set(again);
            CloseHandle(again);
        }
    }
    LocalFree(sd);
    if (rc != ERROR_SUCCESS) {
        setErrnoFromError(rc);
        return false;
    }
    return true;
}

// A call on one path: its wide form in, errno from its failure out.
template <class Call> bool onPath(const std::string& path, Call call) {
    std::wstring w;
    if (!widePath(path, w))
        return false;
    if (call(w.c_str()))
        return true;
    setErrnoFromLastError();
    return false;
}

bool sameFileInfo(HANDLE a, HANDLE b) {
    FileInfo x, y;
    return info(a, x) && info(b, y) && sameFile(x, y);
}

} // namespace

Handle noHandle() {
    return INVALID_HANDLE_VALUE;
}

Handle open(const std::string& path, unsigned flags, unsigned mode) {
    std::wstring w;
    if (!widePath(path, w))
        return INVALID_HANDLE_VALUE;
    DWORD access = GENERIC_READ;
    if (flags & kReadWrite)
        access |= GENERIC_WRITE;
    DWORD disposition = OPEN_EXISTING;
    if ((flags & kCreate) && (flags & kExclusive))
        disposition = CREATE_NEW;
    else if (flags & kCreate)
        disposition = OPEN_ALWAYS;
    // Backup semantics let a folder be opened, to be told apart afterwards.
    DWORD attrs = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS;
    if (flags & (kNoFollow | kExclusive))
        attrs |= FILE_FLAG_OPEN_REPARSE_POINT;
    // A new private file is made with the owner's DACL alone.
    const bool makesPrivate = disposition != OPEN_EXISTING && (mode & 077) == 0;
    if (makesPrivate)
        access |= WRITE_DAC;
    PrivateAttributes sa(false);
    const HANDLE h = createFile(w, access, disposition, attrs, makesPrivate ? sa.get() : nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        setErrnoFromLastError();
        return h;
    }
    if ((flags & kNoFollow) && looksLikeLink(h)) {
        CloseHandle(h);
        errno = ELOOP;
        return INVALID_HANDLE_VALUE;
    }
    if (flags & kFolder) {
        FileInfo st;
        if (!info(h, st) || st.kind != Kind::Folder) {
            CloseHandle(h);
            errno = ENOTDIR;
            return INVALID_HANDLE_VALUE;
        }
    }
    return h;
}

void close(Handle h) noexcept {
    if (h != INVALID_HANDLE_VALUE && h != nullptr)
        CloseHandle(h);
}

void setBlocking(Handle) {}

long long readAt(Handle h, void* data, std::size_t size, Offset offset) {
    if (detail::readRefused(h, offset, size)) {
        errno = EAGAIN;
        return -1;
    }
    return detail::readFully(data, size, [&](char* p, std::size_t left, std::size_t done) {
        OVERLAPPED o = at(offset + static_cast<Offset>(done));
        DWORD got = 0;
        if (ReadFile(h, p, chunk(left), &got, &o))
            return static_cast<long long>(got);
        if (GetLastError() == ERROR_HANDLE_EOF)
            return 0LL;
        setErrnoFromLastError();
        return -1LL;
    });
}

bool writeAt(Handle h, const void* data, std::size_t size, Offset offset) {
    return detail::writeFully(data, size, [&](const char* p, std::size_t left, std::size_t done) {
        OVERLAPPED o = at(offset + static_cast<Offset>(done));
        DWORD put = 0;
        if (WriteFile(h, p, chunk(left), &put, &o))
            return static_cast<long long>(put);
        setErrnoFromLastError();
        return -1LL;
    });
}

bool readAll(Handle h, std::string& out) {
    std::vector<char> buf(1 << 16);
    for (Offset pos = 0;;) {
        const long long n = readAt(h, buf.data(), buf.size(), pos);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out.append(buf.data(), static_cast<std::size_t>(n));
        pos += n;
    }
}

bool flush(Handle h) {
    if (FlushFileBuffers(h))
        return true;
    setErrnoFromLastError();
    return false;
}

bool truncate(Handle h, Offset size) {
    FILE_END_OF_FILE_INFO eof{};
    eof.EndOfFile.QuadPart = size;
    if (SetFileInformationByHandle(h, FileEndOfFileInfo, &eof, sizeof eof))
        return true;
    setErrnoFromLastError();
    return false;
}

bool info(Handle h, FileInfo& out) {
    BY_HANDLE_FILE_INFORMATION bh{};
    const DWORD type = GetFileType(h);
    if (type != FILE_TYPE_DISK) {
        if (type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) {
            setErrnoFromLastError();
            return false;
        }
        out = FileInfo{};
        out.kind = kindOf(h, 0);
        out.owner = myUser();
        out.mode = 0600;
        return true;
    }
    if (!GetFileInformationByHandle(h, &bh)) {
        setErrnoFromLastError();
        return false;
    }
    FileInfo i;
    i.kind = kindOf(h, bh.dwFileAttributes);
    if (i.kind == Kind::Link && !looksLikeLink(h))
        i.kind = (bh.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Folder : Kind::Regular;
    i.device = bh.dwVolumeSerialNumber;
    i.inode = (static_cast<std::uint64_t>(bh.nFileIndexHigh) << 32) | bh.nFileIndexLow;
    i.size =
        static_cast<Offset>((static_cast<std::uint64_t>(bh.nFileSizeHigh) << 32) | bh.nFileSizeLow);
    i.links = bh.nNumberOfLinks;
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) {
        i.modifiedNs = epochNs(basic.LastWriteTime);
        i.changedNs = epochNs(basic.ChangeTime);
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    const bool folder = i.kind == Kind::Folder;
    if (GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                        &owner, nullptr, &dacl, nullptr, &sd) == ERROR_SUCCESS) {
        BOOL present = FALSE, defaulted = FALSE;
        GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
        i.owner = ownerNumber(owner);
        i.mode = modeFromDacl(dacl, owner, present != FALSE, folder);
        LocalFree(sd);
    } else {
        // Not allowed to read its security: someone else's, closed to us.
        i.owner = ownerNumber(nullptr);
        i.mode = folder ? 0700 : 0600;
    }
    if (bh.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        i.mode &= ~0222u;
    i.group = 0;
    out = i;
    return true;
}

bool infoOf(const std::string& path, FileInfo& out) {
    const HANDLE h = openToLook(path, true);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = info(h, out);
    CloseHandle(h);
    return ok;
}

bool linkInfoOf(const std::string& path, FileInfo& out) {
    // Only a link itself is opened as one: wine gives a plain file opened so
    // another identity than its other handles have.
    std::wstring w;
    if (!widePath(path, w))
        return false;
    const DWORD a = GetFileAttributesW(w.c_str());
    const bool link = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
    const HANDLE h = openToLook(path, !link);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = info(h, out);
    CloseHandle(h);
    return ok;
}

bool pathNames(const std::string& path, Handle h) {
    const HANDLE there = openToLook(path, true);
    if (there == INVALID_HANDLE_VALUE)
        return false;
    const bool same = sameFileInfo(there, h);
    CloseHandle(there);
    return same;
}

bool remove(const std::string& path) {
    return onPath(path, [](const wchar_t* p) { return DeleteFileW(p); });
}

bool rename(const std::string& from, const std::string& to) {
    std::wstring f, t;
    if (!widePath(from, f) || !widePath(to, t))
        return false;
    // Over an existing file its security stays that file's.
    if (GetFileAttributesW(t.c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (ReplaceFileW(t.c_str(), f.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                         nullptr))
            return true;
        const DWORD err = GetLastError();
        if (err == ERROR_UNABLE_TO_REMOVE_REPLACED || err == ERROR_SHARING_VIOLATION) {
            // The target is held open by a program that shares it with no one.
            setErrnoFromError(ERROR_SHARING_VIOLATION);
            return false;
        }
        // Else (wine's ReplaceFileW among them) a plain rename over it.
    }
    if (MoveFileExW(f.c_str(), t.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    setErrnoFromLastError();
    return false;
}

bool renameIntoFreeName(const std::string& from, const std::string& to) {
    std::wstring f, t;
    if (!widePath(from, f) || !widePath(to, t))
        return false;
    // Without MOVEFILE_REPLACE_EXISTING the system refuses a taken name.
    if (MoveFileExW(f.c_str(), t.c_str(), MOVEFILE_WRITE_THROUGH))
        return true;
    setErrnoFromLastError();
    return false;
}

void flushFolder(const std::string&) {
    // Renames are written through (MOVEFILE_WRITE_THROUGH); a folder has no
    // buffers of its own to flush here.
}

bool makeFolder(const std::string& path) {
    std::wstring w;
    if (!widePath(path, w))
        return false;
    PrivateAttributes sa(true);
    if (CreateDirectoryW(w.c_str(), sa.get()))
        return true;
    if (GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
    setErrnoFromLastError();
    return false;
}

bool makeSharedFolder(const std::string& path) {
    return onPath(path, [](const wchar_t* p) { return CreateDirectoryW(p, nullptr); });
}

bool removeFolder(const std::string& path) {
    return onPath(path, [](const wchar_t* p) { return RemoveDirectoryW(p); });
}

bool writable(const std::string& path) {
    // Whether a file can be made there is what matters: try it.
    std::wstring w;
    if (!widePath(path, w))
        return false;
    const DWORD a = GetFileAttributesW(w.c_str());
    if (a == INVALID_FILE_ATTRIBUTES)
        return false;
    if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
        const HANDLE h = createFile(w, GENERIC_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(h);
        return true;
    }
    std::string probe;
    const Handle h = createTemp(path + "/.zorvedit-probe-", probe);
    if (!isOpen(h))
        return false;
    CloseHandle(h);
    remove(probe);
    return true;
}

bool exists(const std::string& path) {
    std::wstring w;
    return widePath(path, w) && GetFileAttributesW(w.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool listFolder(const std::string& dir, std::vector<std::string>& names) {
    std::wstring w;
    if (!widePath(dir + "/*", w))
        return false;
    WIN32_FIND_DATAW found{};
    const HANDLE f = FindFirstFileW(w.c_str(), &found);
    if (f == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND)
            return true; // an empty folder
        setErrnoFromLastError();
        return false;
    }
    do {
        const std::string name = narrowPath(found.cFileName);
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileW(f, &found));
    FindClose(f);
    return true;
}

std::optional<std::string> realPath(const std::string& path) {
    const HANDLE h = openToLook(path, true);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::wstring buf(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), 0);
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), 0);
    }
    CloseHandle(h);
    if (n == 0 || n >= buf.size()) {
        errno = ENOENT;
        return std::nullopt;
    }
    buf.resize(n);
    std::string s = narrowPath(buf);
    if (s.rfind("\\\\?\\UNC\\", 0) == 0)
        s = "\\\\" + s.substr(8);
    else if (s.rfind("\\\\?\\", 0) == 0)
        s = s.substr(4);
    for (char& c : s)
        if (c == '\\')
            c = '/';
    return s;
}

std::string workingFolder() {
    const DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring buf(n, L'\0');
    const DWORD got = GetCurrentDirectoryW(n, buf.data());
    if (got == 0 || got >= n)
        return {};
    buf.resize(got);
    std::string s = narrowPath(buf);
    for (char& c : s)
        if (c == '\\')
            c = '/';
    return s;
}

Handle createTemp(const std::string& prefix, std::string& path) {
    static std::mt19937_64 rng{std::random_device{}() ^
                               static_cast<std::uint64_t>(GetCurrentProcessId()) << 32 ^
                               static_cast<std::uint64_t>(GetTickCount64())};
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = prefix;
        for (int i = 0; i < 6; ++i)
            path += kChars[rng() % (sizeof kChars - 1)];
        const Handle h = open(path, kReadWrite | kCreate | kExclusive | kNoFollow, 0600);
        if (isOpen(h) || errno != EEXIST)
            return h;
    }
    errno = EEXIST;
    return INVALID_HANDLE_VALUE;
}

bool ownedByMe(const FileInfo& info) {
    return info.owner == myUser();
}

std::uint32_t myUser() {
    return ridOf(mySid().get());
}

std::uint32_t myGroup() {
    return 0;
}

std::string userName(std::uint32_t user) {
    if (user != myUser())
        return {};
    wchar_t name[256];
    DWORD n = 256;
    return GetUserNameW(name, &n) && n > 0 ? narrowPath(std::wstring(name, n - 1)) : std::string();
}

std::string homeFolder() {
    const DWORD n = GetEnvironmentVariableW(L"USERPROFILE", nullptr, 0);
    if (n == 0)
        return {};
    std::wstring buf(n, L'\0');
    const DWORD got = GetEnvironmentVariableW(L"USERPROFILE", buf.data(), n);
    buf.resize(got < n ? got : 0);
    return narrowPath(buf);
}

std::string stateFolder() {
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    if (n == 0)
        return homeFolder() + "/AppData/Local/zorvedit";
    std::wstring buf(n, L'\0');
    const DWORD got = GetEnvironmentVariableW(L"LOCALAPPDATA", buf.data(), n);
    buf.resize(got < n ? got : 0);
    return narrowPath(buf) + "/zorvedit";
}

bool adoptOwner(Handle, const FileInfo&) {
    // An owner cannot be given away here; the replaced file's security is
    // kept by the replace itself.
    return true;
}

bool setGroup(Handle, std::uint32_t) {
    return true;
}

bool setMode(Handle h, unsigned mode) {
    FileInfo st;
    if (!info(h, st))
        return false;
    if ((mode & 077) != 0 || (st.mode & 077) == 0)
        return true; // what the folder gives, or private already
    return setPrivateDacl(h, st.kind == Kind::Folder);
}

unsigned newFileMode() {
    return 0666;
}

// What a refused LockFileEx means to the caller.
static Lock lockRefused(DWORD err) {
    if (err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING)
        return Lock::Busy;
    if (err == ERROR_NOT_SUPPORTED || err == ERROR_INVALID_FUNCTION)
        return Lock::Unsupported;
    setErrnoFromError(err);
    return Lock::Failed;
}

Lock lockRange(Handle h, Offset start, Offset length, bool exclusive) {
    OVERLAPPED o = at(start);
    const auto len = static_cast<std::uint64_t>(length);
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (LockFileEx(h, flags, 0, static_cast<DWORD>(len & 0xffffffffu),
                   static_cast<DWORD>(len >> 32), &o))
        return Lock::Held;
    return lockRefused(GetLastError());
}

void unlockRange(Handle h, Offset start, Offset length) {
    OVERLAPPED o = at(start);
    const auto len = static_cast<std::uint64_t>(length);
    UnlockFileEx(h, 0, static_cast<DWORD>(len & 0xffffffffu), static_cast<DWORD>(len >> 32), &o);
}

Lock lockWriters(Handle h, bool wait) {
    OVERLAPPED o = at(static_cast<Offset>(kWritersByte));
    DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    if (LockFileEx(h, flags, 0, 1, 0, &o))
        return Lock::Held;
    return lockRefused(GetLastError());
}

void unlockWriters(Handle h) {
    OVERLAPPED o = at(static_cast<Offset>(kWritersByte));
    UnlockFileEx(h, 0, 1, 0, &o);
}

LocalTime localNow() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

} // namespace zorv::os
