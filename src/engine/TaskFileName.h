// Which entries of a work folder are task documents, and how a task's identity and the name of
// its document map onto each other: the key, then ".xml", the extension exactly so. Names are
// compared as this platform's file system compares them, case and all: "X.XML" is no task
// document (a file "X.xml" may sit beside it, and the document of task X is always "X.xml"), so
// every look at the folder, whole or by changed names, leaves it alone alike.
//
// Plain functions of text; thread-safe, nothing fails.
#pragma once

#include <string>
#include <string_view>

class TaskFileName {
public:
    static bool IsTaskFile(std::wstring_view name);
    // The key of a task document's name: what precedes the extension (an identity, or for a
    // file not named by one, whatever the name holds).
    static std::wstring_view KeyOf(std::wstring_view taskFileName);
    // The name of the document of the task `identity`.
    static std::wstring Of(std::wstring_view identity);
};
