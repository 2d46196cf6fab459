#pragma once
// The statistics window `statform` "Statistics": the activity counters of
// every user of the working copy in the sortable grid `SG2`; picks a user
// for the main window and copies the selected cells.

#include "reports/ui/reportwindow.h"

class QAction;
class QMenu;
class QPushButton;

namespace zorv {

class Tstatform : public ReportWindow {
  public:
    explicit Tstatform(const ReportContext& context);

    SortGridView* SG2;
    QPushButton* closebt;
    QMenu* statpop;
    QAction* CopytoClipboard1;
    QAction* close1;

    void FormActivate() override;
    void FormResize();
    void closebtClick();
    void clipbtClick();
    void SG2Click();

  protected:
    void resizeEvent(QResizeEvent* e) override;
};

} // namespace zorv
