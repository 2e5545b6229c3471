#!/usr/bin/env python3
"""Checks the language packs of a language folder.

    check_packs.py LANGUAGE_FOLDER              check every *.ini, print the key counts
    check_packs.py --self-test LANGUAGE_FOLDER  show that broken packs are caught

A pack is a UTF-16LE text with a byte-order mark and CRLF line ends, read the way
the program reads it: lines trimmed of characters up to U+0020, ";" comments,
"[section]" headers, "key=value" pairs, section and key names without regard to
ASCII case. English.ini is the catalogue: it must hold every key the program looks
up (REQUIRED below) with the program's own built-in texts where it has them, and
every other pack must hold exactly the keys of English.ini, with text wherever
English has text, and the same format placeholders in the same order.

Every problem is reported as "file: [section] key: what is wrong"; the exit status
is 1 when there is any.
"""

import os
import re
import shutil
import sys
import tempfile

# Every key the program looks up by a fixed or per-window name, per section.
# Window keys are window + "." + component + ".Caption"/".Hint"; names match without
# regard to case, so ".caption" and ".Caption" (or "ButtonOK" and "ButtonOk") are one key.
REQUIRED = {
    "Lang": ["NativeLanguage"],
    "Translation": [
        "LangCode", "DefaultCharSet", "DefaultFont", "DefaultFontSize",
        # message dialog titles
        "Confirm", "Error", "Information", "Warning",
        # main window: picture buttons, link buttons, labels
        "frmQdxMain.btnScan.caption", "frmQdxMain.btnScan.Hint",
        "frmQdxMain.btnCancel.caption", "frmQdxMain.btnCancel.Hint",
        "frmQdxMain.btnFolder.caption", "frmQdxMain.btnFolder.Hint",
        "frmQdxMain.btnFolderList.caption", "frmQdxMain.btnFolderList.Hint",
        "frmQdxMain.btnemail.Caption", "frmQdxMain.btnemail.hint",
        "frmQdxMain.btntwitter.Caption", "frmQdxMain.btntwitter.hint",
        "frmQdxMain.btnfacebook.Caption", "frmQdxMain.btnfacebook.hint",
        "frmQdxMain.btnAdvSetting.Caption", "frmQdxMain.btnAdvSetting.hint",
        "frmQdxMain.btnInvertSelection.Caption", "frmQdxMain.btnInvertSelection.hint",
        "frmQdxMain.btnKeepOne.Caption", "frmQdxMain.btnKeepOne.hint",
        "frmQdxMain.btnDel.Caption", "frmQdxMain.btnDel.hint",
        "frmQdxMain.btnSelAll.Caption", "frmQdxMain.btnSelAll.hint",
        "frmQdxMain.lblVer.Caption", "frmQdxMain.lblinfo.Caption",
        "frmQdxMain.lblcaption.Caption", "frmQdxMain.lblLocation.Caption",
        # keep-one menu, row menu, main menu
        "ppmLastCreate", "ppmFirstCreate", "ppmLastWrite", "ppmFirstWrite", "ppmKeepReference",
        "ppmExecute", "ppmFileProperties", "ppmOpen", "ppmDelete", "ppmExport",
        "ppmReplaceLink", "ppmReplaceClone", "ppmDefaultOrder",
        "frmQdxMain.btnReplace.Caption", "frmQdxMain.btnReplace.hint",
        "frmDFSettings.lblReference.Caption",
        "ppmHelpOnline", "ppmForum", "ppmHomepage", "ppmContactUs", "ppmCheckUpdates",
        "ppmSettings", "ppmRestoreFile", "ppmLanguage", "ppmAbout",
        # delete failure dialog
        "frmDeleteComfirm.chkNever.caption",
        # settings dialog
        "frmDFSettings.Caption", "frmDFSettings.Folder.Caption",
        "frmDFSettings.AdvSetting.Caption",
        "frmDFSettings.btnOk.caption", "frmDFSettings.btnOk.Hint",
        "frmDFSettings.btnCancel.caption", "frmDFSettings.btnCancel.Hint",
        "frmDFSettings.btnFolder.caption", "frmDFSettings.btnFolder.Hint",
        "frmDFSettings.btnAddIncludeKey.Caption", "frmDFSettings.btnAddIncludeKey.hint",
        "frmDFSettings.btnAddkey.Caption", "frmDFSettings.btnAddkey.hint",
        "frmDFSettings.btnAddFolder.Caption", "frmDFSettings.btnAddFolder.hint",
        "frmDFSettings.lblIncludes.Caption", "frmDFSettings.lblMinimize.Caption",
        "frmDFSettings.lblMaxmize.Caption", "frmDFSettings.lblExclude.Caption",
        "frmDFSettings.lblCheckupdate.Caption", "frmDFSettings.lblBackup.Caption",
        "frmDFSettings.lblColor.Caption",
        "frmDFSettings.chkAutoBackup.Caption", "frmDFSettings.chkRecycleDelete.Caption",
        # backup manager
        "frmBackup.Caption",
        "frmBackup.btnDelete.caption", "frmBackup.btnDelete.Hint",
        "frmBackup.btnRestore.caption", "frmBackup.btnRestore.Hint",
        "frmBackup.btnFolder.caption", "frmBackup.btnFolder.Hint",
        "frmBackup.lblBackup.Caption",
        # about window
        "frmAbout.caption", "frmAbout.lblver.Caption", "frmAbout.lblverinfo.Caption",
        "frmAbout.lblemail.Caption", "frmAbout.lblemailinfo.Caption",
        "frmAbout.lblhome.Caption", "frmAbout.lblhomeinfo.Caption",
        "frmAbout.lblthanks.Caption",
        # properties window
        "frmProperties.Caption", "frmProperties.lblName.Caption",
        "frmProperties.lblFolder.Caption", "frmProperties.lblSize.Caption",
        "frmProperties.lblModified.Caption", "frmProperties.lblCreated.Caption",
        "frmProperties.lblPermissions.Caption", "frmProperties.lblOwner.Caption",
        "frmProperties.lblGroup.Caption", "frmProperties.lblMissing.Caption",
        "frmProperties.btnClose.Caption",
    ],
    "Message": [
        "AddFolder", "BeginCountFiles", "Byte", "Continuedelete", "CountFiles",
        "CountResult", "CreateDate", "Daily", "Desktop", "EndCountFiles", "FileName",
        "FileSize", "FolderName", "GB", "HashFiles", "InputKey", "KB", "LastDate", "MB",
        "MWDetected", "Monthly", "MyDocument", "Never", "NoFolder", "NoMd5", "NoNews", "WaitBackup",
        "WaitRestore", "Weekly", "deletefileerr", "mdFileName", "mdHash", "mdHashPart",
        "mdZeroSize", "newver", "nonewver", "searchduplicateover",
        "exportcsverr", "RestoreFailed", "RestoreUnsafeName", "RestoreNotAFile",
        "RestoreDamaged", "RestoreInTheWay", "RestoreReadOnly",
        "BackupIncomplete", "BackupArchiveFailed", "BackupNotAFile", "BackupKeptChanging",
        "BackupDeleteAnyway", "FileChangedSinceSearch", "FileReplacedByLink",
        "ProofCopiesDiffer", "ProofNoCopyLeft", "EveryCopyQuestion", "RowLastCopyQuestion",
        "PermanentDeleteQuestion", "RowPermanentQuestion", "PermanentDeleteSize",
        "PermanentDeleteBackup", "PermanentDeleteNoBackup",
        "AddReferenceFolder", "InsideReferenceFolder", "ReferenceMark", "ReferenceNeverActedOn", "ReplaceOtherFileSystem",
        "ReplaceNoClones", "HardLinkQuestion", "CloneQuestion", "ReplaceEveryCopyRefused",
        "ReplaceFileErr", "ContinueReplace", "ReplaceDone",
        "DeletedToTrash", "DeletedPermanently", "DeletedSize", "DeleteFailedCount",
        "DeleteBackupArchive", "ExtraCopiesSize", "TickedFiles", "NoDuplicates",
        "RestoreDone", "RestoreArchiveRemoved", "UpdateCheckFailed", "ResultsList",
        "SupportOffline", "SupportOfflineHint", "SupportRetry",
        "HashedBytes", "BackupIncompleteOne", "EveryCopyQuestionOne",
        "PermanentDeleteQuestionOne", "DeletedToTrashOne", "DeletedPermanentlyOne",
        "DeleteFailedCountOne", "TickedFilesOne", "HardLinkQuestionOne", "CloneQuestionOne",
        "ReplaceEveryCopyRefusedOne",
    ],
    "GUI": [
        "BtnNews", "BtnSupportCenter", "ButtonCancel", "ButtonMenu", "ButtonNo",
        "ButtonOK", "ButtonOk", "ButtonYes",
    ],
}

