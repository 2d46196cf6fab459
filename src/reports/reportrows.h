#pragma once
// What the user list and the statistics window put into their grids: the
// columns, their headers, sort styles and alignments, and one row per record
// of the working copy (or of any user file), read in one pass.

#include "components/sortgrid.h"
#include "settings/steps.h"
#include "userfile/blockreader.h"
#include "userfile/record.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorv {

// The list's own status labels: the file access codes 0-3, then the status
// codes 0-3 at index code + 4. Stored with both ampersands; the grid shows
// the pair as one "&", the clipboard and files carry the stored text.
inline constexpr std::array<std::string_view, 8> kListLabels{
    "None", "Download", "Upload", "Up&&Down", "Active", "Getlost", "Killed", "Kill+Boot"};

// The name split at its first space: the forename keeps that space, the
// surname is the rest (the whole name when there is no space).
std::string_view forenameOf(std::string_view name);
std::string_view surnameOf(std::string_view name);

// The calendar date of a packed date-time; nothing when it is not a valid
// date (a user who never called has 0 there).
std::optional<CivilDate> callDate(std::uint32_t packed);

// "Login stat": the status label, or the code in decimal above 3.
std::string loginStatText(unsigned status);

enum class ListCell {
    UserNumber,
    Name,
    Forename,
    Surname,
    Address,
    CityState,
    Phone,
    Birth,
    Limit,
    UpDownStat,
    LoginStat,
    LastCall
};

// The user list's columns for a set of list options, left to right.
struct UserListColumns {
    explicit UserListColumns(const ListOptions& options);
    std::vector<ListCell> cells;
    std::vector<std::string_view> headers;
    int lastCallColumn = -1; // -1: the Last Call column is not shown
    bool userNumberShown = false;

    int count() const { return static_cast<int>(cells.size()); }
    // The text of one cell of record `index`; Last Call written with `dates`
    // and empty for a lastcall that holds no valid date.
    std::string cellText(ListCell cell, int index, const Record& r, const DatePattern& dates) const;
    void appendCellText(std::string& out, ListCell cell, int index, const Record& r,
                        const DatePattern& dates) const;
};

// `sg2GetFormat`: ssNumber for column 0 while "User Number" is shown,
// ssDateTime for the Last Call column, otherwise the style passed in.
void userListSortStyle(const UserListColumns& columns, int col, TSortStyle& style);

// `BuildList`: header row and one row per record of the pass, in record
// order, written with the grid's DateFormat. The grid gets max(1, columns)
// columns and count() + 1 rows; nothing is cleared first, so with no column
// shown the one column keeps the texts it held. A read error propagates; the
// rows read before it are filled, the others keep what they held.
// `progress`, when set, is told (records done, records in all) now and then.
using BuildProgress = std::function<void(int done, int total)>;
void buildUserList(SortGrid& grid, const UserListColumns& columns, BlockReader& reader,
                   const BuildProgress& progress = {});

// The statistics grid: nine fixed columns.
inline constexpr int kStatColumns = 9;
inline constexpr std::array<std::string_view, kStatColumns> kStatHeaders{
    "User Number", "Name",       "Logins",      "Msg read",     "Msg left",
    "Uploaded",    "Downloaded", "Kb uploaded", "Kb Downloaded"};
// `SG2GetFormat`: column 1 ssText, the others ssNumber.
TSortStyle statisticsSortStyle(int col);
// `SG2GetAlignment`: column 1 left, the others right, whatever the row.
TAlignment statisticsAlignment(int col);

// Fills the statistics grid: header row and one row per record, numbers as
// signed 32-bit decimals. A read error propagates as in buildUserList.
void buildStatistics(SortGrid& grid, BlockReader& reader, const BuildProgress& progress = {});

} // namespace zorv
