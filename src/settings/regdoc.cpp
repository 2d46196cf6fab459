#include "settings/regdoc.h"

#include "userfile/codepage.h"

#include <cstdio>

namespace zorv::regdoc {

namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr char kHexUpper[] = "0123456789ABCDEF";

int lineOf(std::string_view text, std::size_t offset) {
    int line = 1;
    for (std::size_t k = 0; k < offset && k < text.size(); ++k)
        if (text[k] == '\n')
            ++line;
    return line;
}

bool decodeFile(std::string_view bytes, Document& doc, std::string& text, ParseError& err) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        doc.encoding = Encoding::Utf16Le;
        if (bytes.size() % 2 != 0) {
            err = {1, "the file is not valid UTF-16 (odd length)"};
            return false;
        }
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            char32_t u = static_cast<unsigned char>(bytes[i]) |
                         (static_cast<unsigned char>(bytes[i + 1]) << 8);
            if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
                const char32_t lo = static_cast<unsigned char>(bytes[i + 2]) |
                                    (static_cast<unsigned char>(bytes[i + 3]) << 8);
                if (lo >= 0xDC00 && lo <= 0xDFFF) {
                    u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                    i += 2;
                }
            }
            if (u >= 0xD800 && u <= 0xDFFF) {
                err = {lineOf(text, text.size()), "the file is not valid UTF-16"};
                return false;
            }
            appendUtf8(text, u);
        }
        return true;
    }
    std::string_view body = bytes;
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        doc.encoding = Encoding::Utf8Bom;
        body.remove_prefix(3);
    } else {
        doc.encoding = Encoding::Utf8;
    }
    for (std::size_t i = 0; i < body.size();) {
        const std::size_t at = i;
        if (decodeUtf8(body, i) < 0) {
            err = {lineOf(body, at), "the file is not valid UTF-8"};
            return false;
        }
    }
    text.assign(body);
    return true;
}

std::string encodeFile(const Document& doc, const std::string& text) {
    switch (doc.encoding) {
    case Encoding::Utf8:
        return text;
    case Encoding::Utf8Bom:
        return "\xEF\xBB\xBF" + text;
    case Encoding::Utf16Le:
        break;
    }
    std::string out = "\xFF\xFE";
    auto unit = [&out](char32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    for (std::size_t i = 0; i < text.size();) {
        const long cp = decodeUtf8(text, i);
        if (cp < 0) { // cannot happen: the text was validated or built here
            unit(0xFFFD);
        } else if (cp >= 0x10000) {
            unit(0xD800 + ((cp - 0x10000) >> 10));
            unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            unit(static_cast<char32_t>(cp));
        }
    }
    return out;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

bool equalsAsciiNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// A quoted text starting at s[i] == '"'; leaves i after the closing quote.
bool parseQuoted(std::string_view s, std::size_t& i, std::string& out, std::string& err) {
    ++i;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') {
            ++i;
            return true;
        }
        if (c == '\\' && i + 1 < s.size()) {
            const char n = s[i + 1];
            if (n == '\\' || n == '"') {
                out += n;
                i += 2;
                continue;
            }
            if (n == 'x' && i + 3 < s.size() && hexDigit(s[i + 2]) >= 0 &&
                hexDigit(s[i + 3]) >= 0) {
                out += static_cast<char>(hexDigit(s[i + 2]) * 16 + hexDigit(s[i + 3]));
                i += 4;
                continue;
            }
            out += '\\';
            ++i;
            continue;
        }
        const long cp = decodeUtf8(s, i);
        const int b = cp < 0 ? -1 : unicodeToByte(static_cast<char32_t>(cp));
        out += b < 0 ? '?' : static_cast<char>(b);
    }
    err = "a quoted text is not closed";
    return false;
}

bool parseHexList(std::string_view s, std::string& out, std::string& err) {
    s = trim(s);
    if (s.empty())
        return true;
    while (true) {
        const std::size_t comma = s.find(',');
        const std::string_view tok = trim(s.substr(0, comma));
        if (tok.empty() || tok.size() > 2 || hexDigit(tok[0]) < 0 ||
            (tok.size() == 2 && hexDigit(tok[1]) < 0)) {
            err = "a byte of a hex value is not two hex digits";
            return false;
        }
        int v = hexDigit(tok[0]);
        if (tok.size() == 2)
            v = v * 16 + hexDigit(tok[1]);
        out += static_cast<char>(v);
        if (comma == std::string_view::npos)
            return true;
        s.remove_prefix(comma + 1);
    }
}

