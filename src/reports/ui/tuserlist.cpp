#include "reports/ui/tuserlist.h"

#include "components/gridexport.h"
#include "editor/codetables.h"
#include "editor/ui/tqedit.h"
#include "platform/clipboard.h"
#include "platform/desktopdate.h"
#include "platform/syscolors.h"
#include "userfile/blockreader.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>

#include <vector>

namespace zorv {

namespace {

constexpr const char* kSaveFilter = "Tabbed text files|*.txt|Comma separated text file|*.csv|"
                                    "HTML file|*.html;*.htm|All files (*.*)|*.*";

QPushButton* button(QWidget* parent, const char* name, const char* caption, const char* hint) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(QString::fromLatin1(hint));
    b->setAutoDefault(false);
    return b;
}

QAction* entry(QMenu* menu, const char* name, const char* caption, QKeySequence key = {}) {
    QAction* a = menu->addAction(QString::fromLatin1(caption));
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcut(key);
    return a;
}

} // namespace

Tuserlist::Tuserlist(Tqedit& main)
    : ReportWindow(main, BoundsWindow::UserList, QSize(585, 334), "userlist") {
    setWindowTitle(QStringLiteral("Userlist"));
    main.userlist = this;

    sg2 = new SortGridView(this);
    sg2->setObjectName(QStringLiteral("sg2"));
    sg2->setGeometry(px(8), px(8), px(561), px(281));
    SortGrid& g = sg2->grid();
    g.DefaultColWidth = 108;
    g.DefaultRowHeight = 15;
    g.FixedCols = 0;
    g.SetColCount(5);
    g.SetRowCount(14);
    g.EnhTextSize = true;
    g.SortFixedCols = false;
    g.SizeWithForm = true;
    g.Multilinecells = false;
    g.SortDirection = sdAscending;
    g.SetSortShow(true);
    g.SetSortColumn(0);
    g.ColumnSize = TColumnSize{false, "Software\\NV\\zorvedit", "Userlist"};
    g.DateFormat = DatePattern(desktopDatePattern());
    g.OnGetFormat = [this](int col, TSortStyle& style) { sg2GetFormat(col, style); };
    sg2->OnClick = [this] { run([this] { sg2Click(); }); };
    sg2->refresh();

    OKBtn = button(this, "OKBtn", "Close", "Close this list");
    OKBtn->setDefault(true); // Enter closes the list
    clip = button(this, "clip", "Copy to clipboard", "Copy selected parts to the clipboard");
    save = button(this, "save", "Save to file", "Save the list to file");
    OKBtn->setGeometry(px(16), px(304), px(89), px(25));
    clip->setGeometry(px(112), px(304), px(97), px(25));
    save->setGeometry(px(216), px(304), px(97), px(25));

    SGpop1 = new QMenu(this);
    SGpop1->setObjectName(QStringLiteral("SGpop1"));
    cTOc = entry(SGpop1, "cTOc", "Copy To ClipBoard", QKeySequence(Qt::CTRL | Qt::Key_C));
    Savetofile1 = entry(SGpop1, "Savetofile1", "Save to file", QKeySequence(Qt::CTRL | Qt::Key_S));
    close1 = entry(SGpop1, "close1", "Close", QKeySequence(Qt::CTRL | Qt::Key_X));
    setup1 = SGpop1->addMenu(QStringLiteral("Options"));
    setup1->setObjectName(QStringLiteral("setup1"));
    UserNumber1 = entry(setup1, "UserNumber1", "User Number");
    Name1 = entry(setup1, "Name1", "Name");
    Address1 = entry(setup1, "Address1", "Address");
    Citystate1 = entry(setup1, "Citystate1", "City/State");
    Phone1 = entry(setup1, "Phone1", "Phone");
    Birth1 = entry(setup1, "Birth1", "Birth");
    Limit1 = entry(setup1, "Limit1", "Limit");
    Updownstat1 = entry(setup1, "Updownstat1", "Up&&Down stat");
    Loginstat1 = entry(setup1, "Loginstat1", "Login stat");
    LastCall1 = entry(setup1, "LastCall1", "Last Call");
    Splittnames1 =
        entry(SGpop1, "Splittnames1", "Splitt names?", QKeySequence(Qt::CTRL | Qt::Key_T));
    KillUser1 = entry(SGpop1, "KillUser1", "Toggle Status", QKeySequence(Qt::CTRL | Qt::Key_K));
    options_ = {UserNumber1, Name1,       Address1,   Citystate1, Phone1,      Birth1,
                Limit1,      Updownstat1, Loginstat1, LastCall1,  Splittnames1};
    for (int p = 0; p < static_cast<int>(options_.size()); ++p) {
        options_[p]->setCheckable(true);
        connect(options_[p], &QAction::triggered, this,
                [this, p] { run([this, p] { optionClick(p); }); });
    }

    SD1.fileName = QStringLiteral("userlist.txt");
    SD1.filter = QString::fromLatin1(kSaveFilter);
    SD1.filterIndex = 1;

    auto on = [this](auto* sender, auto signal, void (Tuserlist::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { run([this, handler] { (this->*handler)(); }); });
    };
    on(OKBtn, &QPushButton::clicked, &Tuserlist::OKBtnClick);
    on(close1, &QAction::triggered, &Tuserlist::OKBtnClick);
    on(clip, &QPushButton::clicked, &Tuserlist::clipClick);
    on(cTOc, &QAction::triggered, &Tuserlist::clipClick);
    on(save, &QPushButton::clicked, &Tuserlist::saveClick);
    on(Savetofile1, &QAction::triggered, &Tuserlist::saveClick);
    on(KillUser1, &QAction::triggered, &Tuserlist::KillUser1Click);

    finishCreate(sg2, SGpop1);
    FormResize();
}