# The program's built-in English texts (and design-time captions): English.ini says
# the same, so a user without the pack sees what a user with it sees.
BUILT_IN = {
    ("Translation", "Confirm"): "Confirmation",
    ("Translation", "frmDeleteComfirm.chkNever.caption"): "Do not show this notice again",
    ("Translation", "frmDFSettings.lblMinimize.Caption"): "min",
    ("Translation", "frmDFSettings.lblMaxmize.Caption"): "max",
    ("Translation", "frmDFSettings.lblIncludes.Caption"): "include",
    ("Translation", "frmDFSettings.lblExclude.Caption"): "exclude",
    ("Translation", "frmDFSettings.btnAddkey.Caption"): "Add keyword",
    ("Translation", "frmDFSettings.btnAddIncludeKey.Caption"): "Add keyword",
    ("Translation", "frmDFSettings.btnAddFolder.Caption"): "Add folder",
    ("Translation", "frmDFSettings.chkRecycleDelete.Caption"):
        "Move the selected items to the Trash",
    ("Message", "CreateDate"): "Create time",
    ("Message", "Desktop"): "Desktop",
    ("Message", "FileName"): "File Name",
    ("Message", "FileSize"): "File Size",
    ("Message", "FolderName"): "Path",
    ("Message", "LastDate"): "Modify time",
    ("Message", "MyDocument"): "Documents",
    ("Message", "MWDetected"):
        "MalwareBytes is detected to block %s from working. Click OK to get the solution.",
    ("Message", "NoNews"): "You have no unread message.",
    ("Message", "SupportOffline"): "The Support Center cannot be reached",
    ("Message", "SupportOfflineHint"):
        "Check that this computer is connected to the Internet, then try again.",
    ("Message", "SupportRetry"): "Try again",
    ("Message", "newver"): "A new version is found. Do you want an upgrade now?",
    ("Message", "nonewver"): "No effective update found.",
    ("GUI", "ButtonYes"): "Yes",
    ("GUI", "ButtonNo"): "No",
}

