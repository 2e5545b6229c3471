// A small strict JSON reader (RFC 8259) for checking the command's output: objects,
// arrays, strings with every escape (surrogate pairs included), integers, null and
// booleans. Throws std::runtime_error on anything malformed.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pelidor::test {

struct JsonValue;
using JsonArray = std::vector<JsonValue>;
using JsonObject = std::map<std::string, JsonValue>;

struct JsonValue {
    std::variant<std::nullptr_t, bool, int64_t, std::string, std::shared_ptr<JsonArray>,
                 std::shared_ptr<JsonObject>>
        v;

    bool isNull() const { return std::holds_alternative<std::nullptr_t>(v); }
    bool isString() const { return std::holds_alternative<std::string>(v); }
    const std::string& str() const { return std::get<std::string>(v); }
    int64_t integer() const { return std::get<int64_t>(v); }
    const JsonArray& array() const { return *std::get<std::shared_ptr<JsonArray>>(v); }
    const JsonObject& object() const { return *std::get<std::shared_ptr<JsonObject>>(v); }
    const JsonValue& at(const std::string& key) const {
        const auto& o = object();
        const auto it = o.find(key);
        if (it == o.end())
            throw std::runtime_error("missing key " + key);
        return it->second;
    }
    bool has(const std::string& key) const { return object().count(key) != 0; }
};

class JsonReader {
public:
    static JsonValue parse(std::string_view text) {
        JsonReader r(text);
        JsonValue v = r.value();
        r.skipSpace();
        if (r.pos_ != text.size())
            r.fail("trailing text");
        return v;
    }

private:
    explicit JsonReader(std::string_view text) : text_(text) {}

    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos_));
    }
    void skipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\n' || text_[pos_] == '\r'))
            ++pos_;
    }
    char peek() {
        skipSpace();
        if (pos_ >= text_.size())
            fail("unexpected end");
        return text_[pos_];
    }
    void expect(char c) {
        if (peek() != c)
            fail(std::string("expected ") + c);
        ++pos_;
    }
    bool literal(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word)
            return false;
        pos_ += word.size();
        return true;
    }

    JsonValue value() {
        const char c = peek();
        if (c == '{')
            return object();
        if (c == '[')
            return array();
        if (c == '"')
            return JsonValue{string()};
        if (literal("null"))
            return JsonValue{nullptr};
        if (literal("true"))
            return JsonValue{true};
        if (literal("false"))
            return JsonValue{false};
        return number();
    }

    JsonValue object() {
        expect('{');
        auto obj = std::make_shared<JsonObject>();
        if (peek() == '}') {
            ++pos_;
            return JsonValue{obj};
        }
        for (;;) {
            if (peek() != '"')
                fail("expected a key");
            std::string key = string();
            expect(':');
            if (obj->count(key) != 0)
                fail("duplicate key " + key);
            (*obj)[key] = value();
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            expect('}');
            return JsonValue{obj};
        }
    }

    JsonValue array() {
        expect('[');
        auto arr = std::make_shared<JsonArray>();
        if (peek() == ']') {
            ++pos_;
            return JsonValue{arr};
        }
        for (;;) {
            arr->push_back(value());
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            expect(']');
            return JsonValue{arr};
        }
    }

    JsonValue number() {
        size_t start = pos_;
        if (pos_ < text_.size() && text_[pos_] == '-')
            ++pos_;
        const size_t digits = pos_;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9')
            ++pos_;
        if (pos_ == digits || (text_[digits] == '0' && pos_ - digits > 1))
            fail("bad number");
        return JsonValue{
            static_cast<int64_t>(std::stoll(std::string(text_.substr(start, pos_ - start))))};
    }

    unsigned hex4() {
        if (pos_ + 4 > text_.size())
            fail("short \\u escape");
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[pos_++];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                v |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                v |= static_cast<unsigned>(c - 'A' + 10);
            else
                fail("bad hex digit");
        }
        return v;
    }

    static void appendUtf8(std::string& out, uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | cp >> 6);
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | cp >> 12);
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | cp >> 18);
            out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    std::string string() {
        expect('"');
        std::string out;
        for (;;) {
            if (pos_ >= text_.size())
                fail("unterminated string");
            const char c = text_[pos_++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                fail("raw control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size())
                fail("unterminated escape");
            const char e = text_[pos_++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                uint32_t cp = hex4();
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    if (!literal("\\u"))
                        fail("lone high surrogate");
                    const unsigned low = hex4();
                    if (low < 0xDC00 || low > 0xDFFF)
                        fail("bad low surrogate");
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    fail("lone low surrogate");
                }
                appendUtf8(out, cp);
                break;
            }
            default:
                fail("bad escape");
            }
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
};

// Decodes standard base64 with padding; throws on malformed input.
inline std::string decodeBase64(std::string_view text) {
    auto valueOf = [](char c) -> int {
        if (c >= 'A' && c <= 'Z')
            return c - 'A';
        if (c >= 'a' && c <= 'z')
            return c - 'a' + 26;
        if (c >= '0' && c <= '9')
            return c - '0' + 52;
        if (c == '+')
            return 62;
        if (c == '/')
            return 63;
        return -1;
    };
    if (text.size() % 4 != 0)
        throw std::runtime_error("base64 length");
    std::string out;
    for (size_t i = 0; i < text.size(); i += 4) {
        int v[4];
        int pad = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i + static_cast<size_t>(k)];
            if (c == '=' && i + 4 == text.size() && k >= 2) {
                v[k] = 0;
                ++pad;
            } else if (pad > 0 || (v[k] = valueOf(c)) < 0) {
                throw std::runtime_error("base64 character");
            }
        }
        const uint32_t n = static_cast<uint32_t>(v[0] << 18 | v[1] << 12 | v[2] << 6 | v[3]);
        out += static_cast<char>(n >> 16 & 0xFF);
        if (pad < 2)
            out += static_cast<char>(n >> 8 & 0xFF);
        if (pad < 1)
            out += static_cast<char>(n & 0xFF);
    }
    return out;
}

} // namespace pelidor::test
