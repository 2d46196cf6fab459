#include "platform/desktopdate.h"

#include "components/datepattern.h"

#include <QLocale>

#include <cctype>
#include <stdexcept>

namespace zorv {

namespace {

constexpr const char* kFallback = "yyyy-MM-dd";

bool isLetter(char ch) {
    return std::isalpha(static_cast<unsigned char>(ch)) != 0;
}

} // namespace

std::string datePatternFromLocaleFormat(std::string_view format) {
    std::string out;
    for (std::size_t i = 0; i < format.size();) {
        const char ch = format[i];
        if (ch == '\'') { // quoted literal; '' is a quote
            const std::size_t end = format.find('\'', i + 1);
            const std::string_view text = format.substr(
                i + 1, end == std::string_view::npos ? std::string_view::npos : end - i - 1);
            if (text.empty() && end != std::string_view::npos)
                out += '\'';
            for (const char t : text)
                if (isLetter(t)) // would read as a field
                    return kFallback;
            out += text;
            i = end == std::string_view::npos ? format.size() : end + 1;
            continue;
        }
        if (!isLetter(ch)) {
            out += ch;
            ++i;
            continue;
        }
        std::size_t run = 1;
        while (i + run < format.size() && format[i + run] == ch)
            ++run;
        i += run;
        // Day and month in digits, the year widened; names of months or
        // days, times and anything else give the plain numeric form.
        if ((ch == 'd' || ch == 'M') && run <= 2)
            out.append(run, ch);
        else if (ch == 'y' && (run == 2 || run == 4))
            out += "yyyy";
        else
            return kFallback;
    }
    try {
        const DatePattern p(out);
        if (p.hasDayMonthYear())
            return out;
    } catch (const std::invalid_argument&) {
    }
    return kFallback;
}

std::string desktopDatePattern() {
    return datePatternFromLocaleFormat(
        QLocale::system().dateFormat(QLocale::ShortFormat).toStdString());
}

} // namespace zorv
