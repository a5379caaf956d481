"""Walks the running client as a screen reader and a keyboard-only user would: it reads the
tree over AT-SPI and moves with key presses only, saying which key reached which control.
Usage: tst_a11y.py <server root> <program folder>."""

import os
import subprocess
import sys
import time
import urllib.request

import pyatspi
from gi.repository import GLib

ROOT, PROGRAM = sys.argv[1], sys.argv[2]
MAIN = "Quillmere盒子共享版"
R = pyatspi  # roles and states
focus = None      # the control that last took the focus, as the reader heard it
bar_values = []   # the progress bar's announced values
failures = []


def on_event(event):
    global focus
    if event.type.startswith("object:state-changed:focused") and event.detail1:
        focus = event.source
    elif event.type.startswith("object:property-change:accessible-value"):
        if event.source.getRole() == R.ROLE_PROGRESS_BAR:
            bar_values.append(event.source.queryValue().currentValue)


def wait_for(what, condition, timeout=30):
    """Polls condition, letting the reader's events in meanwhile; objects that vanish while
    windows switch count as not yet."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            result = condition()
        except Exception:
            result = None
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        if not GLib.MainContext.default().iteration(False):
            time.sleep(0.02)


def check(what, actual, expected):
    ok = actual == expected
    print(f"{'ok  ' if ok else 'FAIL'} {what}: {actual!r}" + ("" if ok else f", expected {expected!r}"))
    if not ok:
        failures.append(what)


def describe(acc):
    try:
        return f"{acc.getRoleName()} {acc.name!r}"
    except Exception:
        return "nothing"


def press(keys, role=None, name=None, note=""):
    """Presses keys (or types a text); with a role, waits until the focus lands there."""
    command = ["type", "--delay", "20"] if role == "type" else ["key", "--clearmodifiers"]
    subprocess.run(["xdotool", *command, keys], check=True)
    if role in (None, "type"):
        print(f"{'type' if role else 'key '} {keys:<10} -> {note}")
        return
    try:
        wait_for(f"{keys} to reach {name}", lambda: focus.getRole() == role and name in (None, focus.name),
                 timeout=10)
        print(f"key  {keys:<10} -> {describe(focus)}{note}")
    except AssertionError:
        failures.append(f"{keys} to {name}")
        print(f"FAIL {keys:<10} -> {describe(focus)}, expected {name}")


def window(name, role=R.ROLE_FRAME, shown=True):
    """The window once it is on screen and active, so that keys go to it (or once it is gone)."""
    def find():
        app = next(a for a in pyatspi.Registry.getDesktop(0) if a and a.name == "quillmere_a11y_client")
        for w in app:
            # States are cached; the window may have turned active before the reader listened.
            w.clear_cache()
            if w.getRole() == role and w.name == name and w.getState().contains(R.STATE_ACTIVE):
                return w
        return None if shown else True
    return wait_for(f"{name} {'on screen' if shown else 'to close'}", find)


def find_all(root, role):
    return pyatspi.findAllDescendants(root, lambda a: a.getRole() == role
                                      and a.getState().contains(R.STATE_SHOWING))


def controls(w):
    acting = (R.ROLE_PUSH_BUTTON, R.ROLE_LINK)
    return [(a.getRoleName(), a.name) for a in pyatspi.findAllDescendants(
        w, lambda a: a.getRole() in acting and a.getState().contains(R.STATE_SHOWING))]


def catalogue(query):
    """One page of a catalogue straight from the site: its (category, title) rows and the count."""
    with urllib.request.urlopen(ROOT + query) as answer:
        body, trailer = answer.read().decode("utf-8").lstrip("\ufeff").split("?TtbBa?")
    return [tuple(r.split("\x02")[:2]) for r in body.split("\x01")[:-1]], trailer.split("?")[0]


def selected_row(tree):
    table = tree.queryTable()
    rows = table.getSelectedRows()
    return tuple(table.getAccessibleAt(rows[0], c).name for c in range(2)) if len(rows) == 1 else None


def page_shown(w, title):
    """Waits until the window's web pane shows the page named title."""
    wait_for(f"the page of {title}", lambda: [a for a in find_all(w, R.ROLE_FILLER)
                                              if a.name == f"{title} - Quillmere"])
    print(f"     the web pane shows {title!r}")


def finished_files(folder):
    """The files below folder, once some are there and no partial file (nor its lock) is left."""
    names = [name for _, _, files in os.walk(folder) for name in files]
    return None if any(".part" in name for name in names) else names


def status(w, prefix):
    return wait_for(f"the status {prefix}", lambda: [a.name for a in find_all(w, R.ROLE_LABEL)
                                                    if a.name.startswith(prefix)])


def main_window():
    global focus
    main = window(MAIN)
    check("main window's controls", controls(main), [("link", "点击留言")] + [
        ("push button", n) for n in ("官方资源", "网友资源", "资源分享", "资源管理")])
    # The window may have taken the focus before the reader listened: ask the tree itself.
    focus = wait_for("the first command's focus", lambda: pyatspi.findDescendant(
        main, lambda a: a.getState().contains(R.STATE_FOCUSED)))
    check("focus", describe(focus), "push button '官方资源'")


