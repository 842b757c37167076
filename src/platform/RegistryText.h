// The file form of one settings tree: UTF-8 text that a person can read and edit, one section
// per key and one line per value:
//
//   [Software\Kalvane\Scheduler]
//   "Thread Pool Size"=dword:00000005
//   "WorkFolder"="/opt/zyntask/Tasks"
//   "LogPath"=expand:"$HOME/logs"
//   @="the key's default value"
//   "Odd"=hex(1):41,00,42
//
// A string value whose bytes are clean UTF-16LE text with exactly one terminating zero unit at
// the end and no control characters is written as quoted text; any other value keeps its bytes
// in the hex form ("hex:" for REG_BINARY, "hex(<type in hex>):" otherwise, long lists continued
// on the next line after a backslash), so reading gives back every byte as it was written.
// Stateless and thread-safe.
#pragma once

#include <string>
#include <string_view>

#include "platform/RegistryTree.h"

// Whether a key or value name can be kept in the file: characters of Unicode, none of them a
// control character, and no backslash for key names.
bool IsStorableName(std::wstring_view name, bool isKeyName);

std::string WriteRegistryText(const CRegistryTree& root, std::wstring_view treeName);
// Fills the empty `root` from `text`; false when the text is not of the form above.
bool ReadRegistryText(std::string_view text, CRegistryTree& root);
