// The acceptance pass: setup.exe's scenarios on this machine, one row each (README.txt).
//   cscript //nologo acceptance.js [/disposable] [/results:FOLDER]
// Exit code: the number of failed rows; 255 when it refuses to run.
// Only WScript.Shell.Run and files: Wine's cscript, where this pass is proven, has no Exec, no
// StdOut and no Sleep.
var sh = WScript.CreateObject("WScript.Shell");
// What it starts skips the Internet mark's "Open File - Security Warning", a box nobody answers.
try {
    sh.Environment("Process").Item("SEE_MASK_NOZONECHECKS") = "1";
} catch (e) {}  // Wine's stub; row zone-checks-off shows it on Windows
var fso = WScript.CreateObject("Scripting.FileSystemObject");
var HERE = fso.GetParentFolderName(WScript.ScriptFullName);
var SYSTEM_ROOT = env("SystemRoot");
var WORK = SYSTEM_ROOT + "\\Temp\\QuorvaneAcceptance";  // SYSTEM's task reads it too
var DRIVER = HERE + "\\tools\\ui_driver.exe";
var TOOL_EXIT = "C:\\ordo_tool_exit.txt", TOOL_LOG = "C:\\ordo_tool.log";
var MARKER = "HKCU\\Software\\NeedBstrReboot";
var SAVED_MARKER = SYSTEM_ROOT + "\\Temp\\QuorvaneAcceptanceMarker.reg";
var STORES = "HKLM\\SOFTWARE\\Microsoft\\SystemCertificates\\";
var PROBE = "HKLM\\SOFTWARE\\QuorvaneAcceptance";
var TASK = "QuorvaneAcceptance";
var UNSEEN = "the window station is not visible";
var PLATFORM = fso.FolderExists(SYSTEM_ROOT + "\\SysWOW64") ? "x64" : "win32";
var WINE = fso.FileExists(SYSTEM_ROOT + "\\system32\\winecfg.exe");

// One row a scenario. run: setup.exe's folder (kit, old, sealed; changed: a copy of sealed with
// a package changed; copy: a copy of kit) and its arguments; -log is added. how: "hidden" on a
// window station of its own, as a service starts it; "stdout" with its output to a file;
// "task" by a scheduled task as SYSTEM; else as an administrator starts it. After the run: the
// exit code, the product installed ("" none, "kc1_eng" the kit's, "old kc2_rus"), marker: the
// restart marker is there, stores: each certificate is in its kind's store (else none is),
// log: text the setup log holds besides its exit code, wineLog: what Wine's holds instead and
// why: the reason for each. tool: what the init-tool double does; hold: arguments of a run
// started first and kept waiting on the tool; wine: why Wine cannot. Or shell: a command that
// cmd runs with its output to a file, and output: that output ({upgrade}, {version}, {tools},
// {product} stand for the kit's values, the tools' folder and the product installed).
var PLAN = "-whatif -silent -noreboot -root -kc kc1 -lang eng";
var DETECT_JS = 'cscript //nologo "{tools}\\detect.js" {upgrade} {version} kc1';
var DETECT_PS1 = 'powershell -NoProfile -ExecutionPolicy Bypass -File "{tools}\\detect.ps1" ' +
                 "{upgrade} {version} kc1";
