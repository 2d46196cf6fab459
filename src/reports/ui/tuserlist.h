#pragma once
// The user list `userlist` "Userlist": every user of the working copy as one
// row of the sortable grid `sg2`, with the columns of the list options;
// picks a user for the main window, toggles users between Active and Killed,
// copies and saves the list.

#include "platform/platform.h"
#include "reports/rowfilter.h"
#include "reports/ui/reportwindow.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace zorv {

class Tuserlist : public ReportWindow {
  public:
    explicit Tuserlist(const ReportContext& context);

    // The filter above the grid: the rows that hold its text in a shown
    // column, and "N of M users" beside it. Not stored; empty at each showing.
    QLabel* filterlabel;
    QLineEdit* filteredit;
    QLabel* filtercount;
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
    void filtereditChange();

    // Users listed in all, whatever the filter shows.
    int listedUsers() const;

  protected:
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void beforeHeaderSort() override;
    void afterHeaderSort() override;

    void rowChosen() override;

  private:
    // Build, stored sort, column sizing and filter, under one progress box.
    void rebuild(Progress& progress, bool autoSize);
    void buildRows(Progress& progress);
    // All rows back in sg2 / the filter's rows in sg2 and the others aside.
    void showAll();
    // A text that holds the last one shows no row it hid (Narrower); one
    // the last text holds hides no row it showed (Wider).
    enum class FilterChange { Any, Narrower, Wider };
    void applyFilter(FilterChange change);
    void showCount();
    ListOptions shownOptions() const;
    // One user of a Toggle Status: grid row, record, status before and after.
    struct Toggle {
        int row;
        int index;
        unsigned was, now;
    };
    void restatus(const std::vector<Toggle>& done);
    void reselect(const std::vector<Toggle>& done, TGridRect before, int first, int topUser);
    int userInRow(int row) const; // column 0's user number, -1 for none

    EditSession& file_; // Toggle Status writes the working copy through it

    std::array<QAction*, 11> options_{}; // in the order of the list options
    // The rows a filter hides, and each row's place in the whole list.
    SortGrid aside_;
    bool filtering_ = false;
    RowFilter filter_{""};
    std::vector<int> shownRank_;  // of sg2's data rows, ascending
    std::vector<int> hiddenRank_; // of aside_'s data rows, ascending
    // False after a Toggle Status whose first user the filter hides: the
    // highlighted row is then nobody's pick, and Ctrl+K waits for one.
    bool rowPicked_ = true;
    QString lastExportDir_;          // where the save dialog starts next time
    bool refilterAfterSort_ = false; // a header press merged the hidden rows in
    int keepForSort_ = -1;
};

} // namespace zorv
