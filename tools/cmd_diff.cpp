// zorvtool diff OLD NEW [--json]: what changed between two user files, user by
// user (matched by number), field by field, and in the bytes no field shows.

#include "command.h"
#include "recordfields.h"
#include "showrecord.h"

#include "os/file.h"
#include "userfile/blockreader.h"
#include "userfile/codepage.h"
#include "userfile/errors.h"
#include "userfile/fd.h"
#include "userfile/fields.h"
#include "userfile/recordio.h"

#include <array>
#include <cstring>
#include <ostream>

namespace zorvtool {
namespace {

using namespace zorv;

// Output leaves in pieces of about this size.
constexpr std::size_t kChunk = 1 << 16;
constexpr char kHex[] = "0123456789abcdef";

// The bits of each byte that a field of fixed place shows; texts are not in
// it, as their NUL decides how much of the array they show.
std::array<std::uint8_t, kRecordSize> fixedShownBits() {
    std::array<std::uint8_t, kRecordSize> bits{};
    for (const UserField& f : userFields())
        if (f.kind != FieldKind::Text)
            for (std::size_t i = f.offset; i < f.offset + f.width; ++i)
                bits[i] |= f.mask;
    return bits;
}

// The bits of each byte that no field shows in either record: the reserved
// ranges, unused bits of the security word and the option set, and the bytes
// after a text's NUL in both.
std::array<std::uint8_t, kRecordSize> unshownBits(const Record& a, const Record& b) {
    static const auto fixed = fixedShownBits();
    std::array<std::uint8_t, kRecordSize> bits;
    for (std::size_t i = 0; i < kRecordSize; ++i)
        bits[i] = static_cast<std::uint8_t>(~fixed[i]);
    for (const UserField& f : userFields()) {
        if (f.kind != FieldKind::Text)
            continue;
        const std::size_t shown =
            std::max(rawText(a, *f.text).size(), rawText(b, *f.text).size()) + 1;
        for (std::size_t i = 0; i < std::min(shown, f.width); ++i)
            bits[f.offset + i] = 0;
    }
    return bits;
}

// Runs of bytes [begin, end) whose unshown bits differ.
template <class Fn> void forEachUnshownRun(const Record& a, const Record& b, Fn&& fn) {
    const auto bits = unshownBits(a, b);
    for (std::size_t i = 0; i < kRecordSize;) {
        if (((a[i] ^ b[i]) & bits[i]) == 0) {
            ++i;
            continue;
        }
        std::size_t end = i + 1;
        while (end < kRecordSize && ((a[end] ^ b[end]) & bits[end]) != 0)
            ++end;
        fn(i, end);
        i = end;
    }
}

void appendHex(std::string& out, const Record& r, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
        out += kHex[r[i] >> 4];
        out += kHex[r[i] & 0xF];
    }
}

// A value for a terminal: control characters (a caller may put ESC in a name)
// as \xNN, a backslash doubled.
std::string visible(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const bool c1 = c == 0xC2 && i + 1 < utf8.size() &&
                        static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(utf8[i + 1]) <= 0x9F;
        if (c < 0x20 || c == 0x7F || c1) {
            const auto code = c1 ? static_cast<unsigned char>(utf8[++i]) : c;
            out += "\\x";
            out += kHex[code >> 4];
            out += kHex[code & 0xF];
        } else {
            if (c == '\\')
                out += '\\';
            out += utf8[i];
        }
    }
    return out;
}

void appendNumber(std::string& out, long long n) {
    out += std::to_string(n);
}

struct DiffArgs {
    std::string oldFile, newFile;
    bool json = false;
};

void declareDiff(CommandLine& line, DiffArgs& a) {
    line.word("OLD", a.oldFile);
    line.word("NEW", a.newFile);
    line.flag("--json",
              "one JSON object a line: {\"user\": N, \"diff\": \"changed\", \"fields\": {KEY: "
              "[OLD, NEW]}, \"bytes\": [{\"at\": OFFSET, \"old\": HEX, \"new\": HEX}]} with "
              "show --json's keys and values, {\"user\": N, \"diff\": \"added\" or "
              "\"removed\", \"record\": {...}}, {\"file\": \"OLD\" or \"NEW\", "
              "\"bytesAfterLastRecord\": N}",
              a.json);
}

// One of the two files, open for this run: its size asked once.
struct Side {
    const std::string& path;
    Fd fd;
    long long size = 0;
    explicit Side(const std::string& p) : path(p), fd(openRegularFile(p)) {
        os::FileInfo st;
        if (!os::info(fd.get(), st))
            throw ioErrorFromErrno(errno);
        size = static_cast<long long>(st.size);
    }
};

class Report {
  public:
    Report(std::ostream& out, bool json) : out_(out), json_(json) {}

    void partialRecord(const char* which, const Side& side) {
        const long long rest = side.size % static_cast<long long>(kRecordSize);
        if (rest == 0)
            return;
        if (json_) {
            buf_ += "{\"file\": \"";
            buf_ += which;
            buf_ += "\", \"bytesAfterLastRecord\": ";
            appendNumber(buf_, rest);
            buf_ += "}\n";
        } else {
            buf_ += which;
            buf_ += " (" + visible(side.path) + "): its size " + std::to_string(side.size) +
                    " is no multiple of 273; the " + std::to_string(rest) +
                    " bytes after its last whole record are not compared\n";
        }
    }