def close(name):
    press("alt+F4", note=f"{name} closed")
    window(name, shown=False)
    main_window()


def walk_main():
    for name in ("网友资源", "资源分享", "资源管理"):
        press("Tab", R.ROLE_PUSH_BUTTON, name)
    press("Tab", R.ROLE_LINK, "点击留言", " (after the four commands)")
    press("Tab", R.ROLE_PUSH_BUTTON, "官方资源", " (round again)")


def walk_guanfang():
    press("space", R.ROLE_COMBO_BOX, "标题", " (官方资源 opened)")
    w = window("官方资源")
    check("官方资源's controls", controls(w), [("push button", n) for n in ("搜索", "刷新", "上一页", "下一页")])
    first, total = catalogue("guanfang/admin_upload.php?page=1")
    second, _ = catalogue("guanfang/admin_upload.php?page=2")
    tree = find_all(w, R.ROLE_TREE)[0]
    check("官方资源's rows", tree.queryTable().nRows, len(first))
    # Columns holding addresses and ids for the program are no part of what a reader meets.
    table = tree.queryTable()
    check("官方资源's columns", [table.getColumnHeader(c).name for c in range(table.nColumns)],
          ["分类", "标题", "备注", "收录时间"])
    check("status line", status(w, "已分享"), [f"已分享 {total} 个资源"])
    for role, name in ((R.ROLE_TEXT, "请输入关键字"), (R.ROLE_PUSH_BUTTON, "搜索"), (R.ROLE_PUSH_BUTTON, "刷新")):
        press("Tab", role, name)
    # The list frames its first row as it takes the focus, and the reader hears that row.
    press("Tab", R.ROLE_TABLE_CELL, first[0][0], " (the list's framed row 1)")
    check("the framed row's list", focus.parent.name, "官方资源")
    check("selected rows on taking the focus", tree.queryTable().getSelectedRows(), [])
    press("Home", note="lands on the framed row")
    check("current row after Home", wait_for("a selected row", lambda: selected_row(tree)), first[0])
    press("Return", note="opens it")
    page_shown(w, first[0][1])
    press("Down", R.ROLE_TABLE_CELL, first[1][0], " (row 2)")
    check("current row after Down", wait_for("a selected row", lambda: selected_row(tree)), first[1])
    press("Tab", R.ROLE_LIST, "下载地址", " (the row's links)")
    check("the links read out", focus.childCount > 0 and all(link.name for link in focus), True)
    press("Tab", R.ROLE_PUSH_BUTTON, "下一页", " (上一页 is off on page 1)")
    press("space", R.ROLE_PUSH_BUTTON, "下一页")
    wait_for("page 2 in the list", lambda: tuple(tree.queryTable().getAccessibleAt(0, c).name
                                                 for c in range(2)) == second[0])
    check("status line after paging", status(w, "当前共有"), [f"当前共有 {total} 个资源"])
    press("Tab", R.ROLE_FILLER, None, " (the web pane)")
    check("web pane named by its page", focus.name.endswith(" - Quillmere"), True)
    check("web panes", len(find_all(w, R.ROLE_DOCUMENT_WEB)), 1)
    for role, name in ((R.ROLE_PUSH_BUTTON, "下一页"), (R.ROLE_PUSH_BUTTON, "上一页"), (R.ROLE_LIST, "下载地址"),
                       (R.ROLE_TABLE_CELL, second[0][0]), (R.ROLE_PUSH_BUTTON, "刷新"), (R.ROLE_PUSH_BUTTON, "搜索"),
                       (R.ROLE_TEXT, "请输入关键字")):
        press("shift+Tab", role, name)
    found = search(w, tree, "Linux", "Return", "guanfang/admin_upload.php?page=1&q=Linux&t=1")
    press("Tab", R.ROLE_PUSH_BUTTON, "刷新")
    press("Tab", R.ROLE_TABLE_CELL, found[0][0], " (the only row found, framed)")
    press("Return", note=f"opens {found[0][1]!r}")
    page_shown(w, found[0][1])
    links = find_all(w, R.ROLE_LIST)[0]
    check("the entry's links", links.childCount > 0 and all(link.name for link in links), True)
    close("官方资源")


def search(w, tree, word, key, query):
    """Types word into the focused keyword box, presses 搜索 with key and compares the list and
    the status line with what the site answers to query, which must be one row."""
    press(word, "type")
    press("Tab", R.ROLE_PUSH_BUTTON, "搜索")
    press(key, note="搜索 pressed")
    found, count = catalogue(query)
    check("status after the search", status(w, "搜索到"), [f"搜索到 {count} 个资源"])
    # The list shows its rows once the window is back in its event loop, after the status line.
    check(f"rows found for {word}", (wait_for("the rows found", lambda: tree.queryTable().nRows), len(found)), (1, 1))
    return found