# The arguments the program formats into a text; every other text takes none.
FORMAT_ARGS = {
    ("Message", "CountFiles"): ["%d"],
    ("Message", "EndCountFiles"): ["%d"],
    ("Message", "searchduplicateover"): ["%d", "%d", "%d"],
    ("Message", "BackupIncomplete"): ["%d", "%d"],
    ("Message", "EveryCopyQuestion"): ["%d", "%d"],
    ("Message", "PermanentDeleteQuestion"): ["%d"],
    ("Message", "HardLinkQuestion"): ["%d"],
    ("Message", "CloneQuestion"): ["%d"],
    ("Message", "ReplaceEveryCopyRefused"): ["%d"],
    ("Message", "HardLinkQuestionOne"): ["%d"],
    ("Message", "CloneQuestionOne"): ["%d"],
    ("Message", "ReplaceEveryCopyRefusedOne"): ["%d"],
    ("Message", "ReplaceDone"): ["%d"],
    ("Message", "DeletedToTrash"): ["%d"],
    ("Message", "DeletedPermanently"): ["%d"],
    ("Message", "DeleteFailedCount"): ["%d"],
    ("Message", "TickedFiles"): ["%d"],
    ("Message", "HashedBytes"): ["%s", "%s"],
    ("Message", "BackupIncompleteOne"): ["%d", "%d"],
    ("Message", "EveryCopyQuestionOne"): ["%d", "%d"],
    ("Message", "PermanentDeleteQuestionOne"): ["%d"],
    ("Message", "DeletedToTrashOne"): ["%d"],
    ("Message", "DeletedPermanentlyOne"): ["%d"],
    ("Message", "DeleteFailedCountOne"): ["%d"],
    ("Message", "TickedFilesOne"): ["%d"],
    ("Message", "MWDetected"): ["%s"],
}

