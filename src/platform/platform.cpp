#include "platform/platform.h"

#include <QFile>

namespace zorv {

void PlatformPrompts::message(const std::string& title, const std::string& text) {
    platform_.message(parent_, QString::fromStdString(title), QString::fromStdString(text),
                      MessageIcon::None);
}

void PlatformPrompts::warning(const std::string& text) {
    platform_.message(parent_, QStringLiteral("Warning"), QString::fromStdString(text),
                      MessageIcon::Warning);
}

bool PlatformPrompts::confirm(const std::string& text) {
    return platform_.confirm(parent_, QString::fromStdString(text));
}

Answer PlatformPrompts::confirmOrCancel(const std::string& text) {
    return platform_.confirmOrCancel(parent_, QString::fromStdString(text));
}

int PlatformPrompts::choose(const std::string& title, const std::string& text,
                            const std::vector<std::string>& buttons) {
    QStringList names;
    for (const std::string& b : buttons)
        names << QString::fromStdString(b);
    return platform_.choose(parent_, QString::fromStdString(title), QString::fromStdString(text),
                            names);
}

std::string workingCopyPathFor(Platform& platform) {
    const std::string program = toPath(platform.programPath());
    return workingCopyPath(program, toPath(platform.stateDir()), installedProgram(program));
}

std::string toPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString fromPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace zorv
