#include "platform/guard.h"

#include "platform/platform.h"
#include "userfile/codepage.h"

#include <QStringDecoder>
#include <QWidget>

#include <cstdio>

namespace zorv {

static QString errorText(const char* what) {
    const QByteArray bytes(what ? what : "");
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (utf8.hasError())
        text = QString::fromStdString(cp1252ToUtf8(bytes.toStdString()));
    return text + QLatin1Char('.');
}

void showErrorBox(Platform& platform, const char* what, QWidget* parent) {
    platform.message(parent ? parent->window() : QApplication::activeWindow(),
                     QString::fromLatin1(kAppTitle), errorText(what), MessageIcon::Stop);
}

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        if (platform_)
            showErrorBox(*platform_, e.what(), qobject_cast<QWidget*>(receiver));
        else
            std::fprintf(stderr, "%s\n", qPrintable(errorText(e.what())));
    } catch (...) {
        if (platform_)
            showErrorBox(*platform_, "Unknown error", qobject_cast<QWidget*>(receiver));
        else
            std::fprintf(stderr, "Unknown error.\n");
    }
    return false;
}

} // namespace zorv
