#include "reports/exportform.h"

#include <gtest/gtest.h>

using namespace zorv;

// Types in the save dialog's order: 1 tabbed, 2 CSV, 3 HTML, 4 all files.
TEST(ExportForm, ATypedExtensionNamesTheFormWhateverTheType) {
    for (int type = 1; type <= kExportTypes; ++type) {
        EXPECT_EQ(exportForm("list2.csv", type), ExportForm::Csv) << type;
        EXPECT_EQ(exportForm("/a/b/List.CSV", type), ExportForm::Csv) << type;
        EXPECT_EQ(exportForm("list.txt", type), ExportForm::Tabbed) << type;
        EXPECT_EQ(exportForm("list.TSV", type), ExportForm::Tabbed) << type;
        EXPECT_EQ(exportForm("list.htm", type), ExportForm::Html) << type;
        EXPECT_EQ(exportForm("list.Html", type), ExportForm::Html) << type;
    }
    // Another extension, or none, leaves it to the type; "All files" is tabbed.
    EXPECT_EQ(exportForm("list.dat", 1), ExportForm::Tabbed);
    EXPECT_EQ(exportForm("list.dat", 2), ExportForm::Csv);
    EXPECT_EQ(exportForm("list.dat", 3), ExportForm::Html);
    EXPECT_EQ(exportForm("list.dat", 4), ExportForm::Tabbed);
    EXPECT_EQ(exportForm("list", 2), ExportForm::Csv);
    EXPECT_EQ(exportForm("list", 4), ExportForm::Tabbed);
    EXPECT_EQ(exportForm("list.csv.bak", 3), ExportForm::Html);
    // A dot in a folder's name is no extension of the file.
    EXPECT_EQ(exportForm("/tmp/x.csv/list", 3), ExportForm::Html);
    EXPECT_EQ(exportForm("C:\\x.csv\\list", 1), ExportForm::Tabbed);
    EXPECT_FALSE(formOfName("csv"));
    EXPECT_FALSE(formOfName("list.csvx"));
}

TEST(ExportForm, OnlyANameWithoutExtensionGetsTheTypes) {
    EXPECT_EQ(withTypeExtension("/tmp/list", 1), "/tmp/list.txt");
    EXPECT_EQ(withTypeExtension("/tmp/list", 2), "/tmp/list.csv");
    EXPECT_EQ(withTypeExtension("/tmp/list", 3), "/tmp/list.html");
    EXPECT_EQ(withTypeExtension("/tmp/list", 4), "/tmp/list") << "All files adds none";
    EXPECT_EQ(withTypeExtension("/tmp/list.dat", 2), "/tmp/list.dat");
    EXPECT_EQ(withTypeExtension("/tmp/list.", 2), "/tmp/list.");
    EXPECT_EQ(withTypeExtension("/tmp/x.y/list", 2), "/tmp/x.y/list.csv");
    EXPECT_EQ(withTypeExtension("", 2), "");
    EXPECT_EQ(withTypeExtension("/tmp/", 2), "/tmp/") << "a folder is not a name";
    EXPECT_EQ(withTypeExtension("list", 0), "list");
    EXPECT_EQ(withTypeExtension("list", 5), "list");
}
