#include "reportrows.h"

#include "userfile/codepage.h"

#include <charconv>

namespace zorv {

namespace {

template <class T> std::string decimal(T value) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

std::size_t firstSpaceEnd(std::string_view name) {
    const std::size_t p = name.find(' ');
    return p == std::string_view::npos ? 0 : p + 1;
}

bool isLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

// Cell by cell into the grid's own rows: a million users never exist twice
// in memory. A view hears of the change once, when the build ends.
class QuietBuild {
  public:
    explicit QuietBuild(SortGrid& grid) : grid_(grid), told_(std::move(grid.OnChanged)) {
        grid_.OnChanged = nullptr;
    }
    ~QuietBuild() {
        grid_.OnChanged = std::move(told_);
        if (grid_.OnChanged)
            grid_.OnChanged();
    }
    QuietBuild(const QuietBuild&) = delete;
    QuietBuild& operator=(const QuietBuild&) = delete;

  private:
    SortGrid& grid_;
    std::function<void()> told_;
};

// Often enough for a moving bar, rarely enough to cost nothing.
void tell(const BuildProgress& progress, int i, int total) {
    if (progress && (i & 0x3FFF) == 0)
        progress(i, total);
}

} // namespace

std::string_view forenameOf(std::string_view name) {
    return name.substr(0, firstSpaceEnd(name));
}

std::string_view surnameOf(std::string_view name) {
    return name.substr(firstSpaceEnd(name));
}

std::optional<CivilDate> callDate(std::uint32_t packed) {
    const int day = static_cast<int>((packed >> 16) & 0x1F);
    const int month = static_cast<int>((packed >> 21) & 0x0F);
    const int year = 1980 + static_cast<int>(packed >> 25);
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return std::nullopt;
    return CivilDate{year, month, day};
}

std::string loginStatText(unsigned status) {
    if (status <= 3)
        return std::string(kListLabels[status + 4]);
    return decimal(status);
}

UserListColumns::UserListColumns(const ListOptions& options) {
    auto add = [&](ListCell cell, std::string_view header) {
        cells.push_back(cell);
        headers.push_back(header);
    };
    if (options.isOn(kOptUserNumber)) {
        userNumberShown = true;
        add(ListCell::UserNumber, "User Number");
    }
    if (options.isOn(kOptName)) {
        if (options.isOn(kOptSplitNames)) {
            add(ListCell::Forename, "Forename");
            add(ListCell::Surname, "Surname");
        } else {
            add(ListCell::Name, "Name");
        }
    }
    if (options.isOn(kOptAddress))
        add(ListCell::Address, "Address");
    if (options.isOn(kOptCityState))
        add(ListCell::CityState, "City/State");
    if (options.isOn(kOptPhone))
        add(ListCell::Phone, "Phone");
    if (options.isOn(kOptBirth))
        add(ListCell::Birth, "Birth");
    if (options.isOn(kOptLimit))
        add(ListCell::Limit, "Limit");
    if (options.isOn(kOptUpDownStat))
        add(ListCell::UpDownStat, "Up&&Down stat");
    if (options.isOn(kOptLoginStat))
        add(ListCell::LoginStat, "Login stat");
    if (options.isOn(kOptLastCall)) {
        lastCallColumn = count();
        add(ListCell::LastCall, "Last Call");
    }
}

std::string UserListColumns::cellText(ListCell cell, int index, const Record& r,
                                      const DatePattern& dates) const {
    switch (cell) {
    case ListCell::UserNumber:
        return decimal(index);
    case ListCell::Name:
        return readText(r, kName);
    case ListCell::Forename:
        return dosToAnsi(forenameOf(rawText(r, kName)));
    case ListCell::Surname:
        return dosToAnsi(surnameOf(rawText(r, kName)));
    case ListCell::Address:
        return readText(r, kAddress);
    case ListCell::CityState:
        return readText(r, kPostnr);
    case ListCell::Phone:
        return readText(r, kTlf);
    case ListCell::Birth:
        return readText(r, kBirth);
    case ListCell::Limit:
        return decimal(readNumber(r, kLimit));
    case ListCell::UpDownStat:
        return std::string(kListLabels[readAccess(r)]);
    case ListCell::LoginStat:
        return loginStatText(readCode(r, kStatus));
    case ListCell::LastCall:
        if (const auto d = callDate(readLastcall(r)))
            return dates.format(*d);
        return {};
    }
    return {};
}

void userListSortStyle(const UserListColumns& columns, int col, TSortStyle& style) {
    if (col == 0 && columns.userNumberShown)
        style = ssNumber;
    if (columns.lastCallColumn >= 0 && col == columns.lastCallColumn)
        style = ssDateTime;
}

void buildUserList(SortGrid& grid, const UserListColumns& columns, BlockReader& reader,
                   const BuildProgress& progress) {
    QuietBuild quiet(grid);
    grid.SetColCount(std::max(1, columns.count()));
    for (int c = 0; c < columns.count(); ++c)
        grid.SetCell(c, 0, columns.headers[static_cast<std::size_t>(c)]);
    grid.SetRowCount(reader.count() + 1);
    forEachRecord(reader, [&](int i, const Record& r) {
        tell(progress, i, reader.count());
        for (int c = 0; c < columns.count(); ++c)
            grid.SetCell(c, i + 1,
                         columns.cellText(columns.cells[static_cast<std::size_t>(c)], i, r,
                                          grid.DateFormat));
    });
}

TSortStyle statisticsSortStyle(int col) {
    return col == 1 ? ssText : ssNumber;
}

TAlignment statisticsAlignment(int col) {
    return col == 1 ? taLeftJustify : taRightJustify;
}

void buildStatistics(SortGrid& grid, BlockReader& reader, const BuildProgress& progress) {
    QuietBuild quiet(grid);
    grid.SetColCount(kStatColumns);
    for (int c = 0; c < kStatColumns; ++c)
        grid.SetCell(c, 0, kStatHeaders[static_cast<std::size_t>(c)]);
    grid.SetRowCount(reader.count() + 1);
    forEachRecord(reader, [&](int i, const Record& r) {
        tell(progress, i, reader.count());
        const int row = i + 1;
        auto num = [&](int col, const NumField& f) {
            grid.SetCell(col, row, decimal(static_cast<std::int32_t>(readNumber(r, f))));
        };
        grid.SetCell(0, row, decimal(i));
        grid.SetCell(1, row, readText(r, kName));
        num(2, kLogins);
        num(3, kMsgread);
        num(4, kMsgleft);
        num(5, kUpf);
        num(6, kDownf);
        num(7, kKbup);
        num(8, kKbdown);
    });
}

} // namespace zorv
