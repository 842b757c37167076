// Another local account against the daemon running as root. The attacker is a child of this
// test that has given up root for "nobody". Before the daemon starts it squats the names of the
// daemon's shared objects with objects open to everyone and holds a lock file of the kind an
// earlier version left readable; once the daemon runs, it tries every shared object and lock
// file the daemon made. The daemon must use none of the squatted objects, let none of the
// attacks through, and go on logging and running tasks. Every folder on the way is open to
// nobody for traversal, so what refuses an attack is the object's own protection.
//
// Needs root and a mount namespace of its own (the shared-memory names are the machine's).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ZynTaskSchedulerLib/AgentLogNames.h"
#include "ZynTaskSchedulerLib/Runtime.h"
#include "apps/ProductSandbox.h"
#include "platform/FileDescriptor.h"
#include "platform/WideText.h"
#include "support/PrivateSharedMemory.h"

namespace {

constexpr uid_t kNobody = 65534;
constexpr const char* kSharedMemoryFolder = "/dev/shm";
constexpr const char* kReady = "ready";

// The file a named object of the given kind ("mutex", "section") is kept in.
std::string SharedObjectFile(const std::string& kind, const std::wstring& name) {
    return std::string(kSharedMemoryFolder) + "/zyn." + kind + "." + WideToUtf8(name);
}

// --- The attacker, as nobody -----------------------------------------------------------------

ZYN_CHILD_ROLE(ConfirmNobody) {
    return ::geteuid() == kNobody ? 0 : 1;
}

// Squats the object files args[2...] with objects everyone may use, locks the lock file
// args[1], writes args[0] and stays until killed.
ZYN_CHILD_ROLE(SquatObjects) {
    for (std::size_t i = 2; i < args.size(); ++i) {  // each kept open until the end
        const int file = ::open(args[i].c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file < 0 || ::fchmod(file, 0666) != 0 || ::ftruncate(file, 4096) != 0) {
            return 1;
        }
    }
    const int lock = ::open(args.at(1).c_str(), O_RDONLY | O_CLOEXEC);
    if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        return 2;
    }
    std::ofstream(args.at(0)) << kReady;
    for (;;) {
        ::pause();
    }
}

FileDescriptor OpenAs(const std::string& path, int flags) {
    return FileDescriptor(::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
}

bool MapsWritable(const std::string& path) {
    const FileDescriptor file = OpenAs(path, O_RDWR);
    void* address = file.IsValid()
                        ? ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, file.Get(), 0)
                        : MAP_FAILED;
    return address != MAP_FAILED && ::munmap(address, 4096) == 0;
}

struct Attack {
    const char* name;
    bool (*succeeds)(const std::string& path);
};

const Attack kAttacks[] = {
    {"open for reading", [](const std::string& path) { return OpenAs(path, O_RDONLY).IsValid(); }},
    {"open for writing", [](const std::string& path) { return OpenAs(path, O_WRONLY).IsValid(); }},
    {"truncate", [](const std::string& path) { return ::truncate(path.c_str(), 0) == 0; }},
    {"lock",
     [](const std::string& path) {
         const FileDescriptor file = OpenAs(path, O_RDONLY);
         return file.IsValid() && ::flock(file.Get(), LOCK_EX | LOCK_NB) == 0;
     }},
    {"map writable", MapsWritable},
    {"remove", [](const std::string& path) { return ::unlink(path.c_str()) == 0; }},
};

// Attacks each object file args[1...]; writes one line per object and attack into args[0]:
// the object, the attack and whether it was refused.
ZYN_CHILD_ROLE(AttackObjects) {
    std::ofstream report(args.at(0));
    for (std::size_t i = 1; i < args.size(); ++i) {
        for (const Attack& attack : kAttacks) {
            report << args[i] << '\t' << attack.name << '\t'
                   << (attack.succeeds(args[i]) ? "SUCCEEDED" : "refused") << '\n';
        }
    }
    return 0;
}

// --- The test ----------------------------------------------------------------------------

class HostileAccountTest : public testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root: the daemon runs as root and the attacker as nobody";
        }
        ChildProcess probe("ConfirmNobody", {}, true);
        if (probe.Wait() != 0) {
            GTEST_SKIP() << "cannot give up root for nobody (setgroups/setgid/setuid 65534)";
        }
        if (const std::string reason = UsePrivateSharedMemory(); !reason.empty()) {
            GTEST_SKIP() << "no shared-memory folder of our own: " << reason;
        }
        m_sandbox = std::make_unique<ProductSandbox>();
        m_registryRoot = std::getenv("ZYN_REGISTRY");
        m_attackerFolder = WideToUtf8(m_sandbox->Folder(L"attacker"));
        ASSERT_EQ(::chmod(WideToUtf8(m_sandbox->Folder(L".")).c_str(), 0755), 0);
        ASSERT_EQ(::chmod(m_registryRoot.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(m_sandbox->WorkFolder().c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(m_attackerFolder.c_str(), 0755), 0);
        ASSERT_EQ(::chown(m_attackerFolder.c_str(), kNobody, kNobody), 0);
    }

    std::string AttackerFile(const std::string& name) const {
        return m_attackerFolder + "/" + name;
    }
    std::string AgentLogText() const {
        return FileText(WideToUtf8(m_sandbox->Folder(L"logs/Agent.log")));
    }
    // The daemon's shared objects, and its lock files.
    std::vector<std::string> DaemonObjects() const {
        std::vector<std::string> objects;
        for (const auto& entry : std::filesystem::directory_iterator(kSharedMemoryFolder)) {
            if (entry.path().filename().string().starts_with("zyn.")) {
                objects.push_back(entry.path().string());
            }
        }
        objects.push_back(m_registryRoot + "/.lock");
        objects.push_back(m_sandbox->LockFile());
        return objects;
    }

    std::unique_ptr<ProductSandbox> m_sandbox;
    std::string m_registryRoot;
    std::string m_attackerFolder;
};

