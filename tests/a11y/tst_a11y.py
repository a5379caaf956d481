"""Walks the running client as a screen reader and a keyboard-only user would: it reads the
accessibility tree over AT-SPI and moves only with key presses (xdotool key), saying which key
reached which control. Usage: tst_a11y.py <server root> <program folder>."""

import os
import subprocess
import sys
import time
import urllib.request

import pyatspi
from gi.repository import GLib

ROOT, PROGRAM = sys.argv[1], sys.argv[2]
MAIN = "Quillmere盒子共享版"

focus = None            # the control that last took the focus, as the reader heard it
bar_values = []         # every value change the progress bar announced
failures = []


def pump(seconds=0.05):
    """Lets the reader's events arrive for a moment."""
    context = GLib.MainContext.default()
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if not context.iteration(False):
            time.sleep(0.01)


def on_event(event):
    global focus
    if event.type.startswith("object:state-changed:focused") and event.detail1:
        focus = event.source
    elif event.type.startswith("object:property-change:accessible-value"):
        if safe(lambda: event.source.getRole()) == pyatspi.ROLE_PROGRESS_BAR:
            bar_values.append(event.source.queryValue().currentValue)


def safe(get, default=None):
    """Objects come and go while windows switch: a vanished one answers nothing."""
    try:
        return get()
    except Exception:
        return default


def wait_for(what, condition, timeout=30):
    deadline = time.monotonic() + timeout
    while True:
        result = safe(condition)
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        pump()


def check(what, actual, expected):
    if actual != expected:
        failures.append(f"{what}: got {actual!r}, expected {expected!r}")
        print(f"FAIL {what}: got {actual!r}, expected {expected!r}")
    else:
        print(f"ok   {what}: {actual!r}")


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "quillmere_a11y_client":
            return app
    return None


def window(name, role=pyatspi.ROLE_FRAME):
    """The window once it is on screen and active, so that keys go to it."""
    def shown():
        app = application()
        for i in range(app.childCount):
            w = app.getChildAtIndex(i)
            # States are cached; the window may have turned active before the reader listened.
            w.clear_cache()
            states = w.getState()
            if (w.getRole() == role and w.name == name and states.contains(pyatspi.STATE_SHOWING)
                    and states.contains(pyatspi.STATE_ACTIVE)):
                return w
        return None
    return wait_for(f"the window {name}", shown)


def gone(name):
    wait_for(f"{name} to close", lambda: not any(
        w.name == name and w.getState().contains(pyatspi.STATE_SHOWING)
        for w in (application().getChildAtIndex(i) for i in range(application().childCount))))


def find_all(root, role):
    return pyatspi.findAllDescendants(root, lambda a: a.getRole() == role
                                      and a.getState().contains(pyatspi.STATE_SHOWING))


def inside(acc, ancestor):
    while acc is not None:
        if acc == ancestor:
            return True
        acc = acc.parent
    return False


def describe(acc):
    return safe(lambda: f"{acc.getRoleName()} {acc.name!r}", "nothing")


def key(keys, expected_role, expected_name, why=""):
    """Presses keys and waits until the focus lands on the expected control."""
    subprocess.run(["xdotool", "key", "--clearmodifiers", keys], check=True)
    try:
        wait_for(f"{keys} to reach {expected_name}", lambda: focus.getRole() == expected_role
                 and (expected_name is None or focus.name == expected_name), timeout=10)
        print(f"key  {keys:<10} -> {describe(focus)}{why}")
    except AssertionError:
        failures.append(f"{keys} reached {describe(safe(lambda: focus))}, expected {expected_name}")
        print(f"FAIL {keys:<10} -> {describe(safe(lambda: focus))}, expected {expected_name}")


def key_only(keys, why):
    subprocess.run(["xdotool", "key", "--clearmodifiers", keys], check=True)
    print(f"key  {keys:<10} -> {why}")


def type_text(text):
    subprocess.run(["xdotool", "type", "--delay", "20", text], check=True)
    print(f"type {text!r}")


def controls(w):
    """The role and name of every control a user can act on, in tree order."""
    acting = (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_LINK)
    return [(a.getRoleName(), a.name) for a in pyatspi.findAllDescendants(
        w, lambda a: a.getRole() in acting and a.getState().contains(pyatspi.STATE_SHOWING))]


def catalogue(path, query=""):
    """The records of one catalogue page, straight from the site: (category, title) each."""
    with urllib.request.urlopen(ROOT + path + query) as answer:
        text = answer.read().decode("utf-8").lstrip("\ufeff")
    body = text.split("?TtbBa?")[0]
    return [tuple(r.split("\x02")[:2]) for r in body.split("\x01")[:-1]]


def table_of(w):
    return find_all(w, pyatspi.ROLE_TREE)[0]