# Names that stay as they are in every language.
KEPT_WORDS = ["Pelidor", "MalwareBytes", "CSV"]

# Font and language attributes, compared per pack rather than with English.
ATTRIBUTES = {("lang", "nativelanguage"), ("translation", "langcode"),
              ("translation", "defaultcharset"), ("translation", "defaultfont"),
              ("translation", "defaultfontsize")}

CHARSETS = {
    "ANSI_CHARSET", "DEFAULT_CHARSET", "SYMBOL_CHARSET", "MAC_CHARSET", "SHIFTJIS_CHARSET",
    "HANGEUL_CHARSET", "JOHAB_CHARSET", "GB2312_CHARSET", "CHINESEBIG5_CHARSET",
    "GREEK_CHARSET", "TURKISH_CHARSET", "HEBREW_CHARSET", "ARABIC_CHARSET",
    "BALTIC_CHARSET", "RUSSIAN_CHARSET", "THAI_CHARSET", "EASTEUROPE_CHARSET", "OEM_CHARSET",
}

SECTIONS = ["Lang", "Translation", "Message", "GUI"]

# A format placeholder as the program's Format reads it: %[index:][-][width][.precision]type.
PLACEHOLDER = re.compile(r"%(?:%|(?:\d+:)?-?(?:\d+|\*)?(?:\.(?:\d+|\*))?[dDuUeEfFgGnNmMpPsSxX])")
LANGCODE = re.compile(r"[0-9A-Fa-f]{4}(?:\|[0-9A-Fa-f]{4})*")
BASE_NAME = re.compile(r"[A-Za-z0-9_-]+")
BLANKS = "".join(chr(c) for c in range(0x21))


def fold(name):
    return name.translate(str.maketrans("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz"))


class Pack:
    def __init__(self, file_name):
        self.file = file_name
        self.sections = {}  # folded section -> (name, {folded key -> (key, value)})

    def section(self, name):
        return self.sections.get(fold(name), (name, {}))[1]

    def value(self, section, key):
        entry = self.section(section).get(fold(key))
        return entry[1] if entry else None

    def count(self, section):
        return len(self.section(section))