bool isTextType(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// Text types hold UTF-16LE in the file and single bytes inside the program.
std::string textFromUtf16(std::string_view bytes) {
    std::string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char32_t u =
            static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (u >= 0xD800 && u <= 0xDFFF) {
            if (u < 0xDC00 && i + 3 < bytes.size()) {
                const char32_t lo = static_cast<unsigned char>(bytes[i + 2]) |
                                    (static_cast<unsigned char>(bytes[i + 3]) << 8);
                if (lo >= 0xDC00 && lo <= 0xDFFF)
                    i += 2;
            }
            out += '?';
            continue;
        }
        const int b = unicodeToByte(u);
        out += b < 0 ? '?' : static_cast<char>(b);
    }
    return out;
}

std::string textToUtf16(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const char32_t u = byteToUnicode(static_cast<unsigned char>(c));
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

bool parseValue(std::string_view v, Entry& e, std::string& err) {
    v = trim(v);
    if (v == "-") {
        e.deleted = true;
        return true;
    }
    if (!v.empty() && v[0] == '"') {
        std::size_t i = 0;
        std::string text;
        if (!parseQuoted(v, i, text, err))
            return false;
        if (!trim(v.substr(i)).empty()) {
            err = "unexpected text after a quoted value";
            return false;
        }
        e.value = {kRegSz, std::move(text)};
        return true;
    }
    if (startsWithNoCase(v, "dword:")) {
        const std::string_view digits = v.substr(6);
        std::uint32_t u = 0;
        if (digits.empty() || digits.size() > 8) {
            err = "a dword value needs one to eight hex digits";
            return false;
        }
        for (const char c : digits) {
            if (hexDigit(c) < 0) {
                err = "a dword value needs one to eight hex digits";
                return false;
            }
            u = u * 16 + static_cast<std::uint32_t>(hexDigit(c));
        }
        std::string data;
        for (int k = 0; k < 4; ++k)
            data += static_cast<char>((u >> (8 * k)) & 0xFF);
        e.value = {kRegDword, std::move(data)};
        return true;
    }
    std::uint32_t type = kRegBinary;
    std::string_view list;
    if (startsWithNoCase(v, "hex:")) {
        list = v.substr(4);
    } else if (startsWithNoCase(v, "hex(")) {
        const std::size_t close = v.find(')');
        const std::string_view digits =
            close == std::string_view::npos ? std::string_view() : v.substr(4, close - 4);
        if (digits.empty() || digits.size() > 8 || close + 1 >= v.size() || v[close + 1] != ':') {
            err = "a hex(type) value is malformed";
            return false;
        }
        type = 0;
        for (const char c : digits) {
            if (hexDigit(c) < 0) {
                err = "a hex(type) value is malformed";
                return false;
            }
            type = type * 16 + static_cast<std::uint32_t>(hexDigit(c));
        }
        list = v.substr(close + 2);
    } else {
        err = "unknown kind of value";
        return false;
    }
    std::string bytes;
    if (!parseHexList(list, bytes, err))
        return false;
    e.value = {type, isTextType(type) ? textFromUtf16(bytes) : std::move(bytes)};
    return true;
}

void appendName(std::string& out, std::string_view text, bool hexEscapes) {
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (hexEscapes &&
                   (b < 0x20 || b == 0x7F || (b >= 0x80 && byteToUnicode(b) < 0xA0))) {
            out += "\\x";
            out += kHexUpper[b >> 4];
            out += kHexUpper[b & 15];
        } else if (b >= 0x80) {
            appendUtf8(out, byteToUnicode(b));
        } else {
            out += c;
        }
    }
}

bool quotable(std::string_view text) {
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || (b >= 0x80 && byteToUnicode(b) < 0xA0))
            return false;
    }
    return true;
}

void appendHexList(std::string& out, std::string_view bytes, std::string_view eol) {
    // Wrapped as the registry editor does, so that lines stay near 80 columns.
    std::size_t col = out.size();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            if (col + 3 > 77) {
                out += ",\\";
                out += eol;
                out += "  ";
                col = 2;
            } else {
                out += ',';
                ++col;
            }
        }
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += kHex[b >> 4];
        out += kHex[b & 15];
        col += 2;
    }
}

std::string lineEnd(std::string_view raw) {
    if (raw.size() >= 2 && raw.substr(raw.size() - 2) == "\r\n")
        return "\r\n";
    if (!raw.empty() && raw.back() == '\n')
        return "\n";
    return {};
}

