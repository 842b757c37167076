// The daemon and the client as a person uses them, end to end: real processes, a real work
// folder, real programs started by the tasks.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ZynTaskSchedulerLib/Registry.h"
#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "apps/ProductSandbox.h"
#include "platform/FileSystem.h"
#include "platform/ServerLibrary.h"
#include "platform/WideText.h"
#include "support/ScopedZone.h"

namespace {

DWORD SchedulerSetting(const wchar_t* name) {
    HKEY key{};
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Kalvane\\Scheduler", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
    }
    return value;
}

// Points the scheduler's class at another library file, as a moved installation leaves it.
void SetClassServer(const std::wstring& file) {
    wchar_t clsid[40] = {};
    StringFromGUID2(CLSID_ZynTaskScheduler, clsid, 40);
    HKEY key{};
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT,
                              (std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32").c_str(), 0,
                              nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::vector<BYTE> data = RegStringData(file);
    RegSetValueExW(key, nullptr, 0, REG_SZ, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper-case hexadecimal: the text a GUID prints as.
bool IsBracedGuid(const std::string& text) {
    GUID guid{};
    wchar_t shown[40] = {};
    return CLSIDFromString(Utf8ToWideLossy(text).c_str(), &guid) == S_OK &&
           StringFromGUID2(guid, shown, 40) > 0 && WideToUtf8(shown) == text;
}

TEST(Product, DaemonRunsWhatTheClientAddsAndStopsCleanly) {
    ProductSandbox sandbox;
    auto daemon = sandbox.StartDaemon({"--logging", "on", "--threads", "1"});
    ASSERT_TRUE(sandbox.WaitUntilRunning()) << sandbox.DaemonErrors();
    EXPECT_EQ(SchedulerSetting(L"Thread Pool Size"), 1u);
    FileStatus folder;
    ASSERT_EQ(QueryFileStatus(Utf8ToWideLossy(sandbox.WorkFolder()), folder), ERROR_SUCCESS);
    EXPECT_EQ(folder.mode & 0777, 0700u) << "the daemon makes its folder for its user alone";
    const std::string marker = WideToUtf8(sandbox.Folder(L"marker"));
    // The program notes its nice value and blocked signals, which must be the daemon's own
    // nice value and none, whatever the worker thread that started it has.
    const std::string document = TaskDocument(
        "soon", OnceAt(LocalTimeFromNow(3)),
        "echo ran $(cut -d' ' -f19 /proc/$$/stat) $(grep SigBlk /proc/$$/status | cut -f2) >> " +
            marker + "; echo said; exit 3");

    const ProgramResult added = sandbox.Client({"add", sandbox.WriteFile("soon.xml", document)});
    ASSERT_EQ(added.status, 0) << added.errors;
    const std::string identity = added.output.substr(0, added.output.find('\n'));
    EXPECT_TRUE(IsBracedGuid(identity)) << identity;
    EXPECT_TRUE(Exists(sandbox.WorkFolder() + "/" + identity + ".xml"));

    // The shell makes the file before it writes the line.
    ASSERT_TRUE(WaitUntil([&] { return Exists(marker) && FileText(marker).ends_with("\n"); }, 30))
        << sandbox.DaemonErrors();
    EXPECT_EQ(FileText(marker),
              "ran " +
                  std::to_string(::getpriority(PRIO_PROCESS, static_cast<id_t>(daemon->Pid()))) +
                  " 0000000000000000\n");
    // The run's record is written once the run has ended.
    ProgramResult listed;
    EXPECT_TRUE(WaitUntil(
        [&] {
            listed = sandbox.Client({"list"});
            return listed.output.ends_with(" exited 3\n");
        },
        10))
        << listed.output << listed.errors;
    EXPECT_TRUE(listed.output.starts_with(identity + "\tsoon\tnone\t")) << listed.output;
    const std::string json = sandbox.Client({"list", "--json"}).output;
    EXPECT_TRUE(json.starts_with("[{\"id\":\"" + identity +
                                 "\",\"name\":\"soon\",\"next\":null,\"lastRun\":{\"due\":"))
        << json;
    EXPECT_NE(json.find("\"outcome\":\"exited\",\"exitCode\":3,\"signal\":null,\"reason\":"
                        "\"schedule\""),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"output\":\"said\\u000a\""), std::string::npos) << json;
    const std::string history = sandbox.Client({"history", "soon"}).output;
    EXPECT_TRUE(history.ends_with(" s\texited 3\tschedule\n")) << history;
    EXPECT_EQ(sandbox.Client({"history", identity, "--output"}).output, "said\n");
    EXPECT_EQ(sandbox.Client({"next", "soon"}).output, "none\n");
    EXPECT_NE(sandbox.Client({"show", identity}).output.find("Description=\"At "),
              std::string::npos);
    ProgramResult log;
    EXPECT_TRUE(WaitUntil(
        [&] {
            log = sandbox.Client({"log", "soon"});
            return log.output.find("<TaskHistory><LastRunTime>") != std::string::npos;
        },
        10))
        << log.output << log.errors;

    const ProgramResult deleted = sandbox.Client({"delete", identity});
    EXPECT_EQ(deleted.status, 0) << deleted.errors;
    EXPECT_FALSE(Exists(sandbox.WorkFolder() + "/" + identity + ".xml"));
    EXPECT_FALSE(Exists(sandbox.WorkFolder() + "/Logs/" + identity + ".runs"));
    EXPECT_EQ(sandbox.Client({"list"}).output, "");

    daemon->Kill(SIGINT);
    EXPECT_EQ(daemon->Wait(), 0) << sandbox.DaemonErrors();
    EXPECT_FALSE(Exists(sandbox.LockFile()));
}

TEST(Product, HandlerPlugInRunsTheTasksThatNameItAndTheDaemonKeepsTheFolderToItself) {
    ProductSandbox sandbox;
    std::unique_ptr<CServerLibrary> plugIn;
    ASSERT_EQ(CServerLibrary::Load(Utf8ToWideLossy(ZYN_EXAMPLE_HANDLER), plugIn), S_OK);
    ASSERT_EQ(plugIn->RegisterServer(), S_OK);
    plugIn.reset();
    auto daemon = sandbox.StartDaemon();
    ASSERT_TRUE(sandbox.WaitUntilRunning()) << sandbox.DaemonErrors();
    // Times are taken once the daemon runs: starting it may take seconds on a loaded machine.
    const std::string marker = WideToUtf8(sandbox.Folder(L"marker"));
    const std::string document = "<Schedule Name=\"plug\"><Task>" + OnceAt(LocalTimeFromNow(3)) +
                                 "</Task><HandlerCLSID>Example.MarkerHandler</HandlerCLSID>"
                                 "<MarkerFile>" +
                                 marker + "</MarkerFile></Schedule>";
    const ProgramResult added = sandbox.Client({"add", sandbox.WriteFile("plug.xml", document)});
    ASSERT_EQ(added.status, 0) << added.errors;
    const std::string identity = added.output.substr(0, added.output.find('\n'));
    ASSERT_TRUE(
        WaitUntil([&] { return Exists(marker) && FileText(marker) == identity + "\n"; }, 30))
        << sandbox.DaemonErrors();
    // The commands that need the folder are refused naming its holder (as a second daemon is:
    // WorkFolderRace); the refused run runs nothing.
    const std::string holder =
        "the scheduler in process " + std::to_string(daemon->Pid()) + " holds";
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"run", "plug"}, {"cancel", "plug"}, {"enable"}, {"disable"}}) {
        const ProgramResult refused = sandbox.Client(command);
        EXPECT_EQ(refused.status, 1) << command[0];
        EXPECT_NE(refused.errors.find(holder), std::string::npos) << refused.errors;
    }
    daemon->Kill(SIGTERM);
    EXPECT_EQ(daemon->Wait(), 0);

    // Run by hand, through the same handler.
    EXPECT_EQ(sandbox.Client({"run", "plug"}).status, 0);
    EXPECT_EQ(FileText(marker), identity + "\n" + identity + "\n");
}

