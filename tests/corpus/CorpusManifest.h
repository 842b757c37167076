// The bad-input corpus of task documents (tests/corpus/documents, made by make_corpus.py) and
// what its manifest, expected.tsv, says each document must give when it is read.
//
// Read-only data; the functions are pure apart from reading the files. A manifest that cannot
// be read, or a malformed line, fails the calling test through an exception.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ZynTaskSchedulerLib/HResults.h"
#include "ZynTaskSchedulerLib/Types.h"

enum class CorpusOutcome { Accepted, Refused, Unreadable };

struct CorpusEntry {
    std::string file;  // name inside the documents folder
    CorpusOutcome outcome = CorpusOutcome::Accepted;
    HRESULT result = S_OK;
    // Accepted: every warning the reading logs; refused: a fragment of the raised description.
    std::vector<std::wstring> messages;
    std::optional<std::wstring> taskName;  // none when the manifest does not say
};

std::vector<CorpusEntry> ReadCorpusManifest();
std::wstring CorpusDocumentPath(const CorpusEntry& entry);
const char* OutcomeName(CorpusOutcome outcome);
