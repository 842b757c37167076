// The daemon as a notifying service: the service manager hears READY=1 only once the work
// folder is held, so `systemctl start` returns when tasks will run, and STOPPING=1 at a stop.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "apps/ProductSandbox.h"
#include "platform/WideText.h"
#include "platform/WorkFolderLock.h"

namespace {

// The socket a service manager listens on, named to the daemon through NOTIFY_SOCKET.
class NotifySocket {
public:
    explicit NotifySocket(const std::string& path) : m_fd(::socket(AF_UNIX, SOCK_DGRAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        m_bound = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
        ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
    }
    ~NotifySocket() {
        ::unsetenv("NOTIFY_SOCKET");
        ::close(m_fd);
    }
    bool Bound() const { return m_bound; }
    // The next message, or "" when none came within `seconds`.
    std::string Receive(int seconds) const {
        pollfd ready{m_fd, POLLIN, 0};
        if (::poll(&ready, 1, seconds * 1000) != 1) {
            return "";
        }
        char message[4096];
        const ssize_t length = ::recv(m_fd, message, sizeof(message), 0);
        return length > 0 ? std::string(message, static_cast<std::size_t>(length)) : "";
    }

private:
    int m_fd;
    bool m_bound = false;
};

TEST(ServiceReadiness, DaemonSaysReadyOnlyOnceItHoldsTheFolderAndStoppingAtTheEnd) {
    const ProductSandbox sandbox;
    const NotifySocket manager(WideToUtf8(sandbox.Folder(L"notify")));
    ASSERT_TRUE(manager.Bound());
    auto daemon = sandbox.StartDaemon();

    const std::string ready = manager.Receive(30);
    EXPECT_NE(ready.find("READY=1"), std::string::npos) << ready;
    const WorkFolderLock::HolderInfo holder =
        WorkFolderLock::Holder(Utf8ToWideLossy(sandbox.LockFile()));
    EXPECT_TRUE(holder.held);
    EXPECT_EQ(holder.processId, static_cast<DWORD>(daemon->Pid()));

    daemon->Kill(SIGTERM);
    EXPECT_NE(manager.Receive(30).find("STOPPING=1"), std::string::npos);
    EXPECT_EQ(daemon->Wait(), 0) << sandbox.DaemonErrors();
}

}  // namespace
