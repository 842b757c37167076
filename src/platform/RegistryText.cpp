#include "platform/RegistryText.h"

#include <optional>
#include <vector>

#include "ZynTaskSchedulerLib/Registry.h"
#include "platform/WideText.h"

namespace {

constexpr std::size_t kHexBytesPerLine = 24;
constexpr std::string_view kExpandPrefix = "expand:";
constexpr std::string_view kDwordPrefix = "dword:";
constexpr std::string_view kHexPrefix = "hex";
constexpr char kHexDigits[] = "0123456789abcdef";

bool IsControl(wchar_t c) {
    return c < 0x20 || c == 0x7F;
}

bool IsUnicodeCharacter(wchar_t c) {
    const auto code = static_cast<std::uint32_t>(c);
    return code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
}

// ---- writing ----

std::string Quote(std::wstring_view text) {
    const std::string utf8 = WideToUtf8(text);
    std::string quoted;
    quoted.reserve(utf8.size() + 2);
    quoted += '"';
    std::size_t start = 0;
    for (std::size_t special = utf8.find_first_of("\\\""); special != std::string::npos;
         special = utf8.find_first_of("\\\"", special + 1)) {
        quoted.append(utf8, start, special - start).append(1, '\\');
        start = special;
    }
    quoted.append(utf8, start).append(1, '"');
    return quoted;
}

// The text of string bytes that survive the quoted form unchanged.
std::optional<std::wstring> CleanText(const std::string& data) {
    if (data.size() < 2 || data.size() % 2 != 0 || data[data.size() - 1] != 0 ||
        data[data.size() - 2] != 0) {
        return std::nullopt;
    }
    std::optional<std::wstring> text =
        Utf16LeToWide(std::string_view(data).substr(0, data.size() - 2));
    if (!text) {
        return std::nullopt;
    }
    for (wchar_t c : *text) {
        if (IsControl(c)) {
            return std::nullopt;
        }
    }
    return text;
}

// Lower-case hexadecimal without leading zeros, or with at least `width` digits.
std::string HexText(DWORD number, std::size_t width = 1) {
    char digits[8];
    std::size_t count = 0;
    do {
        digits[7 - count++] = kHexDigits[number & 0xF];
        number >>= 4;
    } while (number != 0 || count < width);
    return std::string(digits + 8 - count, count);
}

std::string HexData(const RegistryValue& value) {
    std::string text = value.type == REG_BINARY ? "hex:" : "hex(" + HexText(value.type) + "):";
    for (std::size_t i = 0; i < value.data.size(); ++i) {
        if (i > 0) {
            text += i % kHexBytesPerLine == 0 ? ",\\\n  " : ",";
        }
        text += HexText(static_cast<unsigned char>(value.data[i]), 2);
    }
    return text;
}

std::string DwordData(const std::string& data) {
    DWORD number = 0;
    for (int i = 3; i >= 0; --i) {
        number = (number << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
    }
    return std::string(kDwordPrefix) + HexText(number, 8);
}

std::string ValueData(const RegistryValue& value) {
    if (value.type == REG_DWORD && value.data.size() == 4) {
        return DwordData(value.data);
    }
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
        if (const auto text = CleanText(value.data)) {
            return (value.type == REG_EXPAND_SZ ? std::string(kExpandPrefix) : "") + Quote(*text);
        }
    }
    return HexData(value);
}

void WriteKey(const CRegistryTree& key, const std::wstring& path, std::string& out) {
    if (!path.empty()) {
        out += "\n[" + WideToUtf8(path) + "]\n";
        for (const RegistryValue* value : key.Values()) {
            out += (value->name.empty() ? std::string("@") : Quote(value->name)) + "=" +
                   ValueData(*value) + "\n";
        }
    }
    for (const CRegistryTree* subkey : key.Subkeys()) {
        WriteKey(*subkey, path.empty() ? subkey->Name() : path + L"\\" + subkey->Name(), out);
    }
}

// ---- reading ----

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<DWORD> HexNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 8) {
        return std::nullopt;
    }
    DWORD number = 0;
    for (char c : digits) {
        const int digit = HexValue(c);
        if (digit < 0) {
            return std::nullopt;
        }
        number = (number << 4) | static_cast<DWORD>(digit);
    }
    return number;
}

// Reads a quoted string at the start of `text` and moves past it.
std::optional<std::wstring> TakeQuoted(std::string_view& text) {
    if (text.empty() || text.front() != '"') {
        return std::nullopt;
    }
    std::string bytes;
    for (std::size_t pos = 1; pos < text.size();) {
        const std::size_t special = text.find_first_of("\\\"", pos);
        if (special == std::string_view::npos) {
            break;
        }
        bytes.append(text.substr(pos, special - pos));
        if (text[special] == '"') {
            text.remove_prefix(special + 1);
            return Utf8ToWide(bytes);
        }
        const char escaped = special + 1 < text.size() ? text[special + 1] : '\0';
        if (escaped != '\\' && escaped != '"') {
            return std::nullopt;
        }
        bytes += escaped;
        pos = special + 2;
    }
    return std::nullopt;
}

