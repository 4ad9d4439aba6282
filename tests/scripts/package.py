#!/usr/bin/env python3
"""Checks of the zip a hospital receives; tests/scripts/package.sh builds it
twice, starts Wine and calls this.

Reproducible
  the two builds (two build folders of different names) print one sha256,
  the zip's, and give the same bytes; no build or source folder is named in
  the programs.
The zip, as Windows reads it
  the five entries in order, named in code page 932 without the UTF-8 flag
  (how Explorer on a Japanese Windows reads them), the same names from the
  UTF-8 extra field (how Info-ZIP's unzip reads them), every entry dated the
  commit's time; the batch files in code page 932 with CR LF; the guide one
  self-contained page naming every message of the window.
Used on a Wine desktop, in "EF 取込 テスト" (Japanese and spaces)
  データベース作成.bat started by cmd from another folder creates the eight
  tables, and running it again keeps the rows; EFImport.exe started from the
  folder writes sqlite3.dll, loads the sample month through its window to
  the completion box, and stores exactly what efload stores natively from
  the same files; efload.exe report writes the month's page there;
  薬剤使用割合レポート.bat offers the previous month, asks again after a
  wrong year-month, writes the page and opens it (the prefix's page opener
  is window_driver, which records it), and says so in Japanese when the
  month has no data; a batch file without efload.exe beside it says to
  unpack the zip.

Ends with "package: N passed, M failed".
"""
import argparse
import datetime
import hashlib
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import threading
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "package"))
import make_package  # noqa: E402  the names and order the zip must have

WINE = "/usr/lib/wine/wine64"
FOLDER_NAME = "EF 取込 テスト"
TABLES = ["En", "Eg", "Fn", "Fg", "EFn", "EFg", "kyak", "yak"]
MONTH = "202110"
SAMPLES = ["EN_202110.txt", "FN_202110.txt", "EG_202110.txt", "FG_202110.txt",
           "tp20211101-01_05.xlsx", "y_20250813.csv"]

passed = 0
failed = 0


def check(name, ok, detail=""):
    global passed, failed
    if ok:
        passed += 1
        print(f"ok    {name}")
    else:
        failed += 1
        print(f"FAIL  {name}")
        if detail:
            print("      " + str(detail).replace("\n", "\n      "))


# ---- Facts taken from the sources, so the checks follow them ----

def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def source_text(path):
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        return f.read()


def window_messages():
    """Every text the window shows in a box, from where the code keeps it."""
    steps = source_text("src/import/steps.cpp")
    messages = re.findall(r'\.error_message = "([^"]+)"', steps)
    messages.append(completion_text())
    messages.append(re.search(r'text = "([^"]+)"', source_text("src/import/path_rules.h")).group(1))
    handlers = source_text("src/app/win32/main_window_handlers.cpp")
    sibling = re.search(r'message_box\(L"(マスタ[^"]+)"', handlers).group(1)
    messages += sibling.split("\\r\\n")
    library = source_text("src/app/win32/engine_library.cpp")
    messages.append(re.search(r'return L"(ストリーム[^"]+)"', library).group(1))
    # L"ファイル \"" + target_path + L"\" を作成できません。": the text around the path
    around = re.search(r'L"([^"]*\\")" \+ target_path \+ L"(\\"[^"]*)"', library)
    messages += [part.replace('\\"', '"') for part in around.groups()]
    return messages


def completion_text():
    return re.search(r'completion_text = "([^"]+)"', source_text("src/import/run.cpp")).group(1)


def commit_time():
    out = subprocess.run(["git", "log", "-1", "--format=%ct"], cwd=ROOT, capture_output=True, text=True)
    return int(out.stdout.strip())


# ---- Wine ----

def wine(args, cwd, stdin=b""):
    env = dict(os.environ, LC_ALL="ja_JP.UTF-8", WINEDEBUG="-all")
    result = subprocess.run([WINE] + args, cwd=cwd, input=stdin, capture_output=True, env=env,
                            timeout=300)
    return result.returncode, result.stdout, result.stderr


def cmd_output(raw):
    """What cmd printed: its own lines in code page 932, efload's in UTF-8
    (both ASCII where they meet here)."""
    return raw.decode("cp932", errors="replace").replace("\r\n", "\n")


def windows_path(unix_path):
    return "Z:" + unix_path.replace("/", "\\")