var POWERSHELL = "PowerShell does not run under Wine";
var ROWS = [
    {name: "zone-checks-off", shell: "set SEE_MASK_NOZONECHECKS", output: "SEE_MASK_NOZONECHECKS=1",
     wine: "Wine's WScript.Shell sets no process variable (a stub), and Wine makes no zone checks"},
    {name: "whatif-fresh", run: ["kit", PLAN], want: 0, installed: ""},
    {name: "ed25519-root", run: ["kit", PLAN], want: 0, installed: "",
     log: "of ed25519_root.cer to Root",
     why: "a root either way: no provider takes an Ed25519 key (Wine's nor, as they come, " +
          "Windows'), or one does and its own key verifies it; nothing names another key"},
    {name: "brainpool-ca", run: ["kit", PLAN], want: 0, installed: "",
     log: "of brainpool_ca.cer to CA", wineLog: "of brainpool_ca.cer to Root",
     why: "another brainpool key signed it: Windows has a provider for the key, so the failed " +
          "check is another key's; Wine has none, and nothing names another key"},
    {name: "pss-root", run: ["kit", PLAN], want: 0, installed: "",
     log: "of pss_root.crt to Root", wineLog: "of pss_root.crt to CA",
     why: "Windows verifies its RSA-PSS signature; Wine takes the RSA key but not the PSS " +
          "signature, and its authority key identifier names another key"},
    {name: "detect-js-absent", shell: DETECT_JS, output: ""},
    {name: "detect-ps1-absent", shell: DETECT_PS1, output: "", wine: POWERSHELL},
    {name: "fresh-kc1", run: ["kit", "-silent -noreboot -kc kc1 -lang eng"], want: 0,
     installed: "kc1_eng"},
    {name: "detect-js-present", shell: DETECT_JS, output: "installed {product} {version} kc1"},
    {name: "detect-ps1-present", shell: DETECT_PS1, output: "installed {product} {version} kc1",
     wine: POWERSHELL},
    {name: "same-version", run: ["kit", "-silent -noreboot"], want: 3, installed: "kc1_eng"},
    {name: "whatif-same-version", run: ["kit", "-whatif -silent -noreboot"], want: 3,
     installed: "kc1_eng"},
    {name: "noreboot-restart-due", run: ["kit", "-silent -noreboot -reinstall"], tool: "3010",
     want: 3010, installed: "kc1_eng", marker: true},
    {name: "second-run-while-one-holds-the-lock", hold: "-silent -noreboot -reinstall",
     run: ["kit", "-silent -noreboot"], want: 1618, installed: "kc1_eng",
     log: "lock: QuorvaneCspSetup\\Lock in the administrators' private namespace",
     wineLog: "lock: Global\\QuorvaneCspSetup, no private namespace (50)",
     why: "Wine has no private namespaces and takes the global name; Windows must not"},
    {name: "uninstall", run: ["kit", "-silent -noreboot -uninstall"], want: 0, installed: ""},
    {name: "uninstall-nothing-there", run: ["kit", "-silent -noreboot -uninstall"], want: 1605,
     installed: ""},
    {name: "fresh-kc2-root", run: ["kit", "-silent -noreboot -root -kc kc2 -lang rus"], want: 0,
     installed: "kc2_rus", stores: true},
    {name: "uninstall-kc2", run: ["kit", "-silent -noreboot -uninstall"], want: 0, installed: ""},
    {name: "fresh-kc3-unseen", how: "hidden", run: ["kit", "-noreboot -kc kc3 -lang eng"],
     want: 0, installed: "kc3_eng", log: UNSEEN},
    {name: "uninstall-kc3", run: ["kit", "-silent -noreboot -uninstall"], want: 0, installed: ""},
    {name: "older-version", run: ["old", "-silent -noreboot -kc kc2 -lang rus"], want: 0,
     installed: "old kc2_rus"},
    {name: "update-keeps-level-and-language", run: ["kit", "-silent -noreboot"], want: 0,
     installed: "kc2_rus"},
    {name: "later-version-installed", how: "hidden", run: ["old", "-noreboot"], want: 4,
     installed: "kc2_rus", log: UNSEEN},
    {name: "whatif-later-version-installed", how: "stdout", run: ["old", "-whatif -noreboot"],
     want: 4, installed: "kc2_rus"},
    {name: "sealed-kit-changed", run: ["changed", "-silent -noreboot -root"], want: 0x80091007,
     installed: "kc2_rus"},
    {name: "whatif-uninstall", run: ["kit", "-whatif -silent -noreboot -uninstall"], want: 0,
     installed: "kc2_rus"},
    {name: "uninstall-update", run: ["kit", "-silent -noreboot -uninstall"], want: 0,
     installed: ""},
    {name: "sealed-kit", run: ["sealed", "-silent -noreboot -root -kc kc1 -lang eng"], want: 0,
     installed: "kc1_eng", stores: true},
    {name: "uninstall-sealed", run: ["kit", "-silent -noreboot -uninstall"], want: 0,
     installed: ""},
    // Last: under Wine it is skipped, and no row may depend on what it installs.
    {name: "system-task-unseen", how: "task", run: ["copy", "-noreboot -kc kc3 -lang eng"],
     want: 0, installed: "kc3_eng", log: UNSEEN,
     wine: "Wine's task scheduler runs no task as SYSTEM on a window station of its own"}
];

// Wine's answer ends in the terminating null.
function env(name) {
    return sh.ExpandEnvironmentStrings("%" + name + "%").replace(/\u0000/g, "");
}

