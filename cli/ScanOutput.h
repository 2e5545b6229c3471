// Output formats of pelidor-scan: plain text, CSV (RFC 4180) and JSON (RFC 8259).
//
// Paths are byte strings as the file system returns them. Text and CSV write them
// unchanged; JSON writes valid UTF-8 only, so a path that is not valid UTF-8 gets its
// invalid bytes replaced by U+FFFD in "path" and its exact bytes in "path_base64".
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "actions/ReferenceFolders.h"
#include "cli/ScanOptions.h"
#include "engine/uSearchHolper.h"

namespace pelidor::cli {

// Reference folders (--reference): null or empty when none were given, and then the
// output carries no reference marks at all.
//
// One group per paragraph, one path per line, groups separated by one blank line; a
// file inside a reference folder has kReferenceMarker before its path.
inline constexpr std::string_view kReferenceMarker = "[ref] ";
void writeText(std::ostream& out, const TDuplicateResult& groups,
               const TReferenceFolders* references = nullptr);
// Header "group,path,size,mtime,ctime" (with references: ",reference", then true or
// false per row), then one row per file; CR LF line ends.
void writeCsv(std::ostream& out, const TDuplicateResult& groups,
              const TReferenceFolders* references = nullptr);
// {"mode": ..., "groups": [{"files": [{"path", ["path_base64",] "size", "mtime",
// "ctime" [, "reference"]}, ...]}, ...]}
void writeJson(std::ostream& out, const TDuplicateResult& groups, ScanMode mode,
               const TReferenceFolders* references = nullptr);

void writeResult(std::ostream& out, const TDuplicateResult& groups, const ScanOptions& options,
                 const TReferenceFolders* references = nullptr);

// "YYYY-MM-DDTHH:MM:SS" of a local date-time value (milliseconds dropped); empty when
// the value is not a valid date-time.
std::string isoDateTime(double value);

// A CSV field, quoted when it holds a comma, a quote, CR or LF (quotes doubled).
std::string csvField(std::string_view text);

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or code points
// above U+10FFFF).
bool isValidUtf8(std::string_view text);

// A JSON string literal with its quotes. Control characters become \u00XX; each byte
// that is not part of a well-formed UTF-8 sequence becomes U+FFFD.
std::string jsonString(std::string_view text);

// Standard base64 (RFC 4648) with padding.
std::string base64Encode(std::string_view bytes);

} // namespace pelidor::cli
