// A full file system under the work folder (with its task logs) and under the agent log's
// folder: due tasks still run, no task document is cut short, what could not be written is
// refused or counted, and everything goes on once there is room again. Needs root to mount a
// small file system; skipped otherwise.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "apps/ProductSandbox.h"
#include "platform/FileSystem.h"
#include "platform/WideText.h"
#include "platform/XmlDocument.h"

namespace {

// A 256 KiB memory file system mounted on a folder for as long as the object lives.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const std::string& folder) : m_folder(folder) {
        ::mkdir(folder.c_str(), 0700);
        m_mounted = ::mount("zyntest", folder.c_str(), "tmpfs", 0, "size=256k,mode=0700") == 0;
    }
    ~SmallFileSystem() {
        if (m_mounted) {
            ::umount2(m_folder.c_str(), MNT_DETACH);
        }
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool Mounted() const { return m_mounted; }
    // Writes a filler file until the file system has no room left.
    void Fill() const {
        while (AppendToFile(Filler(), std::string(4096, 'f')) == ERROR_SUCCESS) {
        }
    }
    void Free() const { RemoveFile(Filler()); }

private:
    std::wstring Filler() const { return Utf8ToWideLossy(m_folder + "/.filler"); }

    std::string m_folder;
    bool m_mounted = false;
};

// The files of a folder (the filler left out) and their bytes.
std::map<std::string, std::string> FilesIn(const std::string& folder) {
    std::vector<DirectoryEntry> entries;
    ListDirectory(Utf8ToWideLossy(folder), entries);
    std::map<std::string, std::string> files;
    for (const DirectoryEntry& entry : entries) {
        if (!entry.isDirectory && entry.name != L".filler") {
            files[WideToUtf8(entry.name)] = FileText(folder + "/" + WideToUtf8(entry.name));
        }
    }
    return files;
}

TEST(DiskFull, TasksRunAndNothingIsCutShortWhileTheDiskIsFull) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    ProductSandbox sandbox;
    const SmallFileSystem work(sandbox.WorkFolder());
    const SmallFileSystem logs(WideToUtf8(sandbox.Folder(L"logs")));
    if (!work.Mounted() || !logs.Mounted()) {
        GTEST_SKIP() << "this machine does not let tests mount a file system";
    }
    auto daemon = sandbox.StartDaemon({"--logging", "on"});
    ASSERT_TRUE(sandbox.WaitUntilRunning()) << sandbox.DaemonErrors();
    // Adds task `name`, due `seconds` from now, which leaves a marker file when it runs.
    const auto add = [&](const std::string& name, int seconds) {
        return sandbox.Client(
            {"add",
             sandbox.WriteFile(
                 name + ".xml",
                 TaskDocument(name, OnceAt(LocalTimeFromNow(seconds)),
                              "touch " + WideToUtf8(sandbox.Folder(Utf8ToWideLossy(name)))))});
    };
    const auto ran = [&](const std::string& name) {
        return Exists(WideToUtf8(sandbox.Folder(Utf8ToWideLossy(name))));
    };
    ASSERT_EQ(add("A", 5).status, 0);
    ASSERT_EQ(add("B", 8).status, 0);
    const auto documentsBefore = FilesIn(sandbox.WorkFolder());
    ASSERT_EQ(documentsBefore.size(), 2u);

    work.Fill();
    logs.Fill();
    EXPECT_TRUE(WaitUntil([&] { return ran("A") && ran("B"); }, 30))
        << "due tasks run on a full disk";
    const ProgramResult refused = add("C", 4);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.errors.find("cannot write"), std::string::npos) << refused.errors;
    EXPECT_EQ(FilesIn(sandbox.WorkFolder()), documentsBefore)
        << "no document or temporary was added or cut short";

    work.Free();
    logs.Free();
    const ProgramResult added = add("C", 4);
    EXPECT_EQ(added.status, 0) << added.errors;
    EXPECT_TRUE(WaitUntil([&] { return ran("C"); }, 30)) << "scheduling went on";
    for (const auto& [file, text] : FilesIn(sandbox.WorkFolder() + "/Logs")) {
        XmlDocument log;
        std::wstring reason;
        EXPECT_TRUE(log.Load(Utf8ToWideLossy(text), reason)) << file << ": " << WideToUtf8(reason);
    }
    daemon->Kill(SIGTERM);
    EXPECT_EQ(daemon->Wait(), 0);
    const std::string agentLog = FileText(WideToUtf8(sandbox.Folder(L"logs/Agent.log")));
    EXPECT_NE(agentLog.find("records of this process could not be written to the agent log"),
              std::string::npos)
        << "the daemon counted what it could not log";
}

}  // namespace
