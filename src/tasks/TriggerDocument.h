// Reading a task document: loading its text, finding its trigger elements, reading one
// trigger with its defaults and checks, and the value conventions every reader shares
// (decimal integers read the way wcstol reads them, with a 32-bit long; dates in the
// invariant locale).
//
// Thread-safe: nothing is shared. Refusals raise E_FAIL (CEThrowError) with the document's
// messages; defaults taken are logged as warnings of CZynTaskImpl.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/XmlDocument.h"
#include "tasks/ZynTaskTrigger.h"

// The task document parsed from `text`; raises "Failed to load task xml into XMLDOM. Error %s."
// with the parser's reason when it is not XML.
XmlDocument LoadTaskDocument(std::wstring_view text);
// The Trigger elements below the document's first Task element, in document order; none
// without a Task element.
std::vector<XmlNode> TriggerElements(const XmlDocument& document);
// Every trigger of the document, checked; raises at the first trigger refused.
ZynTriggerList ReadTriggers(const XmlDocument& document);
// One trigger element, checked, with its description made.
CountedPtr<CZynTaskTrigger> ReadTrigger(const XmlNode& element);

// Leading white space and a sign accepted, reading stops at the first non-digit, no digits
// read as 0; values beyond 32 bits are clamped as a 32-bit wcstol clamps them.
LONG ReadDecimal(const std::wstring& text);
// The value of the first node the query selects below `node`; 0 when there is none, or when
// its text is no date.
LONG GetSubNodeValueAsInt(const XmlNode& node, std::wstring_view query);
DATE GetSubNodeValueAsDate(const XmlNode& node, std::wstring_view query);