def current_row(tree):
    """The selected row's visible cells, as a reader reads the row."""
    table = tree.queryTable()
    rows = table.getSelectedRows()
    if len(rows) != 1:
        return None
    return tuple(table.getAccessibleAt(rows[0], column).name for column in range(2))


def label_starting(w, prefix):
    return [a.name for a in find_all(w, pyatspi.ROLE_LABEL) if a.name.startswith(prefix)]


def main_window():
    main = window(MAIN)
    check("main window's controls", controls(main),
          [("link", "点击留言"), ("push button", "官方资源"), ("push button", "网友资源"),
           ("push button", "资源分享"), ("push button", "资源管理")])
    global focus
    # The window may have taken the focus before the reader listened: ask the tree itself.
    focus = wait_for("the first command to take the focus", lambda: pyatspi.findDescendant(
        main, lambda a: a.getState().contains(pyatspi.STATE_FOCUSED) and a.name == "官方资源"))
    return main


def walk_main():
    main_window()
    print(f"     focus on {describe(focus)}")
    for name in ("网友资源", "资源分享", "资源管理"):
        key("Tab", pyatspi.ROLE_PUSH_BUTTON, name)
    key("Tab", pyatspi.ROLE_LINK, "点击留言", " (after the four commands)")
    key("Tab", pyatspi.ROLE_PUSH_BUTTON, "官方资源", " (round again)")


def walk_guanfang():
    key("space", pyatspi.ROLE_COMBO_BOX, "标题", " (官方资源 opened, first control)")
    w = window("官方资源")
    gone(MAIN)
    check("官方资源's controls", controls(w),
          [("push button", n) for n in ("搜索", "刷新", "上一页", "下一页")])
    first = catalogue("guanfang/admin_upload.php?", "page=1")
    tree = table_of(w)
    wait_for("the first page", lambda: tree.queryTable().nRows == len(first))
    check("官方资源's rows", tree.queryTable().nRows, len(first))
    check("官方资源's columns", [tree.queryTable().getColumnHeader(c).name for c in range(4)],
          ["分类", "标题", "备注", "收录时间"])
    total = len(all_records("guanfang/admin_upload.php?"))
    check("status line", label_starting(w, "已分享"), [f"已分享 {total} 个资源"])
    key("Tab", pyatspi.ROLE_TEXT, "请输入关键字")
    key("Tab", pyatspi.ROLE_PUSH_BUTTON, "搜索")
    key("Tab", pyatspi.ROLE_PUSH_BUTTON, "刷新")
    key("Tab", pyatspi.ROLE_TREE, "官方资源", " (the list)")
    key("Down", pyatspi.ROLE_TABLE_CELL, first[1][0], " (row 2)")
    check("current row after Down", wait_for("a selected row", lambda: current_row(tree)), first[1])
    key("Tab", pyatspi.ROLE_LIST, "下载地址", " (the row's links)")
    check("the row's links are read out", focus.childCount > 0 and all(
        focus.getChildAtIndex(i).name for i in range(focus.childCount)), True)
    key("Tab", pyatspi.ROLE_PUSH_BUTTON, "下一页", " (上一页 is off on page 1)")
    key("space", pyatspi.ROLE_PUSH_BUTTON, "下一页")
    second = catalogue("guanfang/admin_upload.php?", "page=2")
    wait_for("page 2", lambda: tree.queryTable().getAccessibleAt(0, 1).name == second[0][1])
    print(f"     page 2 shows {second[0][1]!r} first")
    check("status line after paging", wait_for("the paging status", lambda: label_starting(w, "当前共有")),
          [f"当前共有 {total} 个资源"])
    key("Tab", pyatspi.ROLE_FILLER, None, " (the web pane)")
    check("web pane's name", focus.name.endswith(" - Quillmere"), True)
    key("shift+Tab", pyatspi.ROLE_PUSH_BUTTON, "下一页")
    key("shift+Tab", pyatspi.ROLE_PUSH_BUTTON, "上一页", " (on now)")
    key("shift+Tab", pyatspi.ROLE_LIST, "下载地址")
    key("shift+Tab", pyatspi.ROLE_TREE, "官方资源")
    key("shift+Tab", pyatspi.ROLE_PUSH_BUTTON, "刷新")
    key("shift+Tab", pyatspi.ROLE_PUSH_BUTTON, "搜索")
    key("shift+Tab", pyatspi.ROLE_TEXT, "请输入关键字", " (back to the keyword box)")
    type_text("Linux")
    key("Tab", pyatspi.ROLE_PUSH_BUTTON, "搜索")
    key_only("Return", "搜索 pressed")
    found = catalogue("guanfang/admin_upload.php?", "page=1&q=Linux&t=1")
    wait_for("the search's rows", lambda: label_starting(w, "搜索到"))
    check("rows found for Linux", tree.queryTable().nRows, len(found))
    check("web panes", len(find_all(w, pyatspi.ROLE_DOCUMENT_WEB)), 1)
    close(w, "官方资源")


