#include "engine/SchedulerConfiguration.h"

#include <cwchar>

#include "platform/XmlDocument.h"
#include "support/ThrowError.h"

namespace {

// An attribute read as a decimal number the way wcstol reads it; nullopt when it is absent.
std::optional<long> NumberAttribute(const XmlNode& node, const wchar_t* name) {
    const XmlNode attribute = node.Attribute(name);
    if (attribute.IsNull()) {
        return std::nullopt;
    }
    return std::wcstol(attribute.Text().c_str(), nullptr, 10);
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
    const long poolSize = NumberAttribute(element, L"WorkerThreadPoolSize").value_or(0);
    if (poolSize > 0) {
        settings.workerThreadPoolSize = static_cast<DWORD>(poolSize);
    }
    if (const std::optional<long> queueSize = NumberAttribute(element, L"MaxExecQueueSize")) {
        settings.maxExecQueueSize = *queueSize > 0 ? static_cast<DWORD>(*queueSize)
                                                   : SchedulerConfiguration::kDefaultQueueSize;
    }
    if (const std::optional<long> workingSet = NumberAttribute(element, L"MaxWorkingSetSize")) {
        settings.maxWorkingSetSize = *workingSet > 0 ? static_cast<DWORD>(*workingSet) : 0;
    }
    settings.loggingEnabled = NumberAttribute(element, L"LoggingEnabled").value_or(0) != 0;
    return settings;
}
