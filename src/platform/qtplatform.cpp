#include "platform/qtplatform.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

namespace zorv {

QStringList qtNameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString name = parts[i].trimmed();
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        QStringList list = patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (QString& p : list)
            if (p == QLatin1String("*.*"))
                p = QStringLiteral("*");
        const QString qtPatterns = list.join(QLatin1Char(' '));
        if (name.endsWith(QLatin1Char(')')) && name.contains(QLatin1Char('(')) &&
            name.section(QLatin1Char('('), -1).chopped(1).trimmed() == patterns)
            out << name.left(name.lastIndexOf(QLatin1Char('('))) + QLatin1Char('(') + qtPatterns +
                       QLatin1Char(')');
        else
            out << name + QStringLiteral(" (") + qtPatterns + QLatin1Char(')');
    }
    return out;
}

static bool runFileDialog(QWidget* parent, FileDialog& d, bool save) {
    QFileDialog dlg(parent);
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = qtNameFilters(d.filter);
    if (!filters.isEmpty()) {
        dlg.setNameFilters(filters);
        const int i = d.filterIndex >= 1 && d.filterIndex <= filters.size() ? d.filterIndex : 1;
        dlg.selectNameFilter(filters[i - 1]);
    }
    if (!d.defaultExt.isEmpty())
        dlg.setDefaultSuffix(d.defaultExt);
    if (!d.initialDir.isEmpty())
        dlg.setDirectory(d.initialDir);
    // A wildcard name only narrows the list; the filter already does that.
    if (!d.fileName.isEmpty() && !d.fileName.contains(QLatin1Char('*')) &&
        !d.fileName.contains(QLatin1Char('?')))
        dlg.selectFile(d.fileName);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return false;
    const QString chosen = dlg.selectedFiles().constFirst();
    if (chosen.isEmpty())
        return false;
    d.fileName = QDir::toNativeSeparators(chosen);
    const qsizetype used = filters.indexOf(dlg.selectedNameFilter());
    if (used >= 0)
        d.filterIndex = static_cast<int>(used) + 1;
    return true;
}

bool QtPlatform::openFile(QWidget* parent, FileDialog& d) {
    return runFileDialog(parent, d, false);
}

bool QtPlatform::saveFile(QWidget* parent, FileDialog& d) {
    return runFileDialog(parent, d, true);
}

void QtPlatform::message(QWidget* parent, const QString& title, const QString& text,
                         MessageIcon icon) {
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
    case MessageIcon::None:
        break;
    case MessageIcon::Stop:
        qicon = QMessageBox::Critical;
        break;
    case MessageIcon::Warning:
        qicon = QMessageBox::Warning;
        break;
    case MessageIcon::Information:
        qicon = QMessageBox::Information;
        break;
    }
    QMessageBox box(qicon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

namespace {

// A Yes/No question about unsaved changes: Qt would take Escape or the close
// button as No and drop the changes on a reflex; here only a button answers.
class YesNoBox : public QMessageBox {
  public:
    using QMessageBox::QMessageBox;

  protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->matches(QKeySequence::Cancel))
            return;
        QMessageBox::keyPressEvent(e);
    }
    void closeEvent(QCloseEvent* e) override {
        if (!clickedButton()) {
            e->ignore();
            return;
        }
        QMessageBox::closeEvent(e);
    }
};

} // namespace

bool QtPlatform::confirm(QWidget* parent, const QString& text) {
    YesNoBox box(QMessageBox::Question, QStringLiteral("Confirm"), text,
                 QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

int QtPlatform::choose(QWidget* parent, const QString& title, const QString& text,
                       const QStringList& buttons) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    QList<QAbstractButton*> made;
    for (qsizetype i = 0; i < buttons.size(); ++i)
        made.append(box.addButton(buttons[i], i + 1 == buttons.size() ? QMessageBox::RejectRole
                                                                      : QMessageBox::AcceptRole));
    if (!made.isEmpty())
        box.setEscapeButton(made.last());
    box.exec();
    const qsizetype chosen = made.indexOf(box.clickedButton());
    return static_cast<int>(chosen < 0 ? made.size() - 1 : chosen);
}

QString QtPlatform::inputBox(QWidget* parent, const QString& title, const QString& prompt,
                             const QString& defaultText) {
    QInputDialog dlg(parent);
    dlg.setInputMode(QInputDialog::TextInput);
    dlg.setWindowTitle(title);
    dlg.setLabelText(prompt);
    dlg.setTextValue(defaultText);
    if (auto* edit = dlg.findChild<QLineEdit*>())
        edit->setMaxLength(255);
    return dlg.exec() == QDialog::Accepted ? dlg.textValue() : defaultText;
}

Date QtPlatform::today() {
    return localToday();
}

QString QtPlatform::programPath() {
    return programPath_.isEmpty() ? QCoreApplication::applicationFilePath() : programPath_;
}

QString QtPlatform::stateDir() {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/zorvedit");
}

} // namespace zorv
