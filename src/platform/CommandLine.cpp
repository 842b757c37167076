#include "platform/CommandLine.h"

namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}

bool EscapableInDoubleQuotes(wchar_t c) {
    return c == L'"' || c == L'\\' || c == L'$' || c == L'`' || c == L'\n';
}

class Splitter {
public:
    explicit Splitter(std::wstring_view text) : m_text(text) {}

    std::optional<std::vector<std::wstring>> Run() {
        while (m_pos < m_text.size()) {
            const wchar_t c = m_text[m_pos++];
            const bool ok = IsBlank(c)   ? (EndWord(), true)
                            : c == L'\'' ? SingleQuoted()
                            : c == L'"'  ? DoubleQuoted()
                            : c == L'\\' ? Escaped()
                                         : (Append(c), true);
            if (!ok) {
                return std::nullopt;
            }
        }
        EndWord();
        return std::move(m_words);
    }

private:
    void Append(wchar_t c) {
        m_word += c;
        m_inWord = true;
    }

    void EndWord() {
        if (m_inWord) {
            m_words.push_back(std::move(m_word));
            m_word.clear();
            m_inWord = false;
        }
    }

    bool SingleQuoted() {
        m_inWord = true;
        const auto close = m_text.find(L'\'', m_pos);
        if (close == std::wstring_view::npos) {
            return false;
        }
        m_word.append(m_text.substr(m_pos, close - m_pos));
        m_pos = close + 1;
        return true;
    }

    bool DoubleQuoted() {
        m_inWord = true;
        while (m_pos < m_text.size()) {
            const wchar_t c = m_text[m_pos++];
            if (c == L'"') {
                return true;
            }
            if (c == L'\\' && m_pos < m_text.size() && EscapableInDoubleQuotes(m_text[m_pos])) {
                const wchar_t escaped = m_text[m_pos++];
                if (escaped != L'\n') {
                    m_word += escaped;
                }
                continue;
            }
            m_word += c;
        }
        return false;
    }

    bool Escaped() {
        if (m_pos >= m_text.size()) {
            return false;
        }
        const wchar_t escaped = m_text[m_pos++];
        if (escaped != L'\n') {
            Append(escaped);
        }
        return true;
    }

    std::wstring_view m_text;
    std::size_t m_pos = 0;
    std::vector<std::wstring> m_words;
    std::wstring m_word;
    bool m_inWord = false;
};

}  // namespace

std::optional<std::vector<std::wstring>> SplitCommandLine(std::wstring_view commandLine) {
    return Splitter(commandLine).Run();
}