def walk_wangyou():
    press("Tab", R.ROLE_PUSH_BUTTON, "网友资源")
    press("Return", R.ROLE_PUSH_BUTTON, "下一页", " (网友资源 opened; 上一页 is off)")
    w = window("网友资源")
    check("网友资源's controls", controls(w),
          [("push button", n) for n in ("搜索", "刷新", "资源管理", "上一页", "下一页")])
    first, _ = catalogue("wangyou/users_upload.php?page=1")
    tree = find_all(w, R.ROLE_TREE)[0]
    check("网友资源's rows", tree.queryTable().nRows, len(first))
    press("Tab", R.ROLE_TABLE_CELL, first[0][0], " (the list's framed row 1)")
    press("Down", R.ROLE_TABLE_CELL, first[1][0], " (row 2)")
    press("Down", R.ROLE_TABLE_CELL, first[2][0], " (row 3)")
    check("current row after Down", wait_for("a selected row", lambda: selected_row(tree)), first[2])
    press("Return", note=f"download of {first[2][1]!r}")
    bar = wait_for("the progress bar", lambda: find_all(w, R.ROLE_PROGRESS_BAR)[0])
    value = bar.queryValue()
    wait_for("the bar on its way", lambda: 0 < value.currentValue < 100 and " / " in bar.description)
    print(f"     {describe(bar)}: {value.currentValue:.0f} in {value.minimumValue:.0f}..{value.maximumValue:.0f}, "
          f"{bar.description!r}")
    check("bar's range", (value.minimumValue, value.maximumValue), (0.0, 100.0))

    press("Return", R.ROLE_PUSH_BUTTON, None, " (a second download: a message box)")
    alert = window("提示", R.ROLE_ALERT)
    check("alert's text", [a.name for a in find_all(alert, R.ROLE_LABEL) if a.name], ["无法多任务下载!"])
    check("alert holds the focus", pyatspi.findDescendant(alert, lambda a: a == focus) is not None, True)
    press("Return", R.ROLE_TABLE_CELL, first[2][0], " (message closed, back on row 3)")
    wait_for("the download's end", lambda: not bar.getState().contains(R.STATE_SHOWING), timeout=60)
    check("file downloaded", len(os.listdir(os.path.join(PROGRAM, "Xiazai", first[2][1]))), 1)
    # Values are read as the events arrive, so a late one may repeat the next: never more
    # events than values, never back.
    print(f"     the bar told {len(bar_values)} values: {bar_values[:3]} ... {bar_values[-3:]}")
    check("bar's announcements", (bar_values == sorted(bar_values), bar_values[-1:], 2 <= len(bar_values) <= 100),
          (True, [100.0], True))

    press("Tab", R.ROLE_TEXT, "搜索", " (the keyword box)")
    found = search(w, tree, "HTML", "space", "wangyou/users_upload.php?page=1&q=HTML")
    press("shift+Tab", R.ROLE_TEXT, "搜索", " (the keyword box)")
    press("shift+Tab", R.ROLE_TABLE_CELL, found[0][0], " (the only row found, framed)")
    press("Return", note=f"download of {found[0][1]!r}")
    folder = os.path.join(PROGRAM, "Xiazai", found[0][1])
    check("file downloaded", len(wait_for("the download", lambda: finished_files(folder))), 1)
    wait_for("the bar to go", lambda: not find_all(w, R.ROLE_PROGRESS_BAR))
    close("网友资源")


def walk_web(passing, button, keys, caption):
    for name in passing:
        press("Tab", R.ROLE_PUSH_BUTTON, name)
    press("Tab", R.ROLE_LINK if button == "点击留言" else R.ROLE_PUSH_BUTTON, button)
    press(keys, note=f"{caption} opened")
    window(caption)
    # The pane takes the keys, named by its page once that has loaded.
    pane = wait_for("the page", lambda: focus if focus.name.endswith(" - Quillmere") else None)
    check(f"{caption}'s web pane", [describe(pane)] + [describe(d) for d in find_all(pane, R.ROLE_DOCUMENT_WEB)],
          [describe(pane), "document web ''"])
    close(caption)


def run():
    # Listening only once the client serves its tree: it learns of listeners that come later,
    # while one that comes as it starts may be missed.
    window(MAIN)
    pyatspi.Registry.registerEventListener(on_event, "object:state-changed:focused",
                                           "object:property-change:accessible-value")
    main_window()
    walk_main()
    walk_guanfang()
    walk_wangyou()
    walk_web(["网友资源"], "资源分享", "space", "资源上传")
    walk_web(["网友资源", "资源分享", "资源管理"], "点击留言", "Return", "留言")


if __name__ == "__main__":
    try:
        run()
    except AssertionError as error:
        failures.append(str(error))
        print(f"FAIL {error}")
    print(f"{len(failures)} failure(s)")
    sys.exit(1 if failures else 0)
