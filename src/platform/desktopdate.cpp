#include "platform/desktopdate.h"

#include "components/sortgrid.h"

#include <QLocale>

#include <cctype>
#include <stdexcept>

namespace zorv {

namespace {

bool isLetter(char ch) {
    return std::isalpha(static_cast<unsigned char>(ch)) != 0;
}

// Separators that only belonged to a dropped field go with it.
void dropDanglingLiteral(std::string& out) {
    while (!out.empty() && !isLetter(out.back()))
        out.pop_back();
}

} // namespace

std::string datePatternFromLocaleFormat(std::string_view format) {
    std::string out;
    bool droppedLast = false;
    for (std::size_t i = 0; i < format.size();) {
        const char ch = format[i];
        if (ch == '\'') { // quoted literal; '' is a quote
            const std::size_t end = format.find('\'', i + 1);
            const std::string_view text = format.substr(
                i + 1, end == std::string_view::npos ? std::string_view::npos : end - i - 1);
            if (text.empty() && end != std::string_view::npos)
                out += '\'';
            for (const char t : text)
                if (!isLetter(t)) // letters would read as fields
                    out += t;
            i = end == std::string_view::npos ? format.size() : end + 1;
            continue;
        }
        if (!isLetter(ch)) {
            if (!droppedLast || !out.empty())
                out += ch;
            ++i;
            continue;
        }
        std::size_t run = 1;
        while (i + run < format.size() && format[i + run] == ch)
            ++run;
        i += run;
        droppedLast = false;
        if (ch == 'd' && run <= 2)
            out.append(run, 'd');
        else if (ch == 'M')
            out.append(run == 1 ? 1 : 2, 'M');
        else if (ch == 'y')
            out += "yyyy";
        else {
            dropDanglingLiteral(out);
            droppedLast = true;
        }
    }
    if (droppedLast)
        dropDanglingLiteral(out);
    while (!out.empty() && !isLetter(out.front()))
        out.erase(0, 1);
    try {
        const DatePattern p(out);
        if (p.hasDayMonthYear())
            return out;
    } catch (const std::invalid_argument&) {
    }
    return "yyyy-MM-dd";
}

std::string desktopDatePattern() {
    return datePatternFromLocaleFormat(
        QLocale::system().dateFormat(QLocale::ShortFormat).toStdString());
}

} // namespace zorv