TEST(Product, DaemonRefusesAFolderOthersCouldWrite) {
    ProductSandbox sandbox;
    ASSERT_EQ(::mkdir(sandbox.WorkFolder().c_str(), 0700), 0);
    ASSERT_EQ(::chmod(sandbox.WorkFolder().c_str(), 0770), 0);
    EXPECT_NE(sandbox.StartDaemon()->Wait(), 0);
    EXPECT_NE(sandbox.DaemonErrors().find("is writable by group or others"), std::string::npos)
        << sandbox.DaemonErrors();
    EXPECT_FALSE(Exists(sandbox.LockFile()));

    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(sandbox.WorkFolder().c_str(), 0700), 0);
        ASSERT_EQ(::chown(sandbox.WorkFolder().c_str(), 65534, 65534), 0);
        EXPECT_NE(sandbox.StartDaemon()->Wait(), 0);
        EXPECT_NE(sandbox.DaemonErrors().find("belongs to user 65534"), std::string::npos)
            << sandbox.DaemonErrors();
    }
}

TEST(Product, DaemonRefusesARegistryItCannotWrite) {
    ProductSandbox sandbox;
    ::setenv("ZYN_REGISTRY", "/proc/zyntask-registry", 1);  // the sandbox puts it back
    EXPECT_NE(sandbox.StartDaemon()->Wait(), 0);
    EXPECT_NE(sandbox.DaemonErrors().find("cannot write the registry in /proc/zyntask-registry"),
              std::string::npos)
        << sandbox.DaemonErrors();
    EXPECT_FALSE(Exists(sandbox.WorkFolder()));
}