def all_records(path):
    records, page = [], 1
    while True:
        rows = catalogue(path, f"page={page}")
        if not rows:
            return records
        records += rows
        page += 1


def close(w, name):
    key_only("alt+F4", f"{name} closed")
    gone(name)
    main_window()


def walk_wangyou():
    key("Tab", pyatspi.ROLE_PUSH_BUTTON, "网友资源")
    key("Return", pyatspi.ROLE_PUSH_BUTTON, "下一页", " (网友资源 opened; 上一页 is off)")
    w = window("网友资源")
    check("网友资源's controls", controls(w),
          [("push button", n) for n in ("搜索", "刷新", "资源管理", "上一页", "下一页")])
    first = catalogue("wangyou/users_upload.php?", "page=1")
    tree = table_of(w)
    check("网友资源's rows", tree.queryTable().nRows, len(first))
    key("Tab", pyatspi.ROLE_TREE, "网友资源", " (the list)")
    key("Down", pyatspi.ROLE_TABLE_CELL, first[1][0], " (row 2)")
    key("Down", pyatspi.ROLE_TABLE_CELL, first[2][0], " (row 3)")
    check("current row after Down", wait_for("a selected row", lambda: current_row(tree)), first[2])
    key_only("Return", f"download of {first[2][1]!r} started")
    bar = wait_for("the progress bar", lambda: find_all(w, pyatspi.ROLE_PROGRESS_BAR)[0])
    value = bar.queryValue()
    wait_for("the bar on its way", lambda: 0 < value.currentValue < 100 and " / " in bar.description)
    print(f"     bar {bar.name!r}: {value.currentValue:.0f} of {value.minimumValue:.0f}..{value.maximumValue:.0f}, "
          f"{bar.description!r}")
    check("bar's range", (value.minimumValue, value.maximumValue), (0.0, 100.0))

    key("Return", pyatspi.ROLE_PUSH_BUTTON, None, " (a second download)")
    alert = window("提示", pyatspi.ROLE_ALERT)
    check("alert's text", [a.name for a in find_all(alert, pyatspi.ROLE_LABEL) if a.name], ["无法多任务下载!"])
    print(f"     alert {alert.name!r}")
    check("alert's focused control", (focus.getRoleName(), inside(focus, alert)), ("push button", True))
    key("Return", pyatspi.ROLE_TREE, "网友资源", " (message closed, back in the list)")

    target = os.path.join(PROGRAM, "Xiazai", first[2][1])
    wait_for("the download to end", lambda: not bar.getState().contains(pyatspi.STATE_SHOWING), timeout=60)
    check("file downloaded", bool(os.listdir(target)), True)
    # Values are read as the events arrive, so a late one may repeat the next; never more events
    # than values, and never back.
    heard = list(bar_values)
    print(f"     bar told {len(heard)} values: {heard[:3]} ... {heard[-3:]}")
    check("bar's announcements rise to 100, at most one a value",
          (heard == sorted(heard), heard[-1:] == [100.0], 2 <= len(heard) <= 100), (True, True, True))

    key("Tab", pyatspi.ROLE_TEXT, "搜索", " (the keyword box)")
    type_text("Qt")
    key("Tab", pyatspi.ROLE_PUSH_BUTTON, "搜索")
    key_only("space", "搜索 pressed")
    found = catalogue("wangyou/users_upload.php?", "page=1&q=Qt")
    wait_for("the search's status", lambda: label_starting(w, "搜索到"))
    check("rows found for Qt", tree.queryTable().nRows, len(found))
    close(w, "网友资源")


def walk_web(passing, button, keys, caption):
    for name in passing:
        key("Tab", pyatspi.ROLE_PUSH_BUTTON, name)
    key("Tab", pyatspi.ROLE_LINK if button == "点击留言" else pyatspi.ROLE_PUSH_BUTTON, button)
    key_only(keys, f"{caption} opened")
    w = window(caption)
    # The pane takes the keys, named by its page once that has loaded.
    pane = wait_for("the page", lambda: focus if focus.name.endswith(" - Quillmere") else None)
    print(f"     focus on {describe(pane)}")
    check(f"{caption}'s web pane", [describe(d) for d in find_all(pane, pyatspi.ROLE_DOCUMENT_WEB)],
          ["document web ''"])
    close(w, caption)


def run():
    wait_for("the client on the accessibility bus", application)
    # Listening only once the client serves its tree: it learns of listeners that come later,
    # while one that comes as it starts may be missed.
    window(MAIN)
    pyatspi.Registry.registerEventListener(on_event, "object:state-changed:focused",
                                           "object:property-change:accessible-value")
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
