#include "cli/ScanOutput.h"

#include <cstdio>

#include "platform/DateTime.h"

namespace pelidor::cli {
namespace {

// Length of the well-formed UTF-8 sequence that starts at text[pos], or 0.
size_t utf8SequenceLength(std::string_view text, size_t pos) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(pos);
    if (b0 < 0x80)
        return 1;
    size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF; // range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0)
            lo = 0xA0; // no overlong forms
        else if (b0 == 0xED)
            hi = 0x9F; // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0)
            lo = 0x90; // no overlong forms
        else if (b0 == 0xF4)
            hi = 0x8F; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (pos + len > text.size())
        return 0;
    if (byte(pos + 1) < lo || byte(pos + 1) > hi)
        return 0;
    for (size_t i = 2; i < len; ++i)
        if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF)
            return 0;
    return len;
}

const char* groupSeparator(bool first) {
    return first ? "" : "\n";
}

bool marking(const TReferenceFolders* references) {
    return references != nullptr && !references->empty();
}

} // namespace

void writeText(std::ostream& out, const TDuplicateResult& groups,
               const TReferenceFolders* references) {
    const bool mark = marking(references);
    bool first = true;
    for (const auto& group : groups) {
        out << groupSeparator(first);
        first = false;
        for (const auto& file : group) {
            if (mark && references->Contains(file->FileName))
                out << kReferenceMarker;
            out << file->FileName << '\n';
        }
    }
}

void writeCsv(std::ostream& out, const TDuplicateResult& groups,
              const TReferenceFolders* references) {
    const bool mark = marking(references);
    out << (mark ? "group,path,size,mtime,ctime,reference\r\n" : "group,path,size,mtime,ctime\r\n");
    size_t number = 0;
    for (const auto& group : groups) {
        ++number;
        for (const auto& file : group) {
            out << number << ',' << csvField(file->FileName) << ',' << file->FileSize << ','
                << isoDateTime(file->LastTime) << ',' << isoDateTime(file->CreateTime);
            if (mark)
                out << (references->Contains(file->FileName) ? ",true" : ",false");
            out << "\r\n";
        }
    }
}

void writeJson(std::ostream& out, const TDuplicateResult& groups, ScanMode mode,
               const TReferenceFolders* references) {
    const bool mark = marking(references);
    const auto time = [](double value) {
        const std::string text = isoDateTime(value);
        return text.empty() ? std::string("null") : '"' + text + '"';
    };
    out << "{\n  \"mode\": " << jsonString(modeName(mode)) << ",\n  \"groups\": [";
    bool firstGroup = true;
    for (const auto& group : groups) {
        out << (firstGroup ? "\n" : ",\n") << "    {\"files\": [";
        firstGroup = false;
        bool firstFile = true;
        for (const auto& file : group) {
            out << (firstFile ? "\n" : ",\n") << "      {\"path\": " << jsonString(file->FileName);
            firstFile = false;
            if (!isValidUtf8(file->FileName))
                out << ", \"path_base64\": \"" << base64Encode(file->FileName) << '"';
            out << ", \"size\": " << file->FileSize << ", \"mtime\": " << time(file->LastTime)
                << ", \"ctime\": " << time(file->CreateTime);
            if (mark)
                out << ", \"reference\": "
                    << (references->Contains(file->FileName) ? "true" : "false");
            out << '}';
        }
        out << "\n    ]}";
    }
    out << (firstGroup ? "]\n}\n" : "\n  ]\n}\n");
}

void writeResult(std::ostream& out, const TDuplicateResult& groups, const ScanOptions& options,
                 const TReferenceFolders* references) {
    switch (options.format) {
    case OutputFormat::Text:
        writeText(out, groups, references);
        break;
    case OutputFormat::Csv:
        writeCsv(out, groups, references);
        break;
    case OutputFormat::Json:
        writeJson(out, groups, options.mode, references);
        break;
    }
}

std::string isoDateTime(double value) {
    platform::DateTimeFields f;
    if (!platform::decodeDateTime(value, f))
        return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", f.year, f.month, f.day, f.hour,
                  f.minute, f.second);
    return buf;
}

std::string csvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

bool isValidUtf8(std::string_view text) {
    for (size_t pos = 0; pos < text.size();) {
        const size_t len = utf8SequenceLength(text, pos);
        if (len == 0)
            return false;
        pos += len;
    }
    return true;
}

std::string jsonString(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (size_t pos = 0; pos < text.size();) {
        const size_t len = utf8SequenceLength(text, pos);
        if (len == 0) {
            out += "\xEF\xBF\xBD"; // U+FFFD for one stray byte
            ++pos;
            continue;
        }
        const auto c = static_cast<unsigned char>(text[pos]);
        if (len == 1 && (c < 0x20 || c == 0x7F)) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else {
            out.append(text.substr(pos, len));
        }
        pos += len;
    }
    out += '"';
    return out;
}

std::string base64Encode(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    const auto at = [&](size_t k) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[k]));
    };
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += kAlphabet[v >> 6 & 63];
        out += kAlphabet[v & 63];
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        const uint32_t v = at(i) << 16 | (rest == 2 ? at(i + 1) << 8 : 0);
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += rest == 2 ? kAlphabet[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

} // namespace pelidor::cli
