#!/usr/bin/python3
"""How a change report behaves in Debian's Chromium, headless: the time to open it, to
filter its rows by a text typed, to hide and show a kind, and to sort a table. Run it on the
page report_bench writes:

    /usr/bin/python3 bench/report_browser_bench.py bench/out/report_bench.html
"""
import os
import shutil
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By


def main(page):
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--disable-dev-shm-usage", "--window-size=1280,1000"):
        options.add_argument(argument)
    browser = webdriver.Chrome(service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"),
                               options=options)
    try:
        t0 = time.time()
        browser.get("file://" + os.path.abspath(page))
        opened = time.time() - t0
        rows = browser.execute_script("return document.querySelectorAll('section.kind tbody tr').length")
        # Each step is timed in the page, up to the next frame drawn after it.
        step = """
            var done = arguments[arguments.length - 1];
            var t0 = performance.now();
            (%s)();
            requestAnimationFrame(function () { setTimeout(function () { done(performance.now() - t0); }, 0); });"""
        # From the key to the rows shown, the pause the filter waits for more keys included.
        filter_ms = browser.execute_async_script("""
            var done = arguments[arguments.length - 1];
            var shown = document.getElementById('shown');
            var t0 = performance.now();
            new MutationObserver(function (m, observer) {
              observer.disconnect();
              requestAnimationFrame(function () { setTimeout(function () { done(performance.now() - t0); }, 0); });
            }).observe(shown, { childList: true, characterData: true, subtree: true });
            var box = document.getElementById('filter'); box.value = 'ae';
            box.dispatchEvent(new Event('input'));""")
        shown = browser.find_element(By.ID, "shown").text
        toggle_ms = browser.execute_async_script(step % """function () {
            document.querySelector('input.kind-toggle').click(); }""")
        sort_ms = browser.execute_async_script(step % """function () {
            document.querySelectorAll('section.kind thead th')[2].click(); }""")
        print("%s: %.1f MB, %d rows; opened in %.2f s; rows filtered %.0f ms after the key "
              "(%s); a kind toggled %.0f ms; a table sorted %.0f ms"
              % (page, os.path.getsize(page) / 1e6, rows, opened, filter_ms, shown, toggle_ms,
                 sort_ms))
    finally:
        browser.quit()


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
