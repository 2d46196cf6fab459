#include "reports/reportrows.h"

#include "userfile/codepage.h"

#include <charconv>

namespace zorv {

namespace {

template <class T> std::string decimal(T value) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

template <class T> void appendDecimal(std::string& out, T value) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
}

// dosToAnsi as a byte table, so a million names cost no allocations.
void appendAnsi(std::string& out, std::string_view cp865) {
    static const auto table = [] {
        std::array<char, 256> t{};
        for (int b = 0; b < 256; ++b)
            t[static_cast<std::size_t>(b)] = dosToAnsi(std::string(1, static_cast<char>(b)))[0];
        return t;
    }();
    for (const char ch : cp865)
        out += table[static_cast<unsigned char>(ch)];
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

// Row by row over the old rows: each new row is written after the one made
// before it (in memory too, whatever order the old rows lay in), and rows a
// build that fails did not reach stay as they were. A view hears of the
// change once, at the end.
template <class Fill> void quietBuild(SortGrid& grid, int records, Fill&& fill) {
    auto told = std::move(grid.OnChanged);
    grid.OnChanged = nullptr;
    const int scratch = records + 1;
    auto done = [&] {
        grid.SetRowCount(scratch);
        grid.OnChanged = std::move(told);
        if (grid.OnChanged)
            grid.OnChanged();
    };
    try {
        grid.SetRowCount(scratch);
        fill();
    } catch (...) {
        done();
        throw;
    }
    done();
}

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
    std::string out;
    appendCellText(out, cell, index, r, dates);
    return out;
}

void UserListColumns::appendCellText(std::string& out, ListCell cell, int index, const Record& r,
                                     const DatePattern& dates) const {
    switch (cell) {
    case ListCell::UserNumber:
        return appendDecimal(out, index);
    case ListCell::Name:
        return appendAnsi(out, rawText(r, kName));
    case ListCell::Forename:
        return appendAnsi(out, forenameOf(rawText(r, kName)));
    case ListCell::Surname:
        return appendAnsi(out, surnameOf(rawText(r, kName)));
    case ListCell::Address:
        return appendAnsi(out, rawText(r, kAddress));
    case ListCell::CityState:
        return appendAnsi(out, rawText(r, kPostnr));
    case ListCell::Phone:
        return appendAnsi(out, rawText(r, kTlf));
    case ListCell::Birth:
        return appendAnsi(out, rawText(r, kBirth));
    case ListCell::Limit:
        return appendDecimal(out, readNumber(r, kLimit));
    case ListCell::UpDownStat:
        out += kListLabels[readAccess(r)];
        return;
    case ListCell::LoginStat:
        out += loginStatText(readCode(r, kStatus));
        return;
    case ListCell::LastCall:
        if (const auto d = callDate(readLastcall(r)))
            out += dates.format(*d);
        return;
    }
}

void userListSortStyle(const UserListColumns& columns, int col, TSortStyle& style) {
    if (col == 0 && columns.userNumberShown)
        style = ssNumber;
    if (columns.lastCallColumn >= 0 && col == columns.lastCallColumn)
        style = ssDateTime;
}

void buildUserList(SortGrid& grid, const UserListColumns& columns, BlockReader& reader,
                   const BuildProgress& progress) {
    quietBuild(grid, reader.count(), [&] { // rows are set whole: no scratch row
        grid.SetColCount(std::max(1, columns.count()));
        for (int c = 0; c < columns.count(); ++c)
            grid.SetCell(c, 0, columns.headers[static_cast<std::size_t>(c)]);
        std::vector<std::string> texts(static_cast<std::size_t>(columns.count()));
        forEachRecord(reader, [&](int i, const Record& r) {
            tell(progress, i, reader.count());
            if (columns.count() == 0)
                return; // read all the same: a bad file is reported as ever
            for (int c = 0; c < columns.count(); ++c) {
                std::string& text = texts[static_cast<std::size_t>(c)];
                text.clear();
                columns.appendCellText(text, columns.cells[static_cast<std::size_t>(c)], i, r,
                                       grid.DateFormat);
            }
            grid.SetRowCells(i + 1, texts);
        });
    });
}

TSortStyle statisticsSortStyle(int col) {
    return col == 1 ? ssText : ssNumber;
}

TAlignment statisticsAlignment(int col) {
    return col == 1 ? taLeftJustify : taRightJustify;
}

void buildStatistics(SortGrid& grid, BlockReader& reader, const BuildProgress& progress) {
    quietBuild(grid, reader.count(), [&] { // rows are set whole: no scratch row
        grid.SetColCount(kStatColumns);
        for (int c = 0; c < kStatColumns; ++c)
            grid.SetCell(c, 0, kStatHeaders[static_cast<std::size_t>(c)]);
        std::vector<std::string> texts(kStatColumns);
        forEachRecord(reader, [&](int i, const Record& r) {
            tell(progress, i, reader.count());
            auto put = [&](int col, auto value) {
                std::string& text = texts[static_cast<std::size_t>(col)];
                text.clear();
                appendDecimal(text, value);
            };
            auto num = [&](int col, const NumField& f) {
                put(col, static_cast<std::int32_t>(readNumber(r, f)));
            };
            put(0, i);
            texts[1].clear();
            appendAnsi(texts[1], rawText(r, kName));
            num(2, kLogins);
            num(3, kMsgread);
            num(4, kMsgleft);
            num(5, kUpf);
            num(6, kDownf);
            num(7, kKbup);
            num(8, kKbdown);
            grid.SetRowCells(i + 1, texts);
        });
    });
}

} // namespace zorv