TEST_F(HostileAccountTest, TheDaemonUsesNoSquattedObjectRefusesEveryAttackAndGoesOn) {
    // A task whose log mutex name the attacker knows in advance, and a lock file as an earlier
    // version left it: readable by everyone.
    const std::string identity = "{5EC0A11D-0000-4000-8000-000000000001}";
    std::ofstream(m_sandbox->WorkFolder() + "/" + identity + ".xml")
        << TaskDocument("known", OnceAt("2099-01-01 00:00:00"), "true");
    const std::string oldLock = m_registryRoot + "/.lock";
    std::ofstream(oldLock) << "";
    ASSERT_EQ(::chmod(oldLock.c_str(), 0644), 0);

    const std::vector<std::string> squatted{
        SharedObjectFile("mutex", kAgentLogMutexName),
        SharedObjectFile("section", kAgentLogChangeCounterName),
        SharedObjectFile("mutex", Utf8ToWideLossy("LogMutex" + identity))};
    std::vector<std::string> squatterArgs{AttackerFile("squatted"), oldLock};
    squatterArgs.insert(squatterArgs.end(), squatted.begin(), squatted.end());
    ChildProcess squatter("SquatObjects", squatterArgs, true);
    ASSERT_TRUE(WaitUntil([&] { return FileText(AttackerFile("squatted")) == kReady; }, 30))
        << "the squatter ended with " << squatter.Wait();

    auto daemon = m_sandbox->StartDaemon({"--logging", "on"});
    ASSERT_TRUE(m_sandbox->WaitUntilRunning()) << m_sandbox->DaemonErrors();
    const std::string taskLog = m_sandbox->WorkFolder() + "/Logs/" + identity + ".xml";
    EXPECT_TRUE(
        WaitUntil([&] { return FileText(taskLog).find("<Trigger") != std::string::npos; }, 30))
        << "the known task's log was not written";
    for (const std::string& name : squatted) {
        struct stat status {};
        if (::stat(name.c_str(), &status) == 0) {  // a task log's mutex lives only while used
            EXPECT_EQ(status.st_uid, 0u) << name << " is still the squatter's";
            EXPECT_EQ(status.st_mode & 0777, 0600u) << name;
        }
    }

    const std::vector<std::string> objects = DaemonObjects();
    for (const std::string& object : objects) {
        ASSERT_TRUE(std::filesystem::exists(object)) << object;
    }
    std::vector<std::string> attackerArgs{AttackerFile("report")};
    attackerArgs.insert(attackerArgs.end(), objects.begin(), objects.end());
    ChildProcess attacker("AttackObjects", attackerArgs, true);
    ASSERT_EQ(attacker.Wait(), 0);
    std::istringstream report(FileText(AttackerFile("report")));
    std::size_t attacks = 0;
    for (std::string line; std::getline(report, line); ++attacks) {
        EXPECT_TRUE(line.ends_with("\trefused")) << line;
    }
    EXPECT_EQ(attacks, objects.size() * std::size(kAttacks));
    EXPECT_GE(objects.size(), 4u) << "the agent log's mutex and counter, the two lock files";

    // The daemon goes on: it runs a task added now, through a registration, and logs it (no task
    // was due before).
    const std::string marker = WideToUtf8(m_sandbox->Folder(L"marker"));
    const std::string soon = m_sandbox->WriteFile(
        "soon.xml", TaskDocument("soon", OnceAt(LocalTimeFromNow(3)), "touch " + marker));
    const ProgramResult added = m_sandbox->Client({"add", soon});
    ASSERT_EQ(added.status, 0) << added.errors;
    EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(marker); }, 30))
        << m_sandbox->DaemonErrors();
    EXPECT_TRUE(WaitUntil(
        [&] { return AgentLogText().find("Executing due task") != std::string::npos; }, 30));
    EXPECT_EQ(AgentLogText().find("could not be opened"), std::string::npos)
        << "root replaces what it may not use";

    daemon->Kill(SIGTERM);
    EXPECT_EQ(daemon->Wait(), 0) << m_sandbox->DaemonErrors();
}

}  // namespace
