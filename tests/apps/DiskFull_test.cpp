// A full file system under the work folder (with its task logs) and under the agent log's
// folder: due tasks still run, no task document is cut short, what could not be written is
// refused or counted, and everything goes on once there is room again. Needs root to mount a
// small file system; skipped otherwise.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

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
        const std::string chunk(4096, 'f');
        for (int index = 0;; ++index) {
            if (AppendToFile(Filler(), chunk) != ERROR_SUCCESS) {
                return;
            }
        }
    }
    void Free() const { RemoveFile(Filler()); }

private:
    std::wstring Filler() const { return Utf8ToWideLossy(m_folder + "/.filler"); }

    std::string m_folder;
    bool m_mounted = false;
};

bool Exists(const std::string& path) {
    FileStatus status;
    return QueryFileStatus(Utf8ToWideLossy(path), status) == ERROR_SUCCESS;
}

std::string OnceIn(int seconds) {
    return "<Trigger Type=\"0\"><BeginDate>" + LocalTimeFromNow(seconds) + "</BeginDate></Trigger>";
}

std::vector<std::wstring> FilesIn(const std::string& folder) {
    std::vector<DirectoryEntry> entries;
    ListDirectory(Utf8ToWideLossy(folder), entries);
    std::vector<std::wstring> files;
    for (const DirectoryEntry& entry : entries) {
        if (!entry.isDirectory) {
            files.push_back(entry.name);
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
    const std::string markerA = WideToUtf8(sandbox.Folder(L"markerA"));
    const std::string markerB = WideToUtf8(sandbox.Folder(L"markerB"));
    for (const auto& [name, marker, delay] :
         {std::tuple{"A", markerA, 5}, std::tuple{"B", markerB, 8}}) {
        const ProgramResult added = sandbox.Client(
            {"add", sandbox.WriteFile(std::string(name) + ".xml",
                                      TaskDocument(name, OnceIn(delay), "touch " + marker))});
        ASSERT_EQ(added.status, 0) << added.errors;
    }
    std::vector<std::string> documentsBefore;
    const std::vector<std::wstring> taskFiles = FilesIn(sandbox.WorkFolder());
    for (const std::wstring& file : taskFiles) {
        documentsBefore.push_back(ReadBytes(Utf8ToWideLossy(sandbox.WorkFolder() + "/") + file));
    }

    work.Fill();
    logs.Fill();
    EXPECT_TRUE(WaitUntil([&] { return Exists(markerA) && Exists(markerB); }, 30))
        << "due tasks run on a full disk";
    const std::string markerC = WideToUtf8(sandbox.Folder(L"markerC"));
    const std::string documentC =
        sandbox.WriteFile("C.xml", TaskDocument("C", OnceIn(4), "touch " + markerC));
    const ProgramResult refused = sandbox.Client({"add", documentC});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.errors.find("cannot write"), std::string::npos) << refused.errors;
    std::vector<std::wstring> filesWhileFull = FilesIn(sandbox.WorkFolder());
    std::erase(filesWhileFull, L".filler");
    EXPECT_EQ(filesWhileFull, taskFiles) << "no document or temporary was added";
    for (std::size_t index = 0; index < taskFiles.size(); ++index) {
        EXPECT_EQ(ReadBytes(Utf8ToWideLossy(sandbox.WorkFolder() + "/") + taskFiles[index]),
                  documentsBefore[index]);
    }

    work.Free();
    logs.Free();
    const ProgramResult added = sandbox.Client(
        {"add", sandbox.WriteFile("C.xml", TaskDocument("C", OnceIn(4), "touch " + markerC))});
    EXPECT_EQ(added.status, 0) << added.errors;
    EXPECT_TRUE(WaitUntil([&] { return Exists(markerC); }, 30)) << "scheduling went on";
    for (const std::wstring& file : FilesIn(sandbox.WorkFolder() + "/Logs")) {
        XmlDocument log;
        std::wstring reason;
        EXPECT_TRUE(log.Load(
            Utf8ToWideLossy(ReadBytes(Utf8ToWideLossy(sandbox.WorkFolder() + "/Logs/") + file)),
            reason))
            << WideToUtf8(file) << ": " << WideToUtf8(reason);
    }
    daemon->Kill(SIGTERM);
    EXPECT_EQ(daemon->Wait(), 0);
    const std::string agentLog = ReadBytes(sandbox.Folder(L"logs/Agent.log"));
    EXPECT_NE(agentLog.find("records of this process could not be written to the agent log"),
              std::string::npos)
        << "the daemon counted what it could not log";
}

}  // namespace