void Tuserlist::applyListOptions(const std::string& options) {
    const ListOptions o{options};
    for (int p = 0; p < static_cast<int>(options_.size()); ++p)
        options_[p]->setChecked(o.isOn(p));
}

void Tuserlist::resizeEvent(QResizeEvent* e) {
    ReportWindow::resizeEvent(e);
    FormResize();
}

void Tuserlist::FormResize() {
    const int top = height() - px(30);
    for (QPushButton* b : {OKBtn, clip, save})
        b->move(b->x(), top);
}

void Tuserlist::FormActivate() {
    // The automatic sizing right after measures every column again and
    // overrides the build's widths, so the build leaves them to it.
    sizeAfterBuild_ = false;
    try {
        BuildList();
    } catch (...) {
        sizeAfterBuild_ = true;
        throw;
    }
    sizeAfterBuild_ = true;
    sg2->SetAutoSize(true);
}

void Tuserlist::BuildList() {
    std::string text;
    for (QAction* a : options_)
        text += a->isChecked() ? '1' : '0';
    const UserListColumns columns(ListOptions{text});
    withProgress([&](const BuildProgress& progress) {
        BlockReader reader(main_.session().workingCopy);
        buildUserList(sg2->grid(), columns, reader, progress);
    });
    if (columns.lastCallColumn >= 0)
        lastCallColumn = static_cast<std::uint8_t>(columns.lastCallColumn);
    if (sizeAfterBuild_)
        sg2->SizeColumnsToText(0); // each column to its text, in one pass
}

void Tuserlist::SaveOption(int position, bool on) {
    saveOption(main_.settings(), position, on);
}

void Tuserlist::optionClick(int position) {
    SaveOption(position, options_[static_cast<std::size_t>(position)]->isChecked());
    BuildList();
}

void Tuserlist::OKBtnClick() {
    accept();
}

void Tuserlist::clipClick() {
    setClipboardText(selectionText(sg2->grid()));
}

void Tuserlist::saveClick() {
    Platform& platform = main_.platform();
    if (!platform.saveFile(this, SD1))
        return;
    if (!QFileInfo::exists(SD1.fileName) &&
        !platform.confirm(
            this, SD1.fileName + QStringLiteral("\nThis file does not exist.\nCreate the file?")))
        return;
    const std::string path = toPath(SD1.fileName);
    // The filter left selected decides, not the name's extension.
    switch (SD1.filterIndex) {
    case 2:
        WriteCsvFile(sg2->grid(), path);
        break;
    case 3:
        WriteHtmlFile(sg2->grid(), path, activeBorderHtmlColor());
        break;
    default:
        WriteTabbedFile(sg2->grid(), path);
        break;
    }
}

void Tuserlist::sg2Click() {
    showSelectedUser();
}

void Tuserlist::sg2GetFormat(int col, TSortStyle& style) {
    if (col == 0 && UserNumber1->isChecked())
        style = ssNumber;
    if (LastCall1->isChecked() && col == lastCallColumn)
        style = ssDateTime;
}

void Tuserlist::KillUser1Click() {
    if (!UserNumber1->isChecked())
        return;
    SortGrid& g = sg2->grid();
    if (g.RowCount() <= g.FixedRows) // no user listed
        return;
    UserFileSession& session = main_.session();
    const TGridRect sel = g.Selection();
    for (int r = sel.Top; r <= sel.Bottom; ++r) {
        const int i = g.GetCellInt(0, r);
        Record rec;
        session.workingCopy.readRecord(i, rec);
        unsigned st = readCode(rec, kStatus);
        if (st == 0)
            st = 2;
        else if (st == 2)
            st = 0;
        writeCode(rec, kStatus, st);
        session.workingCopy.writeRecord(i, rec);
        // Marked at once: an error on a later row must not hide this write
        // from "Save File" and the question at the end.
        session.userFileChanged = true;
        // The main window would otherwise write the old status back with
        // its next "Save User"; its other fields keep what was typed.
        if (main_.started() && session.currentIndex == i)
            main_.status->setCurrentIndex(codeToItem(CodeListId::status, st));
    }
    session.userFileChanged = true;
    BuildList();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        g.SortRows();
    } catch (...) {
        QApplication::restoreOverrideCursor();
        sg2->refresh();
        throw;
    }
    QApplication::restoreOverrideCursor();
    sg2->refresh();
}

} // namespace zorv
