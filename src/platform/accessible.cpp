#include "platform/accessible.h"

#include "platform/linklabel.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QKeySequence>
#include <QLabel>

namespace zorv {

namespace {

// A drop-down named by what it is; its item is its value. The list of items
// stays its child, as readers expect of a combo box.
class NamedComboBox : public QAccessibleWidget {
  public:
    explicit NamedComboBox(QComboBox* c) : QAccessibleWidget(c, QAccessible::ComboBox) {}

    QComboBox* combo() const { return static_cast<QComboBox*>(object()); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return combo()->currentText();
        return QAccessibleWidget::text(t); // the name: its own, else its label's
    }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(combo()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == combo()->view() ? 0 : -1;
    }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override {
        if (name != showMenuAction() && name != pressAction()) {
            QAccessibleWidget::doAction(name);
            return;
        }
        if (combo()->view()->isVisible())
            combo()->hidePopup();
        else
            combo()->showPopup();
    }
    QStringList keyBindingsForAction(const QString& name) const override {
        if (name == showMenuAction() || name == pressAction())
            return {QKeySequence(Qt::ALT | Qt::Key_Down).toString(QKeySequence::NativeText)};
        return QAccessibleWidget::keyBindingsForAction(name);
    }
};

class LinkAccessible : public QAccessibleWidget {
  public:
    explicit LinkAccessible(LinkLabel* l) : QAccessibleWidget(l, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override {
        QString s = QAccessibleWidget::text(t);
        if (s.isEmpty() && t == QAccessible::Name)
            s = static_cast<QLabel*>(object())->text();
        return s;
    }
    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override {
        if (name == pressAction())
            emit static_cast<LinkLabel*>(object())->activated();
        else
            QAccessibleWidget::doAction(name);
    }
    QStringList keyBindingsForAction(const QString& name) const override {
        if (name == pressAction())
            return {QKeySequence(Qt::Key_Space).toString(QKeySequence::NativeText)};
        return QAccessibleWidget::keyBindingsForAction(name);
    }
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
    // Only drop-downs that are plain lists: an editable one is named by its text.
    if (className == QLatin1String("QComboBox")) {
        auto* c = qobject_cast<QComboBox*>(object);
        if (c && !c->isEditable())
            return new NamedComboBox(c);
    }
    if (className == QLatin1String("zorv::LinkLabel"))
        if (auto* l = qobject_cast<LinkLabel*>(object))
            return new LinkAccessible(l);
    return nullptr;
}

} // namespace

void installAccessibleNames() {
    QAccessible::installFactory(factory); // installed once however often asked
}

QString nameFromCaption(const QString& caption) {
    QString s;
    s.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&')) {
            if (i + 1 < caption.size() && caption[i + 1] == QLatin1Char('&'))
                s += caption[++i];
            continue;
        }
        s += caption[i];
    }
    s = s.trimmed();
    if (s.endsWith(QLatin1Char(':')))
        s.chop(1);
    return s.trimmed();
}

void nameBuddy(QLabel* label) {
    QWidget* buddy = label ? label->buddy() : nullptr;
    if (buddy && buddy->accessibleName().isEmpty())
        buddy->setAccessibleName(nameFromCaption(label->text()));
}

} // namespace zorv
