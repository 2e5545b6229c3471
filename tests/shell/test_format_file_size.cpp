#include "shell/SharedHelpersGui.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <cstdint>
#include <limits>

namespace pelidor {
namespace {

struct SizeCase {
    int64_t size;
    const char* text;
};

void expectTable(const QLocale& locale, std::initializer_list<SizeCase> cases) {
    for (const auto& c : cases)
        EXPECT_EQ(FormatFileSize(c.size, locale).toStdString(), c.text) << "size " << c.size;
}

TEST(FormatFileSize, UnitsAndBoundariesWithCommaAndPoint) {
    expectTable(QLocale(QLocale::English, QLocale::UnitedStates),
                {
                    {0, "0 Bytes"},
                    {1, "1 Bytes"},
                    {1023, "1,023 Bytes"},
                    {1024, "1.0 KB"},
                    {1536, "1.5 KB"},
                    {1048575, "1,024.0 KB"},
                    {1048576, "1.0 MB"},
                    {1073741823, "1,024.0 MB"},
                    {1073741824, "1.0 GB"},
                    {1610612736, "1.5 GB"},
                    {1099511627775, "1,024.0 GB"},
                    {int64_t{1024} * 1073741824, "1.0 TB"},
                    {std::numeric_limits<int64_t>::max(), "8,388,608.0 TB"},
                    // Negative sizes are all "Bytes".
                    {-1, "-1 Bytes"},
                    {-5000000, "-5,000,000 Bytes"},
                    {std::numeric_limits<int64_t>::min(), "-9,223,372,036,854,775,808 Bytes"},
                });
}

TEST(FormatFileSize, TenthsRoundHalfAwayFromZero) {
    expectTable(QLocale(QLocale::English, QLocale::UnitedStates),
                {
                    {1280, "1.3 KB"},       // 1.25 exactly
                    {1177, "1.1 KB"},       // 1.1494...
                    {1178, "1.2 KB"},       // 1.1504...
                    {3407872, "3.3 MB"},    // 3.25 exactly
                    {2684354560, "2.5 GB"}, // 2.5 exactly
                    {1048524, "1,023.9 KB"},
                    {1048525, "1,024.0 KB"}, // 1023.9502...
                });
}

TEST(FormatFileSize, GermanSeparators) {
    expectTable(QLocale(QLocale::German, QLocale::Germany), {
                                                                {1023, "1.023 Bytes"},
                                                                {1536, "1,5 KB"},
                                                                {1048575, "1.024,0 KB"},
                                                                {-1500, "-1.500 Bytes"},
                                                            });
}

TEST(FormatFileSize, CLocaleHasNoThousandsSeparator) {
    expectTable(QLocale::c(), {{1023, "1023 Bytes"}, {1048575, "1024.0 KB"}});
}

TEST(FormatFileSize, DefaultIsTheSystemLocale) {
    EXPECT_EQ(FormatFileSize(1048575), FormatFileSize(1048575, QLocale::system()));
}

} // namespace
} // namespace pelidor
