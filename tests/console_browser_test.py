#!/usr/bin/python3
"""The web console in a real browser: headless Chromium driven through chromium-driver.

Only what needs a browser: the pages as a person uses them (log in, every page, a device found,
zoning previewed, refused as read-only and applied from an uploaded file through the
confirmation, a port off seen live and in the history, the fabric marked down when it falls
silent), the hostile texts of two switches and a device shown as text with no script of theirs
run, and no page breaking the Content-Security-Policy. Who may call what, and how the server
answers, are console_api_test's.

    console_browser_test.py BIN_DIR [--screenshots DIR]

BIN_DIR holds switchsim, telvar and telvard. --screenshots saves a PNG of each page (the
README's pictures: docs/console/). Exit 0 passed, 1 failed, 77 skipped (no browser).
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

try:
    from selenium import webdriver
    from selenium.common.exceptions import NoAlertPresentException, StaleElementReferenceException, TimeoutException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    print("python3-selenium is not installed (scripts/deps.sh test)")
    sys.exit(77)

SOURCE = Path(__file__).resolve().parent.parent
# The test's addresses (tests/support/test_addresses.h, console_browser_*): the fabric's three
# switches and the console.
FABRIC_BASE = "127.0.55.2"
LISTEN = "127.0.55.1"
SCRIPT_TEXT = "<script>window.__telvar_injected=1</script>"
IMG_TEXT = '"><img src=x onerror="window.__telvar_injected=2">'
NAME_TEXT = "<b onmouseover=alert(3)>host-a</b>"
READ_TOKEN = "read-" + "7f3c9a1e5b2d4680" * 2
ADMIN_TOKEN = "admin-" + "c81e0d9f2a6b3e57" * 2
HOSTILE_WWN = "21:00:00:00:5e:01:01:01"  # sw1 port 1, host-a's HBA: in hard zone 1 and WWN zones 1, 40
WAIT = 15


class failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise failure(what)


def fabric_file(folder):
    """The default fabric, with texts no page may run (served at this test's addresses)."""
    fabric = json.loads((SOURCE / "switchsim/core/default_fabric.json").read_text())
    fabric["switches"][0]["description"] = SCRIPT_TEXT
    fabric["switches"][1]["description"] = IMG_TEXT
    fabric["switches"][0]["ports"][0]["devices"][0]["port_name"] = NAME_TEXT
    path = folder / "fabric.json"
    path.write_text(json.dumps(fabric))
    return path


class processes:
    """The simulator and telvard, stopped (and their output shown on failure) at the end."""

    def __init__(self, folder):
        self.folder = folder
        self.running = []

    def start(self, name, argv):
        log = open(self.folder / f"{name}.log", "w+")
        p = subprocess.Popen(argv, stdout=log, stderr=subprocess.STDOUT)
        self.running.append((name, p, log))
        return p, log

    def stop(self, show):
        for name, p, log in reversed(self.running):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
            if show:
                log.seek(0)
                print(f"--- {name} (exit {p.returncode}) ---\n{log.read()[-4000:]}")
            log.close()


def tool(bin_dir, *args):
    r = subprocess.run([str(bin_dir / "telvar"), "-port", "0", *args], capture_output=True, text=True, timeout=30)
    return r.returncode, r.stdout + r.stderr


def wait_for_simulator(bin_dir, sim):
    for _ in range(80):
        check(sim.poll() is None, "the simulator ended at start")
        if tool(bin_dir, "version", FABRIC_BASE)[0] == 0:
            return
        time.sleep(0.25)
    raise failure("the simulator did not answer")


def console_url(telvard, log):
    """telvard says where its console listens once it does."""
    for _ in range(80):
        check(telvard.poll() is None, "telvard ended at start")
        log.seek(0)
        m = re.search(r"(https?://127\.0\.55\.1:\d+)/?", log.read())
        if m:
            return m.group(1)
        time.sleep(0.25)
    raise failure("telvard did not say where its console listens")


def browser():
    chromedriver = shutil.which("chromedriver") or "/usr/bin/chromedriver"
    if not os.path.exists(chromedriver):
        print("chromium-driver is not installed (scripts/deps.sh test)")
        sys.exit(77)
    o = webdriver.ChromeOptions()
    for a in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
              "--window-size=1366,768", "--no-first-run", "--disable-extensions"):
        o.add_argument(a)
    o.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service(chromedriver), options=o)


