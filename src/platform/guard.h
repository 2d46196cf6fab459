#pragma once
// The one place where an error raised in a handler becomes the application's
// error box (title "ZORV user editor", stop icon, the text followed by "."),
// after which the program goes on. Handlers are connected through guarded();
// GuardedApplication catches whatever still reaches the event loop.

#include <QApplication>

#include <exception>

class QWidget;

namespace zorv {

class Platform;

inline constexpr const char* kAppTitle = "ZORV user editor";

// The error box for an exception's text (UTF-8; other bytes are read as cp1252),
// over `parent`'s window, or over the active window when there is none.
void showErrorBox(Platform& platform, const char* what, QWidget* parent = nullptr);

template <class F> void guarded(Platform& platform, QWidget* parent, F&& f) noexcept {
    try {
        f();
    } catch (const std::exception& e) {
        showErrorBox(platform, e.what(), parent);
    } catch (...) {
        showErrorBox(platform, "Unknown error", parent);
    }
}

template <class F> void guarded(Platform& platform, F&& f) noexcept {
    guarded(platform, nullptr, std::forward<F>(f));
}

class GuardedApplication : public QApplication {
  public:
    GuardedApplication(int& argc, char** argv);
    // Where the error box goes; nullptr writes the text to stderr instead.
    void setPlatform(Platform* p) { platform_ = p; }
    Platform* platform() const { return platform_; }
    bool notify(QObject* receiver, QEvent* event) override;

  private:
    Platform* platform_ = nullptr;
};

} // namespace zorv
