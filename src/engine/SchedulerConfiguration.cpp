#include "engine/SchedulerConfiguration.h"

#include "platform/XmlDocument.h"
#include "support/ThrowError.h"
#include "tasks/TriggerDocument.h"

namespace {

// An attribute read as a decimal number the way a 32-bit wcstol reads it; nullopt when it is
// absent. Read as 64 bits, 4294967296 would become 0 processors or a queue that takes nothing.
std::optional<LONG> NumberAttribute(const XmlNode& node, const wchar_t* name) {
    const XmlNode attribute = node.Attribute(name);
    if (attribute.IsNull()) {
        return std::nullopt;
    }
    return ReadDecimal(attribute.Text());
}

}  // namespace

std::optional<SchedulerConfiguration> ReadSchedulerConfiguration(std::wstring_view document) {
    XmlDocument configuration;
    std::wstring reason;
    if (!configuration.Load(document, reason)) {
        CEThrowError(E_FAIL,
                     L"Failed to load task scheduler config into XMLDOM. Error " + reason + L".");
    }
    const XmlNode element = configuration.SelectSingle(L"//TaskScheduler");
    if (element.IsNull()) {
        return std::nullopt;
    }
    const XmlNode workFolder = element.Attribute(L"WorkFolder");
    if (workFolder.IsNull()) {
        CEThrowError(E_FAIL, L"Failed to set task scheduler config. WorkFolder node not found");
    }
    SchedulerConfiguration settings;
    settings.workFolder = workFolder.Text();
    // A negative size would read as a huge unsigned count; it is taken like 0.
    const LONG poolSize = NumberAttribute(element, L"WorkerThreadPoolSize").value_or(0);
    if (poolSize > 0) {
        settings.workerThreadPoolSize = static_cast<DWORD>(poolSize);
    }
    if (const std::optional<LONG> queueSize = NumberAttribute(element, L"MaxExecQueueSize")) {
        settings.maxExecQueueSize = *queueSize > 0 ? static_cast<DWORD>(*queueSize)
                                                   : SchedulerConfiguration::kDefaultQueueSize;
    }
    if (const std::optional<LONG> workingSet = NumberAttribute(element, L"MaxWorkingSetSize")) {
        settings.maxWorkingSetSize = *workingSet > 0 ? static_cast<DWORD>(*workingSet) : 0;
    }
    settings.loggingEnabled = NumberAttribute(element, L"LoggingEnabled").value_or(0) != 0;
    return settings;
}
