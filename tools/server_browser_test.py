#!/usr/bin/env python3
"""The project's web pages as a visitor sees them, in headless Chromium driven
by Selenium (Debian: chromium, chromium-driver, python3-selenium).

Starts pelto-server on 127.0.0.1 with a project of two lattices, feeds it
results through its upload form, then checks that the index lists the lattices
with their best scores, and that a lattice page draws its chart (the canvas
exists and the chart holds data points) and lists the best genomes.

Usage: server_browser_test.py PELTO_SERVER PELTO_TOOL_FOLDER
Exit status 77 means a required program is missing (CTest counts it skipped).
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request

SKIP = 77


def main():
    server_exe = sys.argv[1]
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.by import By
    except ImportError:
        print("python3-selenium is not installed")
        return SKIP
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    driver_exe = shutil.which("chromedriver") or "/usr/bin/chromedriver"
    if not chromium or not os.path.exists(driver_exe):
        print("chromium or chromium-driver is not installed")
        return SKIP

    work = tempfile.mkdtemp(prefix="pelto-browser-")
    root = os.path.join(work, "project")
    os.makedirs(os.path.join(root, "lattices"))
    with open(os.path.join(root, "lattices", "alpha.txt"), "w") as f:
        f.write("len=[0.5m 2m]\ngap=[1T 3T]\nD1 #len#\n")
    with open(os.path.join(root, "lattices", "beta.txt"), "w") as f:
        f.write("len=[1cm 3cm]\ngap=[5ns 9ns]\nD2 #len#\n")
    with open(os.path.join(root, "signal.txt"), "w") as f:
        f.write("v4.44d\nWelcome to the test project.\n")
    # The seeding records come from the C++ side (the client's checksum code):
    # the server's own tests make them with --make-records.
    records = sys.argv[2]
    port_file = os.path.join(work, "port.txt")
    log = open(os.path.join(work, "server.log"), "w")
    server = subprocess.Popen([server_exe, "--root", root, "--bind", "127.0.0.1", "--port", "0",
                               "--port-file", port_file], stderr=log)
    browser = None
    try:
        for _ in range(200):
            if os.path.exists(port_file) and open(port_file).read().strip():
                break
            time.sleep(0.05)
        port = int(open(port_file).read())
        base = "http://127.0.0.1:%d" % port
        body = open(records, "rb").read()
        form = (b"--Pelto0000\r\nContent-Disposition: form-data; name=\"data\"; "
                b"filename=\"20240101-120000-AbCdE-Ann.txt\"\r\n\r\n" + body +
                b"\r\n--Pelto0000--\r\n")
        req = urllib.request.Request(base + "/pelto/uploadresults.php", data=form, headers={
            "Content-Type": "multipart/form-data; boundary=Pelto0000"})
        answer = urllib.request.urlopen(req, timeout=10).read().decode()
        assert "accepted" in answer and " 0 accepted" not in answer, answer

        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        for arg in ("--headless", "--no-sandbox", "--disable-gpu",
                    "--disable-background-networking", "--disable-component-update",
                    "--disable-sync", "--no-first-run", "--disable-dev-shm-usage",
                    "--user-data-dir=" + os.path.join(work, "profile")):
            options.add_argument(arg)
        browser = webdriver.Chrome(service=Service(driver_exe), options=options)
        browser.set_page_load_timeout(20)

        browser.get(base + "/pelto/")
        rows = browser.find_elements(By.CSS_SELECTOR, "#lattices tr.lattice")
        names = [r.find_element(By.TAG_NAME, "a").text for r in rows]
        assert names == ["alpha", "beta"], names
        best = {r.find_element(By.TAG_NAME, "a").text:
                r.find_element(By.CSS_SELECTOR, "td.best").text for r in rows}
        assert best["alpha"] == "1.030000", best
        assert best["beta"] == "2.010000", best

        rows[0].find_element(By.TAG_NAME, "a").click()
        canvas = browser.find_elements(By.CSS_SELECTOR, "canvas#scores")
        assert canvas, "no chart canvas"
        points = 0
        for _ in range(50):
            points = browser.execute_script(
                "const c = window.Chart && Chart.getChart('scores');"
                "return c ? c.data.datasets[0].data.length : -1;")
            if points and points > 0:
                break
            time.sleep(0.1)
        assert points == 4, "chart points: %r" % points
        drawn = browser.execute_script(
            "const c = document.getElementById('scores');"
            "return c.width > 0 && c.height > 0;")
        assert drawn, "canvas has no size"
        genomes = browser.find_elements(By.CSS_SELECTOR, "#best tr.genome")
        assert len(genomes) == 4, len(genomes)
        # The best genome (levels 3 and 996) in the units of the lattice's ranges.
        assert "len=0.504505m gap=2.99399T" in genomes[0].text, genomes[0].text
        assert "1.030000" in genomes[0].text, genomes[0].text
        print("browser test passed")
        return 0
    finally:
        if browser:
            browser.quit()
        server.terminate()
        server.wait(timeout=10)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