// The package installs the service's unit here: the daemon says so, and makes nothing.
TEST(Product, DaemonInstallsNoServiceOfItsOwnHere) {
    ProductSandbox sandbox;
    EXPECT_NE(sandbox.StartDaemon({"--install-service"})->Wait(), 0);
    EXPECT_NE(sandbox.DaemonErrors().find("cannot install the service ZynTaskScheduler"),
              std::string::npos)
        << sandbox.DaemonErrors();
    EXPECT_FALSE(Exists(sandbox.WorkFolder()));
}

TEST(Product, ProgramsRegisterTheLibraryWhenTheRegistrationNamesAnotherFile) {
    const ScopedZone zone("UTC0");
    ProductSandbox sandbox;
    EXPECT_EQ(sandbox.Client({"register"}).status, 0);
    SetClassServer(L"/nowhere/libZynTaskSchedulerLib.so");
    EXPECT_EQ(
        sandbox
            .Client({"next",
                     sandbox.WriteFile(
                         "once.xml", TaskDocument("once", OnceAt("2099-01-01 00:00:00"), "true"))})
            .output,
        "2099-01-01 00:00:00 +00:00\n");
    EXPECT_EQ(sandbox.Client({"unregister"}).status, 0);
    EXPECT_EQ(
        sandbox.Client({"check", sandbox.WriteFile("once.xml", "<Schedule Name=\"x\"/>")}).output,
        "ok\n");
    EXPECT_EQ(sandbox.Client({"--help"}).status, 0);
    EXPECT_NE(sandbox.Client({"next", "--help"}).output.find("--count N"), std::string::npos);
}

struct KnownRuns {
    const char* zone;
    const char* trigger;
    std::vector<std::string> options;  // after the document's file
    const char* expected;
};

