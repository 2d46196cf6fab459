// The clipboard between the grids' cp1252 bytes and the desktop's Unicode.

#include "platform/clipboard.h"
#include "platform/syscolors.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <gtest/gtest.h>

using namespace zorv;

TEST(Clipboard, Cp1252BytesRoundTripThroughUnicode) {
    // ø, €, and a TAB/CR LF block as the grid copies it.
    const std::string text = "BJ\xF8RN\t\x80 5\r\nx";
    setClipboardText(text);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QString::fromUtf8("BJ\xC3\xB8RN\t\xE2\x82\xAC 5\r\nx"));
    EXPECT_EQ(clipboardText(), text);
}

TEST(Clipboard, ForeignTextIsMadeCp1252WithCrLfLineEnds) {
    // Ł has no cp1252 byte; bare LF from other programs becomes CR LF.
    QGuiApplication::clipboard()->setText(QString::fromUtf8("\xC5\x81\xC3\xA6\na\r\nb\n"));
    EXPECT_EQ(clipboardText(), std::string("?\xE6\r\na\r\nb\r\n"));

    auto* data = new QMimeData;
    data->setData(QStringLiteral("application/octet-stream"), QByteArray("x"));
    QGuiApplication::clipboard()->setMimeData(data);
    EXPECT_EQ(clipboardText(), std::nullopt);
}

TEST(SystemColors, HtmlBorderColourIsTheWindowsDefaultHere) {
    EXPECT_EQ(activeBorderHtmlColor(), "B4B4B4");
}
