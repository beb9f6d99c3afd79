// Detection for deployment tools (Configuration Manager runs it with cscript): is the product a
// kit installs there, at a version at least, at a level that counts? Settings below; arguments
// given in this order override them: cscript //nologo detect.js <UpgradeCode> [<lowest> [<levels>]]
// detect.ps1 is the same script, line for line, in PowerShell (Intune).
//
// There: exactly one product related to the UpgradeCode is installed, at that version or later,
// at one of the levels. Writes "installed <ProductCode> <version> <level>" and exits 0.
// Not there (none, older, two products, another level): writes nothing and exits 0.
// A real error (no installer object, a bad setting): a line and exit code 2.
// The UpgradeCode and the levels are in the release's kit.json and in every setup log.
var UpgradeCode = "";
var Lowest = "0";
// Levels: e.g. "kc2 kc3"; empty: any level
var Levels = "";

// Field by field as numbers, a missing field counting as 0, as the installer orders versions.
function AtLeast(version, wanted) {
    var have = version.split(".");
    var want = wanted.split(".");
    for (var i = 0; i < Math.max(have.length, want.length); i++) {
        var a = i < have.length ? parseInt(have[i], 10) || 0 : 0;
        var b = i < want.length ? parseInt(want[i], 10) || 0 : 0;
        if (a != b) return a > b;
    }
    return true;
}

// As setup.exe reads it: the first kc1, kc2 or kc3 in the installed package's name; "" for none.
function LevelOf(installer, code) {
    var name = "";
    try {
        name = installer.ProductInfo(code, "PackageName");
    } catch (e) {
    }
    var match = /kc[1-3]/i.exec(name);
    return match ? match[0].toLowerCase() : "";
}

var args = WScript.Arguments;
if (args.length > 0) UpgradeCode = args.Item(0);
if (args.length > 1) Lowest = args.Item(1);
if (args.length > 2) Levels = args.Item(2);
if (!/^\{[0-9A-Fa-f-]{36}\}$/.test(UpgradeCode) || !/^\d+(\.\d+)*$/.test(Lowest)) {
    WScript.Echo("bad setting: UpgradeCode " + UpgradeCode + ", lowest version " + Lowest);
    WScript.Quit(2);
}
var installer = null;
try {
    installer = new ActiveXObject("WindowsInstaller.Installer");
} catch (e) {
    WScript.Echo("no WindowsInstaller.Installer object");
    WScript.Quit(2);
}
var found = [];
var related = installer.RelatedProducts(UpgradeCode);
for (var i = 0; i < related.Count; i++) {
    if (installer.ProductState(related.Item(i)) == 5) found.push(related.Item(i));
}
// Two products are a failed update, not an installation: the tool runs setup.exe, which says so.
if (found.length != 1) WScript.Quit(0);
var code = found[0];
var version = installer.ProductInfo(code, "VersionString");
var level = LevelOf(installer, code);
var allowed = Levels == "" || (level != "" && (" " + Levels.toLowerCase() + " ").indexOf(" " + level + " ") >= 0);
if (AtLeast(version, Lowest) && allowed) WScript.Echo("installed " + code + " " + version + " " + level);
WScript.Quit(0);