class console:
    """The browser on the console, with one-line checks."""

    def __init__(self, driver, url, shots):
        self.d, self.url, self.shots = driver, url, shots

    def wait(self, condition, what, timeout=WAIT):
        try:
            # A page redraws (a new reading, a refresh) while it is being read.
            return WebDriverWait(self.d, timeout, poll_frequency=0.1,
                                 ignored_exceptions=[StaleElementReferenceException]).until(lambda d: condition())
        except TimeoutException:
            raise failure(f"waited {timeout} s for {what}; the page says:\n{self.text()[:1500]}")

    def reload_until(self, ready, condition, what, timeout=WAIT):
        """For the pages that show what was asked when they were opened: reloads the page,
        waits for the element ready (css), until condition holds."""
        end = time.monotonic() + timeout
        while True:
            self.wait(lambda: self.d.find_elements(By.CSS_SELECTOR, ready), f"{ready} after a reload")
            if condition():
                return
            if time.monotonic() > end:
                raise failure(f"waited {timeout} s for {what}; the page says:\n{self.text()[:1500]}")
            time.sleep(0.5)
            self.d.refresh()

    def text(self):
        return self.d.find_element(By.TAG_NAME, "body").text

    def find(self, css):
        return self.d.find_element(By.CSS_SELECTOR, css)

    def wait_text(self, needle, css="main", timeout=WAIT):
        return self.wait(lambda: needle in self.find(css).text, f"'{needle}' in {css}", timeout)

    def open(self, page, ready):
        self.d.get(f"{self.url}/#{page}")
        self.wait_text(ready)
        self.no_script_ran(page)

    def no_script_ran(self, where):
        """Nothing a switch sent ran: the flag its texts would set is unset, no dialog is open,
        and no image the hostile description names was made. And the pages' own scripts threw
        nothing and broke no rule of the server's Content-Security-Policy."""
        for entry in self.d.get_log("browser"):
            message = entry.get("message", "")
            # Answers the test asks for (a wrong token, a refused apply) are logged as failed loads.
            check(entry.get("level") != "SEVERE" or "Failed to load resource" in message,
                  f"{where}: the browser reported: {message}")
        check(self.d.execute_script("return window.__telvar_injected === undefined"), f"{where}: a switch's text ran as script")
        try:
            self.d.switch_to.alert
            raise failure(f"{where}: an alert dialog is open")
        except NoAlertPresentException:
            pass
        check(not self.d.find_elements(By.CSS_SELECTOR, "main img[src=x], main script, main b"),
              f"{where}: a switch's text became an element")

    def shot(self, name):
        if self.shots:
            self.d.save_screenshot(str(self.shots / f"{name}.png"))

    def login(self, token):
        self.d.get(f"{self.url}/assets/login.html")
        self.find("#token").send_keys(token)
        self.find("#login button").click()

    def logout(self):
        self.find("#logout").click()
        self.wait(lambda: "/login.html" in self.d.current_url, "the login page after logging out")

    def zoning_apply(self, chassis, edit, then, upload=None):
        """Loads the switch's zoning into the editor, changes it with edit(document) and puts it
        back, pasted or (upload: a file path) uploaded; previews, applies through the
        confirmation and waits for then (a text in the result)."""
        self.open(f"zoning?fabric={FABRIC_BASE}", "Findings")
        self.d.execute_script("document.getElementById('target').value = arguments[0]", str(chassis))
        self.find("#load_current").click()
        doc = json.loads(self.find("#document").get_attribute("value"))
        edit(doc)
        text = json.dumps(doc, indent=2)
        if upload:
            upload.write_text(text)
            self.find("#upload").send_keys(str(upload))
            self.wait(lambda: self.find("#document").get_attribute("value") == text, "the uploaded file in the editor")
        else:
            self.d.execute_script("document.getElementById('document').value = arguments[0]", text)
        self.find("#preview").click()
        self.wait_text("hard zone 3", "#result")
        self.shot("zoning")
        self.find("#apply").click()
        self.wait(lambda: self.find("#confirm").is_displayed(), "the confirmation dialog")
        self.find("#confirm_apply").click()
        self.wait_text(then, "#result")


def add_zone_3(doc):
    doc["zoning"].setdefault("hard", []).append({"id": 3, "enabled": True, "ports": [7, 8]})


