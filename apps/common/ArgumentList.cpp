#include "common/ArgumentList.h"

#include <charconv>
#include <filesystem>

#include "common/AppFailure.h"
#include "platform/WideText.h"

namespace {

bool IsOption(const std::string& word) {
    return word.size() > 2 && word.starts_with("--");
}

std::wstring Wide(std::string_view text) {
    return Utf8ToWideLossy(text);
}

}  // namespace

void ThrowUsage(const std::wstring& message) {
    throw AppFailure{message, kUsageExitStatus};
}

ArgumentList::ArgumentList(int argc, char** argv, int first) {
    for (int index = first; index < argc; ++index) {
        m_words.emplace_back(argv[index]);
    }
}

std::optional<std::wstring> ArgumentList::TakeOption(std::string_view name) {
    const std::string withValue = "--" + std::string(name) + "=";
    for (auto word = m_words.begin(); word != m_words.end(); ++word) {
        if (word->starts_with(withValue)) {
            std::wstring value = Wide(std::string_view(*word).substr(withValue.size()));
            m_words.erase(word);
            return value;
        }
        if (*word == withValue.substr(0, withValue.size() - 1)) {
            if (word + 1 == m_words.end()) {
                ThrowUsage(L"option --" + Wide(name) + L" needs a value");
            }
            std::wstring value = Wide(*(word + 1));
            m_words.erase(word, word + 2);
            return value;
        }
    }
    return std::nullopt;
}

std::optional<std::wstring> ArgumentList::TakeFolder(std::string_view name) {
    const std::optional<std::wstring> text = TakeOption(name);
    if (!text) {
        return std::nullopt;
    }
    if (text->empty()) {
        ThrowUsage(L"--" + Wide(name) + L" needs a folder");
    }
    std::string folder = std::filesystem::absolute(WideToUtf8(*text)).lexically_normal().string();
    while (folder.size() > 1 && folder.ends_with('/')) {
        folder.pop_back();
    }
    return Wide(folder);
}

std::optional<DWORD> ArgumentList::TakeNumber(std::string_view name, DWORD minimum, DWORD maximum) {
    const std::optional<std::wstring> text = TakeOption(name);
    if (!text) {
        return std::nullopt;
    }
    const std::string digits = WideToUtf8(*text);
    DWORD value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        value < minimum || value > maximum) {
        ThrowUsage(FormatText(128 + text->size(),
                              L"--%ls needs a number from %u to %u, not \"%ls\"",
                              Wide(name).c_str(), minimum, maximum, text->c_str()));
    }
    return value;
}

std::optional<bool> ArgumentList::TakeSwitch(std::string_view name) {
    const std::optional<std::wstring> text = TakeOption(name);
    if (!text) {
        return std::nullopt;
    }
    if (*text != L"on" && *text != L"off") {
        ThrowUsage(L"--" + Wide(name) + L" takes on or off, not \"" + *text + L"\"");
    }
    return *text == L"on";
}

bool ArgumentList::TakeFlag(std::string_view name) {
    const std::string flag = "--" + std::string(name);
    for (auto word = m_words.begin(); word != m_words.end(); ++word) {
        if (*word == flag) {
            m_words.erase(word);
            return true;
        }
    }
    return false;
}

std::optional<std::wstring> ArgumentList::TakePositional() {
    for (auto word = m_words.begin(); word != m_words.end(); ++word) {
        if (!IsOption(*word)) {
            std::wstring value = Wide(*word);
            m_words.erase(word);
            return value;
        }
    }
    return std::nullopt;
}

std::wstring ArgumentList::RequirePositional(std::string_view what) {
    std::optional<std::wstring> word = TakePositional();
    if (!word) {
        ThrowUsage(L"missing " + Wide(what));
    }
    return *word;
}

void ArgumentList::ExpectEnd() const {
    if (!m_words.empty()) {
        ThrowUsage(IsOption(m_words.front()) ? L"unknown option " + Wide(m_words.front())
                                             : L"unexpected argument " + Wide(m_words.front()));
    }
}
