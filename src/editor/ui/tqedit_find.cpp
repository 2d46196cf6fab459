// The Find tab, "Find next" and the find dialog. Both kinds of search share
// session().foundIndex(), so each continues after the other's last hit.
#include "editor/ui/tqedit.h"

#include "editor/find.h"
#include "platform/accessible.h"
#include "platform/guard.h"
#include "userfile/codepage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>

namespace zorv {

namespace {

// The typed text in the window's code page. A character cp1252 cannot hold
// cannot occur in any stored text, so such a search finds nothing.
std::optional<std::string> cp1252Of(const QString& text) {
    std::string out;
    for (char32_t c : text.toUcs4()) {
        const int b = unicodeToCp1252(c);
        if (b < 0)
            return std::nullopt;
        out.push_back(static_cast<char>(b));
    }
    return out;
}

// Shows the hit and makes it the current and the last found record, unless
// the operator keeps the shown user's entries. The record tests leave the
// buffer as read; storing those entries reuses it, so it is read again then.
// `what` says what was looked for ("for \"OSLO\"").
void showHit(Tqedit& w, int index, const QString& what) {
    auto& s = w.session();
    const bool asked = w.hasUnstoredEdits();
    if (!w.settleShownUser()) {
        w.showNote(QStringLiteral("User %1 found %2, not shown").arg(index).arg(what));
        return;
    }
    if (asked)
        s.show(index);
    w.showRecord(s.record());
    s.setCurrentIndex(index);
    s.setFoundIndex(index);
    w.setPositionUi();
    w.showNote(QStringLiteral("User %1 found %2").arg(index).arg(what));
}

void noHit(Tqedit& w, int start, const QString& what) {
    QString text = QStringLiteral("No user found %1").arg(what);
    if (start > 0)
        text += QStringLiteral(" after user %1").arg(start - 1);
    w.showNote(text);
}

QString quoted(const QString& text) {
    return QStringLiteral("for \"%1\"").arg(text);
}

void findTabSearch(Tqedit& w, int start) {
    const auto text = cp1252Of(w.findstr->text());
    FindCriteria c;
    c.name = w.namecb->isChecked();
    c.address = w.addresscb->isChecked();
    c.city = w.citycb->isChecked();
    c.phone = w.phonecb->isChecked();
    c.birth = w.birthcb->isChecked();
    c.limit = w.limitcb->isChecked();
    c.statusItem = w.statcb->currentIndex();
    QString what;
    if (c.anyField()) {
        what = quoted(w.findstr->text());
        if (c.statusItem > 0)
            what += QStringLiteral(" with status ") + w.statcb->currentText();
    } else if (c.statusItem > 0) {
        what = QStringLiteral("with status ") + w.statcb->currentText();
    } else {
        w.showNote(QStringLiteral("No user found: tick where to look, or choose a status"));
        return;
    }
    // Untypable text still allows the status-only search, which ignores it.
    if (!text && c.anyField()) {
        noHit(w, start, what);
        return;
    }
    c.text = text.value_or(std::string());
    const int hit = w.session().findFrom(start, FindTabTest(c));
    if (hit >= 0)
        showHit(w, hit, what);
    else
        noHit(w, start, what);
}

void emptySearchText(Tqedit& w) {
    w.showNote(QStringLiteral("Nothing to find: type the text to look for"));
}

QLineEdit* dialogText(QDialog* d) {
    return d->findChild<QLineEdit*>("FindText");
}

} // namespace

void Tqedit::findbtnClick() {
    if (findstr->text().isEmpty()) {
        emptySearchText(*this);
        return;
    }
    session().setFoundIndex(0);
    findTabSearch(*this, 0);
}

void Tqedit::FindNextbtClick() {
    if (findstr->text().isEmpty()) {
        emptySearchText(*this);
        return;
    }
    findTabSearch(*this, session().foundIndex() + 1);
}

void Tqedit::findClick() {
    if (!FindDialog) {
        auto* d = new QDialog(this);
        d->setObjectName("FindDialog");
        d->setWindowTitle("Find");
        d->setModal(false);

        auto* label = new QLabel("Fi&nd what:", d);
        auto* text = new QLineEdit(d);
        text->setObjectName("FindText");
        text->setMaxLength(static_cast<int>(kMaxSearchText));
        label->setBuddy(text);
        nameBuddy(label);
        auto* findNext = new QPushButton("&Find Next", d);
        findNext->setObjectName("FindNext");
        findNext->setDefault(true);
        findNext->setEnabled(false);
        auto* cancel = new QPushButton("Cancel", d);
        cancel->setObjectName("Cancel");

        auto* row = new QHBoxLayout;
        row->addWidget(label);
        row->addWidget(text, 1);
        auto* buttons = new QVBoxLayout;
        buttons->addWidget(findNext);
        buttons->addWidget(cancel);
        buttons->addStretch();
        auto* top = new QHBoxLayout(d);
        auto* left = new QVBoxLayout;
        left->addLayout(row);
        left->addStretch();
        top->addLayout(left, 1);
        top->addLayout(buttons);
        text->setMinimumWidth(text->fontMetrics().averageCharWidth() * 24);
        top->setSizeConstraint(QLayout::SetFixedSize);

        connect(text, &QLineEdit::textChanged, findNext,
                [findNext](const QString& t) { findNext->setEnabled(!t.isEmpty()); });
        connect(findNext, &QPushButton::clicked, this,
                [this] { guarded(platform(), FindDialog, [this] { FindDialogFind(); }); });
        connect(cancel, &QPushButton::clicked, d, &QDialog::reject);
        FindDialog = d;
    }
    if (FindDialog->isVisible())
        FindDialog->raise(); // open behind the window: bring it forward
    else
        FindDialog->show();
    FindDialog->activateWindow();
    if (auto* text = dialogText(FindDialog)) {
        text->setFocus();
        text->selectAll();
    }
    session().setFoundIndex(-1);
}

void Tqedit::FindDialogFind() {
    if (!FindDialog)
        return;
    auto* textField = dialogText(FindDialog);
    if (!textField)
        return;
    const QString what = quoted(textField->text());
    const int start = session().foundIndex() + 1;
    const auto text = cp1252Of(textField->text());
    if (!text) {
        noHit(*this, start, what);
        return;
    }
    const int hit = session().findFrom(start, DialogNameTest(*text));
    if (hit >= 0)
        showHit(*this, hit, what);
    else
        noHit(*this, start, what);
}

} // namespace zorv
