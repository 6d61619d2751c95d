#!/usr/bin/python3
"""The explorer's site in a real browser: headless Chromium through
Selenium opens every page of the release build's site from file:// with
the network off, finds no console error and nothing fetched, points at the
call line of sort_selection and finds instructions lit in the b0 and the
b2 column, then at an inlined instruction and finds its line and its call
line lit.  With EXPLORE_SCREENSHOT=FILE it saves the selection_sort page
so pointed at as FILE (docs/explore.png is made so)."""

import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
DRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"

try:
    from selenium import webdriver
    from selenium.common.exceptions import WebDriverException
    from selenium.webdriver import ActionChains
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
except ImportError:
    print("the browser test needs python3-selenium")
    sys.exit(77)
if not (os.path.exists(CHROMIUM) and os.path.exists(DRIVER)):
    print("the browser test needs chromium and chromium-driver")
    sys.exit(77)

FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         # Whatever would still go out goes to a port where nothing listens.
         "--proxy-server=127.0.0.1:9", "--proxy-bypass-list=<-loopback>", "--window-size=1600,1000"]
SITE = None
WORK = None


def site_folder():
    """The release build's site, else one written here from its executables."""
    tree = os.environ.get("SUITE_BUILD_TREE", os.path.join(ROOT, "build", "release"))
    made = os.path.join(tree, "explore")
    if os.path.exists(os.path.join(made, "index.html")):
        return made
    bin_dir = os.environ.get("SUITE_BIN_DIR", os.path.join(tree, "bin"))
    if not glob.glob(os.path.join(bin_dir, "selection_sort_b*")):
        print(f"no site and no executables in {bin_dir}: build the release preset first")
        sys.exit(77)
    out = os.path.join(WORK, "site")
    # Without the runs under callgrind, which the site's own build makes.
    subprocess.run([sys.executable, os.path.join(ROOT, "tools", "explore"), bin_dir, "--output", out, "--quiet",
                    "--no-profile"], check=True)
    return out


def setUpModule():
    global SITE, WORK
    WORK = tempfile.mkdtemp(prefix="explore-browser-")
    SITE = site_folder()


def tearDownModule():
    shutil.rmtree(WORK, ignore_errors=True)


class Browser(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in FLAGS:
            options.add_argument(flag)
        options.add_argument("--user-data-dir=" + tempfile.mkdtemp(prefix="profile-", dir=WORK))
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        try:
            cls.driver = webdriver.Chrome(service=Service(DRIVER), options=options)
        except WebDriverException as error:
            raise unittest.SkipTest(f"Chromium does not start here: {error.msg.splitlines()[0]}")
        cls.driver.set_network_conditions(offline=True, latency=0, download_throughput=0, upload_throughput=0)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()

    def open(self, page):
        self.driver.get("file://" + os.path.join(os.path.abspath(SITE), page))
        for _ in range(100):
            if self.driver.execute_script("return document.readyState") == "complete":
                break
            time.sleep(0.05)
        return self.driver.execute_script(
            "const n = performance.getEntriesByType('navigation')[0];"
            "return {load: n.loadEventEnd, resources: performance.getEntriesByType('resource').map(e => e.name),"
            " drawn: !document.querySelector('.loading')};")

    def test_every_page_opens_offline_without_errors(self):
        pages = sorted(os.path.basename(p) for p in glob.glob(os.path.join(SITE, "*.html")))
        self.assertIn("index.html", pages)
        self.assertGreaterEqual(len(pages), 2)
        for page in pages:
            with self.subTest(page=page):
                seen = self.open(page)
                errors = [entry for entry in self.driver.get_log("browser") if entry["level"] in ("SEVERE", "WARNING")]
                self.assertEqual(errors, [])
                self.assertEqual([r for r in seen["resources"] if not r.startswith("file:")], [])
                self.assertTrue(seen["drawn"], "the script did not draw the page")
                print(f"{page}: load event at {seen['load']:.0f} ms", file=sys.stderr)

    def test_pointing_at_the_call_of_sort_selection_lights_b0_and_b2(self):
        self.open("selection_sort.html")
        driver = self.driver
        builds = driver.execute_script("return JSON.parse(document.getElementById('data').textContent)"
                                       ".builds.map(b => b.build)")
        self.assertIn("b0", builds)
        self.assertIn("b2", builds)
        b0, b2 = builds.index("b0"), builds.index("b2")
        line = driver.find_element(By.CSS_SELECTOR, '.ln[data-key="0:26"]')
        self.assertIn("sort_selection(values, count);", line.text)
        ActionChains(driver).move_to_element(line).perform()
        lit_b0 = driver.find_elements(By.CSS_SELECTOR, f'.col[data-build="{b0}"] .i.own')
        lit_b2 = driver.find_elements(By.CSS_SELECTOR, f'.col[data-build="{b2}"] .i.via')
        self.assertTrue(any(" call" in " " + row.find_element(By.CSS_SELECTOR, ".tx").text for row in lit_b0),
                        [row.text for row in lit_b0])
        self.assertGreater(len(lit_b2), 20)  # the whole inlined body
        self.assertIn("b2: 0 + ", driver.find_element(By.ID, "status").text)
        if os.environ.get("EXPLORE_SCREENSHOT"):
            driver.save_screenshot(os.environ["EXPLORE_SCREENSHOT"])
        # An instruction of the inlined body: its own line and the call's.
        row = lit_b2[len(lit_b2) // 2]
        ActionChains(driver).move_to_element(row).perform()
        self.assertEqual(len(driver.find_elements(By.CSS_SELECTOR, '.ln.via[data-key="0:26"]')), 1)
        own = driver.find_elements(By.CSS_SELECTOR, ".ln.own")
        self.assertEqual(len(own), 1)
        self.assertGreaterEqual(int(own[0].get_attribute("data-key").split(":")[1]), 36)  # in sort_selection
        self.assertRegex(driver.find_element(By.ID, "status").text, r"inlined at selection_sort\.cpp:26 into main")

    def test_columns_and_addresses_follow_the_controls(self):
        self.open("selection_sort.html")
        driver = self.driver
        boxes = driver.find_elements(By.CSS_SELECTOR, "input[data-build]")
        for box in boxes[1:-1]:
            box.click()  # leave the first and the last
        self.assertEqual(len(driver.find_elements(By.CSS_SELECTOR, ".col")), 2)
        address = driver.find_element(By.CSS_SELECTOR, ".col .i .ad")
        self.assertFalse(address.is_displayed())
        driver.find_element(By.ID, "show-addr").click()
        self.assertTrue(address.is_displayed())
        self.assertRegex(address.text.strip(), r"^0x[0-9a-f]+$")


if __name__ == "__main__":
    unittest.main(verbosity=2)
