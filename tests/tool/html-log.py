#!/usr/bin/env python3
"""The HTML log of `boardsim test` over every example board, plus one broken on purpose, opened
in a real headless Chromium and checked for what a person sees: the failed board first and
marked, its failed expectation on its page, one lane per image of each run and a mark per error
stop in the picture, clicks that land on trace lines, filters that filter, no network request,
and screenshots that are not blank (written to $HTML_LOG_DIR for a person to look at).
Exits 77 (skipped) when the browser or Selenium is missing or cannot start."""
import base64
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

SKIPPED = 77
BOARDSIM = os.environ["BOARDSIM"]
BOARDS = os.environ["BOARDS"]
OUT = os.environ["HTML_LOG_DIR"]
BROWSER_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--window-size=1280,800"]


def skip(why):
    print(f"skipped: {why} (scripts/setup.sh installs chromium, chromium-driver and "
          "python3-selenium)")
    sys.exit(SKIPPED)


def fail(why):
    print(f"FAIL: {why}")
    sys.exit(1)


try:
    from selenium import webdriver
    from selenium.common.exceptions import WebDriverException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select
except ImportError:
    skip("python3-selenium is not installed")


def start_browser(profile):
    chromium, driver = shutil.which("chromium"), shutil.which("chromedriver")
    if not chromium or not driver:
        skip("chromium or chromedriver is not installed")
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for flag in BROWSER_FLAGS + ["--user-data-dir=" + profile]:
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"performance": "ALL"})
    try:
        return webdriver.Chrome(service=Service(driver), options=options)
    except WebDriverException as error:
        skip(f"the browser does not start: {error.msg}")


def final_state(board):
    run = subprocess.run([BOARDSIM, "run", board, "--json"], capture_output=True, text=True)
    return json.loads(run.stdout)


def requests_made(browser, url):
    """What the page at `url` asked for besides itself, from Chromium's own network log (which
    also holds the browser's own pages: those are not asked for by this page)."""
    asked = []
    for entry in browser.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message["method"] != "Network.requestWillBeSent":
            continue
        params = message["params"]
        if params.get("documentURL") == url and params["request"]["url"] != url:
            asked.append(params["request"]["url"])
    return asked


def open_page(browser, path):
    url = "file://" + os.path.abspath(path)
    browser.get_log("performance")  # what went before is no business of this page
    browser.get(url)
    if browser.execute_script("return performance.getEntriesByType('resource').length") != 0:
        fail(f"{path} loads resources")
    policy = browser.find_element(By.CSS_SELECTOR, "meta[http-equiv='Content-Security-Policy']")
    if "default-src 'none'" not in policy.get_attribute("content"):
        fail(f"{path}: no policy that forbids loading")
    outside = requests_made(browser, url)
    if outside:
        fail(f"{path} made network requests: {outside}")


