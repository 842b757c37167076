#include "platform/SecurityAttributes.h"

#include <sddl.h>

SecurityAttributes::SecurityAttributes(const std::wstring& descriptor) {
    ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        descriptor.c_str(), SDDL_REVISION_1, &m_attributes.lpSecurityDescriptor, nullptr);
}

SecurityAttributes::~SecurityAttributes() {
    ::LocalFree(m_attributes.lpSecurityDescriptor);
}
