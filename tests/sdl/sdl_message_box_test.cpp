// The text SDL's message box is given: the tab runs that line up the start-up messages' values
// become spaces, and the values stand in one column.
#include <gtest/gtest.h>

#include <sstream>

#include "runtime/platform/sdl/sdl_service.h"

namespace {
// The configuration message as the game builds it (labels with two or three tabs each).
const char* const kConfiguration =
    "Tarnwood wird mit folgender Konfiguration ausgef\xC3\xBChrt:\n\n"
    "Aufl\xC3\xB6sung:\t\t1024x768\nFarbtiefe:\t\t\t32\nBildwiederholung:\t\t75\nVertikal-Blank-Sync:\t\t1";

TEST(SdlMessageBox, TabRunsBecomeSpacesUpToOneValueColumn) {
    std::string text = sdl_box_text(kConfiguration);
    EXPECT_EQ(text.find('\t'), std::string::npos);
    std::istringstream lines(text);
    std::string line;
    std::vector<std::pair<std::string, size_t>> values;  // value, column in characters
    while (std::getline(lines, line)) {
        size_t gap = line.find(":  ");
        if (gap == std::string::npos) continue;
        size_t start = line.find_first_not_of(' ', gap + 1);
        size_t column = 0;
        for (size_t i = 0; i < start; i++) column += (static_cast<unsigned char>(line[i]) & 0xC0) != 0x80;
        values.emplace_back(line.substr(start), column);
    }
    const std::vector<std::pair<std::string, size_t>> expected = {
        {"1024x768", 22}, {"32", 22}, {"75", 22}, {"1", 22}};
    EXPECT_EQ(values, expected);
    EXPECT_EQ(sdl_box_text("no tabs\nhere"), "no tabs\nhere");
}
}  // namespace
