#include "platform/editmenu.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>

namespace zorv {

namespace {

class EditMenuFilter : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() != QEvent::ContextMenu)
            return false;
        auto* edit = static_cast<QLineEdit*>(o);
        editMenuFor(edit)->popup(static_cast<QContextMenuEvent*>(e)->globalPos());
        e->accept();
        return true;
    }
};

} // namespace

void useEditMenu(QLineEdit* e) {
    e->installEventFilter(new EditMenuFilter(e));
}

QMenu* editMenuFor(QLineEdit* e) {
    auto* menu = new QMenu(e);
    menu->setObjectName(QStringLiteral("editmenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<QLineEdit> field(e);
    // The text after the tab is shown as the key; no shortcut is bound, so
    // the window's keys stay its own.
    auto entry = [&](const char* caption, const char* key, bool enabled, auto act) {
        QString text = QString::fromLatin1(caption);
        if (*key)
            text += QLatin1Char('\t') + QString::fromLatin1(key);
        QAction* a = menu->addAction(text);
        a->setEnabled(enabled);
        QObject::connect(a, &QAction::triggered, e, [field, act] {
            if (field)
                act(field.data());
        });
        return a;
    };
    const bool selected = e->hasSelectedText();
    if (e->isReadOnly()) {
        entry("&Copy", "Ctrl+Insert", selected, [](QLineEdit* f) { f->copy(); });
        return menu;
    }
    const bool isPassword = e->echoMode() != QLineEdit::Normal;
    entry("&Undo", "Ctrl+Z", e->isUndoAvailable(), [](QLineEdit* f) { f->undo(); });
    entry("&Redo", "Ctrl+Shift+Z", e->isRedoAvailable(), [](QLineEdit* f) { f->redo(); });
    menu->addSeparator();
    entry("Cu&t", "Shift+Delete", selected && !isPassword, [](QLineEdit* f) { f->cut(); });
    entry("&Copy", "Ctrl+Insert", selected && !isPassword, [](QLineEdit* f) { f->copy(); });
    const QClipboard* clip = QGuiApplication::clipboard();
    entry("&Paste", "Shift+Insert", clip && !clip->text().isEmpty(),
          [](QLineEdit* f) { f->paste(); });
    entry("Delete", "Del", selected, [](QLineEdit* f) { f->del(); });
    menu->addSeparator();
    entry("Select All", "", !e->text().isEmpty(), [](QLineEdit* f) { f->selectAll(); });
    return menu;
}

} // namespace zorv