std::string_view withoutLineEnd(std::string_view raw) {
    raw.remove_suffix(lineEnd(raw).size());
    return raw;
}

} // namespace

char32_t byteToUnicode(unsigned char b) {
    const char32_t u = cp1252ToUnicode(b);
    if (unicodeToCp1252(u) == b)
        return u;
    return b;
}

int unicodeToByte(char32_t cp) {
    const int r = unicodeToCp1252(cp);
    if (r >= 0 && byteToUnicode(static_cast<unsigned char>(r)) == cp)
        return r;
    if (cp < 0x100 && byteToUnicode(static_cast<unsigned char>(cp)) == cp)
        return static_cast<int>(cp);
    return -1;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    // Case folding of the letters code page 1252 has.
    auto fold = [](unsigned char c) -> unsigned char {
        if (c >= 'A' && c <= 'Z')
            return static_cast<unsigned char>(c + 0x20);
        if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
            return static_cast<unsigned char>(c + 0x20);
        switch (c) {
        case 0x8A:
            return 0x9A;
        case 0x8C:
            return 0x9C;
        case 0x8E:
            return 0x9E;
        case 0x9F:
            return 0xFF;
        default:
            return c;
        }
    };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool parse(std::string_view bytes, Document& doc, ParseError& err) {
    doc = Document{};
    std::string text;
    if (!decodeFile(bytes, doc, text, err))
        return false;

    // Physical lines with their line ends.
    std::vector<std::string_view> lines;
    {
        std::string_view rest = text;
        while (!rest.empty()) {
            const std::size_t nl = rest.find('\n');
            const std::size_t len = nl == std::string_view::npos ? rest.size() : nl + 1;
            lines.push_back(rest.substr(0, len));
            rest.remove_prefix(len);
        }
    }
    for (const std::string_view l : lines) {
        if (const std::string e = lineEnd(l); !e.empty()) {
            doc.eol = e;
            break;
        }
    }

    enum class Where { Preamble, Other, Ours, After } where = Where::Preamble;
    auto place = [&](std::string_view raw) {
        if (where == Where::Ours)
            doc.body.push_back(Item{std::string(raw), std::nullopt});
        else if (where == Where::After)
            doc.tail += raw;
        else
            doc.head += raw;
    };
    auto fail = [&](std::size_t index, std::string what) {
        err = {static_cast<int>(index + 1), std::move(what)};
        return false;
    };

    for (std::size_t li = 0; li < lines.size(); ++li) {
        const std::string_view raw = lines[li];
        const std::string_view t = trim(raw.substr(0, raw.size() - lineEnd(raw).size()));
        if (!doc.hasHeader) {
            if (t.empty()) {
                place(raw);
                continue;
            }
            if (t != kHeader)
                return fail(li, "the first line is not \"" + std::string(kHeader) + "\"");
            doc.hasHeader = true;
            place(raw);
            continue;
        }
        if (t.empty() || t[0] == ';') {
            place(raw);
            continue;
        }
        if (t[0] == '[') {
            if (t.back() != ']')
                return fail(li, "a section name is not closed by ']'");
            const std::string_view name = t.substr(1, t.size() - 2);
            if (equalsAsciiNoCase(name, kSection)) {
                if (doc.hasSection)
                    return fail(li, "the section [" + std::string(kSection) + "] appears twice");
                doc.hasSection = true;
                doc.head += raw;
                where = Where::Ours;
            } else {
                where =
                    (where == Where::Ours || where == Where::After) ? Where::After : Where::Other;
                place(raw);
            }
            continue;
        }
        if (t[0] != '"' && t[0] != '@')
            return fail(li, "a line is neither a section, a value nor a comment");
        if (where == Where::Preamble)
            return fail(li, "a value stands outside any section");

        const std::size_t first = li;
        std::string entryRaw(raw);
        std::string logical(t);
        Entry e;
        std::string why;
        std::size_t i = 0;
        if (logical[0] == '@') {
            i = 1;
        } else if (!parseQuoted(logical, i, e.name, why)) {
            return fail(first, why);
        }
        while (i < logical.size() && isBlank(logical[i]))
            ++i;
        if (i >= logical.size() || logical[i] != '=')
            return fail(first, "a value name is not followed by '='");
        ++i;
        while (i < logical.size() && isBlank(logical[i]))
            ++i;
        if (startsWithNoCase(std::string_view(logical).substr(i), "hex")) {
            // Long hex values go on over lines that end with a backslash.
            while (!logical.empty() && logical.back() == '\\') {
                logical.pop_back();
                if (++li >= lines.size())
                    return fail(first, "the file ends inside a value");
                const std::string_view next = lines[li];
                entryRaw += next;
                logical += trim(next.substr(0, next.size() - lineEnd(next).size()));
            }
        }
        if (!parseValue(std::string_view(logical).substr(i), e, why))
            return fail(first, why);
        if (where == Where::Ours)
            doc.body.push_back(Item{std::move(entryRaw), std::move(e)});
        else
            place(entryRaw);
    }
    return true;
}

std::string formatEntry(const Entry& e, std::string_view eol) {
    std::string out;
    if (e.name.empty()) {
        out = "@";
    } else {
        out = "\"";
        appendName(out, e.name, true);
        out += '"';
    }
    out += '=';
    if (e.deleted)
        return out + "-";
    const RegValue& v = e.value;
    if (v.type == kRegSz && quotable(v.data)) {
        out += '"';
        appendName(out, v.data, false);
        out += '"';
        return out;
    }
    if (v.type == kRegDword && v.data.size() == 4) {
        std::uint32_t u = 0;
        for (int k = 0; k < 4; ++k)
            u |= static_cast<std::uint32_t>(static_cast<unsigned char>(v.data[k])) << (8 * k);
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", u);
        return out + buf;
    }
    if (v.type == kRegBinary) {
        out += "hex:";
    } else {
        char buf[24];
        std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
        out += buf;
    }
    appendHexList(out, isTextType(v.type) ? textToUtf16(v.data) : v.data, eol);
    return out;
}

std::string serialize(const Document& doc) {
    std::string out = doc.head;
    for (const Item& item : doc.body) {
        if (!item.raw.empty()) {
            out += item.raw;
            continue;
        }
        if (!out.empty() && out.back() != '\n')
            out += doc.eol;
        if (item.entry)
            out += formatEntry(*item.entry, doc.eol);
        out += doc.eol;
    }
    if (!doc.tail.empty() && !out.empty() && out.back() != '\n')
        out += doc.eol;
    out += doc.tail;
    return encodeFile(doc, out);
}

const Entry* find(const Document& doc, std::string_view name) {
    for (auto it = doc.body.rbegin(); it != doc.body.rend(); ++it) {
        if (it->entry && sameName(it->entry->name, name))
            return it->entry->deleted ? nullptr : &*it->entry;
    }
    return nullptr;
}

bool set(Document& doc, std::string_view name, std::uint32_t type, std::string_view data) {
    for (auto it = doc.body.rbegin(); it != doc.body.rend(); ++it) {
        if (!it->entry || !sameName(it->entry->name, name))
            continue;
        Entry& e = *it->entry;
        if (!e.deleted && e.value.type == type && e.value.data == data)
            return false;
        e.deleted = false;
        e.value = {type, std::string(data)};
        // Keep the line end the line had; a last line without one is written anew,
        // with the file's line end, so that a value added after it starts a line.
        const std::string end = lineEnd(it->raw);
        it->raw = end.empty() ? std::string() : formatEntry(e, doc.eol) + end;
        return true;
    }
    // New values go after the last value or comment, before the blank line that
    // usually separates the section from the next one.
    std::size_t pos = 0;
    for (std::size_t k = 0; k < doc.body.size(); ++k) {
        const Item& item = doc.body[k];
        if (item.entry || !trim(withoutLineEnd(item.raw)).empty())
            pos = k + 1;
    }
    doc.body.insert(
        doc.body.begin() + static_cast<std::ptrdiff_t>(pos),
        Item{std::string(), Entry{std::string(name), false, {type, std::string(data)}}});
    return true;
}

void addSection(Document& doc) {
    const std::string section = "[" + std::string(kSection) + "]";
    if (!doc.hasHeader) {
        doc.head = std::string(kHeader) + doc.eol + doc.eol + section + doc.eol;
        doc.hasHeader = true;
    } else {
        if (!doc.head.empty() && doc.head.back() != '\n')
            doc.head += doc.eol;
        // A blank line before the section, as the registry editor writes it.
        std::string_view h = doc.head;
        h.remove_suffix(lineEnd(h).size());
        const std::size_t lastNl = h.rfind('\n');
        const std::string_view lastLine =
            lastNl == std::string_view::npos ? h : h.substr(lastNl + 1);
        if (!trim(lastLine).empty())
            doc.head += doc.eol;
        doc.head += section + doc.eol;
    }
    doc.hasSection = true;
    doc.body.clear();
    doc.tail.clear();
}

} // namespace zorv::regdoc
