// Backup archive names: ParseBackupArchiveName on a name and a decimal separator from the
// input (split at the first NUL byte; "." when there is none), and the round trip
// BackupArchiveName -> ParseBackupArchiveName for a date-time made of the input's first
// eight bytes, with the separators locales use.
//
// Properties:
// - a name that parses starts with "Qdx", ends with ".bak" and gives a finite value that
//   is a date; written again and read back it gives the same value to 8 decimals;
// - every date-time whose 8-decimal text is a date gives a name that parses back to
//   exactly that text's value, in a folder given with or without a trailing "/".
#include "backup/BackupArchive.h"
#include "platform/DateTime.h"
#include "tests/fuzz/FuzzSupport.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

using pelidor::backup::BackupArchiveName;
using pelidor::backup::ParseBackupArchiveName;

namespace {

const char* const kSeparators[] = {".", ",", "\xD9\xAB"}; // U+066B arabic decimal separator

// The value the 8-decimal text of `now` stands for; false when that text is no date.
bool roundedValue(double now, double& out) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, now, std::chars_format::fixed, 8);
    if (r.ec != std::errc())
        return false;
    if (std::from_chars(buffer, r.ptr, out).ec != std::errc())
        return false;
    pelidor::platform::DateTimeFields fields;
    return pelidor::platform::decodeDateTime(out, fields);
}

void roundTrip(double now) {
    double expected = 0;
    if (!roundedValue(now, expected))
        return;
    for (const char* sep : kSeparators) {
        const std::string path = BackupArchiveName("/backups", now, sep);
        FUZZ_CHECK(path == BackupArchiveName("/backups/", now, sep));
        FUZZ_CHECK(path.rfind("/backups/Qdx", 0) == 0);
        double back = -1;
        FUZZ_CHECK(ParseBackupArchiveName(path.substr(9), sep, back));
        FUZZ_CHECK(back == expected);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input = pelidor::fuzz::asText(data, size);
    const auto parts = pelidor::fuzz::splitParts(input, '\0', 2);
    const std::string& name = parts[0];
    const std::string sep = parts.size() > 1 ? parts[1] : std::string(".");

    double value = 0;
    if (ParseBackupArchiveName(name, sep, value)) {
        FUZZ_CHECK(name.size() > 7 && name.rfind("Qdx", 0) == 0);
        FUZZ_CHECK(name.compare(name.size() - 4, 4, ".bak") == 0);
        FUZZ_CHECK(std::isfinite(value));
        pelidor::platform::DateTimeFields fields;
        FUZZ_CHECK(pelidor::platform::decodeDateTime(value, fields));
        roundTrip(value);
    }

    if (size >= 8) {
        double now = 0;
        std::memcpy(&now, data, sizeof now);
        if (std::isfinite(now))
            roundTrip(now);
    }
    return 0;
}
