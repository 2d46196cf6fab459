#pragma once
// One fuzz input for the settings file's parser: the bytes are the file. A file
// that parses must be written back so that it parses again to the same values,
// and a value set in it must read back. Shared by the libFuzzer target and the
// smoke test.

#include "settings/regdoc.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace zorvfuzz {

inline void runSettingsInput(const std::uint8_t* data, std::size_t size) {
    using namespace zorv;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    regdoc::Document doc;
    regdoc::ParseError err;
    if (!regdoc::parse(bytes, doc, err)) {
        if (err.line < 0 || err.what.empty())
            std::abort(); // a refusal must say where and why
        return;
    }
    auto sameValues = [](const regdoc::Document& a, const regdoc::Document& b) {
        for (const regdoc::Item& item : a.body) {
            if (!item.entry)
                continue;
            const regdoc::Entry* x = regdoc::find(a, item.entry->name);
            const regdoc::Entry* y = regdoc::find(b, item.entry->name);
            if (!x != !y)
                return false;
            if (!x)
                continue; // a deleted value reads as missing on both sides
            if (x->deleted != y->deleted ||
                (!x->deleted && (x->value.type != y->value.type || x->value.data != y->value.data)))
                return false;
        }
        return true;
    };
    regdoc::Document again;
    if (!regdoc::parse(regdoc::serialize(doc), again, err) || !sameValues(doc, again))
        std::abort();
    if (!doc.hasSection)
        regdoc::addSection(doc);
    const std::string text = "C:\\BBS\\\"user\"\n\xE6\xF8\xE5";
    regdoc::set(doc, "Filename", kRegSz, text);
    regdoc::Document written;
    if (!regdoc::parse(regdoc::serialize(doc), written, err))
        std::abort();
    const regdoc::Entry* e = regdoc::find(written, "Filename");
    if (!e || e->deleted || e->value.type != kRegSz || e->value.data != text)
        std::abort();
}

} // namespace zorvfuzz