TEST(Product, NextPrintsExactlyTheKnownRuns) {
    const KnownRuns rows[] = {
        {"UTC0",
         R"(<Trigger Type="1"><BeginDate>2026-01-01 08:05:00</BeginDate></Trigger>)",
         {"--after", "2026-12-05 12:00:00", "--count", "3"},
         "2026-12-06 08:05:00 +00:00\n2026-12-07 08:05:00 +00:00\n2026-12-08 08:05:00 +00:00\n"},
        // Every 20 minutes for an hour from 09:00: the window's runs (none at its very end),
        // then the next day's.
        {"UTC0",
         R"(<Trigger Type="1" Interval="20" Duration="60"><BeginDate>2026-01-01 09:00:00</BeginDate></Trigger>)",
         {"--after", "2026-12-05 09:10:00", "--count", "4"},
         "2026-12-05 09:20:00 +00:00\n2026-12-05 09:40:00 +00:00\n2026-12-06 09:00:00 +00:00\n"
         "2026-12-06 09:20:00 +00:00\n"},
        // Runs that end: fewer lines than asked for.
        {"UTC0",
         R"(<Trigger Type="1"><BeginDate>2026-12-01 08:05:00</BeginDate><EndDate>2026-12-07 23:00:00</EndDate></Trigger>)",
         {"--after", "2026-12-05 12:00:00", "--count", "5"},
         "2026-12-06 08:05:00 +00:00\n2026-12-07 08:05:00 +00:00\n"},
        {"UTC0",
         R"(<Trigger Type="0"><BeginDate>2026-12-01 08:05:00</BeginDate></Trigger>)",
         {"--after", "2026-12-05 12:00:00", "--count", "5"},
         "none\n"},
        // New York's spring gap: 02:30 does not exist on 14 March.
        {"America/New_York",
         R"(<Trigger Type="1"><BeginDate>2027-01-01 02:30:00</BeginDate></Trigger>)",
         {"--after", "2027-03-13 12:00:00", "--count", "2"},
         "2027-03-14 03:00:00 -04:00 (for 2027-03-14 02:30:00, skipped by the clock)\n"
         "2027-03-15 02:30:00 -04:00\n"},
        // A time the clock shows twice: the run comes the first time.
        {"America/New_York",
         R"(<Trigger Type="0"><BeginDate>2027-11-07 01:30:00</BeginDate></Trigger>)",
         {"--after", "2027-11-07 00:00:00", "--json"},
         "[{\"run\":\"2027-11-07 01:30:00 -04:00\",\"utc\":\"2027-11-07T05:30:00Z\","
         "\"skipped\":null}]\n"},
    };
    ProductSandbox sandbox;
    for (const KnownRuns& row : rows) {
        SCOPED_TRACE(row.trigger);
        const ScopedZone zone(row.zone);
        const std::string file =
            sandbox.WriteFile("known.xml", TaskDocument("known", row.trigger, "true"));
        std::vector<std::string> args{"next", file};
        args.insert(args.end(), row.options.begin(), row.options.end());
        const ProgramResult next = sandbox.Client(args);
        EXPECT_EQ(next.status, 0) << next.errors;
        EXPECT_EQ(next.output, row.expected);
    }
    EXPECT_FALSE(Exists(sandbox.WorkFolder())) << "a document from a file needs no work folder";
}

