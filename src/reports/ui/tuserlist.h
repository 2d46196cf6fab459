#pragma once
// The user list `userlist` "Userlist": every user of the working copy as one
// row of the sortable grid `sg2`, with the columns of the list options;
// picks a user for the main window, toggles users between Active and Killed,
// copies and saves the list.

#include "platform/platform.h"
#include "reports/ui/reportwindow.h"

#include <array>
#include <cstdint>
#include <string>

class QAction;
class QMenu;
class QPushButton;

namespace zorv {

class Tuserlist : public ReportWindow {
  public:
    explicit Tuserlist(Tqedit& main);

    SortGridView* sg2;
    QPushButton* OKBtn;
    QPushButton* clip;
    QPushButton* save;

    QMenu* SGpop1;
    QAction* cTOc;
    QAction* Savetofile1;
    QAction* close1;
    QMenu* setup1;
    QAction* UserNumber1;
    QAction* Name1;
    QAction* Address1;
    QAction* Citystate1;
    QAction* Phone1;
    QAction* Birth1;
    QAction* Limit1;
    QAction* Updownstat1;
    QAction* Loginstat1;
    QAction* LastCall1;
    QAction* Splittnames1;
    QAction* KillUser1;

    FileDialog SD1;
    // The column that shows "Last Call"; a build without it keeps the value.
    std::uint8_t lastCallColumn = 0;

    // The check marks of the ten column items and "Splitt names?" from the
    // list options (the main window's start-up).
    void applyListOptions(const std::string& options);

    void BuildList();
    void SaveOption(int position, bool on);

    void FormActivate() override;
    void FormResize();
    void OKBtnClick();
    void clipClick();
    void saveClick();
    void optionClick(int position);
    void KillUser1Click();
    void sg2Click();
    void sg2GetFormat(int col, TSortStyle& style);

  protected:
    void resizeEvent(QResizeEvent* e) override;

  private:
    std::array<QAction*, 11> options_{}; // in the order of the list options
    bool sizeAfterBuild_ = true;
};

} // namespace zorv
