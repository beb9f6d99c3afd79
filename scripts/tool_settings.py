#!/usr/bin/env python3
"""The deployment tools' settings for a release, so that nobody types them:
tool_settings.py KIT_JSON DEPLOY_DIR OUT writes one folder per platform and level of the kit's
packages, OUT/<platform>-<level> (OUT/<platform> for a kit without levels), holding

    detect.js, detect.ps1    DEPLOY_DIR's scripts with the UpgradeCode, version and level filled in
    intune-win32app.json     a Microsoft Graph (beta) win32LobApp fragment: command lines, return
                             codes, architecture and detect.ps1 as its detection script
    configmgr.txt            Configuration Manager's programs, detection and return codes
    psadt4.ps1               the PowerShell App Deployment Toolkit 4 lines

The command lines and return codes are docs/deploying.md's; tests/e2e/test_recipes.py holds them
equal and runs the detection scripts."""
import base64
import json
import sys
from pathlib import Path

# The share Configuration Manager and Group Policy collect setup logs in: the administrator's own.
LOG_SHARE = "\\\\server\\share\\logs\\"
INTUNE_ARCHITECTURES = {"x64": "x64", "win32": "x86", "arm64": "arm64"}
# setup.exe's exit codes as each tool is told them; any other code is a failure.
INTUNE_CODES = [(0, "success"), (3, "success"), (1605, "success"), (1707, "success"),
                (3010, "softReboot"), (1641, "hardReboot"), (7, "hardReboot"), (1618, "retry")]
CONFIGMGR_CODES = [(0, "Success (no reboot)"), (3, "Success (no reboot)"),
                   (1605, "Success (no reboot)"), (3010, "Soft Reboot"), (1641, "Hard Reboot"),
                   (7, "Hard Reboot"), (1618, "Fast Retry")]
CONFIGMGR_DEFAULTS = {0, 1641, 3010, 1618}  # what the Script Installer type starts with
PSADT_SUCCESS = (0, 3, 1605)
PSADT_REBOOT = (1641, 3010)


def command(action: str, level: str, log: str = "") -> str:
    """setup.exe's command line for install, uninstall or repair, with -log when given."""
    words = {"install": ["-noreboot"] + (["-kc", level] if level else []),
             "uninstall": ["-uninstall", "-noreboot"],
             "repair": ["-repair", "-noreboot"]}[action]
    return " ".join(["setup.exe", "-silent", *words, *(["-log", log] if log else []),
                     "-args", "/qn"])


def psadt_line(action: str, level: str, exit_on_failure: bool) -> str:
    arguments = command(action, level).removeprefix("setup.exe ")
    return (f"Start-ADTProcess -FilePath \"$($adtSession.DirFiles)\\setup.exe\" -ArgumentList "
            f"'{arguments}' -WindowStyle Hidden" + (" -ExitOnProcessFailure" if exit_on_failure
                                                     else ""))


def filled(script: Path, line: str, values: dict) -> str:
    """The script with its settings given values: line formats a setting's line from its name and
    value, and each setting's line with the script's own default must be there once."""
    text = script.read_text(encoding="utf-8")
    for name, (default, value) in values.items():
        before, after = (line.format(name=name, value=v) + "\n" for v in (default, value))
        if text.count(before) != 1:
            sys.exit(f"tool_settings: {script} has no single line {before.strip()!r}")
        text = text.replace(before, after)
    return text


def detection_scripts(deploy: Path, facts: dict, level: str) -> dict:
    values = {"UpgradeCode": ("", facts["UpgradeCode"]), "Lowest": ("0", facts["version"]),
              "Levels": ("", level)}
    js = filled(deploy / "detect.js", 'var {name} = "{value}";', values)
    ps1 = filled(deploy / "detect.ps1", "${name} = '{value}'", values)
    # Intune asks for UTF-8 with a byte-order mark.
    return {"detect.js": js.encode("utf-8"), "detect.ps1": b"\xef\xbb\xbf" + ps1.encode("utf-8")}


