// Run by the system's script host against the registered library: creation by ProgID and a
// late-bound property read. Prints one line per step; exits 0 only when every step held.
function main() {
    var scheduler = new ActiveXObject("Kalvane.ZynTaskScheduler.1");
    WScript.Echo("created");
    if (scheduler.Enabled !== false) {
        WScript.Echo("a new scheduler reads Enabled as " + scheduler.Enabled);
        return 1;
    }
    WScript.Echo("Enabled false");
    return 0;
}

try {
    WScript.Quit(main());
} catch (error) {
    // An uncaught error would end the script silently with 0.
    WScript.Echo("error 0x" + (error.number >>> 0).toString(16) + " " + error.description);
    WScript.Quit(2);
}