def scenario(bin_dir, folder, c, stop_simulator):
    # A wrong token is refused with the server's message; a right one opens the fabric.
    c.login("not-a-token")
    c.wait(lambda: c.find("#message").is_displayed() and c.find("#message").text, "the login's refusal")
    c.shot("login")
    c.login(READ_TOKEN)
    c.wait_text("Switches")
    c.wait_text(SCRIPT_TEXT)

    # Fabric: the hostile descriptions literally, the map drawn, each switch a link, the port
    # the default fabric has off marked.
    c.open(f"fabric?fabric={FABRIC_BASE}", IMG_TEXT)
    c.wait(lambda: c.d.find_elements(By.CSS_SELECTOR, "figure.map svg"), "the fabric map")
    check(len(c.d.find_elements(By.CSS_SELECTOR, "figure.map svg a")) == 3, "the map's three switches are not links")
    check("OFFLINE" in c.find("main").text, "the fabric page marks no port OFFLINE")
    c.shot("fabric")

    # Switch: the front panel, health and the live port table; chassis 2's hostile text.
    c.d.find_element(By.LINK_TEXT, "2").click()
    c.wait_text(IMG_TEXT)
    c.no_script_ran("switch 2")
    c.open(f"switch?fabric={FABRIC_BASE}&chassis=1", SCRIPT_TEXT)
    c.wait(lambda: c.d.find_elements(By.CSS_SELECTOR, "#ports tbody tr"), "the port table")
    check(len(c.d.find_elements(By.CSS_SELECTOR, "#ports tbody tr")) == 16, "the port table has not 16 rows")
    c.wait(lambda: c.d.find_elements(By.CSS_SELECTOR, "figure.panel svg"), "the front panel")
    c.wait_text("in frames", "#ports")
    c.shot("switch")

    # Devices: by WWN without colons; where it is and its zones; its hostile name as text.
    c.open(f"devices?fabric={FABRIC_BASE}", "Devices")
    c.find("#filter_q").send_keys(HOSTILE_WWN.replace(":", ""))
    c.find("form.filters button").click()
    c.wait_text("1 found")
    row = c.find("main tbody tr").text
    for needle in (HOSTILE_WWN, NAME_TEXT, "chassis 1", "hard 1", "name server 1", "wwn 40"):
        check(needle in row, f"the device's row lacks '{needle}': {row}")
    c.no_script_ran("devices")
    c.shot("devices")

    # Zoning as read-only: the preview is shown, and applying is refused with the server's
    # message, shown as an error.
    c.zoning_apply(1, add_zone_3, "admin")
    check("error" in c.find("#result p").get_attribute("class"), "the refusal is not shown as one")
    c.logout()

    # As administrator, from an uploaded file (on the switch: the history below shows it).
    c.login(ADMIN_TOKEN)
    c.wait_text("Switches")
    c.zoning_apply(1, add_zone_3, "changed", upload=folder / "zoning.json")
    c.wait_text("Chassis 1")

    # A port switched off by the tool: the switch page's table shows it without a reload, and
    # the history records it (with the zone applied).
    c.open(f"switch?fabric={FABRIC_BASE}&chassis=1", SCRIPT_TEXT)
    c.wait(lambda: c.d.find_elements(By.CSS_SELECTOR, "#ports tbody tr"), "the port table")
    before_port = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime())
    code, out = tool(bin_dir, "port_state", "-s", "off", FABRIC_BASE, "7")
    check(code == 0, f"telvar port_state -s off failed: {out}")
    row7 = "#ports tbody tr:nth-child(7)"
    c.wait(lambda: "off off" in c.find(row7).text, "port 7 off in the port table")
    c.no_script_ran("switch 1")
    c.open(f"history?fabric={FABRIC_BASE}&kind=port,zone", "History")
    c.reload_until("#timeline p", lambda: re.search(r"port 7 .*operational on.*off", c.find("#timeline").text),
                   "port 7's change in the history")
    check("hard 3" in c.find("#timeline").text, "the zone applied is not in the history")
    c.no_script_ran("history")

    # The history between two times and the events page; no hostile text ran.
    c.open(f"history?fabric={FABRIC_BASE}&kind=port,zone&from={before_port}", "History")
    c.wait_text("port 7", "#diff")
    c.shot("history")
    c.open(f"events?fabric={FABRIC_BASE}", "Events")
    c.reload_until("main table, main p.quiet", lambda: c.d.find_elements(By.CSS_SELECTOR, "main tbody tr"),
                   "a trap on the events page")
    c.shot("events")

    # The fabric gone silent: the fabric page, left open, says so at the next reading.
    c.open(f"fabric?fabric={FABRIC_BASE}", SCRIPT_TEXT)
    stop_simulator()
    c.wait(lambda: c.d.find_elements(By.CSS_SELECTOR, "#fabric_down"), "the fabric marked down", timeout=30)
    c.no_script_ran("fabric down")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("bin_dir", type=Path)
    ap.add_argument("--screenshots", type=Path)
    a = ap.parse_args()
    if a.screenshots:
        a.screenshots.mkdir(parents=True, exist_ok=True)

    folder = Path(tempfile.mkdtemp(prefix="console-test-"))
    procs = processes(folder)
    driver = None
    ok = False
    try:
        tokens = folder / "tokens"
        tokens.write_text(f"read {READ_TOKEN}\nadmin {ADMIN_TOKEN}\n")
        tokens.chmod(0o600)
        sim, _ = procs.start("switchsim", [str(a.bin_dir / "switchsim"), "--fabric", str(fabric_file(folder)),
                                          "--base", FABRIC_BASE, "--trap-every", "1"])
        wait_for_simulator(a.bin_dir, sim)
        telvard, log = procs.start("telvard", [
            str(a.bin_dir / "telvard"), "--listen", f"{LISTEN}:0", "--tokens", str(tokens), "--interval", "1",
            "--db", f"sqlite:{folder / 'history.db'}", FABRIC_BASE])
        url = console_url(telvard, log)
        driver = browser()
        scenario(a.bin_dir, folder, console(driver, url, a.screenshots), lambda: (sim.terminate(), sim.wait(10)))
        ok = True
        print("console_browser_test: passed")
    except failure as e:
        print(f"console_browser_test: FAILED: {e}")
    finally:
        if driver:
            driver.quit()
        procs.stop(show=not ok)
        shutil.rmtree(folder, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