def read_pack(path, errors):
    """Parses one pack; None when it cannot be read at all."""
    name = os.path.basename(path)

    def error(where, what):
        errors.append(f"{name}: {where}{what}")

    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(b"\xff\xfe"):
        error("", "does not start with the UTF-16LE byte-order mark FF FE")
        return None
    try:
        text = data[2:].decode("utf-16-le")
    except UnicodeDecodeError as e:
        error("", f"is not valid UTF-16LE ({e.reason} at byte {e.start + 2})")
        return None
    lines = text.split("\r\n")
    if lines[-1] != "":
        error("", "the last line has no CRLF line end")
    pack = Pack(name)
    current = None
    for number, raw in enumerate(lines, start=1):
        if "\n" in raw or "\r" in raw:
            error(f"line {number}: ", "line end is not CRLF")
        line = raw.strip(BLANKS)
        if not line or line.startswith(";"):
            continue
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1].strip(BLANKS)
            if fold(section) in pack.sections:
                error(f"[{section}] ", f"line {number}: the section appears a second time")
            pack.sections.setdefault(fold(section), (section, {}))
            current = section
            continue
        if current is None:
            error(f"line {number}: ", "text before the first section is ignored by the program")
            continue
        if "=" not in line:
            error(f"[{current}] line {number}: ", "not a key=value line")
            continue
        key, value = (part.strip(BLANKS) for part in line.split("=", 1))
        keys = pack.sections[fold(current)][1]
        if fold(key) in keys:
            error(f"[{current}] {key}: ", f"line {number}: a second value for "
                  f"{keys[fold(key)][0]} (only the first one counts)")
            continue
        keys[fold(key)] = (key, value)
    return pack


def placeholders(text):
    found = PLACEHOLDER.findall(text)
    stray = "%" in PLACEHOLDER.sub("", text)
    return found, stray


def check_attributes(pack, errors):
    def error(section, key, what):
        errors.append(f"{pack.file}: [{section}] {key}: {what}")

    if not pack.value("Lang", "NativeLanguage"):
        error("Lang", "NativeLanguage", "missing or empty")
    code = pack.value("Translation", "LangCode")
    if not code:
        error("Translation", "LangCode", "missing or empty")
    elif not LANGCODE.fullmatch(code):
        error("Translation", "LangCode",
              f"'{code}' is not 4-digit hexadecimal codes separated by '|'")
    charset = pack.value("Translation", "DefaultCharSet")
    if charset not in CHARSETS:
        error("Translation", "DefaultCharSet", f"'{charset}' is not a character-set name")
    if not pack.value("Translation", "DefaultFont"):
        error("Translation", "DefaultFont", "missing or empty")
    size = pack.value("Translation", "DefaultFontSize")
    if size is None or not re.fullmatch(r"\d+", size) or not 6 <= int(size) <= 72:
        error("Translation", "DefaultFontSize", f"'{size}' is not a point size from 6 to 72")


def check_english(english, errors):
    for section, keys in REQUIRED.items():
        for key in keys:
            if english.value(section, key) is None:
                errors.append(f"{english.file}: [{section}] {key}: missing")
    for (section, key), text in BUILT_IN.items():
        value = english.value(section, key)
        if value is not None and value != text:
            errors.append(f"{english.file}: [{section}] {key}: '{value}' differs from the "
                          f"program's built-in text '{text}'")
    format_args = {(fold(s), fold(k)): args for (s, k), args in FORMAT_ARGS.items()}
    for section, keys in english.sections.values():
        for key, value in keys.values():
            found, stray = placeholders(value)
            wanted = format_args.get((fold(section), fold(key)), [])
            if found != wanted or stray:
                errors.append(f"{english.file}: [{section}] {key}: placeholders {found} "
                              f"do not match the program's arguments {wanted}")


def check_against_english(pack, english, errors):
    def error(section, key, what):
        errors.append(f"{pack.file}: [{section}] {key}: {what}")

    for folded, (section, keys) in pack.sections.items():
        if folded not in english.sections:
            error(section, "", "section not in English.ini")
            continue
        for fkey, (key, _) in keys.items():
            if fkey not in english.sections[folded][1]:
                error(section, key, "key not in English.ini (misspelt?)")
    for folded, (section, keys) in english.sections.items():
        for fkey, (key, text) in keys.items():
            if (folded, fkey) in ATTRIBUTES:
                continue
            value = pack.value(section, key)
            if value is None:
                error(section, key, "missing")
                continue
            if text and not value:
                error(section, key, "empty, English has text")
            elif value and not text:
                error(section, key, "has text where English.ini is empty on purpose")
            want, _ = placeholders(text)
            got, stray = placeholders(value)
            if got != want:
                error(section, key, f"placeholders {got} differ from English {want}")
            elif stray:
                error(section, key, "a '%' that is not a placeholder (write %% in format texts)")
            for word in KEPT_WORDS:
                if word in text and word not in value:
                    error(section, key, f"'{word}' must stay as it is")


