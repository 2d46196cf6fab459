#include "platform/qtplatform.h"

#include "about/mailcommand.h"
#include "os/file.h"
#include "platform/accessible.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QTreeView>

#include <algorithm>

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

// Every dialog stands over the window that raised it; one raised from no
// window goes over the active one rather than the middle of the screen.
static QWidget* ownerOf(QWidget* parent) {
    if (parent)
        return parent->window();
    if (QWidget* w = QApplication::activeModalWidget())
        return w;
    return QApplication::activeWindow();
}

// Wide enough for the detail view's four columns, and each of size, type and
// date as wide as its texts once a folder is read (Qt would cut "66.7 KiB").
static void fitFileColumns(QFileDialog& dlg) {
    const QFontMetrics fm(dlg.font());
    int width = std::max(dlg.sizeHint().width(), fm.averageCharWidth() * 100);
    if (const QScreen* screen = dlg.screen())
        width = std::min(width, screen->availableGeometry().width() * 9 / 10);
    dlg.resize(width, std::max(dlg.sizeHint().height(), width * 3 / 5));
    auto* view = dlg.findChild<QTreeView*>();
    auto* model = dlg.findChild<QFileSystemModel*>();
    if (!view || !model)
        return; // the desktop's own dialog
    auto fit = [view] {
        QHeaderView* h = view->header();
        int rest = view->viewport()->width();
        for (int c = 1; c < h->count(); ++c) {
            view->resizeColumnToContents(c);
            rest -= h->sectionSize(c);
        }
        // The name takes what the others leave.
        h->resizeSection(0, std::max(rest, view->fontMetrics().averageCharWidth() * 20));
    };
    QObject::connect(model, &QFileSystemModel::directoryLoaded, view, fit, Qt::QueuedConnection);
}

static bool runFileDialog(QWidget* parent, FileDialog& d, bool save) {
    QFileDialog dlg(ownerOf(parent));
    if (!d.title.isEmpty())
        dlg.setWindowTitle(d.title);
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
    // A bare name gets the chosen type's extension before the dialog asks
    // about replacing it, so the question names the file written.
    auto typeChosen = [&dlg, &d, filters](const QString& filter) {
        const qsizetype i = filters.indexOf(filter);
        dlg.setDefaultSuffix(i >= 0 && i < d.typeExtensions.size() ? d.typeExtensions[i]
                                                                   : QString());
    };
    if (!d.typeExtensions.isEmpty()) {
        typeChosen(dlg.selectedNameFilter());
        QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg, typeChosen);
    }
    if (!d.initialDir.isEmpty())
        dlg.setDirectory(d.initialDir);
    // A wildcard name only narrows the list; the filter already does that.
    if (!d.fileName.isEmpty() && !d.fileName.contains(QLatin1Char('*')) &&
        !d.fileName.contains(QLatin1Char('?')))
        dlg.selectFile(d.fileName);
    fitFileColumns(dlg);
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
    QMessageBox box(qicon, title, text, QMessageBox::Ok, ownerOf(parent));
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
                 QMessageBox::Yes | QMessageBox::No, ownerOf(parent));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

Answer QtPlatform::confirmOrCancel(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, ownerOf(parent));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

int QtPlatform::choose(QWidget* parent, const QString& title, const QString& text,
                       const QStringList& buttons) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, ownerOf(parent));
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
    QInputDialog dlg(ownerOf(parent));
    dlg.setInputMode(QInputDialog::TextInput);
    dlg.setWindowTitle(title);
    dlg.setLabelText(prompt);
    dlg.setTextValue(defaultText);
    if (auto* edit = dlg.findChild<QLineEdit*>()) {
        edit->setMaxLength(255);
        edit->setAccessibleName(nameFromCaption(prompt));
    }
    // The box is as wide as its prompt, which may be narrower than its title:
    // room for the title in a bold face beside the title bar's buttons.
    QFont titleFont = dlg.font();
    titleFont.setBold(true);
    const int titleBar =
        std::max(dlg.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &dlg),
                 QFontMetrics(titleFont).height());
    const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(title) + 6 * titleBar;
    const QSize hint = dlg.sizeHint();
    if (titleWidth > hint.width())
        dlg.resize(titleWidth, hint.height());
    return dlg.exec() == QDialog::Accepted ? dlg.textValue() : defaultText;
}

Date QtPlatform::today() {
    return localToday();
}

QString QtPlatform::programPath() {
    return programPath_.isEmpty() ? QCoreApplication::applicationFilePath() : programPath_;
}

QString QtPlatform::stateDir() {
    return fromPath(zorv::os::stateFolder()); // the tool's, too
}

#ifdef _WIN32

std::optional<MailHandler> QtPlatform::mailHandler() {
    const QSettings key(QStringLiteral("HKEY_CLASSES_ROOT\\mailto\\shell\\open\\command"),
                        QSettings::NativeFormat);
    const QVariant v = key.value(QStringLiteral("Default"));
    if (!v.isValid())
        return std::nullopt;
    MailHandler h;
    h.exec = v.toString().left(255).toStdString();
    return h;
}

void QtPlatform::startProgram(QWidget*, const QString& program, const QStringList& arguments) {
    QProcess p;
    p.setProgram(program);
    p.setNativeArguments(arguments.join(QLatin1Char(' ')));
    p.startDetached();
}

#else

std::optional<MailHandler> QtPlatform::mailHandler() {
    // A desktop without xdg-utils, or one that hangs, has no mail program for us.
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                             QStringLiteral("x-scheme-handler/mailto")});
    if (!query.waitForStarted(3000))
        return std::nullopt;
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return std::nullopt;
    }
    if (query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0)
        return std::nullopt;
    const QString id = QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
    if (id.isEmpty() || id.contains(QLatin1Char('\n')))
        return std::nullopt;

    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.local/share");
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    std::vector<std::string> dataDirs{toPath(home)};
    for (const QString& d : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        dataDirs.push_back(toPath(d));
    const std::optional<std::string> entry = findDesktopEntry(toPath(id), dataDirs);
    if (!entry)
        return std::nullopt;
    QFile f(fromPath(*entry));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = f.read(1 << 20);
    const std::string_view text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const std::optional<std::string> exec = desktopEntryExec(text);
    if (!exec || exec->empty())
        return std::nullopt;
    MailHandler h;
    h.exec = *exec;
    h.name = desktopEntryValue(text, "Name").value_or(std::string());
    h.icon = desktopEntryValue(text, "Icon").value_or(std::string());
    h.file = *entry;
    return h;
}

void QtPlatform::startProgram(QWidget*, const QString& program, const QStringList& arguments) {
    QProcess::startDetached(program, arguments);
}

#endif

} // namespace zorv