std::optional<std::string> HexBytes(std::string_view list) {
    std::string bytes;
    while (!list.empty()) {
        if (list.size() < 2 || HexValue(list[0]) < 0 || HexValue(list[1]) < 0) {
            return std::nullopt;
        }
        bytes += static_cast<char>(HexValue(list[0]) * 16 + HexValue(list[1]));
        list.remove_prefix(2);
        if (!list.empty() && (list.front() != ',' || list.size() == 1)) {
            return std::nullopt;
        }
        if (!list.empty()) {
            list.remove_prefix(1);
        }
    }
    return bytes;
}

std::optional<RegistryValue> HexValueData(std::string_view data) {
    RegistryValue value;
    data.remove_prefix(kHexPrefix.size());
    if (data.starts_with(':')) {
        value.type = REG_BINARY;
    } else {
        const std::size_t close = data.find("):");
        if (!data.starts_with('(') || close == std::string_view::npos) {
            return std::nullopt;
        }
        const auto type = HexNumber(data.substr(1, close - 1));
        if (!type) {
            return std::nullopt;
        }
        value.type = *type;
        data.remove_prefix(close + 1);
    }
    data.remove_prefix(1);  // the colon
    auto bytes = HexBytes(data);
    if (!bytes) {
        return std::nullopt;
    }
    value.data = std::move(*bytes);
    return value;
}

std::optional<RegistryValue> StringValueData(std::string_view data, DWORD type) {
    auto text = TakeQuoted(data);
    if (!text || !data.empty()) {
        return std::nullopt;
    }
    std::vector<BYTE> bytes = RegStringData(*text);
    return RegistryValue{{}, type, std::string(bytes.begin(), bytes.end())};
}

std::optional<RegistryValue> ParseValueData(std::string_view data) {
    if (data.starts_with('"')) {
        return StringValueData(data, REG_SZ);
    }
    if (data.starts_with(kExpandPrefix)) {
        return StringValueData(data.substr(kExpandPrefix.size()), REG_EXPAND_SZ);
    }
    if (data.starts_with(kDwordPrefix)) {
        const std::string_view digits = data.substr(kDwordPrefix.size());
        const auto number = digits.size() == 8 ? HexNumber(digits) : std::nullopt;
        if (!number) {
            return std::nullopt;
        }
        std::string bytes(4, '\0');
        for (std::size_t i = 0; i < 4; ++i) {
            bytes[i] = static_cast<char>((*number >> (8 * i)) & 0xFF);
        }
        return RegistryValue{{}, REG_DWORD, std::move(bytes)};
    }
    if (data.starts_with(kHexPrefix)) {
        return HexValueData(data);
    }
    return std::nullopt;
}

bool ReadValueLine(std::string_view line, CRegistryTree& key) {
    std::wstring name;
    if (line.starts_with('@')) {
        line.remove_prefix(1);
    } else {
        auto quoted = TakeQuoted(line);
        if (!quoted || quoted->empty() || !IsStorableName(*quoted, false)) {
            return false;
        }
        name = std::move(*quoted);
    }
    if (!line.starts_with('=')) {
        return false;
    }
    auto value = ParseValueData(line.substr(1));
    if (!value) {
        return false;
    }
    key.SetValue(name, value->type, std::move(value->data));
    return true;
}

std::optional<std::vector<std::wstring>> SectionPath(std::string_view line) {
    const auto path = Utf8ToWide(line.substr(1, line.size() - 2));
    if (!path || path->empty()) {
        return std::nullopt;
    }
    std::vector<std::wstring> names;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path->find(L'\\', start);
        names.push_back(path->substr(start, end - start));
        if (!IsStorableName(names.back(), true) || names.back().empty()) {
            return std::nullopt;
        }
        if (end == std::wstring::npos) {
            return names;
        }
        start = end + 1;
    }
}

std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// Splits the text into logical lines: a line ending in a backslash goes on in the next one.
std::vector<std::string> LogicalLines(std::string_view text) {
    std::vector<std::string> lines;
    bool continued = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = TrimSpaces(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const bool comment = !continued && line.starts_with(';');
        if (comment || (line.empty() && !continued)) {
            continue;
        }
        if (!continued) {
            lines.emplace_back();
        }
        continued = line.ends_with('\\');
        lines.back() += continued ? line.substr(0, line.size() - 1) : line;
    }
    return lines;
}

}  // namespace

bool IsStorableName(std::wstring_view name, bool isKeyName) {
    for (wchar_t c : name) {
        if (IsControl(c) || !IsUnicodeCharacter(c) || (isKeyName && c == L'\\')) {
            return false;
        }
    }
    return true;
}

std::string WriteRegistryText(const CRegistryTree& root, std::wstring_view treeName) {
    std::string text = "; " + WideToUtf8(treeName) + ": settings of the zyntask registry\n";
    WriteKey(root, L"", text);
    return text;
}

bool ReadRegistryText(std::string_view text, CRegistryTree& root) {
    CRegistryTree* key = nullptr;
    for (const std::string& line : LogicalLines(text)) {
        if (line.starts_with('[') && line.ends_with(']')) {
            const auto path = SectionPath(line);
            if (!path) {
                return false;
            }
            bool created = false;
            key = &root.Create(*path, created);
        } else if (key == nullptr || !ReadValueLine(line, *key)) {
            return false;
        }
    }
    return true;
}
