"""Headless Chromium for the console's tests and screenshots: Debian's chromium and
chromium-driver, a fresh profile each time, nothing fetched from the network."""

import shutil
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service


def start(language="en-US", width=1200, height=900):
    profile = tempfile.mkdtemp(prefix="vmlcmd-chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-dev-shm-usage",
                 f"--user-data-dir={profile}", f"--window-size={width},{height}", f"--lang={language}"):
        options.add_argument(flag)
    options.add_experimental_option("prefs", {"intl.accept_languages": language})
    driver = webdriver.Chrome(service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"),
                              options=options)
    driver.profile_directory = profile
    return driver


def stop(driver):
    profile = driver.profile_directory
    driver.quit()
    shutil.rmtree(profile, ignore_errors=True)