TEST(Product, ClientChecksAndDescribesDocuments) {
    ProductSandbox sandbox;
    const std::string good = sandbox.WriteFile(
        "good.xml", TaskDocument("two",
                                 "<Trigger Type=\"1\"><BeginDate>2026-01-01 08:05:00</BeginDate>"
                                 "</Trigger><Trigger Type=\"0\"><BeginDate>2026-12-24 18:00:00"
                                 "</BeginDate></Trigger>",
                                 "true"));
    EXPECT_EQ(sandbox.Client({"check", good}).output, "ok\n");
    EXPECT_EQ(sandbox.Client({"describe", good}).output,
              "At 08:05:00 every day, starting 01/01/2026\nAt 18:00:00 on 12/24/2026\n");

    const std::string bad =
        sandbox.WriteFile("bad.xml", TaskDocument("bad", "<Trigger Type=\"1\"></Trigger>", "true"));
    const ProgramResult refused = sandbox.Client({"check", bad});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.output, "");
    EXPECT_NE(refused.errors.find("0x80004005"), std::string::npos) << refused.errors;
    EXPECT_NE(refused.errors.find("No BeginDate specified for trigger."), std::string::npos);

    const auto withPolicy = [](const std::string& name, const std::string& policy) {
        return "<Schedule Name=\"" + name + "\"><Task><Trigger Type=\"0\"><BeginDate>" +
               "2026-12-24 18:00:00</BeginDate></Trigger></Task><RunPolicy>" + policy +
               "</RunPolicy><ApplicationName>/bin/true</ApplicationName></Schedule>";
    };
    const std::string limited = sandbox.WriteFile(
        "limited.xml", withPolicy("limited", "<TimeLimit>5</TimeLimit><Overlap>queue</Overlap>"));
    const std::string policies =
        "time limit: 5 minutes, then the run is ended\n"
        "overlap: queue, a run due while the last one runs waits for it\n";
    EXPECT_EQ(sandbox.Client({"check", limited}).output, "ok\n" + policies);
    EXPECT_EQ(sandbox.Client({"describe", limited}).output,
              "At 18:00:00 on 12/24/2026\n" + policies);
    const std::string mistyped =
        sandbox.WriteFile("mistyped.xml", withPolicy("mistyped", "<Overlap>later</Overlap>"));
    EXPECT_NE(sandbox.Client({"check", mistyped}).errors.find("Overlap must be one of"),
              std::string::npos);

    EXPECT_EQ(sandbox.Client({"frobnicate"}).status, 2);
    EXPECT_EQ(sandbox.Client({"next", good, "--count", "0"}).status, 2);
}

TEST(Product, ClientWorksTheFolderItselfWhenNoDaemonHoldsIt) {
    ProductSandbox sandbox;
    const std::string marker = WideToUtf8(sandbox.Folder(L"marker"));
    const std::string task = sandbox.WriteFile(
        "later.xml",
        TaskDocument("later", OnceAt("2099-01-01 00:00:00"), "echo by-hand >> " + marker));
    const ProgramResult added = sandbox.Client({"add", task});
    ASSERT_EQ(added.status, 0) << added.errors;
    const std::string identity = added.output.substr(0, added.output.find('\n'));
    EXPECT_TRUE(Exists(sandbox.WorkFolder() + "/" + identity + ".xml"));
    EXPECT_EQ(sandbox.Client({"add", task}).status, 1) << "the schedule name is taken";

    const ProgramResult ran = sandbox.Client({"run", "later"});
    EXPECT_EQ(ran.output, "ran " + identity + ": exited 0\n") << ran.errors;
    EXPECT_EQ(FileText(marker), "by-hand\n");
    const std::string history = sandbox.Client({"history", "later"}).output;
    EXPECT_TRUE(history.starts_with("now\t") && history.ends_with("\texited 0\trun-now\n"))
        << history;
    EXPECT_EQ(sandbox.Client({"cancel", "later"}).status, 1);
    EXPECT_EQ(sandbox.Client({"enable"}).status, 1);
    EXPECT_EQ(sandbox.Client({"disable"}).status, 0);

    EXPECT_EQ(sandbox.Client({"delete", "later"}).status, 0);
    EXPECT_FALSE(Exists(sandbox.WorkFolder() + "/" + identity + ".xml"));
    EXPECT_FALSE(Exists(sandbox.WorkFolder() + "/Logs/" + identity + ".runs"));
    EXPECT_EQ(sandbox.Client({"show", "later"}).status, 1);
    EXPECT_FALSE(Exists(sandbox.LockFile()));
}

}  // namespace