def not_blank(browser, png):
    """Distinct colours and the share of pixels that are not the page's white, read by drawing
    the screenshot on a canvas (data URLs are no network request)."""
    with open(png, "rb") as file:
        data = file.read()
    browser.get("about:blank")
    colours, inked = browser.execute_async_script("""
        const done = arguments[1], image = new Image();
        image.onload = () => {
          const canvas = document.createElement('canvas');
          canvas.width = image.width; canvas.height = image.height;
          const context = canvas.getContext('2d');
          context.drawImage(image, 0, 0);
          const pixels = context.getImageData(0, 0, image.width, image.height).data;
          const seen = new Set(); let inked = 0;
          for (let i = 0; i < pixels.length; i += 4) {
            const colour = pixels[i] << 16 | pixels[i + 1] << 8 | pixels[i + 2];
            seen.add(colour);
            if (colour !== 0xFFFFFF) inked++;
          }
          done([seen.size, inked / (pixels.length / 4)]);
        };
        image.src = 'data:image/png;base64,' + arguments[0];""", base64.b64encode(data).decode())
    if colours < 16 or inked < 0.05:
        fail(f"{png} looks blank: {colours} colours, {inked:.1%} of it not white")


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    os.makedirs(OUT)
    work = tempfile.mkdtemp()
    try:
        check(work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def check(work):
    suite = os.path.join(work, "suite")
    shutil.copytree(BOARDS, suite)
    # Broken on purpose, and named to sort last: listing it first is the log's doing.
    with open(os.path.join(BOARDS, "dxe-intel700.toml")) as file:
        text = file.read()
    broken = text.replace('macs = ["3C:FD:FE:A1:B2:C3"]', 'macs = ["3C:FD:FE:A1:B2:C4"]')
    if broken == text:
        fail("the board was not broken")
    with open(os.path.join(suite, "zz-wrong-mac.toml"), "w") as file:
        file.write(broken)
    log = os.path.join(OUT, "log")
    run = subprocess.run([BOARDSIM, "test", suite, "--html", log, "--json",
                          os.path.join(OUT, "summary.json")], capture_output=True, text=True)
    if run.returncode != 3:
        fail(f"boardsim test exited with {run.returncode}, not 3:\n{run.stdout}{run.stderr}")
    with open(os.path.join(OUT, "summary.json")) as file:
        summary = json.load(file)
    files = sorted(glob.glob(os.path.join(suite, "*.toml")))

    browser = start_browser(os.path.join(work, "profile"))
    try:
        suite_page(browser, log, files)
        failed_board_page(browser, log)
        for board in summary["boards"]:
            board_page(browser, log, board)
            print(f"checked {board['page']}", flush=True)
        screenshots(browser, log)
    finally:
        browser.quit()


def suite_page(browser, log, files):
    open_page(browser, os.path.join(log, "index.html"))
    rows = browser.find_elements(By.CSS_SELECTOR, "table.suite tbody tr")
    if len(rows) != len(files):
        fail(f"the suite page lists {len(rows)} boards, not {len(files)}")
    first = rows[0]
    if "zz-wrong-mac" not in first.text or "fail" not in first.get_attribute("class").split():
        fail(f"the first line is not the failed board, marked: {first.text!r}")
    badge = first.find_element(By.CSS_SELECTOR, ".badge")
    if badge.text != "FAIL" or badge.value_of_css_property("background-color") in (
            "rgba(0, 0, 0, 0)", "rgb(255, 255, 255)"):
        fail("the failed board's mark is not visible")
    if any("fail" in row.get_attribute("class").split() for row in rows[1:]):
        fail("a board that passed is marked failed")
    if "expectation macs (call 1) failed" not in first.text:
        fail(f"the failed board's line does not say why: {first.text!r}")


def failed_board_page(browser, log):
    open_page(browser, os.path.join(log, "index.html"))
    browser.find_element(By.CSS_SELECTOR, "table.suite tbody tr:first-child a").click()
    failure = browser.find_element(By.CSS_SELECTOR, "#expectations .expect")
    for text in (r"zz-wrong-mac\.toml:\d+: expectation macs \(call 1\) failed",
                 r'expected: \["3C:FD:FE:A1:B2:C4"\]', r'got: \["3C:FD:FE:A1:B2:C3"\]'):
        if not re.search(text, failure.text) or not failure.is_displayed():
            fail(f"the failed board's page does not show {text!r}: {failure.text!r}")
    # The failure's evidence link lands on the GetNicMacAddresses return in the trace.
    failure.find_element(By.CSS_SELECTOR, "a").click()
    row = browser.find_element(By.CSS_SELECTOR, "#trace-rows tr.target")
    if "GetNicMacAddresses" not in row.text or not row.is_displayed():
        fail(f"the evidence link did not land on the call's return: {row.text!r}")


def board_page(browser, log, board):
    page = os.path.join(log, board["page"])
    open_page(browser, page)
    final = final_state(board["file"])
    # One look at the picture: its lanes, its error-stop marks and the items without a name.
    lanes, stops, unnamed, items = browser.execute_script("""
        const svg = document.querySelector('svg.boot');
        const all = selector => svg ? [...svg.querySelectorAll(selector)] : [];
        return [all('.lane').map(lane => [lane.dataset.phase, lane.dataset.image]),
                all('.item.error_stop').map(mark => mark.dataset.seq),
                all('.item').filter(item => !item.querySelector('title')?.textContent).length,
                all('.item').length];""")
    # The page and the JSON summary are two views of the same picture.
    if items != len(board["timeline"]["items"]) or len(lanes) != len(board["timeline"]["lanes"]):
        fail(f"{page}: the picture and the summary differ: {items} items, {len(lanes)} lanes")
    lanes = [tuple(lane) for lane in lanes]
    if len(set(lanes)) != len(lanes):
        fail(f"{page}: a phase and image has two lanes: {lanes}")
    for image in final["images"]:
        count = sum(1 for _, name in lanes if name == image["image"])
        if count != 1:
            fail(f"{page}: {count} lanes for {image['image']}")
    if len(stops) != len(final["error_stops"]):
        fail(f"{page}: {len(stops)} error-stop marks for {len(final['error_stops'])} error stops")
    if unnamed:
        fail(f"{page}: {unnamed} items of the picture have no name")
    if stops:
        # A click on the mark shows the port write that announced the stop.
        mark = browser.find_element(By.CSS_SELECTOR, f"svg.boot .item.error_stop[data-seq='{stops[0]}']")
        browser.execute_script("arguments[0].scrollIntoView({block: 'center'})", mark)
        mark.click()
        row = browser.find_element(By.CSS_SELECTOR, "#trace-rows tr.target")
        if row.get_attribute("id") != "e" + stops[0] or " io " not in " " + row.text + " ":
            fail(f"{page}: the error stop's mark did not land on its port write: {row.text!r}")
    if board["name"] == "default":
        filters(browser, page)


def filters(browser, page):
    image = Select(browser.find_element(By.ID, "trace-image"))
    image.select_by_value("S3SaveSmm#1")
    kind = Select(browser.find_element(By.ID, "trace-ev"))
    kind.select_by_value("alloc")
    rows = browser.find_elements(By.CSS_SELECTOR, "#trace-rows tr")
    cells = [[cell.text for cell in row.find_elements(By.TAG_NAME, "td")] for row in rows]
    if not cells or any(row[3] != "S3SaveSmm#1" or row[4] != "alloc" for row in cells):
        fail(f"{page}: filtering by image and event kind shows {cells}")
    if "of " not in browser.find_element(By.ID, "trace-status").text:
        fail(f"{page}: the trace does not say how much of it is shown")


def screenshots(browser, log):
    shots = {"suite.png": os.path.join(log, "index.html"),
             "default.png": os.path.join(log, "boards", "default.html")}
    # The page's viewport, not the window around it, is to be 1280x800.
    browser.set_window_size(1280, 800)
    open_page(browser, shots["suite.png"])
    width, height = browser.execute_script("return [innerWidth, innerHeight]")
    browser.set_window_size(1280 * 2 - width, 800 * 2 - height)
    for name, page in shots.items():
        open_page(browser, page)
        png = os.path.join(OUT, name)
        browser.save_screenshot(png)
        not_blank(browser, png)
        print(f"screenshot: {png}")


if __name__ == "__main__":
    main()
