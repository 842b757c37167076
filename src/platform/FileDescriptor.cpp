#include "platform/FileDescriptor.h"

#include <unistd.h>

void FileDescriptor::Reset(int fd) {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = fd;
}