def check_folder(folder):
    """Returns (errors, packs) for the language folder."""
    errors = []
    names = sorted(n for n in os.listdir(folder) if n.lower().endswith(".ini"))
    if "English.ini" not in names:
        return [f"{folder}: English.ini is missing"], []
    names.remove("English.ini")
    names.insert(0, "English.ini")
    packs = []
    for name in names:
        if not BASE_NAME.fullmatch(name[:-4]) or not name.endswith(".ini"):
            errors.append(f"{name}: the base name should be ASCII letters, digits, '_' or '-' "
                          "with the extension '.ini'")
        pack = read_pack(os.path.join(folder, name), errors)
        if pack is not None:
            packs.append(pack)
    if not packs or packs[0].file != "English.ini":
        return errors, packs
    english = packs[0]
    check_english(english, errors)
    owner = {}
    for pack in packs:
        check_attributes(pack, errors)
        if pack is not english:
            check_against_english(pack, english, errors)
        for code in (pack.value("Translation", "LangCode") or "").upper().split("|"):
            if code and code in owner and owner[code] != pack.file:
                errors.append(f"{pack.file}: [Translation] LangCode: {code} is also claimed by "
                              f"{owner[code]}; the first file listed would win")
            owner.setdefault(code, pack.file)
    return errors, packs


def print_counts(packs):
    print(f"{'pack':24}" + "".join(f"{s:>12}" for s in SECTIONS) + f"{'total':>8}")
    for pack in packs:
        counts = [pack.count(s) for s in SECTIONS]
        print(f"{pack.file:24}" + "".join(f"{c:12}" for c in counts) + f"{sum(counts):8}")


# --- self-test: broken copies of the real packs must be reported --------------------


def _edit(folder, name, change):
    path = os.path.join(folder, name)
    with open(path, "rb") as f:
        data = f.read()
    text = data[2:].decode("utf-16-le")
    data = change(text)
    if isinstance(data, str):
        data = b"\xff\xfe" + data.encode("utf-16-le")
    with open(path, "wb") as f:
        f.write(data)


def _set(key, value):
    def change(text):
        new, n = re.subn(rf"(?m)^{re.escape(key)}=.*?(?=\r\n)", lambda _: f"{key}={value}", text)
        assert n == 1, key
        return new
    return change


def _drop(key):
    def change(text):
        new, n = re.subn(rf"(?m)^{re.escape(key)}=.*?\r\n", "", text)
        assert n == 1, key
        return new
    return change


def _after(section, line):
    return lambda text: text.replace(f"[{section}]\r\n", f"[{section}]\r\n{line}\r\n", 1)