def intune(facts: dict, platform: str, level: str, detect_ps1: bytes) -> bytes:
    app = {
        "@odata.type": "#microsoft.graph.win32LobApp",
        "displayVersion": facts["version"],
        "setupFilePath": "setup.exe",
        "installCommandLine": command("install", level),
        "uninstallCommandLine": command("uninstall", level),
        "allowedArchitectures": INTUNE_ARCHITECTURES[platform],
        "installExperience": {"@odata.type": "#microsoft.graph.win32LobAppInstallExperience",
                              "runAsAccount": "system",
                              "deviceRestartBehavior": "basedOnReturnCode",
                              "maxRunTimeInMinutes": 60},
        "returnCodes": [{"@odata.type": "#microsoft.graph.win32LobAppReturnCode",
                         "returnCode": code, "type": kind} for code, kind in INTUNE_CODES],
        "detectionRules": [{"@odata.type": "#microsoft.graph.win32LobAppPowerShellScriptDetection",
                            "enforceSignatureCheck": False, "runAs32Bit": False,
                            "scriptContent": base64.b64encode(detect_ps1).decode("ascii")}],
    }
    return (json.dumps(app, indent=2) + "\n").encode("utf-8")


def configmgr(facts: dict, platform: str, level: str) -> bytes:
    lines = [f"Configuration Manager, deployment type Script Installer: Quorvane CSP "
             f"{facts['version']}, {platform}{', ' + level if level else ''}",
             f"{LOG_SHARE} stands for the share that collects the setup logs.",
             "",
             f"Installation program: {command('install', level, LOG_SHARE)}",
             f"Uninstall program: {command('uninstall', level, LOG_SHARE)}",
             f"Repair program: {command('repair', level, LOG_SHARE)}",
             "Detection method: a custom script, JScript, the contents of detect.js",
             "",
             "Return codes (the type's defaults are marked *; add the others):"]
    lines += [f"{code:<5} {kind}{' *' if code in CONFIGMGR_DEFAULTS else ''}"
              for code, kind in CONFIGMGR_CODES]
    return ("\n".join(lines) + "\n").encode("utf-8")


def psadt4(facts: dict, platform: str, level: str) -> bytes:
    success = ", ".join(map(str, PSADT_SUCCESS))
    reboot = ", ".join(map(str, PSADT_REBOOT))
    lines = [f"# PowerShell App Deployment Toolkit 4, Quorvane CSP {facts['version']}, {platform}"
             f"{', ' + level if level else ''}; the kit in Files\\.",
             "# In $adtSession: the session's codes decide how the toolkit ends.",
             f"AppSuccessExitCodes = @({success})",
             f"AppRebootExitCodes = @({reboot})",
             "",
             "# 4.1 and later; run setup.exe last, as a later Start-ADTProcess replaces the code.",
             psadt_line("install", level, True),
             psadt_line("uninstall", level, True),
             "# Launcher: Invoke-AppDeployToolkit.exe -DeploymentType Install -DeployMode Silent",
             "",
             "# 4.0.x (not 4.0.4) has no -ExitOnProcessFailure; its launcher needs "
             "-AllowRebootPassThru.",
             psadt_line("install", level, False),
             psadt_line("uninstall", level, False),
             "# Launcher: Invoke-AppDeployToolkit.exe -DeploymentType Install -DeployMode Silent "
             "-AllowRebootPassThru"]
    return ("\n".join(lines) + "\n").encode("utf-8")


def settings(facts: dict, deploy: Path) -> dict:
    """{relative path: bytes} of every file the tools get."""
    files = {}
    for platform, level in sorted({(p["platform"], p["level"] or "")
                                   for p in facts["packages"]}):
        folder = f"{platform}-{level}" if level else platform
        scripts = detection_scripts(deploy, facts, level)
        files.update({f"{folder}/{name}": data for name, data in scripts.items()})
        files[f"{folder}/intune-win32app.json"] = intune(facts, platform, level,
                                                         scripts["detect.ps1"])
        files[f"{folder}/configmgr.txt"] = configmgr(facts, platform, level)
        files[f"{folder}/psadt4.ps1"] = psadt4(facts, platform, level)
    return files


def main() -> int:
    facts = json.loads(Path(sys.argv[1]).read_text(encoding="utf-8"))
    out = Path(sys.argv[3])
    for name, data in settings(facts, Path(sys.argv[2])).items():
        (out / name).parent.mkdir(parents=True, exist_ok=True)
        (out / name).write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