    void changed(int user, const Record& a, const Record& b) {
        ++changed_;
        if (json_)
            changedJson(user, a, b);
        else
            changedText(user, a, b);
        flushSometimes();
    }

    void onlyIn(int user, const Record& r, bool added) {
        ++(added ? added_ : removed_);
        const char* what = added ? "added" : "removed";
        if (json_) {
            buf_ += "{\"user\": ";
            appendNumber(buf_, user);
            buf_ += ", \"diff\": \"";
            buf_ += what;
            buf_ += "\", \"record\": ";
            values_.read(r);
            appendJsonObject(buf_, values_);
            buf_.back() = '}'; // the object's line end becomes ours
            buf_ += '\n';
        } else {
            buf_ += "user " + std::to_string(user) + ' ' + what + ": " +
                    visible(cp865ToUtf8(rawText(r, kName))) + '\n';
        }
        flushSometimes();
    }

    // Returns 0 when nothing differed, 1 otherwise.
    int finish() {
        if (!json_ && changed_ + added_ + removed_ > 0)
            buf_ += "users: " + std::to_string(changed_) + " changed, " + std::to_string(added_) +
                    " added, " + std::to_string(removed_) + " removed\n";
        flush();
        return changed_ + added_ + removed_ > 0 ? 1 : 0;
    }

    bool failed() const { return !out_; }
    // What was found before a failure, without the count.
    void abandon() { flush(); }

  private:
    void changedText(int user, const Record& a, const Record& b) {
        buf_ += "user " + std::to_string(user) + " changed\n";
        for (const UserField& f : userFields())
            if (fieldDiffers(a, b, f))
                appendShowLine(buf_, "  " + showLabel(f),
                               showValue(a, f) + " -> " + showValue(b, f));
        forEachUnshownRun(a, b, [&](std::size_t begin, std::size_t end) {
            std::string label = "  bytes " + std::to_string(begin);
            if (end - begin > 1)
                label += "-" + std::to_string(end - 1);
            std::string values;
            appendHex(values, a, begin, end);
            values += " -> ";
            appendHex(values, b, begin, end);
            appendShowLine(buf_, label, values + " (no field shows them)");
        });
    }

    void changedJson(int user, const Record& a, const Record& b) {
        values_.read(a);
        other_.read(b);
        const auto& keys = exportFields();
        buf_ += "{\"user\": ";
        appendNumber(buf_, user);
        buf_ += ", \"diff\": \"changed\", \"fields\": {";
        bool first = true;
        const auto value = [&](const RecordValues& v, std::size_t i) {
            if (keys[i].text)
                appendJsonString(buf_, v[i]);
            else
                buf_ += v[i];
        };
        for (std::size_t i = 0; i < kRecordFieldCount; ++i) {
            if (values_[i] == other_[i])
                continue;
            buf_ += first ? "\"" : ", \"";
            first = false;
            buf_ += keys[i].key;
            buf_ += "\": [";
            value(values_, i);
            buf_ += ", ";
            value(other_, i);
            buf_ += ']';
        }
        buf_ += "}, \"bytes\": [";
        first = true;
        forEachUnshownRun(a, b, [&](std::size_t begin, std::size_t end) {
            buf_ += first ? "{\"at\": " : ", {\"at\": ";
            first = false;
            appendNumber(buf_, static_cast<long long>(begin));
            buf_ += ", \"old\": \"";
            appendHex(buf_, a, begin, end);
            buf_ += "\", \"new\": \"";
            appendHex(buf_, b, begin, end);
            buf_ += "\"}";
        });
        buf_ += "]}\n";
    }

    void flushSometimes() {
        if (buf_.size() >= kChunk)
            flush();
    }
    void flush() {
        if (out_)
            out_.write(buf_.data(), static_cast<std::streamsize>(buf_.size()));
        buf_.clear();
    }

    std::ostream& out_;
    bool json_;
    std::string buf_;
    RecordValues values_, other_;
    long long changed_ = 0, added_ = 0, removed_ = 0;
};

int runDiff(const DiffArgs& a, std::ostream& out, std::ostream& err) {
    Report report(out, a.json);
    const std::string* failing = &a.oldFile;
    try {
        const Side before(a.oldFile);
        failing = &a.newFile;
        const Side after(a.newFile);
        report.partialRecord("OLD", before);
        report.partialRecord("NEW", after);
        BlockReader oldUsers(before.fd.get()), newUsers(after.fd.get());
        for (;;) {
            failing = &a.oldFile;
            const Record* o = oldUsers.next();
            failing = &a.newFile;
            const Record* n = newUsers.next();
            if (!o && !n)
                break;
            if (o && n) {
                if (std::memcmp(o->data(), n->data(), kRecordSize) != 0)
                    report.changed(oldUsers.index(), *o, *n);
            } else {
                report.onlyIn(o ? oldUsers.index() : newUsers.index(), o ? *o : *n, n != nullptr);
            }
            if (report.failed())
                return 2; // the dispatcher reports the output's failure
        }
    } catch (const IoError& e) {
        report.abandon();
        err << "zorvtool diff: " << *failing << ": " << e.what() << '\n';
        return 2;
    }
    return report.finish();
}

const Register reg{command<DiffArgs>(
    "diff",
    "what changed from OLD to NEW, user by user (by number), field by field; exit 1: they "
    "differ",
    declareDiff, runDiff)};

} // namespace
} // namespace zorvtool
