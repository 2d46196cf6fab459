#include "platform/clipboard.h"

#include "userfile/codepage.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace zorv {

namespace {

// The grids speak CR LF; other programs on this desktop put bare LF on the
// clipboard, which would otherwise paste as one long line.
std::string crLfLineEnds(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

} // namespace

void setClipboardText(const std::string& cp1252) {
    QGuiApplication::clipboard()->setText(QString::fromStdString(cp1252ToUtf8(cp1252)));
}

std::optional<std::string> clipboardText() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText())
        return std::nullopt;
    return crLfLineEnds(utf8ToCp1252(data->text().toStdString()));
}

} // namespace zorv
