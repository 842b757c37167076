#include "corpus/CorpusManifest.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/Path.h"
#include "platform/WideText.h"

namespace {

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, separator)) {
        fields.push_back(field);
    }
    if (!line.empty() && line.back() == separator) {
        fields.emplace_back();
    }
    return fields;
}

CorpusOutcome OutcomeOf(const std::string& text) {
    if (text == "accepted") {
        return CorpusOutcome::Accepted;
    }
    if (text == "refused") {
        return CorpusOutcome::Refused;
    }
    if (text == "unreadable") {
        return CorpusOutcome::Unreadable;
    }
    throw std::runtime_error("unknown outcome in the corpus manifest: " + text);
}

CorpusEntry EntryOf(const std::string& line) {
    const std::vector<std::string> fields = Split(line, '\t');
    if (fields.size() != 5) {
        throw std::runtime_error("corpus manifest line without five fields: " + line);
    }
    CorpusEntry entry;
    entry.file = fields[0];
    entry.outcome = OutcomeOf(fields[1]);
    entry.result = static_cast<HRESULT>(std::strtoul(fields[2].c_str(), nullptr, 16));
    if (fields[3] != "-") {
        for (const std::string& message : Split(fields[3], '|')) {
            entry.messages.push_back(Utf8ToWideLossy(message));
        }
    }
    if (fields[4] != "*") {
        entry.taskName = Utf8ToWideLossy(fields[4]);
    }
    return entry;
}

}  // namespace

std::vector<CorpusEntry> ReadCorpusManifest() {
    std::ifstream in(ZYN_CORPUS_DIR "/expected.tsv");
    if (!in) {
        throw std::runtime_error("cannot read the corpus manifest");
    }
    std::vector<CorpusEntry> entries;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.front() != '#') {
            entries.push_back(EntryOf(line));
        }
    }
    return entries;
}

std::wstring CorpusDocumentPath(const CorpusEntry& entry) {
    return JoinPath(Utf8ToWideLossy(ZYN_CORPUS_DIR "/documents"), Utf8ToWideLossy(entry.file));
}

const char* OutcomeName(CorpusOutcome outcome) {
    switch (outcome) {
        case CorpusOutcome::Accepted:
            return "accepted";
        case CorpusOutcome::Refused:
            return "refused";
        case CorpusOutcome::Unreadable:
            return "unreadable";
    }
    return "?";
}
