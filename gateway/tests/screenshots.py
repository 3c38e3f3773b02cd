"""Takes the console's pictures for the documentation: the fleet, a device's encoder and picture
settings with a plan shown, and the mask and motion page with both areas drawn.

    screenshots.py GATEWAY NAPI_SIM OUTPUT_DIRECTORY
"""

import os
import sys
import tempfile

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.support import expected_conditions as EC
from selenium.webdriver.support.ui import WebDriverWait

import conftest

conftest.GATEWAY, conftest.NAPI_SIM, output = sys.argv[1], sys.argv[2], sys.argv[3]
import browser  # noqa: E402


def main():
    with tempfile.TemporaryDirectory() as work:
        sim = conftest.Sim(6, work)
        rows = [dict(row, name=f"cam{i + 1}") for i, row in enumerate(sim.rows)]
        rows.append({"name": "lobby", "host": "127.0.0.1", "port": conftest.dead_port()})
        gateway = conftest.Gateway(rows, work)
        driver = browser.start(width=1100, height=980)
        wait = WebDriverWait(driver, 15)
        try:
            driver.get(f"http://127.0.0.1:{gateway.port}/#token={conftest.WRITE}")
            wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "tr.device"))
            driver.find_element(By.ID, "check-all").click()
            wait.until(lambda d: "state down" in d.find_element(By.ID, "devices").get_attribute("innerHTML"))
            driver.save_screenshot(os.path.join(output, "gateway-fleet.png"))

            driver.find_element(By.CSS_SELECTOR, "tr.device").click()
            wait.until(EC.element_to_be_clickable((By.ID, "tab-video"))).click()
            field = wait.until(EC.visibility_of_element_located((By.ID, "f-bitrate")))
            field.clear()
            field.send_keys("2048")
            driver.find_element(By.ID, "plan").click()
            wait.until(EC.visibility_of_element_located((By.ID, "plan-table")))
            driver.save_screenshot(os.path.join(output, "gateway-device.png"))

            driver.find_element(By.ID, "tab-regions").click()
            picture = wait.until(EC.visibility_of_element_located((By.ID, "picture")))
            ActionChains(driver).move_to_element_with_offset(picture, 40 - 176, 30 - 144).click_and_hold() \
                .move_by_offset(60, 40).move_by_offset(60, 40).release().perform()
            driver.find_element(By.CSS_SELECTOR, "#area-motion input[type=radio]").click()
            ActionChains(driver).move_to_element_with_offset(picture, 180 - 176, 150 - 144).click_and_hold() \
                .move_by_offset(70, 50).move_by_offset(70, 50).release().perform()
            driver.find_element(By.ID, "plan").click()
            wait.until(EC.visibility_of_element_located((By.ID, "plan-table")))
            driver.execute_script("window.scrollTo(0, 0)")
            driver.save_screenshot(os.path.join(output, "gateway-mask.png"))
        finally:
            browser.stop(driver)
            gateway.close()
            sim.close()


main()
