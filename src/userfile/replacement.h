#pragma once
// Whole-file replacement: a file is, at every moment, either whole old or
// whole new. A locked temp beside the target is written, flushed and renamed
// over it; temps whose writer died are removed by the next replacement.

#include "os/file.h"

#include <string>
#include <string_view>

namespace zorv {

// Replaces dst by a copy of src: temp file in dst's folder, flushed, renamed
// over dst, keeping dst's permissions (those of `modelForNew`, else src's,
// when dst does not exist). Throws IoError; dst is untouched on failure.
// Without `followLink` a link at dst is replaced itself, not the file it
// points to.
void replaceFileAtomically(const std::string& src, const std::string& dst,
                           const os::FileInfo* modelForNew = nullptr, bool followLink = true);
// A copy of src at dst that is a new file whatever lay at dst (never a link
// followed or a planted file adopted), with model's mode (never wider) and
// group. Throws IoError; dst is untouched on failure.
void copyFilePrivately(const std::string& src, const std::string& dst, const os::FileInfo& model);
// The same with the new content given as bytes.
void replaceFileWithBytes(const std::string& dst, std::string_view bytes);

// Temporary files of the replacements above are named kTempPrefix + the
// target's name + a random tail, and locked while written. Removes those
// beside `dst` whose lock can be taken (their writer died), nothing else.
inline constexpr const char* kTempPrefix = ".zorvedit-tmp-";
void removeStaleTemps(const std::string& dst);

// One such replacement written piece by piece: a locked temp beside the
// target (a link's target), with the target's permissions; commit() renames
// it over the target, and a replacement never committed leaves nothing.
class ReplacementFile {
  public:
    // `model`: the permissions for a target that does not exist yet (or is
    // no plain file). Without `adoptTarget` the name is never followed, and
    // the new file takes model's mode and group (takeModeAndGroup), or 0600
    // without a model. Without `followLink` a link at dst is not followed
    // either, but a plain file there still gives its owner and mode.
    explicit ReplacementFile(const std::string& dst, const os::FileInfo* model = nullptr,
                             bool adoptTarget = true, bool followLink = true);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    os::Handle fd() const { return fd_; }
    const std::string& tempPath() const { return temp_; }
    void append(std::string_view bytes); // throws IoError, the temp then gone
    void commit();                       // throws IoError, the temp then gone
    // The same, handing over the file, still open and locked, to the caller.
    // OnlyIntoAFreeName fails (IoError) when anything lies at the name.
    enum class Commit { Replacing, OnlyIntoAFreeName };
    os::Handle commitKeepingLock(Commit how = Commit::Replacing);

  private:
    void discard() noexcept;
    std::string dst_;
    std::string temp_;
    os::Handle fd_ = os::noHandle();
    long long written_ = 0;
};

// Test seam: when set, called with the temp file's path after it is flushed and
// just before the rename (a test can crash the process there).
using ReplaceHook = void (*)(const std::string& tempPath);
void setReplaceHookForTesting(ReplaceHook hook);
// Test seam: called with a new temp file's path once it is created and locked,
// before its name is checked against the open file.
void setTempHookForTesting(ReplaceHook hook);

} // namespace zorv
