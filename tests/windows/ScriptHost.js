// The library as a script drives it, run by the system's script host against the registered
// library: configured on a work folder of the test's, a task created whose program writes a
// file, found, run at once, refused bad XML with a readable error, deleted, stopped.
//   cscript //nologo ScriptHost.js WORKFOLDER MARKERFILE
// Prints one line per check; exits 0 only when every check held.
var failures = 0;

function check(held, what) {
    WScript.Echo((held ? "ok " : "FAILED ") + what);
    if (!held) {
        failures++;
    }
}

// The script host here cannot sleep: waits look at the clock.
function waitFor(condition, seconds) {
    var end = new Date().getTime() + seconds * 1000;
    while (!condition() && new Date().getTime() < end) {
    }
    return condition();
}

// The description of the error `call` throws, or null when it throws none.
function errorOf(call) {
    try {
        call();
    } catch (error) {
        return error.description;
    }
    return null;
}

function taskDocument(marker) {
    return "<Schedule Name=\"marker\"><Task><Triggers><Trigger Type=\"0\" Interval=\"0\" " +
           "Duration=\"0\"><BeginDate>2091-01-01 10:00:00</BeginDate></Trigger></Triggers>" +
           "<ApplicationName>cmd.exe</ApplicationName><Parameters>/c echo ran&gt;\"" + marker +
           "\"</Parameters></Task></Schedule>";
}

function main() {
    var workFolder = WScript.Arguments(0);
    var marker = WScript.Arguments(1);
    var files = new ActiveXObject("Scripting.FileSystemObject");
    var scheduler = new ActiveXObject("Kalvane.ZynTaskScheduler.1");
    check(scheduler.Enabled === false, "a new scheduler is disabled");

    var refused = errorOf(function () { scheduler.Config = "<TaskScheduler"; });
    check(refused !== null && refused.indexOf("Failed to load task scheduler config") >= 0,
          "a configuration that is no XML is refused: " + refused);
    scheduler.Config = "<TaskScheduler WorkFolder='" + workFolder + "' WorkerThreadPoolSize='1'/>";
    scheduler.Enabled = true;
    check(scheduler.Enabled === true, "configured and enabled");

    var task = scheduler.CreateTask(taskDocument(marker));
    var guid = task.Guid;
    var stored = workFolder + "\\" + guid + ".xml";
    check(files.FileExists(stored), "the task's document is in the work folder");
    check(scheduler.Tasks.Count === 1, "the collection counts the task");
    check(scheduler.Tasks.GetTask(guid).Guid === guid, "the collection finds it by identity");
    var next = new Date(task.GetNextRunTime());
    check(next.getFullYear() === 2091 && next.getHours() === 10, "its next run: " + next);

    task.ExecuteTask();
    check(waitFor(function () { return files.FileExists(marker); }, 60),
          "run at once, its program wrote the file");

    var badXml = errorOf(function () { scheduler.CreateTask("<Schedule"); });
    check(badXml !== null && badXml.length > 0, "a task document that is no XML: " + badXml);

    task.DeleteTask();
    check(!files.FileExists(stored) && scheduler.Tasks.Count === 0, "deleted");
    scheduler.Stop();
    check(scheduler.Enabled === false, "stopped");
    return failures === 0 ? 0 : 1;
}

try {
    WScript.Quit(main());
} catch (error) {
    // An uncaught error would end the script silently with 0.
    WScript.Echo("error 0x" + (error.number >>> 0).toString(16) + " " + error.description);
    WScript.Quit(2);
}