PROBE = "Probe.ini"
SELF_TEST_CASES = [
    # (what, file, change, words the report must contain)
    ("missing key", PROBE, _drop("CountFiles"), "Probe.ini: [Message] CountFiles: missing"),
    ("placeholder lost", PROBE, _set("CountFiles", "Files found"),
     "Probe.ini: [Message] CountFiles: placeholders"),
    ("placeholder changed", PROBE,
     _set("MWDetected", "%d blocks us. Click OK."), "Probe.ini: [Message] MWDetected"),
    ("placeholder added", PROBE, _set("NoFolder", "No folder %s"), "Probe.ini: [Message] NoFolder"),
    ("stray percent", PROBE, _set("EndCountFiles", "100% of %d"),
     "Probe.ini: [Message] EndCountFiles"),
    ("empty value", PROBE, _set("ppmAbout", ""), "Probe.ini: [Translation] ppmAbout: empty"),
    ("text on a picture button", PROBE, _set("frmQdxMain.btnFolder.caption", "..."),
     "Probe.ini: [Translation] frmQdxMain.btnFolder.caption"),
    ("misspelt key", PROBE, _after("Translation", "ppmAbuot=About"),
     "Probe.ini: [Translation] ppmAbuot"),
    ("product name translated", PROBE, _set("ppmAbout", "About"),
     "Probe.ini: [Translation] ppmAbout: 'Pelidor'"),
    ("no byte-order mark", PROBE, lambda t: t.encode("utf-16-le"), "Probe.ini: does not start"),
    ("UTF-8 file", PROBE, lambda t: b"\xef\xbb\xbf" + t.encode("utf-8"), "Probe.ini: does not start"),
    ("LF line ends", PROBE, lambda t: t.replace("\r\n", "\n"), "Probe.ini: line 1: line end"),
    ("bad language code", PROBE, _set("LangCode", "0804|104"), "Probe.ini: [Translation] LangCode"),
    ("shared language code", PROBE, _set("LangCode", "007F|0409"),
     "Probe.ini: [Translation] LangCode: 0409 is also claimed by English.ini"),
    ("unknown character set", PROBE, _set("DefaultCharSet", "SHIFT_JIS"),
     "Probe.ini: [Translation] DefaultCharSet"),
    ("font size not a number", PROBE, _set("DefaultFontSize", "eight"),
     "Probe.ini: [Translation] DefaultFontSize"),
    ("no native name", PROBE, _drop("NativeLanguage"), "Probe.ini: [Lang] NativeLanguage"),
    ("key before any section", PROBE, lambda t: "Stray=1\r\n" + t, "Probe.ini: line 1: text before"),
    ("second value of a key", "English.ini", _after("GUI", "buttonok=Okay"),
     "English.ini: [GUI] ButtonOK: line"),
    ("English lacks a required key", "English.ini", _drop("BtnNews"),
     "English.ini: [GUI] BtnNews: missing"),
    ("English differs from the built-in text", "English.ini",
     _set("NoNews", "No news."), "English.ini: [Message] NoNews"),
    ("English format text with a wrong argument", "English.ini",
     _set("searchduplicateover", "Found %d groups in %d s"),
     "English.ini: [Message] searchduplicateover"),
]


def self_test(folder):
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        def fresh():
            for name in os.listdir(tmp):
                os.remove(os.path.join(tmp, name))
            shutil.copy(os.path.join(folder, "English.ini"), tmp)
            shutil.copy(os.path.join(folder, "English.ini"), os.path.join(tmp, PROBE))
            _edit(tmp, PROBE, _set("LangCode", "007F"))
            _edit(tmp, PROBE, _set("NativeLanguage", "Probe"))

        fresh()
        errors, _ = check_folder(tmp)
        if errors:
            failures.append(f"a faithful copy of English.ini is reported: {errors}")
        for what, name, change, expected in SELF_TEST_CASES:
            fresh()
            _edit(tmp, name, change)
            errors, _ = check_folder(tmp)
            if not any(expected in e for e in errors):
                failures.append(f"{what}: no report containing '{expected}'; got {errors}")
    for failure in failures:
        print("FAIL", failure)
    print(f"self-test: {len(SELF_TEST_CASES) + 1 - len(failures)} of "
          f"{len(SELF_TEST_CASES) + 1} cases caught")
    return 1 if failures else 0


def main(argv):
    args = argv[1:]
    if args[:1] == ["--self-test"] and len(args) == 2:
        return self_test(args[1])
    if len(args) != 1:
        print(__doc__)
        return 2
    errors, packs = check_folder(args[0])
    print_counts(packs)
    for error in errors:
        print(error)
    print(f"{len(packs)} packs, {len(errors)} problems")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