def rows_of(database):
    con = sqlite3.connect(f"file:{database}?mode=ro", uri=True)
    try:
        return {t: sorted(con.execute(f"select * from {t}").fetchall(), key=repr) for t in TABLES}
    finally:
        con.close()


def previous_month():
    today = datetime.date.today()
    first = today.replace(day=1) - datetime.timedelta(days=1)
    return f"{first.year:04d}{first.month:02d}"


# ---- The checks ----

def check_reproducible(args):
    zips = []
    for out_dir, log, build in ((args.first, args.first_log, args.first_build),
                                (args.second, args.second_log, args.second_build)):
        with open(log, encoding="utf-8", errors="replace") as f:
            printed = re.findall(r"^sha256 ([0-9a-f]{64})$", f.read(), re.M)
        names = os.listdir(out_dir)
        path = os.path.join(out_dir, names[0]) if len(names) == 1 else None
        digest = hashlib.sha256(read_bytes(path)).hexdigest() if path else None
        zips.append((path, printed, digest, build))
    (first, first_printed, first_digest, _), (second, second_printed, second_digest, _) = zips
    check("two builds in two build folders print one sha256, the zip's",
          first_printed == [first_digest] and second_printed == [second_digest],
          f"printed {first_printed} and {second_printed}; files {first_digest} and {second_digest}")
    differing = []
    if first and second and first_digest != second_digest:
        with zipfile.ZipFile(first, metadata_encoding="cp932") as a, \
                zipfile.ZipFile(second, metadata_encoding="cp932") as b:
            differing = [i.filename for i in a.infolist()
                         if i.filename not in b.namelist() or a.read(i) != b.read(i.filename)]
    check("two builds in two build folders give the same bytes",
          first_digest is not None and first_digest == second_digest,
          f"{first}: {first_digest}\n{second}: {second_digest}\nentries that differ: {differing}")
    check("the zip is named efimport-<version>-win64.zip",
          first is not None and re.fullmatch(r"efimport-\d+\.\d+\.\d+-win64\.zip", os.path.basename(first)),
          first)

    with zipfile.ZipFile(first, metadata_encoding="cp932") as z:
        programs = {name: z.read(name) for name in ("EFImport.exe", "efload.exe")}
    leaks = []
    for folder in (ROOT, args.first_build, args.second_build):
        for encoded in (folder.encode("utf-8"), folder.encode("utf-16-le")):
            leaks += [f"{name} holds {folder}" for name, data in programs.items() if encoded in data]
    check("no build or source folder is named in the programs", not leaks, "\n".join(leaks))
    return first


