// zorvtool export FILE [--format jsonl|csv] [--encoding utf-8|cp1252] [--for-spreadsheet]
// Every field of every user, named and valued as `show --json` does, with the
// user's number first and the derived fields last, streamed: one block of
// records in memory at a time.

#include "command.h"
#include "recordfields.h"

#include "components/gridexport.h"
#include "userfile/blockreader.h"
#include "userfile/codepage.h"
#include "userfile/errors.h"

#include <charconv>
#include <cstdio>
#include <ostream>

namespace zorvtool {
namespace {

// The key of the user's number; no record field bears it.
constexpr const char* kUserKey = "user";

// Output leaves in pieces of about this size.
constexpr std::size_t kChunk = 1 << 16;

std::string lower(std::string s) {
    for (char& ch : s)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return s;
}

// What a spreadsheet program takes a cell beginning with for a formula.
bool formulaLead(std::string_view cell) {
    if (cell.empty())
        return false;
    const char c = cell.front();
    return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

// The byte-order mark by which spreadsheet programs know UTF-8.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// UTF-8 to cp1252 for the CSV. A character cp1252 has no byte for becomes
// "?", as the Windows conversion does; the first one is remembered so that
// the run can say where it was.
class Cp1252Writer {
  public:
    void append(std::string& out, std::string_view utf8, int user, const char* key) {
        for (std::size_t i = 0; i < utf8.size();) {
            const auto byte = static_cast<unsigned char>(utf8[i]);
            if (byte < 0x80) {
                out += utf8[i++];
                continue;
            }
            const long cp = zorv::decodeUtf8(utf8, i);
            const int b = cp < 0 ? -1 : zorv::unicodeToCp1252(static_cast<char32_t>(cp));
            if (b >= 0) {
                out += static_cast<char>(b);
                continue;
            }
            out += '?';
            if (missing_++ == 0) {
                firstUser_ = user;
                firstKey_ = key;
                firstCp_ = cp;
            }
        }
    }
    long missing() const { return missing_; }
    std::string firstMissing() const {
        char cp[16];
        std::snprintf(cp, sizeof cp, "U+%04lX", firstCp_);
        return "user " + std::to_string(firstUser_) + ", " + firstKey_ + ", " + cp;
    }

  private:
    long missing_ = 0;
    int firstUser_ = 0;
    std::string firstKey_;
    long firstCp_ = 0;
};

struct ExportArgs {
    std::string file;
    std::string format = "jsonl";
    std::string encoding = "utf-8";
    bool spreadsheet = false;
};

void declareExport(CommandLine& line, ExportArgs& a) {
    line.word("FILE", a.file);
    line.option("--format", "jsonl|csv",
                "jsonl (default): one JSON object a line, always UTF-8; csv: a header row of "
                "the keys, then one row a user, lines ending in CR LF",
                a.format);
    line.option("--encoding", "utf-8|cp1252",
                "the CSV's characters (any case): utf-8 (default), or cp1252 for programs that "
                "read Windows-1252 alone, a character it lacks written as ?",
                a.encoding);
    line.flag("--for-spreadsheet",
              "CSV for a spreadsheet program: a UTF-8 byte-order mark first (none in cp1252), "
              "and a ' before every text beginning with = + - @ TAB or CR, so that no text is "
              "run as a formula",
              a.spreadsheet);
}

int runExport(const ExportArgs& a, std::ostream& out, std::ostream& err) {
    const std::string& file = a.file;
    const std::string& format = a.format;
    // Encoding names are case-blind by custom (UTF-8, CP1252).
    std::string encoding = lower(a.encoding);
    const bool spreadsheet = a.spreadsheet;
    if (format != "jsonl" && format != "csv")
        throw UsageError("unknown format '" + format + "'");
    if (encoding == "utf8")
        encoding = "utf-8";
    if (encoding != "utf-8" && encoding != "cp1252")
        throw UsageError("unknown encoding '" + encoding + "'");
    if (format == "jsonl" && encoding != "utf-8")
        throw UsageError("JSON lines are always UTF-8");
    if (format == "jsonl" && spreadsheet)
        throw UsageError("--for-spreadsheet is a form of --format csv");
    const bool csv = format == "csv";
    const bool cp1252 = encoding == "cp1252";

    const auto& fields = exportFields();
    std::string buf;
    buf.reserve(kChunk + 4096);
    bool outputFailed = false;
    const auto flush = [&] {
        if (!buf.empty() && out)
            out.write(buf.data(), static_cast<std::streamsize>(buf.size()));
        buf.clear();
        if (!out)
            outputFailed = true;
    };

    RecordValues values;
    Cp1252Writer narrow;
    std::string cell;
    try {
        zorv::BlockReader reader(file);
        if (csv) {
            if (spreadsheet && !cp1252)
                buf += kUtf8Bom;
            buf += kUserKey;
            for (const auto& f : fields) {
                buf += ',';
                buf += f.key;
            }
            buf += "\r\n";
        }
        while (const zorv::Record* r = reader.next()) {
            const int user = reader.index();
            values.read(*r);
            if (!csv) {
                appendJsonObject(buf, values, kUserKey, user, kExportFieldCount);
            } else {
                char number[16];
                buf.append(number, std::to_chars(number, number + sizeof number, user).ptr);
                for (std::size_t i = 0; i < fields.size(); ++i) {
                    buf += ',';
                    if (!fields[i].text) { // digits and a sign: never quoted
                        buf += values[i];
                        continue;
                    }
                    if (!cp1252 && !spreadsheet) {
                        zorv::appendCsvCell(buf, values[i]);
                        continue;
                    }
                    cell.clear();
                    if (spreadsheet && formulaLead(values[i]))
                        cell += '\'';
                    if (cp1252)
                        narrow.append(cell, values[i], user, fields[i].key);
                    else
                        cell += values[i];
                    zorv::appendCsvCell(buf, cell);
                }
                buf += "\r\n";
            }
            if (buf.size() >= kChunk) {
                flush();
                if (outputFailed)
                    break;
            }
        }
    } catch (const zorv::IoError& e) {
        flush();
        err << "zorvtool export: " << file << ": " << e.what() << '\n';
        return 2;
    }
    flush();
    if (outputFailed)
        return 0; // a failed stream is the dispatcher's to report, with its reason
    if (narrow.missing() > 0)
        err << "zorvtool export: " << narrow.missing()
            << " characters that cp1252 lacks were written as '?' (the first: "
            << narrow.firstMissing() << "); --encoding utf-8 keeps them\n";
    return 0;
}

const Register reg{command<ExportArgs>(
    "export",
    "every field of every user, as show --json names them, with \"user\" (the number) first "
    "and ISO dates and status names last",
    declareExport, runExport)};

} // namespace
} // namespace zorvtool