function quoted(text) {
    return '"' + text.replace(/"/g, '\\"') + '"';
}

function run(commandLine) {
    return sh.Run(commandLine, 0, true) >>> 0;
}

function sleep(ms) {
    run(quoted(DRIVER) + " sleep " + ms);
}

function exists(key) {
    return run("reg query " + quoted(key)) === 0;
}

// "" for a file that is not there or that a run still holds.
function read(path) {
    try {
        var file = fso.OpenTextFile(path, 1);
        var text = file.AtEndOfStream ? "" : file.ReadAll();
        file.Close();
        return text;
    } catch (e) {
        return "";
    }
}

// ASCII whatever the code page: the report and the XML say they are UTF-8.
function write(path, text) {
    var file = fso.CreateTextFile(path, true);
    file.Write(text.replace(/[^\t\n\r\x20-\x7E]/g, "?"));
    file.Close();
}

function remove(path) {
    if (fso.FileExists(path)) fso.DeleteFile(path, true);
}

function codeText(code) {
    if (code < 0x80000000) return String(code);
    var hex = code.toString(16).toUpperCase();
    return "0x" + "00000000".substring(hex.length) + hex;
}

function fields() {
    var kit = {certificates: []};
    var lines = read(HERE + "\\kit.txt").split(/\r?\n/);
    for (var i = 0; i < lines.length; i++) {
        // A certificate: its store on Windows, its thumbprint, its file, and Wine's store if other.
        var word = lines[i].split(" ");
        if (word.length > 2)
            kit.certificates.push({store: WINE && word[3] ? word[3] : word[0], print: word[1],
                                   file: word[2]});
        else if (word.length === 2) kit[word[0]] = word[1];
    }
    return kit;
}

var KIT = fields();

function products() {
    var installer = WScript.CreateObject("WindowsInstaller.Installer");
    var related = installer.RelatedProducts(KIT.upgrade), found = [];
    for (var i = 0; i < related.Count; i++) found.push(related.Item(i));
    return found;
}

function installedText() {
    var installer = WScript.CreateObject("WindowsInstaller.Installer");
    var codes = products(), parts = [];
    for (var i = 0; i < codes.length; i++)
        parts.push(installer.ProductInfo(codes[i], "PackageName") + " " +
                   installer.ProductInfo(codes[i], "VersionString"));
    return parts.length ? parts.join(" + ") : "nothing installed";
}

function wantedInstalled(installed) {
    if (!installed) return "nothing installed";
    var old = installed.indexOf("old ") === 0;
    var tokens = old ? installed.substring(4) : installed;
    return "qv_" + PLATFORM + "_" + tokens + ".msi " + (old ? KIT.old : KIT.version);
}

// Where each test certificate is: "by kind", "none" or each file's store.
function storesText() {
    var places = [], byKind = true, none = true;
    for (var i = 0; i < KIT.certificates.length; i++) {
        var c = KIT.certificates[i], at = "none";
        if (exists(STORES + "Root\\Certificates\\" + c.print)) at = "Root";
        if (exists(STORES + "CA\\Certificates\\" + c.print)) at = at === "none" ? "CA" : at + "+CA";
        places.push(c.file + " in " + at);
        byKind = byKind && at === c.store;
        none = none && at === "none";
    }
    return none ? "no certificate" : byKind ? "certificates by kind" : places.join(", ");
}

// The test certificates are this release's own: none was there before the pass.
function removeCertificates() {
    for (var i = 0; i < KIT.certificates.length; i++)
        for (var store in {Root: 0, CA: 0})
            run("reg delete " + quoted(STORES + store + "\\Certificates\\" +
                                      KIT.certificates[i].print) + " /f");
}

function folderOf(name) {
    var work = WORK + "\\" + name;
    if (name === "copy" && !fso.FolderExists(work)) fso.CopyFolder(HERE + "\\kit", work);
    if (name === "changed" && !fso.FolderExists(work)) {
        fso.CopyFolder(HERE + "\\sealed", work);
        var path = work + "\\qv_" + PLATFORM + "_kc1_eng.msi";
        fso.GetFile(path).Attributes = 0;  // a copy from a read-only share may keep the attribute
        var file = fso.OpenTextFile(path, 8);
        file.Write("changed");
        file.Close();
    }
    return fso.FolderExists(work) ? work : HERE + "\\" + name;
}

function setupCommand(row, log) {
    return quoted(folderOf(row.run[0]) + "\\setup.exe") + " " + row.run[1] + " -log " + quoted(log);
}

// The code of the run that wrote this log: its last line names it.
function loggedExit(log) {
    var found = read(log).match(/ exit code (\S+):[^\n]*\s*$/);
    return found ? found[1] : null;
}

function waitForLog(log, seconds) {
    for (var i = 0; i < seconds * 2 && loggedExit(log) === null; i++) sleep(500);
    return loggedExit(log);
}

function asTask(row, log) {
    run("schtasks /create /f /tn " + TASK + " /ru SYSTEM /sc once /st 00:00 /tr " +
        quoted(setupCommand(row, log)));
    run("schtasks /run /tn " + TASK);
    var code = waitForLog(log, 300);
    run("schtasks /end /tn " + TASK);
    run("schtasks /delete /f /tn " + TASK);
    return code === null ? "still running after 300 s" : code;
}

// A run that takes the lock and keeps it: the tool it starts hangs until it is ended.
function holding(row) {
    var log = WORK + "\\" + row.name + "-holder.log";
    write(TOOL_EXIT, "hang");
    var before = read(TOOL_LOG);
    sh.Run(setupCommand({run: [row.run[0], row.hold]}, log), 0, false);
    for (var i = 0; i < 240 && read(TOOL_LOG) === before; i++) sleep(500);
    return log;
}

function release(log) {
    run("taskkill /f /im ordo_tool.exe");
    waitForLog(log, 120);
}

// Runs one row; returns [wanted, came] in the same words.
function perform(row) {
    var log = WORK + "\\" + row.name + ".log", how = row.how;
    var setup = setupCommand(row, log), code;
    if (row.tool) write(TOOL_EXIT, row.tool);
    var holder = row.hold ? holding(row) : null;
    if (how === "task") code = asTask(row, log);
    else if (how === "hidden") code = codeText(run(quoted(DRIVER) + " exec-hidden " + quoted(setup)));
    else if (how === "stdout")
        code = codeText(run(quoted(DRIVER) + " exec-to " + quoted(WORK + "\\" + row.name + ".txt") +
                            " " + quoted(setup)));
    else code = codeText(run(setup));
    if (holder) release(holder);
    remove(TOOL_EXIT);
    var text = read(log), wanted = ["exit code " + codeText(row.want)], came = ["exit code " + code];
    var logged = WINE && row.wineLog ? row.wineLog : row.log;
    var needed = ["exit code " + codeText(row.want) + ":"].concat(logged ? [logged] : []);
    for (var i = 0; i < needed.length; i++) {
        wanted.push("log has '" + needed[i] + "'");
        came.push(text.indexOf(needed[i]) >= 0 ? "log has '" + needed[i] + "'"
                                              : "log lacks '" + needed[i] + "'");
    }
    wanted.push(wantedInstalled(row.installed), row.marker ? "marker" : "no marker",
                row.stores ? "certificates by kind" : "no certificate");
    came.push(installedText(), exists(MARKER) ? "marker" : "no marker", storesText());
    return [wanted.join(", "), came.join(", ")];
}

function expanded(text) {
    var codes = products();
    return text.replace(/\{upgrade\}/g, KIT.upgrade).replace(/\{version\}/g, KIT.version)
        .replace(/\{tools\}/g, HERE + "\\tools").replace(/\{product\}/g, codes.join(" "));
}

// A shell row: its exit code and output, wanted and come.
function shelled(row) {
    var out = WORK + "\\" + row.name + ".txt", wanted = expanded(row.output);
    var code = run('cmd /c "' + expanded(row.shell) + " > " + quoted(out) + '"');
    var text = read(out).replace(/\s+$/, "");
    return ["exit code 0, output '" + wanted + "'", "exit code " + codeText(code) + ", output '" +
            text + "'"];
}

function copyLogs(name, results) {
    var names = [name + ".log", name + ".log.msiexec.log", name + "-holder.log", name + ".txt"];
    for (var i = 0; i < names.length; i++)
        if (fso.FileExists(WORK + "\\" + names[i]))
            fso.CopyFile(WORK + "\\" + names[i], results + "\\" + names[i], true);
}

// Removes what the pass added: the test product, certificates, the marker, the doubles' files,
// the task and the work folder. With `restore`, the marker is put back as it was found, its
// values and their types as saved before the first row.
function cleanUp(restore) {
    run("schtasks /delete /f /tn " + TASK);
    run("taskkill /f /im ordo_tool.exe");
    var codes = products();
    for (var i = 0; i < codes.length; i++)
        run("msiexec /x " + codes[i] + " /qn REBOOT=ReallySuppress");
    removeCertificates();
    run("reg delete " + MARKER + " /f");
    if (restore && fso.FileExists(SAVED_MARKER)) {
        run("reg import " + quoted(SAVED_MARKER));
        remove(SAVED_MARKER);
    }
    var files = [TOOL_EXIT, TOOL_LOG, "C:\\ks.log"];
    for (var j = 0; j < files.length; j++) remove(files[j]);
    if (fso.FolderExists(WORK)) fso.DeleteFolder(WORK, true);
}

function xml(text) {
    return String(text).replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;")
        .replace(/"/g, "&quot;");
}

function windowsText() {
    var key = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\", parts = [];
    var names = ["ProductName", "DisplayVersion", "CurrentBuildNumber"];
    for (var i = 0; i < names.length; i++) {
        try { parts.push(sh.RegRead(key + names[i])); } catch (e) {}
    }
    var arch = env("PROCESSOR_ARCHITEW6432");
    if (arch.charAt(0) === "%") arch = env("PROCESSOR_ARCHITECTURE");
    return "Windows: " + parts.join(" ") + (WINE ? " (Wine)" : "") + ", " + arch + ", " +
           PLATFORM + " packages";
}

function say(text) {
    if (/cscript\.exe$/i.test(WScript.FullName)) WScript.Echo(text);
}

// Why the pass must not run here, or "".
function refusal(disposable) {
    if (!disposable)
        return "This pass installs a test product and adds test certificates to the machine's " +
               "trust stores. It runs only on a machine you will throw away, with /disposable " +
               "(acceptance.wsb gives it in Windows Sandbox).";
    if (run("reg add " + PROBE + " /f") !== 0)
        return "This pass must run as an administrator: start it from an elevated prompt.";
    run("reg delete " + PROBE + " /f");
    return "";
}

function main() {
    var disposable = false, results = fso.GetParentFolderName(HERE) + "\\results";
    for (var a = 0; a < WScript.Arguments.Count(); a++) {
        var arg = WScript.Arguments(a);
        if (/^\/disposable$/i.test(arg)) disposable = true;
        else if (/^\/results:/i.test(arg)) results = arg.substring(9);
    }
    var why = refusal(disposable);
    if (why) {
        WScript.Echo("REFUSED: " + why);  // a box when double-clicked
        return 255;
    }
    var start = new Date(), found = products().length ? installedText() : "";
    remove(SAVED_MARKER);
    if (exists(MARKER)) run("reg export " + MARKER + " " + quoted(SAVED_MARKER) + " /y");
    cleanUp(false);
    fso.CreateFolder(WORK);
    if (!fso.FolderExists(results)) fso.CreateFolder(results);
    var report = [windowsText(), "started: " + start.toString()], cases = [], failed = 0,
        skipped = 0;
    // A product of the test kit that was there before is gone now: the report says which.
    if (found) report.push("removed before the first row: " + found);
    say(report[0]);
    for (var r = 0; r < ROWS.length; r++) {
        var row = ROWS[r], began = new Date().getTime(), line, element;
        if (WINE && row.wine) {
            skipped++;
            line = "SKIPPED " + row.name + ": " + row.wine;
            element = "<skipped message=\"" + xml(row.wine) + "\"/>";
        } else {
            var result;
            try {
                result = row.shell ? shelled(row) : perform(row);
            } catch (e) {
                result = ["no error", "error " + codeText(e.number >>> 0) + " " + e.message];
            }
            copyLogs(row.name, results);
            run("reg delete " + MARKER + " /f");
            removeCertificates();
            var pass = result[0] === result[1];
            if (!pass) failed++;
            line = (pass ? "PASS " : "FAIL ") + row.name + ": " +
                   (row.shell ? expanded(row.shell) : "setup.exe " + row.run[1]) +
                   (pass ? ": " + result[1] : ": wanted " + result[0] + "; came " + result[1]) +
                   (row.why ? " (" + row.why + ")" : "");
            element = pass ? "" : "<failure message=\"" + xml("wanted " + result[0] + "; came " +
                                                             result[1]) + "\"/>";
        }
        var seconds = (new Date().getTime() - began) / 1000;
        cases.push("  <testcase classname=\"acceptance\" name=\"" + xml(row.name) + "\" time=\"" +
                   seconds + "\">" + element + "</testcase>");
        report.push(line);
        say(line);
    }
    cleanUp(true);
    var total = (new Date().getTime() - start.getTime()) / 1000;
    var summary = (ROWS.length - failed - skipped) + " passed, " + failed + " failed, " + skipped +
                  " skipped in " + total + " s";
    report.push(summary);
    say(summary);
    write(results + "\\acceptance-report.txt", report.join("\r\n") + "\r\n");
    write(results + "\\acceptance.xml",
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<testsuite name=\"acceptance\" tests=\"" +
          ROWS.length + "\" failures=\"" + failed + "\" skipped=\"" + skipped + "\" time=\"" +
          total + "\">\r\n  <properties><property name=\"windows\" value=\"" +
          xml(report[0]) + "\"/></properties>\r\n" + cases.join("\r\n") + "\r\n</testsuite>\r\n");
    return failed;
}

WScript.Quit(main());
