#!/usr/bin/python3
"""The change report in a real browser: Debian's Chromium, headless, driven through
WebDriver. The page parses without errors, the filter and the kinds' toggles show the rows
they should, the columns sort, the console stays free of errors, and nothing is fetched.

usage: report_browser_test.py CLADORAMA-CLI
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import html5lib
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

CLI = None

# Felis split (lybica into a genus of its own), Cuon lumped into Canis, Herpestes renamed
# to a name with a letter beyond ASCII, Puma new.
TREE_A = (
    "Family,Genus,sciName\n"
    "Felidae,Felis,Felis_catus\nFelidae,Felis,Felis_silvestris\n"
    "Felidae,Felis,Felis_lybica\nFelidae,Lynx,Lynx_lynx\n"
    "Canidae,Canis,Canis_lupus\nCanidae,Cuon,Cuon_alpinus\n"
    "Viverridae,Genetta,Genetta_genetta\nHerpestidae,Herpestes,Herpestes_edwardsii\n")
TREE_B = (
    "Family,Genus,sciName\n"
    "Felidae,Felis,Felis_catus\nFelidae,Felis,Felis_silvestris\n"
    "Felidae,Afrofelis,Felis_lybica\nFelidae,Lynx,Lynx_lynx\nFelidae,Puma,Puma_concolor\n"
    "Canidae,Canis,Canis_lupus\nCanidae,Canis,Cuon_alpinus\n"
    "Viverridae,Genetta,Genetta_genetta\nHerpestidae,\u00dcrva,Herpestes_edwardsii\n")


def write_report(folder):
    for name, text in (("a.csv", TREE_A), ("b.csv", TREE_B)):
        with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
            f.write(text)
    page = os.path.join(folder, "report.html")
    done = subprocess.run([CLI, "report", "a.csv", "b.csv", "--output", page,
                           "--title", "Carnivora <test> & \u00fc"],
                          cwd=folder, capture_output=True)
    if done.returncode != 0:
        raise AssertionError("cladorama-cli report failed: " + done.stderr.decode())
    return page


def rows_of(document):
    """Per kind, the rows' cell texts, as the page was written."""
    out = {}
    for section in document.iter("section"):
        if section.get("class") != "kind":
            continue
        rows = []
        for tr in section.iter("tr"):
            cells = ["".join(td.itertext()) for td in tr.findall("td")]
            if cells:
                rows.append(cells)
        out[section.get("data-kind")] = rows
    return out


class ReportInBrowser(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="cladorama-report-")
        cls.page = write_report(cls.folder)
        with open(cls.page, "rb") as f:
            cls.bytes = f.read()
        options = webdriver.ChromeOptions()
        options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                         "--disable-dev-shm-usage", "--window-size=1280,1000"):
            options.add_argument(argument)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
        driver = shutil.which("chromedriver") or "/usr/bin/chromedriver"
        cls.browser = webdriver.Chrome(service=Service(driver), options=options)
        cls.browser.get("file://" + cls.page)

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def visible_rows(self):
        """The rows shown: (kind, name in tree 1, name in tree 2) of each."""
        return self.browser.execute_script("""
            var out = [];
            document.querySelectorAll('section.kind tbody tr').forEach(function (tr) {
              if (tr.offsetParent !== null)
                out.push([tr.cells[0].textContent, tr.cells[2].textContent, tr.cells[3].textContent]);
            });
            return out;""")

    def type_filter(self, text):
        box = self.browser.find_element(By.ID, "filter")
        box.clear()
        if text:
            box.send_keys(text)
        else:
            # clear() fires no input event of its own.
            self.browser.execute_script(
                "arguments[0].dispatchEvent(new Event('input'));", box)
        time.sleep(0.3)

    def test_1_page_parses_without_errors(self):
        parser = html5lib.HTMLParser(strict=True, namespaceHTMLElements=False)
        document = parser.parse(self.bytes.decode("utf-8"))
        self.assertEqual(parser.errors, [])
        self.assertEqual(document.find("head/title").text, "Carnivora <test> & \u00fc")
        rows = rows_of(document)
        self.assertIn(["renamed", "Genus", "Herpestes", "\u00dcrva"], [r[:4] for r in rows["renamed"]])

    def test_2_filter_shows_the_rows_that_hold_the_text(self):
        parser = html5lib.HTMLParser(strict=True, namespaceHTMLElements=False)
        everything = rows_of(parser.parse(self.bytes.decode("utf-8")))
        total = sum(len(r) for r in everything.values())
        self.assertEqual(len(self.visible_rows()), total)

        self.type_filter("lybica")
        shown = sorted(tuple(r) for r in self.visible_rows())
        # The species moved, and the split of its genus, which lists it.
        self.assertEqual(shown, [("moved", "Felis lybica", "Felis lybica"),
                                 ("split", "Felis", "Afrofelis")])
        self.type_filter("CUON")
        shown = sorted(tuple(r) for r in self.visible_rows())
        self.assertEqual(shown, [("lumped", "Cuon", "Canis"), ("moved", "Cuon alpinus", "Cuon alpinus"),
                                 ("removed", "Cuon", "")])
        counts = self.browser.find_element(By.CSS_SELECTOR, "#kind-lumped .count").text
        self.assertEqual(counts, "1 of 2")
        self.type_filter("")
        self.assertEqual(len(self.visible_rows()), total)

    def test_3_a_kinds_toggle_hides_its_rows(self):
        before = self.visible_rows()
        added = [r for r in before if r[0] == "added"]
        self.assertTrue(added)
        toggle = self.browser.find_element(By.CSS_SELECTOR, "input.kind-toggle[data-kind='added']")
        toggle.click()
        time.sleep(0.1)
        after = self.visible_rows()
        self.assertEqual(sorted(map(tuple, after)),
                         sorted(tuple(r) for r in before if r[0] != "added"))
        self.assertIn("%d of %d rows shown" % (len(after), len(before)),
                      self.browser.find_element(By.ID, "shown").text)
        toggle.click()
        time.sleep(0.1)
        self.assertEqual(len(self.visible_rows()), len(before))

    def test_4_a_column_sorts_its_table(self):
        header = self.browser.find_elements(By.CSS_SELECTOR, "#kind-added thead th")[3]
        names = lambda: [r[2] for r in self.visible_rows() if r[0] == "added"]
        header.click()
        self.assertEqual(names(), sorted(names(), key=str.lower))
        header.click()
        self.assertEqual(names(), sorted(names(), key=str.lower, reverse=True))
        self.assertEqual(header.get_attribute("aria-sort"), "descending")

    def test_5_no_console_errors_and_nothing_fetched(self):
        errors = [e for e in self.browser.get_log("browser") if e["level"] in ("SEVERE", "WARNING")]
        self.assertEqual(errors, [])
        fetched = self.browser.execute_script(
            "return performance.getEntriesByType('resource').map(function (e) { return e.name; })")
        self.assertEqual([u for u in fetched if not u.startswith("data:")], [])
        requests = []
        for entry in self.browser.get_log("performance"):
            message = json.loads(entry["message"])["message"]
            if message.get("method") == "Network.requestWillBeSent":
                url = message["params"]["request"]["url"]
                if not url.startswith("data:") and url != "file://" + self.page:
                    requests.append(url)
        self.assertEqual(requests, [])


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    CLI = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
