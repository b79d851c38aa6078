#include "platform/window_layout.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(WindowLayout, DialogUnitsFollowTheFontAsTheSystemRoundsThem) {
    // MS Sans Serif 8 at 96 dpi: 52 letters 312 pixels wide, lines of 13.
    const DialogBaseUnits base = BaseUnitsFromExtent(312, 13);
    EXPECT_EQ(base.x, 6);
    EXPECT_EQ(base.y, 13);
    DialogControl control;
    control.x = 7;
    control.y = 7;
    control.width = 240;
    control.height = 9;
    const PixelRect r = ControlPixels(control, base);
    EXPECT_EQ(r.x, 11); // 7 * 6 / 4 = 10.5, rounded up
    EXPECT_EQ(r.y, 11); // 7 * 13 / 8 = 11.375
    EXPECT_EQ(r.width, 360);
    EXPECT_EQ(r.height, 15); // 9 * 13 / 8 = 14.625
    // A font that measures nothing still lays out.
    EXPECT_EQ(BaseUnitsFromExtent(0, 0).x, 1);
}

TEST(WindowLayout, TemplateFacesAreDrawnInInstalledOnes) {
    EXPECT_EQ(ScreenFontFace("MS Sans Serif"), "Liberation Sans");
    EXPECT_EQ(ScreenFontFace("\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0"
                             "\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF"),
              "IPAPGothic");
    EXPECT_EQ(ScreenFontFace("DejaVu Sans"), "DejaVu Sans");
}

TEST(WindowLayout, MessageBoxTypesDecodeIntoButtonsIconAndDefault) {
    // The upgrade confirmations: Yes/No, exclamation, No the default.
    MessageBoxParts parts = DecodeMessageBoxType(0x0004 | 0x0030 | 0x0100);
    EXPECT_EQ(parts.buttons, BoxButtons::YesNo);
    EXPECT_EQ(parts.icon, BoxIcon::Warning);
    EXPECT_EQ(parts.defaultButton, 1);
    parts = DecodeMessageBoxType(0x0010);
    EXPECT_EQ(parts.buttons, BoxButtons::Ok);
    EXPECT_EQ(parts.icon, BoxIcon::Error);
    EXPECT_EQ(parts.defaultButton, 0);
    EXPECT_EQ(DecodeMessageBoxType(0x0040).icon, BoxIcon::Information);
    EXPECT_EQ(DecodeMessageBoxType(0).icon, BoxIcon::None);
    // A second default on a box with one button is its only button.
    EXPECT_EQ(DecodeMessageBoxType(0x0100).defaultButton, 0);
    EXPECT_EQ(DecodeMessageBoxType(0x0003 | 0x0200).defaultButton, 2);
}

TEST(WindowLayout, OpenFileFiltersAndDefaultExtension) {
    const auto filters = ParseFileFilter("MOT File(*.MOT)|*.mot|All Files(*.*)|*.*||");
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0].description, "MOT File(*.MOT)");
    EXPECT_EQ(filters[0].pattern, "*.mot");
    EXPECT_EQ(filters[1].pattern, "*.*");
    EXPECT_TRUE(ParseFileFilter("").empty());
    EXPECT_EQ(ParseFileFilter("odd|").size(), 1u);
    EXPECT_EQ(WithDefaultExtension("/images/MORVI_121", "MOT"), "/images/MORVI_121.MOT");
    EXPECT_EQ(WithDefaultExtension("/images/MORVI_1.21.mot", "MOT"), "/images/MORVI_1.21.mot");
    EXPECT_EQ(WithDefaultExtension("/images.d/MORVI", "MOT"), "/images.d/MORVI.MOT");
    EXPECT_EQ(WithDefaultExtension("/images/MORVI", ""), "/images/MORVI");
}

// Every letter one unit wide, whatever its length in bytes.
int letters(const std::string& text) {
    int n = 0;
    for (unsigned char c : text)
        n += (c & 0xC0) != 0x80;
    return n;
}

TEST(WindowLayout, LongLinesWrapAtBlanksJapaneseAnywhere) {
    EXPECT_EQ(WrapText("one two three four", 9, letters), "one two\nthree\nfour");
    // Line breaks stay; short lines are untouched.
    EXPECT_EQ(WrapText("short\nalso short", 20, letters), "short\nalso short");
    // A word longer than the line is cut where it no longer fits.
    EXPECT_EQ(WrapText("abcdefghij", 4, letters), "abcd\nefgh\nij");
    // Japanese has no blanks: it breaks before any letter.
    EXPECT_EQ(WrapText("\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86\xE3\x81\x88", 3, letters),
              "\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86\n\xE3\x81\x88");
    // No letter is lost or doubled.
    const std::string text = "If you turn off your computer and scanner or disconnect cable";
    std::string joined = WrapText(text, 12, letters);
    for (char& c : joined)
        if (c == '\n')
            c = ' ';
    EXPECT_EQ(joined, text);
}

} // namespace
} // namespace platform