def check_zip(path):
    expected = ["EFImport.exe", "efload.exe", *make_package.BATCH_FILES, make_package.GUIDE_NAME]
    with zipfile.ZipFile(path, metadata_encoding="cp932") as z:
        infos = z.infolist()
        names = [i.filename for i in infos]
        check("the entries in order, named in code page 932 without the UTF-8 flag",
              names == expected and all(i.flag_bits & 0x800 == 0 for i in infos) and z.testzip() is None,
              f"{names}, flags {[hex(i.flag_bits) for i in infos]}")
        epoch = datetime.datetime.fromtimestamp(commit_time(), datetime.timezone.utc)
        want = (epoch.year, epoch.month, epoch.day, epoch.hour, epoch.minute, epoch.second // 2 * 2)
        check("every entry is dated the commit's time", all(i.date_time == want for i in infos),
              f"{[i.date_time for i in infos]}, commit {want}")
        contents = {name: z.read(name) for name in names}

    listed = subprocess.run(["unzip", "-Z1", path], capture_output=True, env=dict(os.environ, LC_ALL="C.UTF-8"))
    unzip_names = listed.stdout.decode("utf-8", errors="replace").splitlines()
    check("Info-ZIP unzip reads the same names (the UTF-8 extra field)", unzip_names == expected,
          f"{unzip_names} {listed.stderr!r}")

    for name in make_package.BATCH_FILES:
        data = contents.get(name, b"")
        try:
            data.decode("cp932")
            decodes = True
        except UnicodeDecodeError:
            decodes = False
        lone_lf = data.replace(b"\r\n", b"").count(b"\n")
        check(f"{name}: code page 932 text, CR LF line ends",
              decodes and data.endswith(b"\r\n") and lone_lf == 0 and b"\r\n" in data,
              f"decodes {decodes}, lines without CR {lone_lf}")

    guide = contents.get(make_package.GUIDE_NAME, b"").decode("utf-8", errors="replace")
    sources = re.findall(r'\ssrc="([^"]*)"', guide)
    outside = re.findall(r'(?:src|href)="((?:https?:)?//[^"]*)"', guide)
    check("the guide is one self-contained page: no script, every image inline",
          "<script" not in guide and sources and all(s.startswith("data:image/png;base64,") for s in sources)
          and not outside and not re.search(r"@[A-Z_]+@", guide),
          f"{len(sources)} images, outside links {outside}")
    missing = [m for m in window_messages() if m not in guide]
    check("the guide names every message of the window", not missing, missing)


class Desktop:
    """The unpacked zip on the Wine desktop."""

    def __init__(self, desktop, zip_path):
        self.unix = os.path.join(desktop, FOLDER_NAME)
        user = os.path.basename(os.path.dirname(desktop))
        self.windows = f"C:\\users\\{user}\\Desktop\\{FOLDER_NAME}"
        shutil.rmtree(self.unix, ignore_errors=True)
        os.makedirs(self.unix)
        # As Explorer's "すべて展開" on a Japanese Windows reads the names.
        with zipfile.ZipFile(zip_path, metadata_encoding="cp932") as z:
            z.extractall(self.unix)

    def file(self, name):
        return os.path.join(self.unix, name)

    def run_batch(self, name, answers=(), folder=None):
        """Runs a batch file of the folder (or of `folder`, a Windows path)
        as a double-click does, from another working folder. `answers` are
        (prompt, line) pairs: each line is typed once its prompt has been
        shown one more time; then the input ends, which also answers pause.
        Typing ahead would not do: set /p reads whatever the pipe holds."""
        path = (folder or self.windows) + "\\" + name
        env = dict(os.environ, LC_ALL="ja_JP.UTF-8", WINEDEBUG="-all")
        process = subprocess.Popen([WINE, "cmd", "/c", path], cwd="/tmp", stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
        shown = bytearray()
        reader = threading.Thread(target=lambda: [shown.extend(chunk) for chunk in iter(
            lambda: process.stdout.read1(4096), b"")], daemon=True)
        reader.start()
        asked = {}
        for prompt, line in answers:
            asked[prompt] = asked.get(prompt, 0) + 1
            deadline = time.monotonic() + 60
            while cmd_output(bytes(shown)).count(prompt) < asked[prompt] and time.monotonic() < deadline:
                time.sleep(0.05)
            process.stdin.write(line.encode("cp932") + b"\r\n")
            process.stdin.flush()
        process.stdin.close()
        code = process.wait(timeout=300)
        reader.join(timeout=10)
        return code, cmd_output(bytes(shown))


def check_on_wine_desktop(args, zip_path, reference_db):
    desk = Desktop(args.desktop, zip_path)
    init = make_package.BATCH_FILES[0]
    report = make_package.BATCH_FILES[1]

    # Set-up: the database batch file, double-clicked (cmd starts it from elsewhere).
    code, out = desk.run_batch(init)
    database = desk.file("vorn.sqlite3")
    tables = []
    if os.path.exists(database):
        con = sqlite3.connect(database)
        tables = sorted(r[0] for r in con.execute("select name from sqlite_master where type = 'table'"))
        con.close()
    check(f"{init} creates the eight tables in its own folder and says so",
          code == 0 and "データベースの準備ができました。" in out and tables == sorted(TABLES),
          f"exit {code}, tables {tables}\n{out}")

    # The window, started from the folder, loads the sample month.
    sample = [windows_path(os.path.join(ROOT, "samples", s)) for s in SAMPLES]
    code, out, err = wine([args.driver, "run", desk.windows, completion_text(), MONTH] + sample, "/tmp")
    lines = [line.split("\t") for line in out.decode("utf-8", errors="replace").splitlines()]
    boxes = [line[1:] for line in lines if line[0] == "box"]
    check("EFImport.exe from its folder: sqlite3.dll beside it, one run to the completion box, closed",
          code == 0 and ["engine", "present"] in lines and boxes == [["EFファイル取り込み", completion_text()]],
          out.decode("utf-8", errors="replace") + err.decode("utf-8", errors="replace"))
    engine = desk.file("sqlite3.dll")
    shipped = os.path.join(args.first_build, "src", "app", "engine", "sqlite3.dll")
    check("the sqlite3.dll it wrote is the embedded 32-bit library",
          os.path.exists(engine) and read_bytes(engine) == read_bytes(shipped))
    window_rows = rows_of(database)
    reference_rows = rows_of(reference_db)
    differ = [t for t in TABLES if window_rows[t] != reference_rows[t] or not reference_rows[t]]
    check("the window stored what efload stores from the same files, in every table", not differ,
          {t: (len(window_rows[t]), len(reference_rows[t])) for t in differ})

    code, out = desk.run_batch(init)
    check(f"{init} run again keeps the rows", code == 0 and rows_of(database) == window_rows, out)

    # efload.exe in the folder, as the guide tells.
    code, out, err = wine([desk.file("efload.exe"), "report", "--yymm", MONTH], desk.unix)
    native = subprocess.run([args.efload, "report", "--yymm", MONTH, "--db", reference_db,
                             "--out", os.path.join(args.work, "native-report.html")],
                            capture_output=True, text=True)
    page = desk.file(f"efimport-report-{MONTH}.html")
    wine_headline = out.decode("utf-8", errors="replace").replace("\r\n", "\n").splitlines()[:-1]
    check("efload.exe report writes the month's page in the folder, with efload's figures",
          code == 0 and os.path.exists(page) and wine_headline == native.stdout.splitlines()[:-1],
          f"exit {code}\n{out!r}\n{native.stdout}")
    os.remove(page)

    # The report batch file: its browser is window_driver, which records the page.
    opened = os.path.join(args.work, "opened.txt")
    opener = f'"{windows_path(args.driver)}" record "{windows_path(opened)}" "%1"'
    subprocess.run(["bash", "-c", f'source "{ROOT}/scripts/wine-env" && wine_prefix_page_opener "$1"',
                    "bash", opener], check=True)
    month_prompt = "Enter キーを押してください [何も入力しなければ"
    code, out = desk.run_batch(report, [(month_prompt, "2021-10"), (month_prompt, MONTH)])
    recorded = open(opened, encoding="utf-8").read().splitlines() if os.path.exists(opened) else []
    check(f"{report}: a wrong year-month is asked again; the page is written, opened and named",
          code == 0 and out.count("年月は 202110（2021 年 10 月）のように") == 1
          and "レポートをブラウザーで開きました。" in out and os.path.exists(page)
          and recorded == [desk.windows + f"\\efimport-report-{MONTH}.html"],
          f"exit {code}, opened {recorded}\n{out}")

    offered = previous_month()
    code, out = desk.run_batch(report, [(month_prompt, "")])
    recorded_after = open(opened, encoding="utf-8").read().splitlines() if os.path.exists(opened) else []
    check(f"{report}: Enter takes the previous month ({offered}); a month without data is explained",
          f"[何も入力しなければ {offered}]" in out and f"for {offered}" in out
          and "レポートを作成できませんでした。" in out and code == 1 and recorded_after == recorded,
          f"exit {code}\n{out}")

    # A batch file opened from inside the zip runs without efload.exe beside it.
    alone = os.path.join(args.desktop, "batch alone")
    os.makedirs(alone, exist_ok=True)
    shutil.copy(desk.file(init), alone)
    code, out = desk.run_batch(init, folder=desk.windows.rsplit("\\", 1)[0] + "\\batch alone")
    check(f"{init} without efload.exe beside it says to unpack the zip, touching nothing",
          code == 1 and "efload.exe が見つかりません" in out and os.listdir(alone) == [init], f"exit {code}\n{out}")


def main():
    parser = argparse.ArgumentParser()
    for option in ("work", "first", "first-log", "first-build", "second", "second-log", "second-build",
                   "desktop", "driver", "efload"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()

    zip_path = check_reproducible(args)
    if zip_path:
        check_zip(zip_path)
        reference_db = os.path.join(args.work, "vorn.sqlite3")
        subprocess.run([args.efload, "init", "--db", reference_db], check=True, capture_output=True)
        subprocess.run([args.efload, "run", "--db", reference_db, "--yymm", MONTH]
                       + [arg for option, sample in zip(["--en", "--fn", "--eg", "--fg", "--etc", "--y"], SAMPLES)
                          for arg in (option, os.path.join(ROOT, "samples", sample))],
                       check=True, capture_output=True)
        check_on_wine_desktop(args, zip_path, reference_db)
    print(f"package: {passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
